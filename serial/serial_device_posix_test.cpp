// The POSIX device on its own, over pseudo-terminals: the timing of one read
// request and the line settings.  Hang-ups, NUL stripping and busy ports are
// tested through ComPort (com_port_test.cpp).
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "testsupport/pty_peer.h"
#include "serial/serial_device.h"

namespace smstest {

namespace {

using Clock = std::chrono::steady_clock;

const SerialTimeouts kPortTimeouts = {100, 0, 100, 50, 100};

int64_t ms_since(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
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
    ASSERT_EQ(write(peer_.fd(), bytes.data(), bytes.size()),
              static_cast<ssize_t>(bytes.size()));
  }

  PtyPeer peer_;
  std::unique_ptr<SerialDevice> device_ = make_serial_device();
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

TEST(DeviceOpen, FailsOnMissingDevicesAndPlainFiles) {
  std::unique_ptr<SerialDevice> device = make_serial_device();
  EXPECT_FALSE(device->open("/nonexistent/ttyS0"));
  EXPECT_EQ(last_system_error(), ENOENT);

  char path[] = "/tmp/sms_plain_XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  EXPECT_FALSE(device->open(path));
  EXPECT_FALSE(device->is_open());
  unlink(path);
}

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
