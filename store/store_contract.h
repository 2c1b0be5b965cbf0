// What every back end of the store must do, as one check that the tests of
// each back end run against a store of their own (store_contract_test.cpp).
#pragma once

#include <string>
#include <vector>

namespace smstest {

// Opens `url` (a fresh, empty store), adds, adds again, reads back with and
// without a time window, reopens.  Reports failures through gtest.
void check_store_contract(const std::string& url);

// A runs.jsonl line of run `run` of a round trip started at
// 2026-12-09T10:00:<run>Z.
std::string record_line(int run, const std::string& latLong, double sendTime);

// Records of runs 1, 2, ... whose fields added after schema version 1 hold
// values of their column's type, of other types, null, or nothing: what a
// store of version 1 may hold before it is brought up to date.
std::vector<std::string> upgrade_records();

// The names of the columns added after schema version 1, in table order.
std::vector<std::string> upgraded_columns();

// Checks a store's columns added after version 1 against make_stored_run's
// reading of upgrade_records(): `rows` holds, in the order of the runs, the
// run's number, then each upgraded_columns() value as text, `null` for
// NULL.  Reports failures through gtest.
void check_upgraded_columns(const std::vector<std::vector<std::string>>& rows,
                            const std::string& null);

}  // namespace smstest
