// The serial device on POSIX systems: a terminal device in raw mode, read and
// written without blocking, with poll() giving the read requests and writes
// the timing of the Windows port time-outs.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <string.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <limits>

#include "common/interrupt.h"
#include "common/text.h"
#include "serial/serial_device.h"

namespace smstest {

namespace {

using SteadyClock = std::chrono::steady_clock;

// The longest a write waits at a time before it looks for an interrupt.
constexpr int64_t kWriteStepMs = 100;
// How often a drain looks at the output queue.
constexpr int64_t kDrainStepMs = 5;

int64_t milliseconds_since(SteadyClock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start).count();
}

// A poll() time-out from a wait in milliseconds, -1 meaning none.
int poll_wait(int64_t wait) {
  return wait > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max()
                                                : static_cast<int>(wait);
}

struct BaudRate {
  int rate;
  speed_t speed;
};

// The rates the terminal interface can name.  Rates outside this table are
// refused rather than rounded to a neighbour.
const BaudRate kBaudRates[] = {
    {50, B50},           {75, B75},         {110, B110},       {134, B134},     {150, B150},
    {200, B200},         {300, B300},       {600, B600},       {1200, B1200},   {1800, B1800},
    {2400, B2400},       {4800, B4800},     {9600, B9600},     {19200, B19200}, {38400, B38400},
    {57600, B57600},     {115200, B115200}, {230400, B230400},
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B500000
    {500000, B500000},
#endif
#ifdef B576000
    {576000, B576000},
#endif
#ifdef B921600
    {921600, B921600},
#endif
#ifdef B1000000
    {1000000, B1000000},
#endif
#ifdef B1152000
    {1152000, B1152000},
#endif
#ifdef B1500000
    {1500000, B1500000},
#endif
#ifdef B2000000
    {2000000, B2000000},
#endif
#ifdef B2500000
    {2500000, B2500000},
#endif
#ifdef B3000000
    {3000000, B3000000},
#endif
#ifdef B3500000
    {3500000, B3500000},
#endif
#ifdef B4000000
    {4000000, B4000000},
#endif
};

bool speed_for_rate(int rate, speed_t& speed) {
  for (const BaudRate& entry : kBaudRates) {
    if (entry.rate == rate) {
      speed = entry.speed;
      return true;
    }
  }
  return false;
}

// Removes the NUL bytes from data[0, length) in place; returns the new length.
int strip_nuls(char* data, int length) {
  int kept = 0;
  for (int i = 0; i < length; ++i) {
    if (data[i] != '\0') data[kept++] = data[i];
  }
  return kept;
}

class PosixSerialDevice : public SerialDevice {
 public:
  ~PosixSerialDevice() override { close(); }

  bool open(const char* name) override {
    close();
    int fd = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    // TIOCEXCL keeps other users out, except root, who ignores it; the flock is
    // what keeps a second run (or a second device in this process) off the port
    // in every case.  Only terminals take TIOCEXCL, so a plain file fails here.
    if (ioctl(fd, TIOCEXCL) != 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) {
      int code = errno;
      ::close(fd);
      errno = code;
      return false;
    }
    fd_ = fd;
    return true;
  }

  bool configure(int baudRate) override {
    if (fd_ < 0) {
      errno = EBADF;
      return false;
    }
    speed_t speed;
    if (!speed_for_rate(baudRate, speed)) {
      errno = EINVAL;
      return false;
    }
    struct termios line;
    if (tcgetattr(fd_, &line) != 0) return false;
    cfmakeraw(&line);
    line.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    line.c_cflag &= ~(CSIZE | PARENB | CSTOPB);
    // CLOCAL: the modem's carrier line does not gate the port, as on Windows.
    line.c_cflag |= CS8 | CREAD | CLOCAL | CRTSCTS;
    // Reads never block in the driver; poll() does the waiting.
    line.c_cc[VMIN] = 0;
    line.c_cc[VTIME] = 0;
    if (cfsetispeed(&line, speed) != 0 || cfsetospeed(&line, speed) != 0) return false;
    if (tcsetattr(fd_, TCSANOW, &line) != 0) return false;
    // tcsetattr succeeds when any of the changes took, so check the ones that
    // matter.  CRTSCTS is not among them: devices without modem lines (such as
    // pseudo-terminals) may drop it.
    struct termios set;
    if (tcgetattr(fd_, &set) != 0) return false;
    if (cfgetospeed(&set) != speed || cfgetispeed(&set) != speed || (set.c_cflag & CSIZE) != CS8 ||
        (set.c_cflag & PARENB) != 0) {
      errno = EINVAL;
      return false;
    }
    return true;
  }

  bool set_timeouts(const SerialTimeouts& timeouts) override {
    timeouts_ = timeouts;
    return true;
  }

  bool purge() override {
    if (fd_ < 0) {
      errno = EBADF;
      return false;
    }
    return tcflush(fd_, TCIOFLUSH) == 0;
  }

  ReadRequest read(char* buffer, int count, int& got) override {
    got = 0;
    if (fd_ < 0) {
      errno = EBADF;
      return ReadRequest::kRefused;
    }
    if (count <= 0) return ReadRequest::kDone;

    lagUs_ = 0;
    SteadyClock::time_point start = SteadyClock::now();
    const int64_t total =
        static_cast<int64_t>(timeouts_.readTotalMultiplier) * count + timeouts_.readTotalConstant;
    int64_t last_byte_at = -1;  // ms since start when the latest byte arrived
    SteadyClock::time_point lastByte = start;
    for (;;) {
      // The request ends at its total time-out, or when the gap after the
      // latest byte exceeds the interval time-out; with neither it waits for
      // all `count` bytes.
      const int64_t now = milliseconds_since(start);
      int64_t wait = -1;  // no limit
      if (total > 0) wait = std::max<int64_t>(0, total - now);
      if (timeouts_.readInterval > 0 && last_byte_at >= 0) {
        int64_t gap = std::max<int64_t>(0, last_byte_at + timeouts_.readInterval - now);
        if (wait < 0 || gap < wait) wait = gap;
      }
      if (wait == 0) break;

      struct pollfd request = {fd_, POLLIN, 0};
      int ready = poll(&request, 1, poll_wait(wait));
      if (ready < 0) {
        if (errno == EINTR) continue;
        return ReadRequest::kWaitFailed;
      }
      if (ready == 0) continue;
      if (request.revents & POLLNVAL) {
        errno = EBADF;
        return ReadRequest::kWaitFailed;
      }
      ssize_t n = ::read(fd_, buffer + got, static_cast<size_t>(count - got));
      if (n < 0) {
        if ((errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) &&
            (request.revents & (POLLHUP | POLLERR)) == 0) {
          continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) errno = EIO;
        return ReadRequest::kWaitFailed;
      }
      if (n == 0) {
        // A hung-up terminal (a modem unplugged, a pseudo-terminal whose other
        // side closed) polls readable and reads end-of-file at once, again and
        // again.  That is the device going away, not an empty request.
        errno = EIO;
        return ReadRequest::kWaitFailed;
      }
      lastByte = SteadyClock::now();
      last_byte_at = milliseconds_since(start);
      got += strip_nuls(buffer + got, static_cast<int>(n));
      if (got >= count) return ReadRequest::kDone;
    }
    if (got > 0) {
      lagUs_ = std::chrono::duration_cast<std::chrono::microseconds>(SteadyClock::now() - lastByte)
                   .count();
    }
    return ReadRequest::kDone;
  }

  ReadRequest read_waiting(char* buffer, int count, int& got) override {
    got = 0;
    if (fd_ < 0) {
      errno = EBADF;
      return ReadRequest::kRefused;
    }
    // With VMIN and VTIME 0 a read of an idle terminal returns 0 like one
    // that hung up, so poll() tells first whether anything is there.
    while (got < count) {
      struct pollfd request = {fd_, POLLIN, 0};
      int ready = poll(&request, 1, 0);
      if (ready < 0) {
        if (errno == EINTR) continue;
        return ReadRequest::kWaitFailed;
      }
      if (ready == 0) break;
      if (request.revents & POLLNVAL) {
        errno = EBADF;
        return ReadRequest::kWaitFailed;
      }
      ssize_t n = ::read(fd_, buffer + got, static_cast<size_t>(count - got));
      if (n < 0) {
        if (errno == EINTR) continue;
        if ((errno == EAGAIN || errno == EWOULDBLOCK) &&
            (request.revents & (POLLHUP | POLLERR)) == 0)
          break;
        if (errno == EAGAIN || errno == EWOULDBLOCK) errno = EIO;
        return ReadRequest::kWaitFailed;
      }
      if (n == 0) {
        errno = EIO;  // readable yet empty: the line hung up
        return ReadRequest::kWaitFailed;
      }
      got += strip_nuls(buffer + got, static_cast<int>(n));
    }
    return ReadRequest::kDone;
  }

  bool start_write(const char* data, int length) override {
    if (fd_ < 0) {
      errno = EBADF;
      return false;
    }
    if (length < 0) {
      errno = EINVAL;
      return false;
    }
    if (length == 0) return true;
    drained_ = false;

    SteadyClock::time_point start = SteadyClock::now();
    ssize_t n = ::write(fd_, data, static_cast<size_t>(length));
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return false;
    int sent = n > 0 ? static_cast<int>(n) : 0;

    // The rest is pushed until the write's own time-out runs out.  Whatever
    // the device still refuses then is dropped, and later failures go
    // unreported: the write was accepted.
    const int64_t bound = static_cast<int64_t>(timeouts_.writeTotalMultiplier) * length +
                          timeouts_.writeTotalConstant;
    while (sent < length && interrupt_signal() == 0) {
      // Waited for in steps of 100 ms at most, so that an interrupted run
      // gives the write up within one step.
      int64_t wait = kWriteStepMs;
      if (bound > 0) {
        wait = std::min<int64_t>(wait, bound - milliseconds_since(start));
        if (wait <= 0) break;
      }
      struct pollfd request = {fd_, POLLOUT, 0};
      int ready = poll(&request, 1, poll_wait(wait));
      if (ready < 0 && errno != EINTR) break;
      if (ready <= 0) continue;
      if (request.revents & (POLLNVAL | POLLERR | POLLHUP)) break;
      n = ::write(fd_, data + sent, static_cast<size_t>(length - sent));
      if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
        break;
      }
      sent += static_cast<int>(n);
    }
    return true;
  }

  bool drain(int timeoutMs) override {
    if (fd_ < 0) return true;
    // tcdrain() could wait without end for a modem that holds CTS low: the
    // output queue is looked at every few milliseconds instead.
    SteadyClock::time_point start = SteadyClock::now();
    for (;;) {
      int queued = 0;
      if (ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued <= 0) break;
      const int64_t left = timeoutMs - milliseconds_since(start);
      if (left <= 0 || interrupt_signal() != 0) return false;
      poll(nullptr, 0, static_cast<int>(std::min<int64_t>(left, kDrainStepMs)));
    }
    drained_ = true;
    return true;
  }

  void close() override {
    if (fd_ < 0) return;
    // Output that the line has not sent by now is abandoned, as a port handle
    // closed on Windows abandons it; otherwise close() may wait for a modem that
    // holds CTS low.  After a drain nothing is queued on this side, and what
    // a pseudo-terminal's peer has not read yet is its own.
    if (!drained_) tcflush(fd_, TCOFLUSH);
    drained_ = false;
    // A serial port forgets its exclusive claim at the last close, but a
    // pseudo-terminal keeps it while its other side is held open; give it up
    // so that the next run can open the line.
    ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
  }

  bool is_open() const override { return fd_ >= 0; }

  int error_code() const override { return last_system_error(); }
  int64_t last_byte_lag_us() const override { return lagUs_; }

 private:
  int fd_ = -1;
  int64_t lagUs_ = 0;     // see last_byte_lag_us()
  bool drained_ = false;  // nothing written since the last successful drain
  SerialTimeouts timeouts_;
};

}  // namespace

std::unique_ptr<SerialDevice> make_serial_device() {
  return std::unique_ptr<SerialDevice>(new PosixSerialDevice());
}

// COM<n> is $SMS_TEST_PORTS/COM<n> when that names a directory (a folder of
// links such as COM3 -> /dev/ttyUSB2), otherwise the n-th built-in serial
// port, numbered from /dev/ttyS0 for COM1.
std::string serial_device_name(int portNumber) {
  const char* folder = std::getenv("SMS_TEST_PORTS");
  struct stat info;
  if (folder != nullptr && folder[0] != '\0' && stat(folder, &info) == 0 && S_ISDIR(info.st_mode)) {
    std::string name = folder;
    if (name.back() != '/') name += '/';
    return name + format("COM%d", portNumber);
  }
  return format("/dev/ttyS%lld", static_cast<long long>(portNumber) - 1);
}

std::string port_lookup_note(int portNumber) {
  const char* folder = std::getenv("SMS_TEST_PORTS");
  struct stat info;
  if (folder == nullptr || folder[0] == '\0') return "";
  if (stat(folder, &info) == 0 && S_ISDIR(info.st_mode)) return "";
  std::string link = folder;
  if (link.back() != '/') link += '/';
  link += format("COM%d", portNumber);
  return format("%s not looked for: SMS_TEST_PORTS=%s is not a folder", link.c_str(), folder);
}

int last_system_error() { return errno; }

bool system_error_message(int code, std::string& text) {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 32))
  // strerror() would make up "Unknown error N"; this says when there is none.
  const char* message = strerrordesc_np(code);
  if (message == nullptr) return false;
  text = message;
  return true;
#elif defined(__GLIBC__)
  char scratch[256];
  const char* message = strerror_r(code, scratch, sizeof scratch);
  if (message == nullptr || strncmp(message, "Unknown error ", 14) == 0) return false;
  text = message;
  return true;
#else
  char scratch[256];
  if (strerror_r(code, scratch, sizeof scratch) != 0) return false;
  text = scratch;
  return true;
#endif
}

}  // namespace smstest
