#include "testsupport/run_process.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>

namespace smstest {

namespace {

double monotonic_now() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

}  // namespace

ProcessResult run_process(const std::vector<std::string>& argv, const std::string& cwd,
                          const std::vector<std::string>& env, double timeoutSeconds,
                          const std::string& input) {
  ProcessResult result;
  const std::string procDir = make_temp_dir("proc");
  const std::string outPath = procDir + "/out";
  const std::string errPath = procDir + "/err";
  const std::string inPath = procDir + "/in";
  write_file(inPath, input);
  // Everything the child needs is prepared before fork(): tests start runs
  // from several threads, and the child may only exec.
  std::vector<std::string> envStrings(env);
  for (char** e = environ; *e != nullptr; ++e) envStrings.push_back(*e);
  std::vector<char*> envp;
  for (std::string& e : envStrings) envp.push_back(&e[0]);
  envp.push_back(nullptr);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  double start = monotonic_now();
  pid_t pid = fork();
  if (pid < 0) return result;
  if (pid == 0) {
    if (chdir(cwd.c_str()) != 0) _exit(127);
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int in = open(inPath.c_str(), O_RDONLY);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    execve(args[0], args.data(), envp.data());
    _exit(127);
  }
  int status = 0;
  for (;;) {
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (monotonic_now() - start > timeoutSeconds) {
      result.timedOut = true;
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    usleep(10000);
  }
  result.seconds = monotonic_now() - start;
  if (!result.timedOut && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  result.out = read_file(outPath);
  result.err = read_file(errPath);
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

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::string();
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

bool write_file(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  return static_cast<bool>(out);
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
