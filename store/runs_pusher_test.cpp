#include "store/runs_pusher.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/files.h"
#include "store/store.h"
#include "store/store_contract.h"
#include "testsupport/run_process.h"

namespace smstest {
namespace {

long long stored_runs(const std::string& url) {
  std::string error;
  std::unique_ptr<Store> store = open_store(url, &error);
  EXPECT_TRUE(store) << error;
  if (!store) return -1;
  long long count = 0;
  EXPECT_TRUE(store->read(StoreQuery(), [&](const StoredRecord&) { return ++count > 0; }));
  return count;
}

class RunsPusherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!store_back_end_built("sqlite")) GTEST_SKIP() << "built without libsqlite3";
    dir_ = make_temp_dir("pusher");
    out_ = dir_ + "/car-7";
    std::filesystem::create_directory(out_);
    url_ = "sqlite:" + dir_ + "/runs.db";
  }
  void append(const std::string& text) {
    ASSERT_TRUE(write_file(out_ + "/runs.jsonl", read_file(out_ + "/runs.jsonl") + text));
  }

  std::string dir_, out_, url_;
};

TEST_F(RunsPusherTest, PushesWholeLinesOnceAndWaitsForAPartialOne) {
  RunsPusher pusher(url_, "pc1", out_);
  EXPECT_EQ(pusher.campaign(), "car-7");
  // No runs.jsonl yet: a campaign without runs.
  EXPECT_TRUE(pusher.catch_up()) << pusher.lastError;
  EXPECT_EQ(pusher.added(), 0);

  append(record_line(1, "-", 1) + "\n" + "\n" + "not json\n" + record_line(2, "-", 2) + "\n" +
         record_line(3, "-", 3).substr(0, 20));
  ASSERT_TRUE(pusher.catch_up()) << pusher.lastError;
  EXPECT_EQ(pusher.added(), 2);
  EXPECT_EQ(pusher.skipped(), 1);
  EXPECT_EQ(pusher.first_skipped_line(), 3);
  EXPECT_TRUE(pusher.partial_line());
  EXPECT_EQ(stored_runs(url_), 2);

  // The line is finished: it goes in, the others do not go in again.
  append(record_line(3, "-", 3).substr(20) + "\n");
  ASSERT_TRUE(pusher.catch_up()) << pusher.lastError;
  EXPECT_EQ(pusher.added(), 3);
  EXPECT_EQ(pusher.already(), 0);
  EXPECT_EQ(pusher.skipped(), 1);
  EXPECT_FALSE(pusher.partial_line());
  EXPECT_EQ(stored_runs(url_), 3);

  // Another pusher of the same directory (a second sms_store push) reads
  // the whole file and adds nothing.
  RunsPusher second(url_, "pc1", out_ + "/runs.jsonl");
  EXPECT_EQ(second.campaign(), "car-7");
  ASSERT_TRUE(second.catch_up()) << second.lastError;
  EXPECT_EQ(second.added(), 0);
  EXPECT_EQ(second.already(), 3);
  // Under another probe name the same runs are other runs.
  RunsPusher other(url_, "pc2", out_);
  ASSERT_TRUE(other.catch_up()) << other.lastError;
  EXPECT_EQ(other.added(), 3);
}

TEST_F(RunsPusherTest, CatchesUpOnceTheStoreIsBack) {
  // The store's folder is missing: the store can't be opened.
  const std::string url = "sqlite:" + dir_ + "/later/runs.db";
  RunsPusher pusher(url, "pc1", out_);
  append(record_line(1, "-", 1) + "\n");
  EXPECT_FALSE(pusher.catch_up());
  EXPECT_EQ(pusher.lastError.rfind(url + ": ", 0), 0u) << pusher.lastError;
  append(record_line(2, "-", 2) + "\n");
  EXPECT_FALSE(pusher.catch_up());
  EXPECT_EQ(pusher.added(), 0);

  std::filesystem::create_directory(dir_ + "/later");
  append(record_line(3, "-", 3) + "\n");
  ASSERT_TRUE(pusher.catch_up()) << pusher.lastError;
  EXPECT_EQ(pusher.added(), 3);
  EXPECT_EQ(stored_runs(url), 3);
}

TEST_F(RunsPusherTest, LongFilesGoInInPieces) {
  std::string text;
  for (int run = 1; run <= 1203; ++run) text += record_line(run, "-", run) + "\n";
  append(text);
  RunsPusher pusher(url_, "pc1", out_);
  ASSERT_TRUE(pusher.catch_up()) << pusher.lastError;
  EXPECT_EQ(pusher.added(), 1203);
  EXPECT_EQ(stored_runs(url_), 1203);
}

TEST(HostName, IsNeverEmpty) { EXPECT_FALSE(host_name().empty()); }

}  // namespace
}  // namespace smstest
