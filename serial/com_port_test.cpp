// ComPort over real pseudo-terminals, with a scripted modem on the master side
// and a scripted calendar clock where a time-out is tested without waiting.
#include "serial/com_port.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/clock.h"
#include "testsupport/pty_peer.h"
#include "serial/serial_device.h"

namespace smstest {

namespace {

using SteadyClock = std::chrono::steady_clock;

const char kCommand[] = "AT+X\r";
const std::string kOk = "\r\nOK\r\n";

// The log of a handshake answered "\r\nOK\r\n" three times.
const std::string kHandshakeLog =
    "\nWrote 3 bytes\nAT\r\nRead 6 bytes\n\r\nOK\r\n"
    "\nWrote 3 bytes\nAT\r\nRead 6 bytes\n\r\nOK\r\n"
    "\nWrote 5 bytes\nATE0\r\nRead 6 bytes\n\r\nOK\r\n";

// The system clock, except that its calendar can be scripted: once
// script() is called it reads `start` first and moves `step` seconds on at
// every reading after that, until use_system() restores the system calendar.
class ScriptableCalendar : public Clock {
 public:
  bool read_performance_counter(int64_t& reading) override {
    return system_clock().read_performance_counter(reading);
  }
  bool read_counter_frequency(int64_t& frequency) override {
    return system_clock().read_counter_frequency(frequency);
  }
  int64_t calendar_seconds() override {
    if (!scripted_) return system_clock().calendar_seconds();
    return now_.fetch_add(step_);
  }
  void sleep_milliseconds(int milliseconds) override {
    system_clock().sleep_milliseconds(milliseconds);
  }

  void script(int64_t start, int64_t step) {
    now_ = start;
    step_ = step;
    scripted_ = true;
  }
  void use_system() { scripted_ = false; }

 private:
  std::atomic<bool> scripted_{false};
  std::atomic<int64_t> now_{0};
  std::atomic<int64_t> step_{0};
};

// The clock of every port of these tests.
ScriptableCalendar g_calendar;

void use_scripted_clock(int64_t start, int64_t step) { g_calendar.script(start, step); }

double seconds_since(SteadyClock::time_point start) {
  return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string read_record(const std::string& response) {
  return "\nRead " + std::to_string(response.size()) + " bytes\n" + response;
}

std::string system_text(int code) { return std::string(strerror(code)); }

std::string printable(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7f && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      out += escaped;
    }
  }
  return out;
}

class PortTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(peer_.create()) << peer_.lastError;
    device_ = folder_.link(3, peer_.slave_name());
    ASSERT_FALSE(device_.empty());
  }
  void TearDown() override { g_calendar.use_system(); }

  bool open_port(ComPort& port, int baudRate = 115200) {
    return port.open_com(3, baudRate, 600, g_calendar.calendar_seconds());
  }

  // Scripts the peer to answer the handshake, then `kCommand` with `chunks`,
  // further apart than one read request lasts so that each chunk is one
  // request; opens `port` with a log named `logName` and writes the command.
  // Returns the log's path, or "" when the port can't be opened.
  std::string send_command_answered_in(const std::vector<std::string>& chunks, ComPort& port,
                                       const char* logName) {
    peer_.answer_handshake().expect(kCommand);
    for (size_t i = 0; i < chunks.size(); ++i) {
      if (i > 0) peer_.pause(200);
      peer_.send(chunks[i]);
    }
    peer_.start();
    if (!open_port(port)) return "";
    const std::string log = folder_.path(logName);
    port.open_log(log.c_str());
    if (!port.write_com(kCommand, 5)) return "";
    return log;
  }

  PortFolder folder_;
  PtyPeer peer_;
  std::string device_;  // the name of COM3, as messages show it
};

// ---- Answers arriving in chunks -------------------------------------------

struct ChunkCase {
  const char* name;
  std::vector<std::string> chunks;    // sent 200 ms apart, after the command
  std::vector<std::string> reads;     // what successive read_com calls return
  std::vector<std::string> partials;  // the partial chunks of the first read
};

void PrintTo(const ChunkCase& row, std::ostream* out) { *out << row.name; }

class ChunkTest : public PortTest, public testing::WithParamInterface<ChunkCase> {};

TEST_P(ChunkTest, ReadsCompleteOnTheLastByteOfAChunk) {
  const ChunkCase& row = GetParam();
  ComPort port(make_serial_device(), g_calendar);
  const std::string log = send_command_answered_in(row.chunks, port, "chunks.log");
  ASSERT_FALSE(log.empty()) << port.lastError;

  std::string expected_log = "\nWrote 5 bytes\n" + std::string(kCommand);
  for (const std::string& partial : row.partials)
    expected_log += "\nRead Partial bytes: " + partial;
  char buffer[256];
  for (const std::string& expected : row.reads) {
    ASSERT_TRUE(port.read_com(buffer, sizeof buffer, 5)) << port.lastError;
    EXPECT_EQ(printable(buffer), printable(expected));
    expected_log += read_record(expected);
  }
  EXPECT_TRUE(peer_.finish()) << peer_.error();
  EXPECT_EQ(printable(read_file(log)), printable(expected_log));
}

INSTANTIATE_TEST_SUITE_P(
    Chunks, ChunkTest,
    testing::Values(
        ChunkCase{"OneByteAtATime", {"O", "K", "\r", "\n"}, {"OK\r", "\n"}, {"O", "K"}},
        ChunkCase{
            "LineEndSplitAcrossReads", {"+CMGS: 5\r", "\nOK\r\n"}, {"+CMGS: 5\r", "\nOK\r\n"}, {}},
        ChunkCase{
            "LineBreakInTheMiddle", {"+CMGL: 1\r\n", "OK\r\n"}, {"+CMGL: 1\r\n", "OK\r\n"}, {}},
        ChunkCase{"TextPrompt", {"\r\n> "}, {"\r\n> "}, {}},
        ChunkCase{"BarePrompt", {"\r\n>"}, {"\r\n>"}, {}},
        ChunkCase{"ChunkEndingInK", {"\r\nOK", "\r\n"}, {"\r\nOK\r\n"}, {"\r\nOK"}},
        ChunkCase{"LoneCarriageReturn", {"\r"}, {"\r"}, {}},
        ChunkCase{"EveryWhiteSpace", {"1\t", "2\v", "3\f", "4 "}, {"1\t", "2\v", "3\f", "4 "}, {}},
        ChunkCase{"HighBytesNeverEnd",
                  {"A\x85", "B\xa0", "C\xff", "\n"},
                  {"A\x85"
                   "B\xa0"
                   "C\xff\n"},
                  {"A\x85", "B\xa0", "C\xff"}},
        ChunkCase{"NulBytesDropped",
                  {std::string("O\0K", 3), std::string("\0\r\n", 3)},
                  {"OK\r\n"},
                  {"OK"}}),
    [](const testing::TestParamInfo<ChunkCase>& info) { return std::string(info.param.name); });

TEST(ReadTerminator, OnlyCLocaleWhiteSpaceAndPromptEndAnAnswer) {
  for (int c = 0; c < 256; ++c) {
    bool expected =
        c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == '>';
    EXPECT_EQ(is_read_terminator(static_cast<unsigned char>(c)), expected) << "byte " << c;
  }
}

// ---- The buffer-full rule --------------------------------------------------

struct BufferCase {
  const char* name;
  int capacity;
  std::vector<std::string> chunks;  // sent 200 ms apart
  bool ok;
  std::string buffer;  // what read_com leaves in the buffer
  std::string rest;    // what the next read returns ("" when nothing is left)
};

void PrintTo(const BufferCase& row, std::ostream* out) { *out << row.name; }

class BufferTest : public PortTest, public testing::WithParamInterface<BufferCase> {};

TEST_P(BufferTest, FullBufferFailsBeforeTheTerminatorCounts) {
  const BufferCase& row = GetParam();
  ComPort port(make_serial_device(), g_calendar);
  const std::string log = send_command_answered_in(row.chunks, port, "buffer.log");
  ASSERT_FALSE(log.empty()) << port.lastError;

  std::vector<char> buffer(static_cast<size_t>(row.capacity) + 8, '#');
  EXPECT_EQ(port.read_com(buffer.data(), row.capacity, 5), row.ok) << port.lastError;
  EXPECT_EQ(printable(buffer.data()), printable(row.buffer));
  EXPECT_EQ(buffer[static_cast<size_t>(row.capacity)], '#') << "wrote past the capacity";
  const std::string too_small =
      "ReadCom: buffer size " + std::to_string(row.capacity) + " is too small\n";
  if (!row.ok) {
    EXPECT_EQ(port.lastError, too_small);
    // The request that filled the buffer is not logged, only the failure.
    const std::string text = read_file(log);
    ASSERT_GE(text.size(), too_small.size());
    EXPECT_EQ(text.substr(text.size() - too_small.size()), too_small);
    EXPECT_EQ(text.find("\nRead " + std::to_string(row.capacity - 1)), std::string::npos);
  }
  if (!row.rest.empty()) {
    char rest[64];
    ASSERT_TRUE(port.read_com(rest, sizeof rest, 5)) << port.lastError;
    EXPECT_EQ(printable(rest), printable(row.rest));
  }
  EXPECT_TRUE(peer_.finish()) << peer_.error();
}

INSTANTIATE_TEST_SUITE_P(
    Capacity, BufferTest,
    testing::Values(
        BufferCase{"CapacityLessTwoAccepted", 16, {"ABCDEFGHIJKLM\n"}, true, "ABCDEFGHIJKLM\n", ""},
        BufferCase{
            "CapacityLessOneRefused", 16, {"ABCDEFGHIJKLMN\n"}, false, "ABCDEFGHIJKLMN\n", ""},
        BufferCase{"LongerAnswerLeavesTheRestQueued",
                   16,
                   {"ABCDEFGHIJKLMNOPQRS\n"},
                   false,
                   "ABCDEFGHIJKLMNO",
                   "PQRS\n"},
        BufferCase{
            "AcceptedAcrossChunks", 16, {"ABCDEFG", "HIJKLM\n"}, true, "ABCDEFGHIJKLM\n", ""},
        BufferCase{
            "RefusedAcrossChunks", 16, {"ABCDEFGH", "IJKLMN\n"}, false, "ABCDEFGHIJKLMN\n", ""},
        BufferCase{"OneByteBufferIsAlwaysFull", 1, {"A\n"}, false, "", "A\n"},
        BufferCase{"TwoByteBufferHoldsNoAnswer", 2, {"\n"}, false, "\n", ""}),
    [](const testing::TestParamInfo<BufferCase>& info) { return std::string(info.param.name); });

// ---- Time-outs -------------------------------------------------------------

struct TimeoutCase {
  const char* name;
  int timeoutSeconds;  // the read_com argument
  int64_t testStart;   // the port's test deadline is testStart + testTimeout
  int testTimeout;
  int64_t clockStart;  // the scripted clock: first reading, then step per reading
  int64_t clockStep;
  std::string answer;  // sent right after the command ("" for silence)
  bool ok;
  std::string error;  // lastError after a failure
  std::string buffer;
};

void PrintTo(const TimeoutCase& row, std::ostream* out) { *out << row.name; }

class TimeoutTest : public PortTest, public testing::WithParamInterface<TimeoutCase> {};

TEST_P(TimeoutTest, ReadEndsByItsOwnLimitOrTheTestDeadline) {
  const TimeoutCase& row = GetParam();
  peer_.answer_handshake().expect(kCommand);
  if (!row.answer.empty()) peer_.send(row.answer);
  peer_.start();

  ComPort port(make_serial_device(), g_calendar);
  ASSERT_TRUE(open_port(port)) << port.lastError;
  port.testStart = row.testStart;
  port.testTimeout = row.testTimeout;
  const std::string log = folder_.path("timeout.log");
  port.open_log(log.c_str());
  use_scripted_clock(row.clockStart, row.clockStep);
  ASSERT_TRUE(port.write_com(kCommand, 5));

  char buffer[64];
  SteadyClock::time_point start = SteadyClock::now();
  EXPECT_EQ(port.read_com(buffer, sizeof buffer, row.timeoutSeconds), row.ok) << port.lastError;
  double took = seconds_since(start);
  EXPECT_EQ(printable(buffer), printable(row.buffer));
  // At least one request is always made, and the scripted clock ends the read
  // within a few requests.
  EXPECT_GE(took, 0.09);
  EXPECT_LT(took, 1.5);
  if (!row.ok) {
    EXPECT_EQ(port.lastError, row.error);
    const std::string text = read_file(log);
    const std::string record = row.error + "\n";
    ASSERT_GE(text.size(), record.size());
    EXPECT_EQ(text.substr(text.size() - record.size()), record);
  }
  EXPECT_TRUE(peer_.finish()) << peer_.error();
}

INSTANTIATE_TEST_SUITE_P(
    Limits, TimeoutTest,
    testing::Values(TimeoutCase{"ExplicitLimit", 2, 0, 600, 1000, 1, "", false,
                                "Read timedout, timeout=2, elapsed=3", ""},
                    TimeoutCase{"ExplicitLimitKeepsWhatArrived", 2, 0, 600, 1000, 1, "OK", false,
                                "Read timedout, timeout=2, elapsed=3", "OK"},
                    TimeoutCase{"OneSecondEndsAfterOneRequestWhenTheSecondTurns", 1, 0, 600, 1000,
                                1, "", false, "Read timedout, timeout=1, elapsed=2", ""},
                    TimeoutCase{"ZeroSeconds", 0, 0, 600, 50, 0, "", false,
                                "Read timedout, timeout=0, elapsed=0", ""},
                    TimeoutCase{"ExplicitLimitIgnoresThePassedTestDeadline", 5, 0, 1, 1000, 1, "",
                                false, "Read timedout, timeout=5, elapsed=6", ""},
                    TimeoutCase{"TestDeadline", -1, 1000, 30, 1029, 1, "", false,
                                "Read timedout, test timeout=30, elapsed=31", ""},
                    TimeoutCase{"TestDeadlineAlreadyPast", -1, 1000, 10, 5000, 0, "", false,
                                "Read timedout, test timeout=10, elapsed=4000", ""},
                    TimeoutCase{"TestDeadlinePastButAnswerWaiting", -1, 1000, 10, 5000, 0, "OK\r\n",
                                true, "", "OK\r\n"},
                    TimeoutCase{"AnswerBeforeTheLimit", 2, 0, 600, 1000, 1, "\r\nOK\r\n", true, "",
                                "\r\nOK\r\n"}),
    [](const testing::TestParamInfo<TimeoutCase>& info) { return std::string(info.param.name); });

// ---- open_com and the handshake -------------------------------------------

TEST_F(PortTest, HandshakeIsLoggedByteForByte) {
  const std::string log = folder_.path("handshake.log");
  {
    std::ofstream old(log, std::ios::binary);
    old << "left over from an earlier run";
  }
  peer_.answer_handshake().start();
  ComPort port(make_serial_device(), g_calendar);
  port.open_log(log.c_str());
  EXPECT_TRUE(port.logOn);
  EXPECT_EQ(read_file(log), "");  // truncated
  ASSERT_TRUE(port.open_com(3, 115200, 90, 1234)) << port.lastError;
  EXPECT_TRUE(port.is_open());
  EXPECT_EQ(port.portNumber, 3);
  EXPECT_EQ(port.testTimeout, 90);
  EXPECT_EQ(port.testStart, 1234);
  EXPECT_EQ(port.lastError, "");
  EXPECT_TRUE(peer_.finish(100)) << peer_.error();
  EXPECT_EQ(printable(peer_.received()), printable("AT\rAT\rATE0\r"));
  EXPECT_EQ(printable(read_file(log)), printable(kHandshakeLog));
}

TEST_F(PortTest, ModemAnsweringOnlyTheSecondAtOpens) {
  peer_.expect("AT\r").expect("AT\r").send(kOk).expect("ATE0\r").send(kOk).start();
  // The first answer is waited for 3 s: three requests of the scripted clock.
  use_scripted_clock(1000, 1);
  ComPort port(make_serial_device(), g_calendar);
  ASSERT_TRUE(open_port(port)) << port.lastError;
  EXPECT_TRUE(port.is_open());
  // The first read's time-out stays: a success never clears lastError.
  EXPECT_EQ(port.lastError, "Read timedout, timeout=3, elapsed=4");
  EXPECT_TRUE(peer_.finish(100)) << peer_.error();
  EXPECT_EQ(printable(peer_.received()), printable("AT\rAT\rATE0\r"));
}

TEST_F(PortTest, ModemAnsweringErrorOpens) {
  const std::string error = "\r\nERROR\r\n";
  peer_.expect("AT\r").send(error).expect("AT\r").send(error).expect("ATE0\r").send(error).start();
  ComPort port(make_serial_device(), g_calendar);
  ASSERT_TRUE(open_port(port)) << port.lastError;
  EXPECT_TRUE(port.is_open());
  EXPECT_TRUE(peer_.finish()) << peer_.error();
}

TEST_F(PortTest, SilentModemFailsAfterTwoTimeOutsAndLeavesThePortClosed) {
  // The one test that waits out the real clock: 3 s for each "AT".
  peer_.expect("AT\r").expect("AT\r").start();
  ComPort port(make_serial_device(), g_calendar);
  SteadyClock::time_point start = SteadyClock::now();
  EXPECT_FALSE(open_port(port));
  double took = seconds_since(start);
  EXPECT_GE(took, 3.8);
  EXPECT_LE(took, 7.5);
  EXPECT_EQ(port.lastError, device_ +
                                " failed to respond to at comand. Please make sure that the device "
                                "is connected and the baudrate and other port settings are "
                                "correct.");
  EXPECT_FALSE(port.is_open());
  EXPECT_TRUE(peer_.finish(150)) << peer_.error();
  EXPECT_EQ(printable(peer_.received()), printable("AT\rAT\r"));
  // Closed means released: the device can be locked again.
  int fd = open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
  close(fd);
}

TEST_F(PortTest, RateTheLineCannotRunFailsTheOpen) {
  ComPort port(make_serial_device(), g_calendar);
  EXPECT_FALSE(open_port(port, 12345));
  EXPECT_EQ(port.lastError, "open_com: Could not configure " + device_ +
                                " at 12345 baud, error code: " + std::to_string(EINVAL) + ": " +
                                system_text(EINVAL) + "\n");
  EXPECT_FALSE(port.is_open());
  peer_.finish(150);
  EXPECT_EQ(peer_.received(), "");
}

TEST_F(PortTest, BusyPortIsRefusedUntilItsOwnerClosesIt) {
  peer_.answer_handshake().expect(kCommand).send(kOk).answer_handshake().start();
  ComPort owner(make_serial_device(), g_calendar);
  ASSERT_TRUE(open_port(owner)) << owner.lastError;

  ComPort second(make_serial_device(), g_calendar);
  EXPECT_FALSE(open_port(second));
  EXPECT_EQ(second.lastError,
            "Failed to open " + device_ + ". Please make sure that this device is not in use.");
  EXPECT_FALSE(second.is_open());

  // The owner keeps working.
  char buffer[64];
  ASSERT_TRUE(owner.write_com(kCommand, 5));
  ASSERT_TRUE(owner.read_com(buffer, sizeof buffer, 5)) << owner.lastError;
  EXPECT_EQ(std::string(buffer), kOk);

  owner.close_com();
  owner.close_com();
  EXPECT_FALSE(owner.is_open());
  ComPort third(make_serial_device(), g_calendar);
  EXPECT_TRUE(open_port(third)) << third.lastError;
  EXPECT_TRUE(peer_.finish(100)) << peer_.error();
  EXPECT_EQ(printable(peer_.received()),
            printable("AT\rAT\rATE0\r" + std::string(kCommand) + "AT\rAT\rATE0\r"));
}

// ---- Device names ----------------------------------------------------------

TEST(ComDeviceName, BuiltInPortsCountFromTtyS0) {
  unsetenv("SMS_TEST_PORTS");
  struct Row {
    int port;
    const char* name;
  };
  const Row rows[] = {{1, "/dev/ttyS0"},  {9, "/dev/ttyS8"},   {10, "/dev/ttyS9"},
                      {0, "/dev/ttyS-1"}, {-2, "/dev/ttyS-3"}, {INT_MIN, "/dev/ttyS-2147483649"}};
  for (const Row& row : rows) EXPECT_EQ(com_device_name(row.port), row.name) << row.port;
}

TEST(ComDeviceName, FolderOfLinksWhenSmsTestPortsNamesADirectory) {
  PortFolder folder;
  const std::string dir = folder.dir();
  EXPECT_EQ(com_device_name(3), dir + "/COM3");
  EXPECT_EQ(com_device_name(10), dir + "/COM10");
  EXPECT_EQ(com_device_name(0), dir + "/COM0");
  setenv("SMS_TEST_PORTS", (dir + "/").c_str(), 1);
  EXPECT_EQ(com_device_name(12), dir + "/COM12");

  // Anything but a directory leaves the built-in names.
  const std::string file = folder.path("not_a_folder");
  std::ofstream(file) << "x";
  for (const std::string& value : {file, std::string(), dir + "/missing"}) {
    setenv("SMS_TEST_PORTS", value.c_str(), 1);
    EXPECT_EQ(com_device_name(4), "/dev/ttyS3") << "SMS_TEST_PORTS=" << value;
  }
}

TEST(OpenCom, MissingDeviceFailsWithItsName) {
  PortFolder folder;
  folder.link(5, folder.dir() + "/nothing_there");
  struct Row {
    int port;
    bool useFolder;
    std::string name;
  };
  const Row rows[] = {{0, false, "/dev/ttyS-1"},
                      {-4, false, "/dev/ttyS-5"},
                      {7, true, folder.dir() + "/COM7"},
                      {5, true, folder.dir() + "/COM5"}};
  for (const Row& row : rows) {
    if (row.useFolder) {
      setenv("SMS_TEST_PORTS", folder.dir().c_str(), 1);
    } else {
      unsetenv("SMS_TEST_PORTS");
    }
    ComPort port(make_serial_device(), g_calendar);
    EXPECT_FALSE(port.open_com(row.port, 9600, 45, 777)) << row.port;
    EXPECT_EQ(port.lastError,
              "Failed to open " + row.name + ". Please make sure that this device is not in use.");
    EXPECT_FALSE(port.is_open());
    EXPECT_EQ(port.portNumber, row.port);
    EXPECT_EQ(port.testTimeout, 45);
    EXPECT_EQ(port.testStart, 777);
  }
}

// ---- Writes, failures, closing -----------------------------------------------

TEST_F(PortTest, WriteIsNotAwaitedBeyondItsBound) {
  peer_.answer_handshake().start();
  ComPort port(make_serial_device(), g_calendar);
  ASSERT_TRUE(open_port(port)) << port.lastError;
  ASSERT_TRUE(peer_.finish(100)) << peer_.error();
  const std::string log = folder_.path("write.log");
  port.open_log(log.c_str());

  // Fill the line until it takes nothing more, as a modem holding CTS low does.
  int filler = peer_.slave_fd();
  fcntl(filler, F_SETFL, fcntl(filler, F_GETFL) | O_NONBLOCK);
  const std::string block(4096, 'x');
  size_t filled = 0;
  // The pseudo-terminal makes room in steps as it moves bytes along, and
  // takes a few bytes where it refuses a block, so it is full only when it
  // has taken not even one byte for a while.
  for (size_t size : {block.size(), size_t{1}}) {
    for (int idle = 0; idle < 5;) {
      ssize_t n = write(filler, block.data(), size);
      if (n > 0) {
        filled += static_cast<size_t>(n);
        idle = 0;
      } else {
        ++idle;
        usleep(20000);
      }
    }
  }
  ASSERT_GT(filled, 0u);

  SteadyClock::time_point start = SteadyClock::now();
  EXPECT_TRUE(port.write_com("AT\r", 3));
  double took = seconds_since(start);
  // 3 bytes: 50 ms each plus 100 ms.
  EXPECT_GE(took, 0.2);
  EXPECT_LT(took, 1.0);
  EXPECT_EQ(printable(read_file(log)), printable("\nWrote 3 bytes\nAT\r"));

  // The bytes the line never took were dropped, not sent later.
  std::string drained;
  char chunk[8192];
  for (int idle = 0; idle < 5;) {
    ssize_t n = read(peer_.fd(), chunk, sizeof chunk);
    if (n > 0) {
      drained.append(chunk, static_cast<size_t>(n));
      idle = 0;
    } else {
      ++idle;
      usleep(20000);
    }
  }
  EXPECT_EQ(drained.size(), filled);
  EXPECT_EQ(drained.find_first_not_of('x'), std::string::npos);
}

TEST_F(PortTest, PeerClosingMidReadFailsAtOnce) {
  peer_.answer_handshake().expect(kCommand).send("PART").pause(300).hang_up().start();
  ComPort port(make_serial_device(), g_calendar);
  ASSERT_TRUE(open_port(port)) << port.lastError;
  const std::string log = folder_.path("hangup.log");
  port.open_log(log.c_str());
  ASSERT_TRUE(port.write_com(kCommand, 5));

  const std::string read_failure =
      "read_com: Could not set comm mask, error code: " + std::to_string(EIO) + ": " +
      system_text(EIO) + "\n";
  char buffer[64];
  SteadyClock::time_point start = SteadyClock::now();
  EXPECT_FALSE(port.read_com(buffer, sizeof buffer, 10));
  EXPECT_LT(seconds_since(start), 2.0);
  EXPECT_EQ(port.lastError, read_failure);
  EXPECT_EQ(std::string(buffer), "PART");
  EXPECT_TRUE(peer_.finish()) << peer_.error();

  // Every later read fails as fast, and writes fail too.
  start = SteadyClock::now();
  port.lastError.clear();
  EXPECT_FALSE(port.read_com(buffer, sizeof buffer, 10));
  EXPECT_LT(seconds_since(start), 0.3);
  EXPECT_EQ(port.lastError, read_failure);
  const std::string write_failure =
      "write_com: Could not write to COM3, error code: " + std::to_string(EIO) + ": " +
      system_text(EIO) + "\n";
  EXPECT_FALSE(port.write_com(kCommand, 5));
  EXPECT_EQ(port.lastError, write_failure);

  // Read failures leave no record; the write failure does.
  EXPECT_EQ(read_file(log), "\nWrote 5 bytes\nAT+X\r\nRead Partial bytes: PART" + write_failure);
  port.close_com();
  EXPECT_FALSE(port.is_open());
}

TEST(ComPortUnopened, StartsEmptyAndFailsCleanly) {
  PortFolder folder;
  ComPort port(make_serial_device(), g_calendar);
  EXPECT_FALSE(port.logOn);
  EXPECT_EQ(port.logFile, nullptr);
  EXPECT_EQ(port.lastError, "");
  EXPECT_EQ(port.testTimeout, 0);
  EXPECT_EQ(port.testStart, 0);
  EXPECT_EQ(port.portNumber, 0);
  EXPECT_FALSE(port.is_open());
  port.close_com();
  port.close_com();

  const std::string log = folder.path("unopened.log");
  port.open_log(log.c_str());
  const std::string bad_handle = std::to_string(EBADF) + ": " + system_text(EBADF) + "\n";
  EXPECT_FALSE(port.write_com("AT\r", 3));
  EXPECT_EQ(port.lastError, "write_com: Could not write to COM0, error code: " + bad_handle);
  char buffer[16] = "junk";
  EXPECT_FALSE(port.read_com(buffer, sizeof buffer, 1));
  EXPECT_EQ(port.lastError,
            "read_com: Error reading from the comm port, error code: " + bad_handle);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(read_file(log), "write_com: Could not write to COM0, error code: " + bad_handle);
}

// ---- The log: on and off give the same results --------------------------------

struct Outcome {
  bool ok;
  std::string buffer;
  std::string lastError;
  bool operator==(const Outcome& other) const {
    return ok == other.ok && buffer == other.buffer && lastError == other.lastError;
  }
};

// One session through a normal answer, a full buffer and a time-out.
std::vector<Outcome> run_session(PtyPeer& peer, const char* log_path) {
  peer.answer_handshake()
      .expect("AT+A\r")
      .send(kOk)
      .expect("AT+B\r")
      .send("ABCDEFGHIJKLMNOPQRS\n")
      .expect("AT+C\r")
      .start();
  ComPort port(make_serial_device(), g_calendar);
  std::vector<Outcome> outcomes;
  port.open_log(log_path);
  outcomes.push_back(
      {port.open_com(3, 115200, 600, g_calendar.calendar_seconds()), "", port.lastError});
  char buffer[64];
  auto read = [&](int capacity, int timeout) {
    bool ok = port.read_com(buffer, capacity, timeout);
    outcomes.push_back({ok, buffer, port.lastError});
  };
  outcomes.push_back({port.write_com("AT+A\r", 5), "", port.lastError});
  read(sizeof buffer, 5);
  outcomes.push_back({port.write_com("AT+B\r", 5), "", port.lastError});
  read(16, 5);
  read(sizeof buffer, 5);
  outcomes.push_back({port.write_com("AT+C\r", 5), "", port.lastError});
  use_scripted_clock(1000, 1);
  read(sizeof buffer, 1);
  g_calendar.use_system();
  peer.finish();
  return outcomes;
}

TEST(ComPortLog, SameResultsWithLoggingOnAndOff) {
  PortFolder folder;
  PtyPeer logged_peer;
  PtyPeer quiet_peer;
  ASSERT_TRUE(logged_peer.create() && quiet_peer.create());

  const std::string log = folder.path("session.log");
  folder.link(3, logged_peer.slave_name());
  std::vector<Outcome> logged = run_session(logged_peer, log.c_str());
  EXPECT_TRUE(logged_peer.finish()) << logged_peer.error();

  const std::string missing = folder.dir() + "/no/such/folder.log";
  folder.link(3, quiet_peer.slave_name());
  testing::internal::CaptureStderr();
  std::vector<Outcome> quiet = run_session(quiet_peer, missing.c_str());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Cannot open log file " + missing + "\n");
  EXPECT_TRUE(quiet_peer.finish()) << quiet_peer.error();

  ASSERT_EQ(logged.size(), quiet.size());
  for (size_t i = 0; i < logged.size(); ++i) {
    EXPECT_TRUE(logged[i] == quiet[i])
        << "step " << i << ": " << logged[i].ok << " " << printable(logged[i].buffer) << " "
        << logged[i].lastError << " vs " << quiet[i].ok << " " << printable(quiet[i].buffer) << " "
        << quiet[i].lastError;
  }
  ASSERT_EQ(logged.size(), 8u);
  EXPECT_TRUE(logged[2].ok);
  EXPECT_FALSE(logged[4].ok);
  EXPECT_TRUE(logged[5].ok);
  EXPECT_FALSE(logged[7].ok);

  EXPECT_EQ(printable(read_file(log)),
            printable(kHandshakeLog + "\nWrote 5 bytes\nAT+A\r" + read_record(kOk) +
                      "\nWrote 5 bytes\nAT+B\r" + "ReadCom: buffer size 16 is too small\n" +
                      read_record("PQRS\n") + "\nWrote 5 bytes\nAT+C\r" +
                      "Read timedout, timeout=1, elapsed=2\n"));
}

// ---- System error texts ----------------------------------------------------

TEST(SystemErrorText, FormatsTheCodeAndTheSystemsText) {
  struct Row {
    int code;
    const char* context;
    std::string expected;
  };
  const Row rows[] = {
      {ENOENT, "open", "open, error code: 2: No such file or directory\n"},
      {EIO, "read_com: Could not set comm mask",
       "read_com: Could not set comm mask, error code: 5: Input/output error\n"},
      {99999, "ctx", "ctx, error code: 99999: Unkown System Error\n"},
      {-1, "", ", error code: -1: Unkown System Error\n"},
  };
  for (const Row& row : rows) {
    errno = row.code;
    EXPECT_EQ(std::string(system_error_text(row.context)), row.expected) << row.code;
  }
}

TEST(SystemErrorText, LongTextIsCutToFitItsBuffer) {
  const std::string context(5000, 'c');
  errno = ENOENT;
  const std::string text = system_error_text(context.c_str());
  EXPECT_GT(text.size(), 200u);
  EXPECT_LT(text.size(), context.size());
  EXPECT_EQ(text, context.substr(0, text.size()));
  // The next call overwrites it.
  errno = ENOENT;
  EXPECT_EQ(std::string(system_error_text("x")), "x, error code: 2: No such file or directory\n");
}

}  // namespace

}  // namespace smstest
