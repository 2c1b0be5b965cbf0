// Whole runs of SMS_TEST that a user ends, or starts in a crippled process:
// SIGINT, SIGTERM and SIGHUP in the middle of a wait, an error stream whose
// reader has gone (SIGPIPE), standard streams that are closed at start-up.
// POSIX processes and signals: skipped in the Windows mode.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/clock.h"
#include "tests/whole_run.h"

namespace smstest {

namespace {

using Steady = std::chrono::steady_clock;

// How the child's standard streams are set up.
enum class Streams {
  kFiles,         // stdin /dev/null, stdout and stderr to out.txt and err.txt
  kBrokenStderr,  // stderr a pipe whose reader has already gone
  kClosed,        // 0, 1 and 2 closed
};

// SMS_TEST started in `dir` with a command file holding `record`, ports from
// `ports`.
class Child {
 public:
  Child(const std::string& dir, const std::string& ports, const std::string& record,
        Streams streams)
      : dir_(dir) {
    write_file(dir + "/cmd.txt", "SMS_TEST\nresults.csv\n" + record + "\n");
    const std::string portsVar = "SMS_TEST_PORTS=" + ports;
    int pipeFds[2] = {-1, -1};
    if (streams == Streams::kBrokenStderr && pipe(pipeFds) != 0) return;
    pid_ = fork();
    if (pid_ != 0) {
      if (pipeFds[0] >= 0) {
        close(pipeFds[0]);
        close(pipeFds[1]);
      }
      return;
    }
    // The child: only async-signal-safe calls from here to the exec.
    if (chdir(dir.c_str()) != 0) _exit(120);
    putenv(const_cast<char*>(portsVar.c_str()));
    switch (streams) {
      case Streams::kFiles: {
        int in = open("/dev/null", O_RDONLY);
        int out = open("out.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open("err.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        break;
      }
      case Streams::kBrokenStderr:
        close(pipeFds[0]);  // the reader is gone before anything is written
        dup2(pipeFds[1], 2);
        close(pipeFds[1]);
        break;
      case Streams::kClosed:
        close(0);
        close(1);
        close(2);
        break;
    }
    // SIGPIPE's default action, whatever the test runner set.
    signal(SIGPIPE, SIG_DFL);
    execl(SMS_TEST_BINARY, SMS_TEST_BINARY, "cmd.txt", "status.txt", "42", "45.5N73.6W",
          static_cast<char*>(nullptr));
    _exit(121);
  }

  ~Child() {
    if (pid_ > 0 && !ended_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

  bool started() const { return pid_ > 0; }
  void send(int signalNumber) const { kill(pid_, signalNumber); }

  // Waits up to `limit` seconds for the child to end.  The exit code, or
  // -signal when a signal ended it, or -1000 when it was still running.
  int wait(double limit) {
    const Steady::time_point start = Steady::now();
    for (;;) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        ended_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
      }
      if (std::chrono::duration<double>(Steady::now() - start).count() > limit) return -1000;
      sleep_milliseconds(5);
    }
  }

  std::string file(const std::string& name) const { return read_file(dir_ + "/" + name); }

 private:
  std::string dir_;
  pid_t pid_ = -1;
  bool ended_ = false;
};

double seconds_since(Steady::time_point start) {
  return std::chrono::duration<double>(Steady::now() - start).count();
}

// Waits until `path` holds `text`, for up to `limit` seconds.
bool wait_for(const std::string& path, const std::string& text, double limit) {
  const Steady::time_point start = Steady::now();
  while (read_file(path).find(text) == std::string::npos) {
    if (seconds_since(start) > limit) return false;
    sleep_milliseconds(20);
  }
  return true;
}

class ProcessFaultRunTest : public WholeRunFixture {
 protected:
  void SetUp() override {
    if (windows_mode()) GTEST_SKIP() << "POSIX signals and descriptors";
  }
};

// A signal in the middle of the receive's polls ends the run through the
// failure path within about 100 ms.
TEST_F(ProcessFaultRunTest, SignalsEndTheRunThroughTheFailurePath) {
  start_sim({"--modem", "COM5=5550105"});
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signalNumber);
    Child child(make_temp_dir("signal"), ports_, "S|60|5|x|x|0|0|115200|0|0|1", Streams::kFiles);
    ASSERT_TRUE(child.started());
    // Polling: the receive has begun.
    ASSERT_TRUE(wait_for(ports_ + "/COM5.traffic.log", "cmd AT!GSMS?2,0", 20));
    sleep_milliseconds(300);
    const Steady::time_point sent = Steady::now();
    child.send(signalNumber);
    const int code = child.wait(10);
    const double took = seconds_since(sent);
    EXPECT_EQ(code, 128 + signalNumber);
    EXPECT_LT(took, 0.5) << "the run ended " << took << " s after the signal";
    const std::string text = "Interrupted by signal " + std::to_string(signalNumber) + "\n";
    const std::string err = child.file("err.txt");
    ASSERT_GE(err.size(), text.size() + 1);
    EXPECT_EQ(err.substr(err.size() - text.size() - 1), text + "\n");
    EXPECT_EQ(child.file("status.txt"), "2 " + text + "\n");
    EXPECT_EQ(child.file("results.csv"),
              "SMS_TEST,1,S,42,45.5N73.6W,2,-Infinity,-Infinity,-Infinity,-Infinity,-Infinity,0\n");
    // The port is free again for the next run.
    sleep_milliseconds(200);
  }
}

// An error stream whose reader has gone makes writes to it fail; the run
// still writes its status file and its result line.
TEST_F(ProcessFaultRunTest, AClosedPipeOnTheErrorStreamDoesNotEndTheRun) {
  ports_ = ports_dir();  // no modem: the open fails and is reported
  Child child(make_temp_dir("sigpipe"), ports_, "P|10|9|1|x|0|0|115200|0|0|0",
              Streams::kBrokenStderr);
  ASSERT_TRUE(child.started());
  EXPECT_EQ(child.wait(20), 2);
  EXPECT_EQ(child.file("status.txt"), "2 " + missing_port_failure(ports_ + "/COM9") + "\n");
  EXPECT_EQ(child.file("results.csv"),
            "SMS_TEST,1,P,42,45.5N73.6W,2,-Infinity,-Infinity,-Infinity,-Infinity,-Infinity,0\n");
}

// Started with standard input, output and error closed, the run's files and
// ports would get descriptors 0 to 2, and its messages would land in a
// debug log or on a modem's line.
TEST_F(ProcessFaultRunTest, ClosedStandardStreamsTakeNoMessage) {
  start_sim({"--modem", "COM3=5550103", "--modem", "COM4=5550104", "--delay", "0.3"});
  const std::string dir = make_temp_dir("closed");
  Child child(dir, ports_, "C|30|3|5550104|hello|0|0|115200|4|115200|0", Streams::kClosed);
  ASSERT_TRUE(child.started());
  EXPECT_EQ(child.wait(40), 0);
  EXPECT_EQ(child.file("status.txt"), "0 SUCCESS\n");
  for (const char* text : {"Sending SMS", "New Message Found", "Deleting Message"}) {
    for (const std::string& log :
         {child.file("C.3.debug.log"), child.file("C.4.debug.log"),
          read_file(ports_ + "/COM3.traffic.log"), read_file(ports_ + "/COM4.traffic.log")}) {
      EXPECT_EQ(log.find(text), std::string::npos) << text << " in\n" << log;
    }
  }
}

}  // namespace

}  // namespace smstest
