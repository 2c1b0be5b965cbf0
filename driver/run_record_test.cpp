// The run record built from what a run noted: the failure phase and the
// modem's error code, the readings placed on the calendar, measures as
// numbers or null, texts of any bytes as valid JSON.
#include "driver/run_record.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "common/utf8.h"
#include "testsupport/fake_clock.h"

namespace smstest {

namespace {

using Json = nlohmann::json;

TEST(RunRecordText, Utf8StaysOtherBytesReadAsLatin1) {
  struct Case {
    std::string bytes;
    std::string text;
  } cases[] = {
      {"", ""},
      {"plain", "plain"},
      {"caf\xC3\xA9", "caf\xC3\xA9"},                // valid UTF-8 stays
      {"\xF0\x9F\x93\xB1", "\xF0\x9F\x93\xB1"},      // four bytes
      {"caf\xE9", "caf\xC3\xA9"},                    // Latin-1 e acute
      {"\xC3\xA9\xFF", "\xC3\x83\xC2\xA9\xC3\xBF"},  // one bad byte: the whole text as Latin-1
      {"\xC0\xAF", "\xC3\x80\xC2\xAF"},              // overlong form
      {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"},  // surrogate
      {"\xE2\x82", "\xC3\xA2\xC2\x82"},              // cut short
      {std::string("a\0b", 3), std::string("a\0b", 3)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(utf8_or_latin1(c.bytes), c.text) << Json(c.text).dump();
    // Whatever the bytes, the JSON text reads back.
    Json value = utf8_or_latin1(c.bytes);
    EXPECT_EQ(Json::parse(value.dump()).get<std::string>(), c.text);
  }
}

TEST(RunRecordText, IsoTimesWithMicroseconds) {
  EXPECT_EQ(iso_utc_microseconds(0), "1970-01-01T00:00:00.000000Z");
  EXPECT_EQ(iso_utc_microseconds(-1), "1969-12-31T23:59:59.999999Z");
  EXPECT_EQ(iso_utc_microseconds(1700000000LL * 1000000 + 123456), "2023-11-14T22:13:20.123456Z");
  EXPECT_EQ(iso_utc_microseconds(951782400LL * 1000000), "2000-02-29T00:00:00.000000Z");
  EXPECT_EQ(iso_utc_microseconds(4102444799LL * 1000000 + 999999), "2099-12-31T23:59:59.999999Z");
}

TEST(RunRecordText, ModemErrorCodes) {
  struct Case {
    const char* text;
    const char* type;  // nullptr: none
    int code;
  } cases[] = {
      {"AT+CMGS=\"5550104\" answered +CMS ERROR: 330 (SMSC address unknown)", "CMS", 330},
      {"AT+CMGR=1 answered +CME ERROR: 14 (SIM busy)", "CME", 14},
      {"+CMS ERROR:500", "CMS", 500},
      {"+CMS ERROR: x", nullptr, 0},
      {"Operation Timed out during SMS Receive.", nullptr, 0},
      {"ERROR", nullptr, 0},
  };
  for (const Case& c : cases) {
    std::string type;
    int code = -1;
    EXPECT_EQ(modem_error_of(c.text, type, code), c.type != nullptr) << c.text;
    if (c.type == nullptr) continue;
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(code, c.code);
  }
}

class RunRecordTest : public ::testing::Test {
 protected:
  RunRecordTest() : result_("status.txt", clock_) {
    params_.parse("T1|30|3|5550104|tImE7Thi|0|0|115200|4|9600|0", '|');
    result_.testName = "T1";
    result_.dataTime = "7";
    result_.latLong = "45N";
  }
  Json record(int exitCode, int64_t endReading = 5000000) {
    RunRecorder recorder("", params_, CommandSet::kText, result_, 1000000,
                         FakeClock::kStartSeconds * 1000000 + 250000, clock_);
    const std::string line = recorder.record_line(exitCode, endReading);
    EXPECT_EQ(line.find('\n'), line.size() - 1);
    return Json::parse(line);
  }
  FakeClock clock_;
  SmsTestParams params_;
  SmsTestResult result_;
};

TEST_F(RunRecordTest, ASuccessHasNoPhaseAndCalendarReadings) {
  result_.sendTime = "1.500000";
  result_.deliveryTime = "2.000000";
  result_.totalTime = "4.000000";
  result_.accuracy = "100";
  result_.notes.note_send(2000000, 3500000);
  result_.notes.note_found(5500000);
  result_.notes.note_status(0, "SUCCESS", FileWrite::kWritten);
  result_.notes.resultLineWritten = true;
  const Json r = record(0, 6000001);
  EXPECT_EQ(r["failurePhase"], nullptr);
  EXPECT_EQ(r["modemErrorCode"], nullptr);
  EXPECT_EQ(r["sendTime"], 1.5);
  EXPECT_EQ(r["replyTime"], nullptr);
  EXPECT_EQ(r["accuracy"], 100.0);
  EXPECT_EQ(r["runStart"], "2023-11-14T22:13:20.250000Z");
  EXPECT_EQ(r["sendStart"], "2023-11-14T22:13:21.250000Z");
  EXPECT_EQ(r["sendConfirmed"], "2023-11-14T22:13:22.750000Z");
  EXPECT_EQ(r["messageFound"], "2023-11-14T22:13:24.750000Z");
  EXPECT_EQ(r["replyConfirmed"], nullptr);
  EXPECT_EQ(r["runEnd"], "2023-11-14T22:13:25.250001Z");
  EXPECT_EQ(r["commandSet"], "text");
  EXPECT_EQ(r["mode"], "round-trip");
  EXPECT_EQ(r["messageSent"], "tImE7Thi");
  EXPECT_EQ(r["messageLength"], 8);
  EXPECT_EQ(r["messageAlphabet"], "gsm7");
  EXPECT_EQ(r["toBaud"], 9600);
}

TEST_F(RunRecordTest, PartsOfAMessage) {
  // One message: partsSent alone.
  SendReceipt one;
  one.parts.push_back({9, 3500000, 2000000});
  result_.notes.note_parts_sent(one);
  Json r = record(0);
  EXPECT_EQ(r["partsSent"], 1);
  for (const char* name :
       {"partsExpected", "partsReceived", "concatReference", "concatReferenceBits", "parts",
        "partSpread", "partsOutOfOrder", "partsDuplicated"}) {
    EXPECT_TRUE(r.contains(name)) << name;
    EXPECT_EQ(r[name], nullptr) << name;
  }

  // Three parts sent under reference 300 (16 bits); parts 3 and 1 found,
  // part 1 twice, part 2 never.
  SendReceipt three;
  three.parts = {{41, 2100000, 2000000}, {42, 2300000, 2200000}, {43, 2600000, 2400000}};
  three.concatReference = 300;
  three.concatReferenceBits = 16;
  RunNotes& notes = result_.notes;
  notes.note_parts_sent(three);
  notes.hasParts = true;
  notes.partsExpected = 3;
  notes.partsFound = {4750000, kNoReading, 3000000};
  notes.firstPartFound = 3000000;
  notes.lastPartFound = 4750000;
  notes.partsOutOfOrder = 1;
  notes.partsDuplicated = 1;
  r = record(2);
  EXPECT_EQ(r["partsSent"], 3);
  EXPECT_EQ(r["partsExpected"], 3);
  EXPECT_EQ(r["partsReceived"], 2);
  EXPECT_EQ(r["concatReference"], 300);
  EXPECT_EQ(r["concatReferenceBits"], 16);
  EXPECT_EQ(r["partSpread"], 1.75);
  EXPECT_EQ(r["partsOutOfOrder"], 1);
  EXPECT_EQ(r["partsDuplicated"], 1);
  ASSERT_EQ(r["parts"].size(), 3u);
  EXPECT_EQ(r["parts"][0], Json::parse(R"({"sequence": 1, "reference": 41,
                            "sendStart": "2023-11-14T22:13:21.250000Z",
                            "confirmed": "2023-11-14T22:13:21.350000Z",
                            "found": "2023-11-14T22:13:24.000000Z"})"));
  EXPECT_EQ(r["parts"][1]["found"], nullptr);
  EXPECT_EQ(r["parts"][1]["reference"], 42);
  EXPECT_EQ(r["parts"][2]["found"], "2023-11-14T22:13:22.250000Z");

  // Sent in parts, none found: 0 received, nothing known of the receiver's
  // count.
  notes.hasParts = false;
  notes.partsFound.clear();
  notes.noPartReceived = true;
  r = record(2);
  EXPECT_EQ(r["partsReceived"], 0);
  EXPECT_EQ(r["partsExpected"], nullptr);
  EXPECT_EQ(r["partSpread"], nullptr);
  ASSERT_EQ(r["parts"].size(), 3u);
  EXPECT_EQ(r["parts"][2]["found"], nullptr);
}

TEST_F(RunRecordTest, PhasesOfFailures) {
  struct Case {
    RunPhase phase;
    int statusCode;
    const char* text;
    FileWrite statusFile;
    bool resultLine;
    int exitCode;
    const char* failurePhase;  // nullptr: null
  } cases[] = {
      {RunPhase::kSetup, 2, "Failed to open COM3", FileWrite::kWritten, true, 2, "setup"},
      {RunPhase::kOpen, 2, "AT+CMGF=0 answered ERROR", FileWrite::kWritten, true, 2, "open"},
      {RunPhase::kSend, 2, "answered +CMS ERROR: 330 (x)\n", FileWrite::kWritten, true, 2, "send"},
      {RunPhase::kReceive, 2, "Interrupted by signal 2\n", FileWrite::kNotOpened, true, 130,
       "receive"},
      {RunPhase::kCheck, 2, "Accuracy not 100", FileWrite::kWritten, true, 0, "check"},
      {RunPhase::kReply, 2, "Cannot send SMS\n", FileWrite::kWritten, false, 2, "reply"},
      {RunPhase::kCheck, 0, "SUCCESS", FileWrite::kIncomplete, true, 2, "report-file"},
      {RunPhase::kCheck, 0, "SUCCESS", FileWrite::kNotOpened, true, 0, "report-file"},
      {RunPhase::kCheck, 0, "SUCCESS", FileWrite::kWritten, false, 0, "report-file"},
      {RunPhase::kReply, 0, "SUCCESS", FileWrite::kWritten, true, 0, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    result_.notes.phase = c.phase;
    result_.notes.note_status(c.statusCode, c.text, c.statusFile);
    result_.notes.resultLineWritten = c.resultLine;
    const Json r = record(c.exitCode);
    EXPECT_EQ(r["failurePhase"], c.failurePhase == nullptr ? Json() : Json(c.failurePhase));
    EXPECT_EQ(r["statusCode"], c.statusCode);
    EXPECT_EQ(r["statusFileWritten"], c.statusFile == FileWrite::kWritten);
    EXPECT_EQ(r["exitCode"], c.exitCode);
    // The status file's text without the line end a failure text carries.
    const std::string text = r["statusText"];
    EXPECT_NE(text.back(), '\n');
  }
  result_.notes.phase = RunPhase::kSend;
  result_.notes.note_status(2, "x answered +CMS ERROR: 330 (SMSC address unknown)\n",
                            FileWrite::kWritten);
  const Json r = record(2);
  EXPECT_EQ(r["modemErrorType"], "CMS");
  EXPECT_EQ(r["modemErrorCode"], 330);
  EXPECT_EQ(r["sendTime"], nullptr);  // "-Infinity" never shows
  EXPECT_EQ(r["sendStart"], nullptr);
  EXPECT_EQ(r["signal"], nullptr);
}

// A start-up refusal writes no status file: its record carries the message
// it printed, and no status code.
TEST_F(RunRecordTest, AStartUpRefusalIsASetupFailure) {
  result_.notes.note_refusal("Unknown command set txt (valid: text, pdu)\n");
  const Json r = record(2);
  EXPECT_EQ(r["failurePhase"], "setup");
  EXPECT_EQ(r["statusCode"], nullptr);
  EXPECT_EQ(r["statusText"], "Unknown command set txt (valid: text, pdu)");
  EXPECT_EQ(r["statusFileWritten"], false);
  EXPECT_EQ(r["resultLineWritten"], false);
  EXPECT_EQ(r["exitCode"], 2);
  // A status, once written, is what the record shows.
  result_.notes.note_status(2, "Failed to open COM3\n", FileWrite::kWritten);
  EXPECT_EQ(record(2)["statusText"], "Failed to open COM3");
}

TEST_F(RunRecordTest, AnyBytesGiveValidJson) {
  result_.testName = "T\xE9st\"\\\x01";
  result_.latLong = std::string("\0\xFF", 2);
  params_.messageText = "tImE7T\xE4\xF6";
  const Json r = record(2);
  EXPECT_EQ(r["testName"], "T\xC3\xA9st\"\\\x01");
  EXPECT_EQ(r["latLong"], std::string("\0\xC3\xBF", 3));
  EXPECT_EQ(r["messageAlphabet"], "gsm7");  // a-umlaut and o-umlaut are in the GSM alphabet
  params_.messageText = "tImE7T\xE2";       // a-circumflex is not
  EXPECT_EQ(record(2)["messageAlphabet"], "ucs2");
}

TEST_F(RunRecordTest, AReflectorRecordsItsReply) {
  params_.reflectMode = 1;
  EXPECT_EQ(record(2)["messageSent"], nullptr);  // no reply yet
  result_.notes.hasReplyText = true;
  result_.notes.replyText = "rEfLeCt5Tping";
  result_.notes.note_sender("+15551234");
  result_.notes.note_send(2000000, 2100000);
  result_.notes.note_reply(2100000);
  const Json r = record(0);
  EXPECT_EQ(r["mode"], "reflector");
  EXPECT_EQ(r["messageSent"], "rEfLeCt5Tping");
  EXPECT_EQ(r["sender"], "+15551234");
  EXPECT_EQ(r["replyConfirmed"], r["sendConfirmed"]);
}

}  // namespace

}  // namespace smstest
