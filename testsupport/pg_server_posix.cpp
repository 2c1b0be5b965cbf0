#include <ftw.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "testsupport/pg_server.h"
#include "testsupport/run_process.h"

namespace smstest {

namespace {

// The socket's name is .s.PGSQL.<port> in the directory: any port does.
const char kPort[] = "5432";

bool executable(const std::string& path) { return access(path.c_str(), X_OK) == 0; }

// The folder holding initdb and pg_ctl; "" when there is none.
std::string find_bin() {
  const char* path = getenv("PATH");
  std::string dirs = path != nullptr ? path : "";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string dir = dirs.substr(start, end - start);
    if (!dir.empty() && executable(dir + "/initdb") && executable(dir + "/pg_ctl")) return dir;
    start = end + 1;
  }
  std::vector<std::string> found;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql", ec)) {
    const std::string bin = entry.path().string() + "/bin";
    if (executable(bin + "/initdb") && executable(bin + "/pg_ctl")) found.push_back(bin);
  }
  if (found.empty()) return "";
  std::sort(found.begin(), found.end(), [](const std::string& a, const std::string& b) {
    return std::atoi(a.c_str() + 20) > std::atoi(b.c_str() + 20);  // after /usr/lib/postgresql/
  });
  return found.front();
}

// `name` on PATH (and in the system folders, which a user's PATH may lack);
// "" when it is nowhere.
std::string find_program(const std::string& name) {
  const char* path = getenv("PATH");
  const std::string dirs = std::string(path != nullptr ? path : "") + ":/usr/sbin:/sbin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string dir = dirs.substr(start, end - start);
    if (!dir.empty() && executable(dir + "/" + name)) return dir + "/" + name;
    start = end + 1;
  }
  return "";
}

int remove_entry(const char* path, const struct stat*, int, struct FTW*) {
  remove(path);
  return 0;
}

}  // namespace

PgServer::~PgServer() {
  std::string why;
  if (running_) stop(&why);
  const char* keep = getenv("SMS_TEST_KEEP_TMP");
  if (!dir_.empty() && (keep == nullptr || *keep == '\0'))
    nftw(dir_.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
}

bool PgServer::create(std::string* why) {
  bin_ = find_bin();
  if (bin_.empty()) {
    *why = "no PostgreSQL server here (initdb and pg_ctl not on PATH nor in /usr/lib/postgresql)";
    return false;
  }
  root_ = geteuid() == 0;
  uid_t uid = 0;
  gid_t gid = 0;
  if (root_) {
    const struct passwd* user = getpwnam("postgres");
    if (user == nullptr) {
      *why = "running as root and there is no postgres user to run the server";
      return false;
    }
    uid = user->pw_uid;
    gid = user->pw_gid;
    runuser_ = find_program("runuser");
    if (runuser_.empty()) {
      *why = "running as root and there is no runuser to run the server as postgres";
      return false;
    }
  }
  // A short path: the socket's path must fit in sun_path.
  char pattern[] = "/tmp/smspg.XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    *why = "cannot make a temporary directory";
    return false;
  }
  dir_ = pattern;
  if (root_ && chown(dir_.c_str(), uid, gid) != 0) {
    *why = "cannot give " + dir_ + " to the postgres user";
    return false;
  }
  std::vector<std::string> argv = {
      bin_ + "/initdb", "-D",        dir_ + "/data", "-A",   "trust",     "-U",
      "postgres",       "--no-sync", "-E",           "UTF8", "--locale=C"};
  if (root_) argv.insert(argv.begin(), {runuser_, "-u", "postgres", "--"});
  const ProcessResult result = run_process(argv, "/", {}, 120);
  if (result.exitCode != 0) {
    *why = "initdb failed (exit code " + std::to_string(result.exitCode) + "): " + result.out +
           result.err;
    return false;
  }
  return true;
}

bool PgServer::start(std::string* why) {
  std::vector<std::string> argv = {
      bin_ + "/pg_ctl",
      "-D",
      dir_ + "/data",
      "-l",
      dir_ + "/log",
      "-w",
      "-t",
      "60",
      "-o",
      std::string("-c listen_addresses='' -c fsync=off -p ") + kPort + " -k " + dir_,
      "start"};
  if (root_) argv.insert(argv.begin(), {runuser_, "-u", "postgres", "--"});
  const ProcessResult result = run_process(argv, "/", {}, 90);
  if (result.exitCode != 0) {
    *why = "pg_ctl start failed: " + result.out + result.err;
    return false;
  }
  running_ = true;
  return true;
}

bool PgServer::stop(std::string* why) {
  std::vector<std::string> argv = {bin_ + "/pg_ctl", "-D",  dir_ + "/data", "-w", "-m",
                                   "fast",           "stop"};
  if (root_) argv.insert(argv.begin(), {runuser_, "-u", "postgres", "--"});
  const ProcessResult result = run_process(argv, "/", {}, 90);
  if (result.exitCode != 0) {
    *why = "pg_ctl stop failed: " + result.out + result.err;
    return false;
  }
  running_ = false;
  return true;
}

std::string PgServer::url(const std::string& database) const {
  return "postgresql:///" + database + "?host=" + dir_ + "&port=" + kPort + "&user=postgres";
}

bool PgServer::psql(const std::string& database, const std::string& sql,
                    std::string* output) const {
  std::string psql = bin_ + "/psql";
  if (!executable(psql)) psql = find_program("psql");
  const ProcessResult result =
      run_process({psql, "-X", "-q", "-At", "-v", "ON_ERROR_STOP=1", "-h", dir_, "-p", kPort, "-U",
                   "postgres", "-d", database, "-c", sql},
                  "/", {}, 60);
  *output = result.exitCode == 0 ? result.out : result.out + result.err;
  if (result.exitCode == 0 && !output->empty() && output->back() == '\n') output->pop_back();
  return result.exitCode == 0;
}

bool PgServer::create_database(const std::string& database, std::string* why) {
  return psql("postgres", "CREATE DATABASE \"" + database + "\"", why);
}

bool PgServer::has_postgis() const {
  std::string out;
  return psql("postgres", "SELECT 1 FROM pg_available_extensions WHERE name = 'postgis'", &out) &&
         out == "1";
}

}  // namespace smstest
