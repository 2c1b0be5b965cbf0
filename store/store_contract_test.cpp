#include "store/store_contract.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <vector>

#include "common/text.h"
#include "store/store.h"
#include "tools/report/campaign_file.h"

namespace smstest {

std::string record_line(int run, const std::string& latLong, double sendTime) {
  nlohmann::json r = {{"run", run},
                      {"cmdFile", "rt.txt"},
                      {"start", format("2026-12-09T10:00:%02dZ", run)},
                      {"testName", "T1"},
                      {"mode", "round-trip"},
                      {"latLong", latLong},
                      {"sendTime", sendTime},
                      {"deliveryTime", nullptr},
                      {"exitCode", 0},
                      {"statusText", "SUCCESS \xC3\xA9"}};
  return r.dump();
}

std::vector<std::string> upgrade_records() {
  return {
      // A message of three parts, one duplicated, found out of order.
      R"({"run":1,"mode":"round-trip","partsSent":3,"partsExpected":3,"partsReceived":3,)"
      R"("concatReference":200,"concatReferenceBits":8,"partSpread":1.5,"partsOutOfOrder":1,)"
      R"("partsDuplicated":1,"parts":[{"sequence":1}]})",
      // One message: the receiver's fields null.
      R"({"run":2,"mode":"round-trip","partsSent":1,"partsExpected":null,"partsReceived":null,)"
      R"("concatReference":null,"partSpread":null})",
      // A record made before the part fields.
      R"({"run":3,"mode":"round-trip","sendTime":2.5})",
      // Values of other types: NULL where the column's type is not theirs.
      R"({"run":4,"partsSent":2.5,"partsExpected":"3","partsReceived":true,)"
      R"("concatReference":65535,"concatReferenceBits":16,"partSpread":2,"partsOutOfOrder":[1],)"
      R"("partsDuplicated":{"n":1}})",
      R"({"run":5,"partsSent":0,"partSpread":"1.5","partsOutOfOrder":-1,"partsDuplicated":3.0})",
  };
}

std::vector<std::string> upgraded_columns() {
  std::vector<std::string> names;
  for (size_t i = 0; i < kStoreColumnCount; ++i) {
    if (kStoreColumns[i].since > 1) names.emplace_back(kStoreColumns[i].name);
  }
  return names;
}

void check_upgraded_columns(const std::vector<std::vector<std::string>>& rows,
                            const std::string& null) {
  const std::vector<std::string> records = upgrade_records();
  const std::vector<std::string> names = upgraded_columns();
  ASSERT_EQ(rows.size(), records.size());
  for (size_t r = 0; r < records.size(); ++r) {
    SCOPED_TRACE(records[r]);
    StoredRun expected;
    std::string why;
    ASSERT_TRUE(make_stored_run("pc1", "OUT", 1, records[r], &expected, &why)) << why;
    ASSERT_EQ(rows[r].size(), names.size() + 1);
    EXPECT_EQ(rows[r][0], std::to_string(expected.run));
    for (size_t n = 0; n < names.size(); ++n) {
      SCOPED_TRACE(names[n]);
      size_t at = 0;
      while (names[n] != kStoreColumns[at].name) ++at;
      const ColumnValue& want = expected.columns[at];
      const std::string& got = rows[r][n + 1];
      if (want.null) {
        EXPECT_EQ(got, null);
        continue;
      }
      ASSERT_NE(got, null);
      const double value = kStoreColumns[at].type == ColumnType::kReal
                               ? want.real
                               : static_cast<double>(want.integer);
      EXPECT_EQ(std::stod(got), value);
    }
  }
}

namespace {

StoredRun row_of(const std::string& probe, const std::string& campaign, int run, long long line,
                 const std::string& latLong = "45.5N73.6W") {
  StoredRun row;
  std::string why;
  EXPECT_TRUE(
      make_stored_run(probe, campaign, line, record_line(run, latLong, 0.5 + run), &row, &why))
      << why;
  return row;
}

struct Seen {
  std::string probe, campaign;
  long long run, line;
  nlohmann::json record;
};

std::vector<Seen> read_all(Store& store, const StoreQuery& query = StoreQuery()) {
  std::vector<Seen> seen;
  EXPECT_TRUE(store.read(query, [&](const StoredRecord& r) {
    seen.push_back({std::string(r.probe), std::string(r.campaign), r.run, r.line,
                    nlohmann::json::parse(r.record)});
    return true;
  })) << store.lastError;
  return seen;
}

}  // namespace

void check_store_contract(const std::string& url) {
  std::string error;
  std::unique_ptr<Store> store = open_store(url, &error);
  ASSERT_TRUE(store) << error;
  EXPECT_TRUE(read_all(*store).empty());

  // Two probes, each with a campaign "OUT"; runs logged out of run order.
  const std::vector<StoredRun> first = {row_of("pc2", "OUT", 2, 1), row_of("pc2", "OUT", 1, 2),
                                        row_of("pc1", "OUT", 1, 1, "-")};
  StoreAdded added;
  ASSERT_TRUE(store->add(first, &added)) << store->lastError;
  EXPECT_EQ(added.added, 3);
  EXPECT_EQ(added.differing, 0);
  // The same runs again, and one new: only the new one counts.
  std::vector<StoredRun> again = first;
  again.push_back(row_of("pc1", "OUT", 2, 2));
  ASSERT_TRUE(store->add(again, &added)) << store->lastError;
  EXPECT_EQ(added.added, 1);
  EXPECT_EQ(added.differing, 0);
  ASSERT_TRUE(store->add({}, &added)) << store->lastError;
  EXPECT_EQ(added.added, 0);
  // Another run under a stored key is not added, and is told apart.
  ASSERT_TRUE(store->add({row_of("pc1", "OUT", 1, 1), row_of("pc2", "OUT", 1, 2)}, &added))
      << store->lastError;
  EXPECT_EQ(added.added, 0);
  EXPECT_EQ(added.differing, 1);

  const std::vector<Seen> all = read_all(*store);
  ASSERT_EQ(all.size(), 4u);
  // Ordered by probe, campaign, then the line of runs.jsonl.
  const std::pair<const char*, long long> order[] = {
      {"pc1", 1}, {"pc1", 2}, {"pc2", 2}, {"pc2", 1}};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(all[i].probe, order[i].first) << i;
    EXPECT_EQ(all[i].run, order[i].second) << i;
    EXPECT_EQ(all[i].campaign, "OUT");
    EXPECT_EQ(all[i].record, nlohmann::json::parse(record_line(
                                 static_cast<int>(all[i].run),
                                 all[i].probe == "pc1" && all[i].run == 1 ? "-" : "45.5N73.6W",
                                 0.5 + static_cast<double>(all[i].run))))
        << i;
  }

  // Runs 1 and 2 started at :01 and :02; the window is [since, until).
  StoreQuery window;
  window.hasSince = true;
  ASSERT_TRUE(read_utc_time("2026-12-09T10:00:02Z", &window.since));
  std::vector<Seen> late = read_all(*store, window);
  ASSERT_EQ(late.size(), 2u);
  EXPECT_EQ(late[0].run, 2);
  EXPECT_EQ(late[1].run, 2);
  window.hasUntil = true;
  window.until = window.since;
  EXPECT_TRUE(read_all(*store, window).empty());
  window.hasSince = false;
  EXPECT_EQ(read_all(*store, window).size(), 2u);

  // A sink that stops ends the read, and the store can still be used.
  int calls = 0;
  EXPECT_TRUE(store->read(StoreQuery(), [&](const StoredRecord&) { return ++calls < 2; }));
  EXPECT_EQ(calls, 2);
  ASSERT_TRUE(store->add({row_of("pc3", "X", 9, 1)}, &added)) << store->lastError;
  EXPECT_EQ(added.added, 1);

  // Reopened: the schema is there, the rows too.
  store.reset();
  store = open_store(url, &error);
  ASSERT_TRUE(store) << error;
  EXPECT_EQ(read_all(*store).size(), 5u);
}

}  // namespace smstest
