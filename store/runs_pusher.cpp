#include "store/runs_pusher.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

#include "common/text.h"
#include "store/stored_run.h"

namespace smstest {

namespace {

// Rows per transaction: a long file goes in in pieces of this many, each
// remembered once it is in.
constexpr size_t kBatchRows = 500;
constexpr size_t kReadBlock = 1 << 20;

}  // namespace

RunsPusher::RunsPusher(std::string url, std::string probe, const std::string& dir)
    : url_(std::move(url)), probe_(std::move(probe)) {
  std::error_code ec;
  const std::filesystem::path path(dir);
  if (std::filesystem::is_directory(path, ec)) {
    file_ = (path / "runs.jsonl").string();
    campaign_ = campaign_name_of(dir);
  } else {
    file_ = dir;
    campaign_ = campaign_name_of(path.parent_path().empty() ? "." : path.parent_path().string());
  }
}

RunsPusher::~RunsPusher() = default;

bool RunsPusher::catch_up() {
  std::FILE* file = std::fopen(file_.c_str(), "rb");
  if (file == nullptr) {
    if (errno == ENOENT) return true;
    lastError = format("cannot read %s: %s", file_.c_str(), std::strerror(errno));
    return false;
  }
  if (std::fseek(file, static_cast<long>(offset_), SEEK_SET) != 0) {
    lastError = format("cannot read %s: %s", file_.c_str(), std::strerror(errno));
    std::fclose(file);
    return false;
  }
  std::vector<StoredRun> rows;
  std::string pending;  // bytes read past the last whole line
  std::vector<char> block(kReadBlock);
  uint64_t batchEnd = offset_;  // offset after the last whole line taken
  long long batchLine = line_;
  long long batchSkipped = 0, batchFirstSkipped = 0;
  bool ok = true;
  partial_ = false;

  // Commits the rows taken so far and moves the remembered place past them.
  auto flush = [&]() {
    if (!rows.empty()) {
      if (!store_) {
        std::string error;
        store_ = open_store(url_, &error);
        if (!store_) {
          lastError = error;
          return false;
        }
      }
      StoreAdded added;
      if (!store_->add(rows, &added)) {
        lastError = format("%s: %s", display_url(url_).c_str(), store_->lastError.c_str());
        // The connection may be gone: the next call opens it afresh.
        store_.reset();
        return false;
      }
      added_ += added.added;
      already_ += static_cast<long long>(rows.size()) - added.added;
      differing_ += added.differing;
      rows.clear();
    }
    if (batchSkipped > 0 && skipped_ == 0) firstSkipped_ = batchFirstSkipped;
    skipped_ += batchSkipped;
    batchSkipped = 0;
    offset_ = batchEnd;
    line_ = batchLine;
    return true;
  };

  for (;;) {
    const size_t got = std::fread(block.data(), 1, block.size(), file);
    if (got == 0) {
      if (std::ferror(file) != 0) {
        lastError = format("cannot read %s: %s", file_.c_str(), std::strerror(errno));
        ok = false;
      }
      break;
    }
    pending.append(block.data(), got);
    size_t start = 0;
    for (size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1) {
      std::string_view line(pending.data() + start, end - start);
      batchEnd += end - start + 1;
      ++batchLine;
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (line.find_first_not_of(" \t") == std::string_view::npos) continue;
      StoredRun row;
      std::string why;
      if (make_stored_run(probe_, campaign_, batchLine, line, &row, &why)) {
        rows.push_back(std::move(row));
      } else if (batchSkipped++ == 0) {
        batchFirstSkipped = batchLine;
      }
      if (rows.size() >= kBatchRows && !flush()) {
        ok = false;
        break;
      }
    }
    if (!ok) break;
    pending.erase(0, start);
  }
  std::fclose(file);
  if (ok) ok = flush();
  partial_ = ok && !pending.empty();
  return ok;
}

}  // namespace smstest
