// The POSIX device on its own, over real pseudo-terminals: the timing of one
// read request, the line settings, the exclusive claim, hang-ups, the write
// bound, dropped NUL bytes, and the retries after EINTR and EAGAIN.  The
// port's logic above the device is tested on the fake (com_port_test.cpp).
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "serial/serial_device.h"
#include "testsupport/pty_peer.h"
#include "testsupport/run_process.h"

// The test binary is linked with -Wl,--wrap=read: every read() of the
// device comes here first.  A test arms failures for its own thread; every
// other call, and every other thread, reads as usual.
namespace {
thread_local int t_failingReads = 0;
thread_local int t_failingErrno = 0;
}  // namespace

extern "C" ssize_t __real_read(int fd, void* buffer, size_t count);
extern "C" ssize_t __wrap_read(int fd, void* buffer, size_t count) {
  if (t_failingReads > 0) {
    --t_failingReads;
    errno = t_failingErrno;
    return -1;
  }
  return __real_read(fd, buffer, count);
}

namespace smstest {

namespace {

using Clock = std::chrono::steady_clock;

const SerialTimeouts kPortTimeouts = {100, 0, 100, 50, 100};

int64_t ms_since(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Makes the next `count` read() calls of this thread fail with `code`.
void fail_reads(int count, int code) {
  t_failingReads = count;
  t_failingErrno = code;
}

// Counts SIGUSR1 deliveries; installed without SA_RESTART, so that a signal
// interrupts the device's poll() with EINTR.
std::atomic<int> g_signals{0};
void count_signal(int) { ++g_signals; }

class SignalHandler {
 public:
  SignalHandler() {
    struct sigaction action = {};
    action.sa_handler = count_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(SIGUSR1, &action, &old_);
    g_signals = 0;
  }
  ~SignalHandler() { sigaction(SIGUSR1, &old_, nullptr); }

 private:
  struct sigaction old_;
};

// Signals `thread` every 5 ms until stopped.
class Interrupter {
 public:
  explicit Interrupter(pthread_t thread)
      : worker_([this, thread] {
          while (!stop_) {
            pthread_kill(thread, SIGUSR1);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
          }
        }) {}
  ~Interrupter() {
    stop_ = true;
    worker_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread worker_;
};

// Writes into `fd` (non-blocking from now on) until the line takes nothing
// more, as a modem holding CTS low does; returns the bytes it took.
size_t fill_line(int fd) {
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  const std::string block(4096, 'x');
  size_t filled = 0;
  // The pseudo-terminal makes room in steps as it moves bytes along, and
  // takes a few bytes where it refuses a block, so it is full only when it
  // has taken not even one byte for a while.
  for (size_t size : {block.size(), size_t{1}}) {
    for (int idle = 0; idle < 5;) {
      ssize_t n = write(fd, block.data(), size);
      if (n > 0) {
        filled += static_cast<size_t>(n);
        idle = 0;
      } else {
        ++idle;
        usleep(20000);
      }
    }
  }
  return filled;
}

// Everything that `fd` (non-blocking) gives until it has been quiet for a
// while.
std::string drain_line(int fd) {
  std::string drained;
  char chunk[8192];
  for (int idle = 0; idle < 5;) {
    ssize_t n = read(fd, chunk, sizeof chunk);
    if (n > 0) {
      drained.append(chunk, static_cast<size_t>(n));
      idle = 0;
    } else {
      ++idle;
      usleep(20000);
    }
  }
  return drained;
}

class DeviceTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(peer_.create()) << peer_.lastError;
    ASSERT_TRUE(device_->open(peer_.slave_name().c_str())) << peer_.slave_name();
    ASSERT_TRUE(device_->configure(115200));
    ASSERT_TRUE(device_->set_timeouts(kPortTimeouts));
  }

  void send(const std::string& bytes) {
    ASSERT_EQ(write(peer_.fd(), bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  // One read request of up to `count` bytes.
  std::string read_request(int count = 64) {
    char buffer[64];
    int got = 0;
    last_ = device_->read(buffer, count, got);
    return std::string(buffer, static_cast<size_t>(got));
  }

  PtyPeer peer_;
  std::unique_ptr<SerialDevice> device_ = make_serial_device();
  ReadRequest last_ = ReadRequest::kDone;
};

TEST_F(DeviceTest, EmptyRequestReturnsAfterAboutATenthOfASecond) {
  char buffer[16];
  int got = -1;
  Clock::time_point start = Clock::now();
  EXPECT_EQ(device_->read(buffer, sizeof buffer, got), ReadRequest::kDone);
  int64_t took = ms_since(start);
  EXPECT_EQ(got, 0);
  EXPECT_GE(took, 90);
  EXPECT_LT(took, 400);
}

TEST_F(DeviceTest, RequestCollectsForItsWholeTimeNotJustTheFirstByte) {
  // Bytes 40 ms apart all land in one 100 ms request.
  peer_.send("A").pause(40).send("B").pause(40).send("C").start();
  char buffer[16];
  int got = 0;
  ASSERT_EQ(device_->read(buffer, sizeof buffer, got), ReadRequest::kDone);
  EXPECT_EQ(std::string(buffer, got), "ABC");
}

// A request that ends on a quiet line says how long ago its last byte came:
// about the quiet time, and never more than the request lasted.
TEST_F(DeviceTest, ARequestEndedByTheQuietTimeReportsItsLastBytesAge) {
  ASSERT_TRUE(device_->set_timeouts({30, 0, 1000, 50, 100}));  // 30 ms quiet, 1 s in all
  peer_.pause(20).send("\r\nOK\r\n").start();
  char buffer[16];
  int got = 0;
  Clock::time_point start = Clock::now();
  ASSERT_EQ(device_->read(buffer, sizeof buffer, got), ReadRequest::kDone);
  const int64_t took = ms_since(start);
  EXPECT_EQ(std::string(buffer, got), "\r\nOK\r\n");
  EXPECT_GE(device_->last_byte_lag_us(), 28000);
  EXPECT_LE(device_->last_byte_lag_us(), took * 1000);
  // A request that ends on its byte count has no quiet time, and one that
  // got nothing has no last byte.
  send("ABCDEFGH");
  usleep(20000);
  ASSERT_EQ(device_->read(buffer, 8, got), ReadRequest::kDone);
  EXPECT_EQ(device_->last_byte_lag_us(), 0);
  ASSERT_TRUE(device_->set_timeouts({30, 0, 50, 50, 100}));
  ASSERT_EQ(device_->read(buffer, sizeof buffer, got), ReadRequest::kDone);
  EXPECT_EQ(got, 0);
  EXPECT_EQ(device_->last_byte_lag_us(), 0);
  ASSERT_TRUE(peer_.finish()) << peer_.error();
}

TEST_F(DeviceTest, RequestReturnsAtOnceWhenTheCountHasArrived) {
  send("ABCDEFGH");
  usleep(20000);
  char buffer[16];
  int got = 0;
  Clock::time_point start = Clock::now();
  ASSERT_EQ(device_->read(buffer, 5, got), ReadRequest::kDone);
  EXPECT_LT(ms_since(start), 60);
  EXPECT_EQ(std::string(buffer, got), "ABCDE");
  // The rest stays queued for the next request.
  ASSERT_EQ(device_->read(buffer, sizeof buffer, got), ReadRequest::kDone);
  EXPECT_EQ(std::string(buffer, got), "FGH");
}

TEST_F(DeviceTest, NulBytesAreDropped) {
  send(std::string("O\0K", 3));
  EXPECT_EQ(read_request(), "OK");
  send(std::string("\0\r\n", 3));
  EXPECT_EQ(read_request(), "\r\n");
  send(std::string("\0\0", 2));
  EXPECT_EQ(read_request(), "");
  EXPECT_EQ(last_, ReadRequest::kDone);
}

TEST_F(DeviceTest, HangUpFailsReadsAndWritesAtOnce) {
  peer_.send("PART").pause(300).hang_up().start();
  // The bytes before the hang-up arrive; a later request fails with EIO.
  Clock::time_point start = Clock::now();
  std::string got;
  while (ms_since(start) < 3000) {
    got += read_request();
    if (last_ != ReadRequest::kDone) break;
  }
  EXPECT_EQ(last_, ReadRequest::kWaitFailed);
  EXPECT_EQ(device_->error_code(), EIO);
  EXPECT_LT(ms_since(start), 2000);
  EXPECT_EQ(got, "PART");
  ASSERT_TRUE(peer_.finish()) << peer_.error();

  // Every later request fails as fast, and writes are refused.
  start = Clock::now();
  EXPECT_EQ(read_request(), "");
  EXPECT_EQ(last_, ReadRequest::kWaitFailed);
  EXPECT_EQ(device_->error_code(), EIO);
  EXPECT_LT(ms_since(start), 300);
  EXPECT_FALSE(device_->start_write("AT\r", 3));
  EXPECT_EQ(device_->error_code(), EIO);
  device_->close();
  EXPECT_FALSE(device_->is_open());
}

TEST_F(DeviceTest, FullLineIsNotAwaitedBeyondTheWriteBound) {
  const size_t filled = fill_line(peer_.slave_fd());
  ASSERT_GT(filled, 0u);

  Clock::time_point start = Clock::now();
  EXPECT_TRUE(device_->start_write("AT\r", 3));
  int64_t took = ms_since(start);
  // 3 bytes: 50 ms each plus 100 ms.
  EXPECT_GE(took, 200);
  EXPECT_LT(took, 1000);

  // The bytes the line never took were dropped, not sent later.
  const std::string drained = drain_line(peer_.fd());
  EXPECT_EQ(drained.size(), filled);
  EXPECT_EQ(drained.find_first_not_of('x'), std::string::npos);
}

// What was written on purpose before a close (the ESC that cancels a text
// entry) reaches the other side once it is drained, and the close that
// follows keeps it.
TEST_F(DeviceTest, ADrainedWriteSurvivesTheClose) {
  ASSERT_TRUE(device_->start_write("\x1B", 1));
  Clock::time_point start = Clock::now();
  EXPECT_TRUE(device_->drain(1000));
  EXPECT_LT(ms_since(start), 500);
  device_->close();
  EXPECT_EQ(drain_line(peer_.fd()), "\x1B");
  // Closed, there is nothing left to drain.
  EXPECT_TRUE(device_->drain(1000));
}

TEST_F(DeviceTest, ADrainOfAFullLineIsBounded) {
  const size_t filled = fill_line(peer_.slave_fd());
  ASSERT_GT(filled, 0u);
  EXPECT_TRUE(device_->start_write("\x1B", 1));
  Clock::time_point start = Clock::now();
  // A pseudo-terminal has no output queue of its own: what it holds is the
  // peer's, and the drain ends at once; a serial line waits for its queue
  // to empty, for the bound at most.
  device_->drain(300);
  EXPECT_LT(ms_since(start), 600);
  device_->close();
  EXPECT_EQ(drain_line(peer_.fd()).size(), filled);
}

// ---- Retries ------------------------------------------------------------------

TEST_F(DeviceTest, FullLineTakesTheWriteOnceItDrains) {
  // The first write() finds the line full (EAGAIN); room made within the
  // write's bound lets the rest through, and signals interrupting the wait
  // for room (EINTR) do not end it.
  SignalHandler handler;
  for (bool interrupted : {false, true}) {
    const size_t filled = fill_line(peer_.slave_fd());
    ASSERT_GT(filled, 0u);
    std::string drained;
    std::thread reader([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(interrupted ? 100 : 60));
      drained = drain_line(peer_.fd());
    });
    {
      std::unique_ptr<Interrupter> signals(interrupted ? new Interrupter(pthread_self()) : nullptr);
      EXPECT_TRUE(device_->start_write("AT\r", 3)) << interrupted;
    }
    reader.join();
    drained += drain_line(peer_.fd());
    if (interrupted) {
      EXPECT_GT(g_signals.load(), 3);
    }
    ASSERT_EQ(drained.size(), filled + 3) << interrupted;
    EXPECT_EQ(drained.substr(filled), "AT\r") << interrupted;
  }
}

TEST_F(DeviceTest, SignalsDoNotCutAReadRequestShort) {
  SignalHandler handler;
  ASSERT_TRUE(device_->set_timeouts({0, 0, 400, 50, 100}));  // 400 ms, no interval limit
  peer_.pause(150).send("OK").start();
  Clock::time_point start = Clock::now();
  std::string got;
  {
    Interrupter signals(pthread_self());
    got = read_request();
  }
  const int64_t took = ms_since(start);
  EXPECT_EQ(last_, ReadRequest::kDone);
  EXPECT_EQ(got, "OK");
  EXPECT_GE(took, 380) << "the request keeps its whole time";
  EXPECT_GT(g_signals.load(), 3);
  EXPECT_TRUE(peer_.finish()) << peer_.error();
}

TEST_F(DeviceTest, ReadThatFindsNothingOrIsInterruptedIsRetried) {
  // poll() says there is input, but read() finds it gone (EAGAIN) or is
  // interrupted (EINTR): the request goes on and gets the bytes.
  for (int code : {EAGAIN, EINTR}) {
    send("OK");
    usleep(20000);
    fail_reads(2, code);
    EXPECT_EQ(read_request(), "OK") << code;
    EXPECT_EQ(last_, ReadRequest::kDone) << code;
    EXPECT_EQ(t_failingReads, 0) << "both failures were met";
  }
  // Any other failure of read() fails the request.
  send("OK");
  usleep(20000);
  fail_reads(1, EIO);
  EXPECT_EQ(read_request(), "");
  EXPECT_EQ(last_, ReadRequest::kWaitFailed);
  EXPECT_EQ(device_->error_code(), EIO);
}

// ---- Opening, the claim, closing ------------------------------------------------

TEST(DeviceOpen, FailsOnMissingDevicesAndPlainFiles) {
  std::unique_ptr<SerialDevice> device = make_serial_device();
  EXPECT_FALSE(device->open("/nonexistent/ttyS0"));
  EXPECT_EQ(last_system_error(), ENOENT);

  const std::string dir = make_temp_dir("device");
  // A COMn link whose device has gone.
  ASSERT_EQ(symlink((dir + "/nothing_there").c_str(), (dir + "/COM5").c_str()), 0);
  EXPECT_FALSE(device->open((dir + "/COM5").c_str()));
  EXPECT_EQ(last_system_error(), ENOENT);

  const std::string plain = dir + "/plain";
  ASSERT_TRUE(write_file(plain, ""));
  EXPECT_FALSE(device->open(plain.c_str()));
  EXPECT_FALSE(device->is_open());
}

TEST(DeviceOpen, SecondOpenIsRefusedUntilTheFirstCloses) {
  PtyPeer peer;
  ASSERT_TRUE(peer.create()) << peer.lastError;
  std::unique_ptr<SerialDevice> owner = make_serial_device();
  ASSERT_TRUE(owner->open(peer.slave_name().c_str()));
  ASSERT_TRUE(owner->configure(115200));
  ASSERT_TRUE(owner->set_timeouts(kPortTimeouts));

  std::unique_ptr<SerialDevice> second = make_serial_device();
  EXPECT_FALSE(second->open(peer.slave_name().c_str()));
  EXPECT_FALSE(second->is_open());

  // The refused open leaves the owner's claim and line as they were.
  int other = open(peer.slave_name().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (other >= 0) {
    EXPECT_NE(flock(other, LOCK_EX | LOCK_NB), 0) << "still claimed";
    close(other);
  }
  ASSERT_TRUE(owner->start_write("AT+X\r", 5));
  ASSERT_EQ(write(peer.fd(), "\r\nOK\r\n", 6), 6);
  char buffer[16];
  int got = 0;
  ASSERT_EQ(owner->read(buffer, sizeof buffer, got), ReadRequest::kDone);
  EXPECT_EQ(std::string(buffer, got), "\r\nOK\r\n");
  EXPECT_EQ(peer.read_for(0.2), "AT+X\r");

  owner->close();
  owner->close();
  EXPECT_FALSE(owner->is_open());
  // Closed means released: the line can be claimed again.
  other = open(peer.slave_name().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(other, 0);
  EXPECT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
  close(other);
  std::unique_ptr<SerialDevice> third = make_serial_device();
  EXPECT_TRUE(third->open(peer.slave_name().c_str()));
}

TEST(DeviceClosed, EveryOperationFailsWithEbadf) {
  std::unique_ptr<SerialDevice> device = make_serial_device();
  EXPECT_FALSE(device->is_open());
  device->close();
  char buffer[8];
  int got = -1;
  errno = 0;
  EXPECT_EQ(device->read(buffer, sizeof buffer, got), ReadRequest::kRefused);
  EXPECT_EQ(got, 0);
  EXPECT_EQ(device->error_code(), EBADF);
  errno = 0;
  EXPECT_FALSE(device->start_write("AT\r", 3));
  EXPECT_EQ(device->error_code(), EBADF);
  errno = 0;
  EXPECT_FALSE(device->configure(9600));
  EXPECT_EQ(device->error_code(), EBADF);
  errno = 0;
  EXPECT_FALSE(device->purge());
  EXPECT_EQ(device->error_code(), EBADF);
}

// ---- Line settings ------------------------------------------------------------

TEST(DeviceConfigure, SetsRawEightNoneOneAtTheGivenRate) {
  struct Row {
    int rate;
    speed_t speed;
  };
  const Row rows[] = {
      {300, B300}, {9600, B9600}, {19200, B19200}, {115200, B115200}, {230400, B230400}};
  for (const Row& row : rows) {
    PtyPeer peer;
    ASSERT_TRUE(peer.create()) << peer.lastError;
    // Start from a cooked line with parity, so that every setting must change.
    struct termios line;
    ASSERT_EQ(tcgetattr(peer.slave_fd(), &line), 0);
    line.c_lflag |= ICANON | ECHO;
    line.c_iflag |= IXON | IXOFF | ICRNL;
    line.c_oflag |= OPOST;
    line.c_cflag = (line.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB;
    ASSERT_EQ(tcsetattr(peer.slave_fd(), TCSANOW, &line), 0);

    std::unique_ptr<SerialDevice> device = make_serial_device();
    ASSERT_TRUE(device->open(peer.slave_name().c_str()));
    ASSERT_TRUE(device->configure(row.rate)) << row.rate;
    ASSERT_EQ(tcgetattr(peer.slave_fd(), &line), 0);
    EXPECT_EQ(cfgetospeed(&line), row.speed) << row.rate;
    EXPECT_EQ(cfgetispeed(&line), row.speed) << row.rate;
    EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8)) << row.rate;
    EXPECT_EQ(line.c_cflag & (PARENB | CSTOPB), 0u) << row.rate;
    EXPECT_EQ(line.c_iflag & (IXON | IXOFF | ICRNL), 0u) << row.rate;
    EXPECT_EQ(line.c_lflag & (ICANON | ECHO), 0u) << row.rate;
    EXPECT_EQ(line.c_oflag & OPOST, 0u) << row.rate;
  }
}

TEST(DeviceConfigure, RefusesRatesTheLineCannotRun) {
  for (int rate : {0, -9600, 12345, 115201}) {
    PtyPeer peer;
    ASSERT_TRUE(peer.create()) << peer.lastError;
    std::unique_ptr<SerialDevice> device = make_serial_device();
    ASSERT_TRUE(device->open(peer.slave_name().c_str()));
    errno = 0;
    EXPECT_FALSE(device->configure(rate)) << rate;
    EXPECT_EQ(last_system_error(), EINVAL) << rate;
  }
}

}  // namespace

}  // namespace smstest
