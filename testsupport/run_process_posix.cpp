#include <dirent.h>
#include <ftw.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>

#include "process/child_process.h"
#include "testsupport/run_process.h"

namespace smstest {

ProcessResult run_process(const std::vector<std::string>& argv, const std::string& cwd,
                          const std::vector<std::string>& env, double timeoutSeconds,
                          const std::string& input) {
  ProcessResult result;
  const std::string procDir = make_temp_dir("proc");
  ChildCommand command;
  command.argv = argv;
  command.cwd = cwd;
  command.env = env;
  command.stdinPath = procDir + "/in";
  command.stdoutPath = procDir + "/out";
  command.stderrPath = procDir + "/err";
  write_file(command.stdinPath, input);
  ChildGroup group;
  if (!group.start(command)) return result;
  const ChildResult child = group.wait_all(timeoutSeconds).front();
  result.timedOut = child.timedOut;
  if (!child.timedOut) result.exitCode = child.exitCode;
  result.seconds = child.wallSeconds;
  result.out = read_file(command.stdoutPath);
  result.err = read_file(command.stderrPath);
  return result;
}

namespace {

std::mutex g_tempDirsMutex;
std::vector<std::string>* g_tempDirs = nullptr;

int remove_entry(const char* path, const struct stat*, int, struct FTW*) {
  remove(path);
  return 0;
}

// The temporary directories go when the test program ends, unless
// SMS_TEST_KEEP_TMP is set to look at them.
void remove_temp_dirs() {
  const char* keep = getenv("SMS_TEST_KEEP_TMP");
  if (keep != nullptr && *keep != '\0') return;
  std::lock_guard<std::mutex> lock(g_tempDirsMutex);
  for (const std::string& dir : *g_tempDirs)
    nftw(dir.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
}

}  // namespace

std::string make_temp_dir(const std::string& tag) {
  static std::atomic<int> counter{0};
  const char* base = getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/smstest_" + tag + "_" +
                        std::to_string(getpid()) + "_" + std::to_string(counter++) + "_XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data()) == nullptr) return std::string();
  std::lock_guard<std::mutex> lock(g_tempDirsMutex);
  if (g_tempDirs == nullptr) {
    g_tempDirs = new std::vector<std::string>;
    atexit(remove_temp_dirs);
  }
  g_tempDirs->push_back(buf.data());
  return std::string(buf.data());
}

bool file_exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

std::vector<std::string> list_dir(const std::string& dir) {
  std::vector<std::string> names;
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return names;
  while (struct dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(d);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace smstest
