// Pseudo-terminals, links and the event loop of the simulator on POSIX
// systems.  One poll() loop serves every modem: the client's bytes, the
// output that a slow client has not yet taken, the events of the network,
// and the opens and closes of the terminals (inotify on Linux).
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/inotify.h>
#endif

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "common/clock.h"
#include "common/text.h"
#include "sim/network.h"
#include "sim/simulator.h"

namespace smstest {

namespace {

// One modem's pseudo-terminal.  The simulator keeps the slave side open
// itself: then a client's close never leaves the master hung up (which
// would make poll() report it at once, forever), and the line settings
// belong to a terminal that stays alive between clients.
//
// Opens and closes of the terminal are seen through inotify, whose events
// may come later than the bytes a new client has already written.  So
// nothing that serves a client depends on them: answers are always
// written, and a close only lifts the client's claim and its line settings.
class PtyLine : public SimLine {
 public:
  int master = -1;
  int slave = -1;
  int watch = -1;
  int clients = 0;
  std::string terminal;
  std::string link;
  std::string pending;   // written but not yet taken by the terminal
  bool stalled = false;  // the master side is no longer read
  struct termios raw;

  void write(const std::string& bytes) override {
    if (master < 0) return;
    pending += bytes;
    flush();
  }

  void hang_up() override { close_all(); }

  // The simulator holds the terminal's client side open too: what it writes
  // there fills the queue that the client's writes go to, which the master
  // side no longer reads.
  void stall() override {
    stalled = true;
    if (slave < 0) return;
    fcntl(slave, F_SETFL, fcntl(slave, F_GETFL) | O_NONBLOCK);
    // The terminal moves what it took on to the line discipline a moment
    // later, which makes room again: fill until a few rounds in a row find
    // none.
    const std::string filler(4096, 'x');
    for (int quiet = 0, round = 0; quiet < 3 && round < 200; ++round) {
      bool took = false;
      for (;;) {
        ssize_t n = ::write(slave, filler.data(), filler.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        took = true;
      }
      quiet = took ? 0 : quiet + 1;
      struct timespec pause = {0, 10 * 1000 * 1000};
      nanosleep(&pause, nullptr);
    }
  }

  void flush() {
    while (!pending.empty() && master >= 0) {
      ssize_t n = ::write(master, pending.data(), pending.size());
      if (n > 0) {
        pending.erase(0, static_cast<size_t>(n));
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else {
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) pending.clear();
        break;
      }
    }
  }

  // The last client left: forget its exclusive claim (a terminal keeps it
  // while the simulator holds the other side, a serial port loses it at its
  // last close) and any line processing it switched on, so that the next
  // client finds the line as the first one did.  A claim or setting of a
  // client that already came again may be lifted as well; the events can be
  // late.
  void reset_after_client() {
    if (slave < 0) return;
#if defined(TIOCNXCL)
    ioctl(slave, TIOCNXCL);
#endif
    struct termios now;
    if (tcgetattr(slave, &now) == 0 &&
        (now.c_lflag != raw.c_lflag || now.c_iflag != raw.c_iflag || now.c_oflag != raw.c_oflag)) {
      now.c_lflag = raw.c_lflag;
      now.c_iflag = raw.c_iflag;
      now.c_oflag = raw.c_oflag;
      tcsetattr(slave, TCSANOW, &now);
    }
  }

  void close_all() {
    if (!link.empty()) unlink(link.c_str());
    link.clear();
    if (slave >= 0) ::close(slave);
    if (master >= 0) ::close(master);
    slave = master = -1;
    pending.clear();
  }

  ~PtyLine() override { close_all(); }
};

bool open_pty(PtyLine& line, std::string& lastError) {
  line.master = posix_openpt(O_RDWR | O_NOCTTY);
  if (line.master < 0 || grantpt(line.master) != 0 || unlockpt(line.master) != 0) {
    lastError = format("cannot create a pseudo-terminal: %s", strerror(errno));
    return false;
  }
  fcntl(line.master, F_SETFL, fcntl(line.master, F_GETFL) | O_NONBLOCK);
  fcntl(line.master, F_SETFD, FD_CLOEXEC);
  const char* name = ptsname(line.master);
  if (name == nullptr) {
    lastError = format("cannot name a pseudo-terminal: %s", strerror(errno));
    return false;
  }
  line.terminal = name;
  line.slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (line.slave < 0) {
    lastError = format("cannot open %s: %s", name, strerror(errno));
    return false;
  }
  // A new terminal echoes and turns CR into LF; a modem line passes every
  // byte as sent, in both directions.
  tcgetattr(line.slave, &line.raw);
  cfmakeraw(&line.raw);
  line.raw.c_cflag |= CLOCAL | CREAD;
  line.raw.c_cc[VMIN] = 1;
  line.raw.c_cc[VTIME] = 0;
  if (tcsetattr(line.slave, TCSANOW, &line.raw) != 0) {
    lastError = format("cannot set raw mode on %s: %s", name, strerror(errno));
    return false;
  }
  return true;
}

bool publish_link(PtyLine& line, const std::string& path, std::string& lastError) {
  struct stat info;
  if (lstat(path.c_str(), &info) == 0) {
    if (!S_ISLNK(info.st_mode)) {
      lastError = format("%s exists and is not a link", path.c_str());
      return false;
    }
    unlink(path.c_str());  // left over from a run that was killed
  }
  if (symlink(line.terminal.c_str(), path.c_str()) != 0) {
    lastError = format("cannot create link %s: %s", path.c_str(), strerror(errno));
    return false;
  }
  line.link = path;
  return true;
}

// A simulated GPS receiver's line: a pseudo-terminal like a modem's, that
// goes away while the receiver is unplugged and comes back as a new one
// under the same link.  Nothing is read from it; what the client does not
// take is dropped beyond a few seconds' worth, as a receiver's bytes are
// when nobody listens.
class GpsPtyLine : public SimGpsLine {
 public:
  GpsPtyLine(std::string link, int notify) : link_(std::move(link)), notify_(notify) {}

  bool open(std::string& lastError) {
    line.pending.clear();
    line.clients = 0;
    line.stalled = false;
    if (!open_pty(line, lastError)) return false;
#if defined(__linux__)
    if (notify_ >= 0)
      line.watch = inotify_add_watch(notify_, line.terminal.c_str(), IN_OPEN | IN_CLOSE);
#endif
    return true;
  }

  bool publish(std::string& lastError) { return publish_link(line, link_, lastError); }

  void write(const std::string& bytes) override {
    if (line.pending.size() > kMaxPending) line.pending.clear();
    line.write(bytes);
  }

  void set_plugged(bool plugged) override {
    if (!plugged) {
      line.close_all();
      line.clients = 0;
      return;
    }
    std::string ignored;
    if (line.master < 0 && open(ignored)) publish(ignored);
  }

  PtyLine line;

 private:
  static constexpr size_t kMaxPending = 4096;
  std::string link_;
  int notify_;
};

// Creates `dir` and any of its parents that are missing.
bool make_directories(const std::string& dir, std::string& lastError) {
  for (size_t end = dir.find('/', 1);; end = dir.find('/', end + 1)) {
    std::string part = dir.substr(0, end);
    if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) {
      lastError = format("cannot create directory %s: %s", dir.c_str(), strerror(errno));
      return false;
    }
    if (end == std::string::npos) break;
  }
  struct stat info;
  if (stat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    lastError = format("cannot create directory %s: %s", dir.c_str(), strerror(ENOTDIR));
    return false;
  }
  return true;
}

// The claim of a simulator on its directory: an exclusive flock() on
// DIR/modem_sim.lock, which holds the simulator's process id.  The system
// drops the lock with the process, so a simulator that was killed leaves a
// file that the next one takes over, never a claim.
class DirectoryLock {
 public:
  ~DirectoryLock() {
    if (fd_ < 0) return;
    unlink(path_.c_str());  // while still locked: the next one finds a new file
    close(fd_);
  }

  // False with the reason in `lastError` when another simulator holds `dir`.
  bool claim(const std::string& dir, std::string& lastError) {
    path_ = dir + "/modem_sim.lock";
    // A lock on a file that its holder removed before it let go is no
    // claim: take the one that is there now.
    for (int attempt = 0; attempt < 10; ++attempt) {
      int fd = open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
      if (fd < 0) {
        lastError = format("cannot create %s: %s", path_.c_str(), strerror(errno));
        return false;
      }
      if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int error = errno;
        std::string holder = read_holder(fd);
        close(fd);
        lastError = error == EWOULDBLOCK
                        ? format("%s is in use by another modem_sim (pid %s)", dir.c_str(),
                                 holder.empty() ? "unknown" : holder.c_str())
                        : format("cannot lock %s: %s", path_.c_str(), strerror(error));
        return false;
      }
      struct stat held, now;
      if (fstat(fd, &held) == 0 && stat(path_.c_str(), &now) == 0 && held.st_ino == now.st_ino &&
          held.st_dev == now.st_dev) {
        fd_ = fd;
        std::string pid = format("%d\n", static_cast<int>(getpid()));
        if (ftruncate(fd_, 0) != 0 || pwrite(fd_, pid.data(), pid.size(), 0) < 0) {
          lastError = format("cannot write %s: %s", path_.c_str(), strerror(errno));
          return false;
        }
        return true;
      }
      close(fd);
    }
    lastError = format("cannot lock %s: it keeps being replaced", path_.c_str());
    return false;
  }

 private:
  static std::string read_holder(int fd) {
    char text[32] = {};
    ssize_t n = pread(fd, text, sizeof text - 1, 0);
    std::string pid(text, n > 0 ? static_cast<size_t>(n) : 0);
    while (!pid.empty() && (pid.back() < '0' || pid.back() > '9')) pid.pop_back();
    return pid;
  }

  std::string path_;
  int fd_ = -1;
};

}  // namespace

struct Simulator::Impl {
  SimConfig config;
  std::unique_ptr<DirectoryLock> lock;
  std::unique_ptr<SimNetwork> network;
  std::vector<std::unique_ptr<PtyLine>> lines;
  std::vector<std::unique_ptr<GpsPtyLine>> gpsLines;
  int stopPipe[2] = {-1, -1};
  int notify = -1;
  double readyAt = 0;

  ~Impl() {
    lines.clear();
    gpsLines.clear();
    lock.reset();
    for (int fd : {stopPipe[0], stopPipe[1], notify}) {
      if (fd >= 0) close(fd);
    }
  }

  void handle_notifications(double now);
  void serve_line(size_t index, short revents);
};

Simulator::Simulator() : impl_(std::make_unique<Impl>()) {
  if (pipe(impl_->stopPipe) == 0) {
    for (int fd : impl_->stopPipe) {
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
      fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
  }
}

Simulator::~Simulator() = default;

bool Simulator::start(const SimConfig& config) {
  Impl& s = *impl_;
  s.config = config;
  if (s.stopPipe[0] < 0) {
    lastError = "cannot create the stop pipe";
    return false;
  }
  if (!make_directories(config.dir, lastError)) return false;
  // Before any record or link: a second simulator on the directory would
  // take over the links and write into the records of the first.
  s.lock = std::make_unique<DirectoryLock>();
  if (!s.lock->claim(config.dir, lastError)) {
    s.lock.reset();
    return false;
  }
  s.network = std::make_unique<SimNetwork>(config);
  if (!s.network->open_records(config.dir)) {
    lastError = s.network->lastError;
    return false;
  }
#if defined(__linux__)
  s.notify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
#endif
  for (size_t i = 0; i < config.modems.size(); ++i) {
    s.lines.push_back(std::make_unique<PtyLine>());
    PtyLine& line = *s.lines.back();
    if (!open_pty(line, lastError)) {
      s.lines.clear();
      return false;
    }
#if defined(__linux__)
    if (s.notify >= 0) {
      line.watch = inotify_add_watch(s.notify, line.terminal.c_str(), IN_OPEN | IN_CLOSE);
    }
#endif
    s.network->attach_line(i, &line);
  }
  for (size_t g = 0; g < config.gpsReceivers.size(); ++g) {
    s.gpsLines.push_back(
        std::make_unique<GpsPtyLine>(config.dir + "/" + config.gpsReceivers[g].name, s.notify));
    if (!s.gpsLines.back()->open(lastError)) {
      s.lines.clear();
      s.gpsLines.clear();
      return false;
    }
    s.network->attach_gps_line(g, s.gpsLines.back().get());
  }
  // Links last: a link that exists leads to a terminal that is ready.
  for (size_t i = 0; i < config.modems.size(); ++i) {
    if (!publish_link(*s.lines[i], link_path(i), lastError)) {
      s.lines.clear();
      s.gpsLines.clear();
      return false;
    }
  }
  for (const auto& gps : s.gpsLines) {
    if (!gps->publish(lastError)) {
      s.lines.clear();
      s.gpsLines.clear();
      return false;
    }
  }
  s.readyAt = monotonic_seconds();
  s.network->start(s.readyAt);
  return true;
}

std::string Simulator::ready_line() const {
  std::string line = "modem_sim: ready " + impl_->config.dir;
  for (const ModemConfig& modem : impl_->config.modems) {
    line += " " + modem.name + "=" + modem.number;
  }
  return line;
}

std::string Simulator::terminal_path(size_t index) const {
  return index < impl_->lines.size() ? impl_->lines[index]->terminal : std::string();
}

std::string Simulator::link_path(size_t index) const {
  return impl_->config.dir + "/" + impl_->config.modems[index].name;
}

void Simulator::request_stop() {
  char byte = 1;
  ssize_t ignored = write(impl_->stopPipe[1], &byte, 1);
  (void)ignored;
}

void Simulator::Impl::handle_notifications(double now) {
#if defined(__linux__)
  alignas(struct inotify_event) char buffer[4096];
  for (;;) {
    ssize_t n = read(notify, buffer, sizeof buffer);
    if (n <= 0) return;
    for (char* p = buffer; p < buffer + n;) {
      auto* event = reinterpret_cast<struct inotify_event*>(p);
      p += sizeof(struct inotify_event) + event->len;
      for (size_t i = 0; i < lines.size(); ++i) {
        PtyLine& line = *lines[i];
        if (line.watch != event->wd || line.master < 0) continue;
        if (event->mask & IN_OPEN) {
          ++line.clients;
          network->client_opened(i, now);
        }
        if ((event->mask & IN_CLOSE) && line.clients > 0) {
          if (--line.clients == 0) line.reset_after_client();
          network->client_closed(i, now);
        }
      }
      // A GPS receiver's client leaves its exclusive claim behind too.
      for (const auto& gps : gpsLines) {
        PtyLine& line = gps->line;
        if (line.watch != event->wd || line.master < 0) continue;
        if (event->mask & IN_OPEN) ++line.clients;
        if ((event->mask & IN_CLOSE) && line.clients > 0 && --line.clients == 0) {
          line.reset_after_client();
        }
      }
    }
  }
#else
  (void)now;
#endif
}

void Simulator::Impl::serve_line(size_t index, short revents) {
  PtyLine& line = *lines[index];
  if (revents & POLLOUT) line.flush();
  if (!(revents & POLLIN)) return;
  char buffer[4096];
  for (;;) {
    ssize_t n = read(line.master, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    network->receive(index, buffer, static_cast<size_t>(n), monotonic_seconds());
    if (line.master < 0) return;  // hung up while answering
    if (line.stalled) return;     // what is queued now stays unread
  }
}

void Simulator::run() {
  Impl& s = *impl_;
  if (!s.network) return;
  double end = s.config.duration > 0 ? s.readyAt + s.config.duration
                                     : std::numeric_limits<double>::infinity();
  std::vector<struct pollfd> fds;
  for (;;) {
    double now = monotonic_seconds();
    if (now >= end) break;
    double due = std::min(s.network->next_due(), end);
    fds.clear();
    fds.push_back({s.stopPipe[0], POLLIN, 0});
    fds.push_back({s.notify, POLLIN, 0});  // a negative descriptor is skipped
    for (const auto& line : s.lines) {
      short events = line->stalled ? 0 : POLLIN;
      if (!line->pending.empty()) events |= POLLOUT;
      fds.push_back({line->master, events, 0});
    }
    struct timespec wait;
    struct timespec* timeout = nullptr;
    if (std::isfinite(due)) {
      double left = std::max(0.0, due - now);
      wait.tv_sec = static_cast<time_t>(left);
      wait.tv_nsec = static_cast<long>((left - static_cast<double>(wait.tv_sec)) * 1e9) + 1;
      if (wait.tv_nsec >= 1000000000L) wait.tv_nsec = 999999999L;
      timeout = &wait;
    }
    int ready = ppoll(fds.data(), fds.size(), timeout, nullptr);
    if (ready < 0 && errno != EINTR) {
      lastError = format("poll failed: %s", strerror(errno));
      break;
    }
    if (ready > 0 && (fds[0].revents & POLLIN)) break;
    // Opens and closes first, so that the traffic record shows a client's
    // open before its commands whenever the events came in time.
    if (ready > 0 && (fds[1].revents & POLLIN)) s.handle_notifications(monotonic_seconds());
    for (size_t i = 0; ready > 0 && i < s.lines.size(); ++i) {
      short revents = fds[2 + i].revents;
      if (revents != 0 && s.lines[i]->master >= 0) s.serve_line(i, revents);
    }
    s.network->run_due(monotonic_seconds());
  }
  s.lines.clear();  // closes the terminals, removes the links
  s.gpsLines.clear();
  s.lock.reset();  // the directory is free for the next simulator
}

}  // namespace smstest
