// ComPort's logic on the scripted fake device and the fake clock: answers in
// chunks, the buffer-full rule, the time-outs, the line's open, writes,
// failures and the log.  What the POSIX device itself does on a real line
// (exclusive claims, hang-ups, the write bound, dropped NUL bytes) is tested
// in serial_device_posix_test.cpp.
#include "serial/com_port.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <climits>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "common/files.h"
#include "serial/serial_device.h"
#include "testsupport/fake_clock.h"
#include "testsupport/fake_serial_device.h"
#include "testsupport/pty_peer.h"

namespace smstest {

namespace {

const char kCommand[] = "AT+X\r";
const std::string kOk = "\r\nOK\r\n";

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

// A port on a fake device of its own; the device belongs to the port.
struct FakePort {
  explicit FakePort(FakeClock& clock)
      : FakePort(clock, std::unique_ptr<FakeSerialDevice>(new FakeSerialDevice(clock))) {}
  FakePort(FakeClock& clock, std::unique_ptr<FakeSerialDevice> owned)
      : device(*owned), port(std::move(owned), clock) {}

  FakeSerialDevice& device;
  ComPort port;
};

class PortTest : public testing::Test {
 protected:
  void SetUp() override { device_ = com_device_name(3); }

  bool open_port(ComPort& port, int baudRate = 115200) {
    return port.open_line(3, baudRate, 600, port.clock().calendar_seconds());
  }

  // Scripts the device to answer `kCommand` with
  // `chunks` 200 ms apart, further apart than one read request lasts, so
  // that each chunk is one request; opens the port with a log named
  // `logName` and writes the command.  Returns the log's path, or "" when
  // the port can't be opened.
  std::string send_command_answered_in(const std::vector<std::string>& chunks, FakePort& fake,
                                       const char* logName) {
    fake.device.on_write(kCommand, chunks, 0, 1, 200);
    if (!open_port(fake.port)) return "";
    const std::string log = folder_.path(logName);
    fake.port.open_log(log.c_str());
    if (!fake.port.write_com(kCommand, 5)) return "";
    return log;
  }

  PortFolder folder_;  // COM3 is named by the folder, as the tool's ports are
  FakeClock clock_;
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
  FakePort fake(clock_);
  const std::string log = send_command_answered_in(row.chunks, fake, "chunks.log");
  ASSERT_FALSE(log.empty()) << fake.port.lastError;

  std::string expected_log = "\nWrote 5 bytes\n" + std::string(kCommand);
  for (const std::string& partial : row.partials)
    expected_log += "\nRead Partial bytes: " + partial;
  char buffer[256];
  for (const std::string& expected : row.reads) {
    ASSERT_TRUE(fake.port.read_com(buffer, sizeof buffer, 5)) << fake.port.lastError;
    EXPECT_EQ(printable(buffer), printable(expected));
    expected_log += read_record(expected);
  }
  EXPECT_EQ(fake.device.writes().back(), kCommand);
  EXPECT_EQ(fake.device.pending_chunks(), 0u) << "every chunk was read";
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
        // The device drops NUL bytes (as the platform devices do): the port
        // never sees them.
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
  FakePort fake(clock_);
  ComPort& port = fake.port;
  const std::string log = send_command_answered_in(row.chunks, fake, "buffer.log");
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
  EXPECT_EQ(fake.device.pending_chunks(), 0u) << "every chunk was read";
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
  int64_t clockStart;  // the calendar: first reading, then step per reading
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
  FakeClock clock(row.clockStart);
  FakePort fake(clock);
  ComPort& port = fake.port;
  if (!row.answer.empty()) fake.device.on_write(kCommand, {row.answer});
  ASSERT_TRUE(open_port(port)) << port.lastError;
  port.testStart = row.testStart;
  port.testTimeout = row.testTimeout;
  const std::string log = folder_.path("timeout.log");
  port.open_log(log.c_str());
  // The open took no time: the calendar still reads clockStart.
  clock.step_per_reading(row.clockStep);
  ASSERT_TRUE(port.write_com(kCommand, 5));

  char buffer[64];
  const int requestsBefore = fake.device.read_requests();
  EXPECT_EQ(port.read_com(buffer, sizeof buffer, row.timeoutSeconds), row.ok) << port.lastError;
  const int requests = fake.device.read_requests() - requestsBefore;
  EXPECT_EQ(printable(buffer), printable(row.buffer));
  // At least one request is always made, and the stepping calendar ends the
  // read within a few requests.
  EXPECT_GE(requests, 1);
  EXPECT_LE(requests, 5);
  if (!row.ok) {
    EXPECT_EQ(port.lastError, row.error);
    const std::string text = read_file(log);
    const std::string record = row.error + "\n";
    ASSERT_GE(text.size(), record.size());
    EXPECT_EQ(text.substr(text.size() - record.size()), record);
  }
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

// ---- open_line ------------------------------------------------------------

TEST_F(PortTest, RateTheLineCannotRunFailsTheOpen) {
  FakePort fake(clock_);
  // What the POSIX device reports for a rate it can't set.
  fake.device.fail_once(FakeFailure::kConfigure, EINVAL);
  EXPECT_FALSE(open_port(fake.port, 12345));
  EXPECT_EQ(fake.port.lastError, "open_com: Could not configure " + device_ +
                                     " at 12345 baud, error code: " + std::to_string(EINVAL) +
                                     ": " + system_text(EINVAL) + "\n");
  EXPECT_FALSE(fake.port.is_open());
  EXPECT_EQ(fake.device.written(), "");
}

TEST_F(PortTest, BusyPortIsRefusedUntilItsOwnerClosesIt) {
  FakePort owner(clock_);
  owner.device.on_write(kCommand, {kOk});
  ASSERT_TRUE(open_port(owner.port)) << owner.port.lastError;

  // The device of a second port finds the line claimed.
  FakePort second(clock_);
  second.device.fail_once(FakeFailure::kOpen, EBUSY);
  EXPECT_FALSE(open_port(second.port));
  EXPECT_EQ(second.port.lastError, "Failed to open " + device_ +
                                       ". Please make sure that this device is not in use. "
                                       "(Device or resource busy)");
  EXPECT_FALSE(second.port.is_open());
  EXPECT_EQ(second.device.written(), "");

  // The owner keeps working.
  char buffer[64];
  ASSERT_TRUE(owner.port.write_com(kCommand, 5));
  ASSERT_TRUE(owner.port.read_com(buffer, sizeof buffer, 5)) << owner.port.lastError;
  EXPECT_EQ(std::string(buffer), kOk);

  owner.port.close_com();
  owner.port.close_com();
  EXPECT_FALSE(owner.port.is_open());
  EXPECT_TRUE(open_port(owner.port)) << owner.port.lastError;
  EXPECT_EQ(owner.device.opens(), 2);
  EXPECT_EQ(printable(owner.device.written()), printable(kCommand));
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
  ASSERT_TRUE(write_file(file, "x"));
  for (const std::string& value : {file, std::string(), dir + "/missing"}) {
    setenv("SMS_TEST_PORTS", value.c_str(), 1);
    EXPECT_EQ(com_device_name(4), "/dev/ttyS3") << "SMS_TEST_PORTS=" << value;
  }
}

TEST(OpenCom, MissingDeviceFailsWithItsName) {
  PortFolder folder;
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
    FakeClock clock;
    FakePort fake(clock);
    // What the POSIX device reports for a name with no device behind it.
    fake.device.fail_once(FakeFailure::kOpen, ENOENT);
    EXPECT_FALSE(fake.port.open_line(row.port, 9600, 45, 777)) << row.port;
    EXPECT_EQ(fake.device.opened_name(), row.name);
    EXPECT_EQ(fake.port.lastError, "Failed to open " + row.name +
                                       ". Please make sure that this device is not in use. "
                                       "(No such file or directory)");
    EXPECT_FALSE(fake.port.is_open());
    EXPECT_EQ(fake.port.portNumber, row.port);
    EXPECT_EQ(fake.port.testTimeout, 45);
    EXPECT_EQ(fake.port.testStart, 777);
  }
}

// A port folder that is not there: the message names the link that was not
// looked for, and why.
TEST(OpenCom, MistypedPortFolderIsNamed) {
  PortFolder folder;
  const std::string missing = folder.dir() + "/prots";
  setenv("SMS_TEST_PORTS", missing.c_str(), 1);
  FakeClock clock;
  FakePort fake(clock);
  fake.device.fail_once(FakeFailure::kOpen, ENOENT);
  EXPECT_FALSE(fake.port.open_line(3, 9600, 45, 0));
  EXPECT_EQ(fake.port.lastError,
            "Failed to open /dev/ttyS2. Please make sure that this device is not in use. "
            "(No such file or directory; " +
                missing + "/COM3 not looked for: SMS_TEST_PORTS=" + missing + " is not a folder)");
  // A code the system has no text for leaves the note alone.
  FakePort other(clock);
  other.device.fail_once(FakeFailure::kOpen, 0);
  EXPECT_FALSE(other.port.open_line(3, 9600, 45, 0));
  EXPECT_EQ(other.port.lastError,
            "Failed to open /dev/ttyS2. Please make sure that this device is not in use. (" +
                missing + "/COM3 not looked for: SMS_TEST_PORTS=" + missing + " is not a folder)");
  unsetenv("SMS_TEST_PORTS");
}

// ---- Writes, failures, closing -----------------------------------------------

TEST_F(PortTest, WriteIsNotAwaited) {
  FakePort fake(clock_);
  ASSERT_TRUE(open_port(fake.port)) << fake.port.lastError;
  const std::string log = folder_.path("write.log");
  fake.port.open_log(log.c_str());

  // The port hands the bytes to the device and returns: the device's write
  // bound (50 ms a byte + 100 ms, set by open_com) is the device's to keep.
  const int64_t before = clock_.now_microseconds();
  EXPECT_TRUE(fake.port.write_com("AT\r", 3));
  EXPECT_EQ(clock_.now_microseconds(), before);
  EXPECT_EQ(fake.device.timeouts().writeTotalMultiplier, 50);
  EXPECT_EQ(fake.device.timeouts().writeTotalConstant, 100);
  EXPECT_EQ(printable(read_file(log)), printable("\nWrote 3 bytes\nAT\r"));
  EXPECT_EQ(fake.device.writes().back(), "AT\r");
}

TEST_F(PortTest, PeerClosingMidReadFailsAtOnce) {
  constexpr int kIo = EIO;  // what the POSIX device reports for a hung-up line
  FakePort fake(clock_);
  ComPort& port = fake.port;
  fake.device.on_write(kCommand, {"PART"});
  ASSERT_TRUE(open_port(port)) << port.lastError;
  const std::string log = folder_.path("hangup.log");
  port.open_log(log.c_str());
  ASSERT_TRUE(port.write_com(kCommand, 5));
  fake.device.hang_up(kIo, 300);

  const std::string read_failure =
      "read_com: Could not set comm mask, error code: " + std::to_string(kIo) + ": " +
      system_text(kIo) + "\n";
  char buffer[64];
  int64_t start = clock_.now_microseconds();
  EXPECT_FALSE(port.read_com(buffer, sizeof buffer, 10));
  EXPECT_EQ(clock_.now_microseconds() - start, 300000) << "ends with the hang-up";
  EXPECT_EQ(port.lastError, read_failure);
  EXPECT_EQ(std::string(buffer), "PART");

  // Every later read fails at once, and writes fail too.
  start = clock_.now_microseconds();
  port.lastError.clear();
  EXPECT_FALSE(port.read_com(buffer, sizeof buffer, 10));
  EXPECT_EQ(clock_.now_microseconds(), start);
  EXPECT_EQ(port.lastError, read_failure);
  const std::string write_failure =
      "write_com: Could not write to COM3, error code: " + std::to_string(kIo) + ": " +
      system_text(kIo) + "\n";
  EXPECT_FALSE(port.write_com(kCommand, 5));
  EXPECT_EQ(port.lastError, write_failure);

  // Read failures leave no record; the write failure does.
  EXPECT_EQ(read_file(log), "\nWrote 5 bytes\nAT+X\r\nRead Partial bytes: PART" + write_failure);
  port.close_com();
  EXPECT_FALSE(port.is_open());
}

TEST(ComPortUnopened, StartsEmptyAndFailsCleanly) {
  PortFolder folder;
  FakeClock clock;
  FakePort fake(clock);
  ComPort& port = fake.port;
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
  // A closed device fails with EBADF, as the POSIX device does.
  static_assert(FakeSerialDevice::kBadHandle == EBADF, "the fake's code for a closed device");
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
std::vector<Outcome> run_session(const char* log_path) {
  FakeClock clock;
  FakePort fake(clock);
  ComPort& port = fake.port;
  fake.device.on_write("AT+A\r", {kOk}).on_write("AT+B\r", {"ABCDEFGHIJKLMNOPQRS\n"});
  std::vector<Outcome> outcomes;
  port.open_log(log_path);
  outcomes.push_back(
      {port.open_line(3, 115200, 600, clock.calendar_seconds()), "", port.lastError});
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
  clock.step_per_reading(1);
  read(sizeof buffer, 1);
  clock.step_per_reading(0);
  return outcomes;
}

TEST(ComPortLog, SameResultsWithLoggingOnAndOff) {
  PortFolder folder;
  const std::string log = folder.path("session.log");
  std::vector<Outcome> logged = run_session(log.c_str());

  const std::string missing = folder.dir() + "/no/such/folder.log";
  testing::internal::CaptureStderr();
  std::vector<Outcome> quiet = run_session(missing.c_str());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Cannot open log file " + missing + "\n");

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
            printable("\nWrote 5 bytes\nAT+A\r" + read_record(kOk) + "\nWrote 5 bytes\nAT+B\r" +
                      "ReadCom: buffer size 16 is too small\n" + read_record("PQRS\n") +
                      "\nWrote 5 bytes\nAT+C\r" + "Read timedout, timeout=1, elapsed=2\n"));
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
