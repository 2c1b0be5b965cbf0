#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/run_process.h"

extern char** environ;

namespace {

// A scratch file, removed from the directory at once and closed with the
// object.  Files rather than pipes, so that no stream can fill up and stall
// the child.
struct ScratchFile {
  int fd = -1;
  ScratchFile() {
    const char* dir = std::getenv("TMPDIR");
    std::string path =
        std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/run_process.XXXXXX";
    fd = mkstemp(&path[0]);
    if (fd >= 0) unlink(path.c_str());
  }
  ~ScratchFile() {
    if (fd >= 0) close(fd);
  }
  std::string read_all() const {
    std::string out;
    char buffer[4096];
    ssize_t n;
    lseek(fd, 0, SEEK_SET);
    while ((n = read(fd, buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<size_t>(n));
    return out;
  }
};

}  // namespace

bool run_process(const std::string& program, const std::vector<std::string>& args,
                 const std::string& input, ProcessResult& result, std::string& error) {
  ScratchFile in, out, err;
  if (in.fd < 0 || out.fd < 0 || err.fd < 0) {
    error = std::string("mkstemp: ") + std::strerror(errno);
    return false;
  }
  if (write(in.fd, input.data(), input.size()) != static_cast<ssize_t>(input.size())) {
    error = std::string("write: ") + std::strerror(errno);
    return false;
  }
  lseek(in.fd, 0, SEEK_SET);

  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in.fd, 0);
  posix_spawn_file_actions_adddup2(&actions, out.fd, 1);
  posix_spawn_file_actions_adddup2(&actions, err.fd, 2);
  pid_t pid;
  int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    error = "posix_spawn " + program + ": " + std::strerror(rc);
    return false;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      error = std::string("waitpid: ") + std::strerror(errno);
      return false;
    }
  }
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = out.read_all();
  result.err = err.read_all();
  return true;
}
