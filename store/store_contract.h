// What every back end of the store must do, as one check that the tests of
// each back end run against a store of their own (store_contract_test.cpp).
#pragma once

#include <string>

namespace smstest {

// Opens `url` (a fresh, empty store), adds, adds again, reads back with and
// without a time window, reopens.  Reports failures through gtest.
void check_store_contract(const std::string& url);

// A runs.jsonl line of run `run` of a round trip started at
// 2026-12-09T10:00:<run>Z.
std::string record_line(int run, const std::string& latLong, double sendTime);

}  // namespace smstest
