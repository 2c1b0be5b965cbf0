// The general and radio commands of TS 27.007 on a simulated modem alone:
// identity, functionality, PIN, message service settings, the long headers
// of AT+CSDH=1, registration with its location, operator and signal, the
// radio options and their faults.
#include <gtest/gtest.h>

#include "common/version.h"
#include "sim/modem.h"

namespace smstest {
namespace {

std::string type(SimModem& modem, const std::string& bytes) {
  std::vector<Reply> replies;
  modem.receive(bytes.data(), bytes.size(), replies);
  std::string out;
  for (const Reply& reply : replies) {
    for (const AnswerPiece& piece : reply.pieces) out += piece.bytes;
  }
  return out;
}

ModemConfig modem_with(const std::string& options) {
  ModemConfig config;
  std::string error;
  EXPECT_TRUE(parse_modem_argument("COM3=5550103" + options, config, error)) << error;
  return config;
}

struct Case {
  const char* command;
  const char* answer;
};

// Runs each case on a fresh modem with echo off and numeric error codes.
void check(const std::string& options, const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SimModem modem(modem_with(options));
    type(modem, "ATE0\rAT+CMEE=1\r");
    EXPECT_EQ(c.answer, type(modem, std::string(c.command) + "\r")) << options << " " << c.command;
  }
}

TEST(GeneralCommands, AnswerTheCommandsClientsOpenAModemWith) {
  std::string revision = std::string("\r\n") + kVersion + "\r\n\r\nOK\r\n";
  check("", {
                {"AT+CGMI", "\r\nSMS_TEST\r\n\r\nOK\r\n"},
                {"AT+CGMI=?", "\r\nOK\r\n"},
                {"AT+CGMM", "\r\nmodem_sim\r\n\r\nOK\r\n"},
                {"AT+CGSN", "\r\n350000005501032\r\n\r\nOK\r\n"},
                {"AT+CIMI", "\r\n001010005550103\r\n\r\nOK\r\n"},
                {"AT+CIMI?", "\r\nERROR\r\n"},
                {"AT+CFUN?", "\r\n+CFUN: 1\r\n\r\nOK\r\n"},
                {"AT+CFUN=1", "\r\nOK\r\n"},
                {"AT+CFUN=1,1", "\r\nOK\r\n"},
                {"AT+CFUN=2", "\r\n+CME ERROR: 4\r\n"},
                {"AT+CFUN=x", "\r\nERROR\r\n"},
                {"AT+CPIN?", "\r\n+CPIN: READY\r\n\r\nOK\r\n"},
                {"AT+CPIN=\"1234\"", "\r\n+CME ERROR: 3\r\n"},
                {"AT+CNUM", "\r\n+CNUM: ,\"5550103\",129\r\n\r\nOK\r\n"},
                {"AT+CSCA?", "\r\n+CSCA: \"+15550000000\",145\r\n\r\nOK\r\n"},
                {"AT+CSCA=\"+15550000001\",145", "\r\nOK\r\n"},
                {"AT+CSCA=15550000001", "\r\nERROR\r\n"},
                {"AT+CSMS?", "\r\n+CSMS: 0,1,1,1\r\n\r\nOK\r\n"},
                {"AT+CSMS=0", "\r\n+CSMS: 1,1,1\r\n\r\nOK\r\n"},
                {"AT+CSMS=2", "\r\n+CMS ERROR: 303\r\n"},
                {"AT+CSMP?", "\r\n+CSMP: 17,167,0,0\r\n\r\nOK\r\n"},
                {"AT+CSMP=17,11,0,0", "\r\nOK\r\n"},
                {"AT+CSMP=17,256", "\r\n+CMS ERROR: 305\r\n"},
                {"AT+CSDH?", "\r\n+CSDH: 0\r\n\r\nOK\r\n"},
                {"AT+CSDH=1", "\r\nOK\r\n"},
                {"AT+CSDH=2", "\r\nERROR\r\n"},
            });
  SimModem modem(modem_with(""));
  type(modem, "ATE0\r");
  EXPECT_EQ("\r\nSMS_TEST\r\nmodem_sim\r\nRevision: " + std::string(kVersion) + "\r\n\r\nOK\r\n",
            type(modem, "ATI\r"));
  EXPECT_EQ(revision, type(modem, "AT+CGMR\r"));
}

TEST(GeneralCommands, IdentityOptionsAndTheImeiCheckDigit) {
  check(",imsi=262019876543210,operator=26202",
        {
            {"AT+CIMI", "\r\n262019876543210\r\n\r\nOK\r\n"},
        });
  // Without imsi= the IMSI starts with the operator's MCC and MNC.
  check(",operator=310260", {{"AT+CIMI", "\r\n310260005550103\r\n\r\nOK\r\n"}});
  ModemConfig config;
  std::string error;
  ASSERT_TRUE(parse_modem_argument("COM3=+4915123456789", config, error));
  SimModem modem(config);
  type(modem, "ATE0\r");
  std::string imei = type(modem, "AT+CGSN\r").substr(2, 15);
  int sum = 0;  // Luhn: the sum over the 15 digits is a multiple of 10
  for (size_t i = 0; i < imei.size(); ++i) {
    int d = imei[i] - '0';
    sum += i % 2 == 1 ? (d * 2 > 9 ? d * 2 - 9 : d * 2) : d;
  }
  EXPECT_EQ(0, sum % 10) << imei;
  EXPECT_EQ("\r\n+CNUM: ,\"+4915123456789\",145\r\n\r\nOK\r\n", type(modem, "AT+CNUM\r"));
  for (const char* bad : {",imsi=12345", ",imsi=1234567890123456", ",imsi=26201x"}) {
    EXPECT_FALSE(parse_modem_argument(std::string("COM3=5550103") + bad, config, error)) << bad;
  }
}

TEST(GeneralCommands, EchoOnAgainWithAte1) {
  SimModem modem(modem_with(""));
  EXPECT_EQ("ATE0\r\r\nOK\r\n", type(modem, "ATE0\r"));
  EXPECT_EQ("\r\nOK\r\n", type(modem, "AT\r"));
  EXPECT_EQ("\r\nOK\r\n", type(modem, "ATE1\r"));
  EXPECT_EQ("AT\r\r\nOK\r\n", type(modem, "AT\r"));
}

TEST(RadioCommands, RegistrationOperatorAndSignalByTechnology) {
  // LTE by default: TAC 1A2B, cell 01C2D03, RSRP -95 (index 46), RSRQ -10 (20).
  check("", {
                {"AT+CREG?", "\r\n+CREG: 0,1\r\n\r\nOK\r\n"},
                {"AT+CREG=2", "\r\nOK\r\n"},
                {"AT+CREG=3", "\r\n+CME ERROR: 4\r\n"},
                {"AT+CEREG=?", "\r\n+CEREG: (0-2)\r\n\r\nOK\r\n"},
                {"AT+COPS?", "\r\n+COPS: 0,0,\"SIMNET 00101\",7\r\n\r\nOK\r\n"},
                {"AT+COPS=3,2", "\r\nOK\r\n"},
                {"AT+COPS=1,2,\"00101\"", "\r\n+CME ERROR: 4\r\n"},
                {"AT+CSQ", "\r\n+CSQ: 24,99\r\n\r\nOK\r\n"},
                {"AT+CESQ", "\r\n+CESQ: 99,99,255,255,20,46\r\n\r\nOK\r\n"},
            });
  // GSM: rxlev from the RSSI (-71 dBm: 40), 16-bit cell identities.
  check(",tech=gsm,rssi=-71,lac=00C1,cell=BEEF,operator=26202",
        {{"AT+CSQ", "\r\n+CSQ: 21,99\r\n\r\nOK\r\n"},
         {"AT+CESQ", "\r\n+CESQ: 40,99,255,255,255,255\r\n\r\nOK\r\n"}});
  // UMTS: RSCP -80 dBm (41), Ec/No -6.5 dB (36).
  check(",tech=umts,rscp=-80,ecno=-6.5",
        {{"AT+CESQ", "\r\n+CESQ: 99,99,41,36,255,255\r\n\r\nOK\r\n"}});
  // Edges of the ranges.
  check(",rssi=-113,rsrp=-140,rsrq=-19.5",
        {{"AT+CSQ", "\r\n+CSQ: 0,99\r\n\r\nOK\r\n"},
         {"AT+CESQ", "\r\n+CESQ: 99,99,255,255,1,1\r\n\r\nOK\r\n"}});
  check(",rssi=-51,rsrp=-44,rsrq=-3",
        {{"AT+CSQ", "\r\n+CSQ: 31,99\r\n\r\nOK\r\n"},
         {"AT+CESQ", "\r\n+CESQ: 99,99,255,255,34,97\r\n\r\nOK\r\n"}});
  check(",no-cesq", {{"AT+CESQ", "\r\nERROR\r\n"}, {"AT+CSQ", "\r\n+CSQ: 24,99\r\n\r\nOK\r\n"}});
}

TEST(RadioCommands, LocationInReportModeTwoAndTheRegistrationFaults) {
  struct Row {
    const char* options;
    const char* creg;  // AT+CREG? after AT+CREG=2
    const char* cops;  // AT+COPS? after AT+COPS=3,2
    const char* csq;
  } rows[] = {
      {"", "+CREG: 2,1,\"1A2B\",\"01C2D03\",7", "+COPS: 0,2,\"00101\",7", "+CSQ: 24,99"},
      {",tech=gsm,lac=C1,cell=BEEF", "+CREG: 2,1,\"00C1\",\"BEEF\",0", "+COPS: 0,2,\"00101\",0",
       "+CSQ: 24,99"},
      {",tech=hspa,operator=310260", "+CREG: 2,1,\"1A2B\",\"01C2D03\",6", "+COPS: 0,2,\"310260\",6",
       "+CSQ: 24,99"},
      {",reg=roaming,operator=26202", "+CREG: 2,5,\"1A2B\",\"01C2D03\",7", "+COPS: 0,2,\"26202\",7",
       "+CSQ: 24,99"},
      {",reg=searching", "+CREG: 2,2", "+COPS: 0", "+CSQ: 99,99"},
      {",reg=none", "+CREG: 2,0", "+COPS: 0", "+CSQ: 99,99"},
      {",reg=denied", "+CREG: 2,3", "+COPS: 0", "+CSQ: 24,99"},
  };
  for (const Row& row : rows) {
    SimModem modem(modem_with(row.options));
    type(modem, "ATE0\rAT+CREG=2\rAT+CGREG=2\rAT+CEREG=2\rAT+COPS=3,2\r");
    std::string creg = row.creg;
    EXPECT_EQ("\r\n" + creg + "\r\n\r\nOK\r\n", type(modem, "AT+CREG?\r")) << row.options;
    EXPECT_EQ("\r\n+CGREG" + creg.substr(5) + "\r\n\r\nOK\r\n", type(modem, "AT+CGREG?\r"))
        << row.options;
    EXPECT_EQ("\r\n+CEREG" + creg.substr(5) + "\r\n\r\nOK\r\n", type(modem, "AT+CEREG?\r"))
        << row.options;
    EXPECT_EQ("\r\n" + std::string(row.cops) + "\r\n\r\nOK\r\n", type(modem, "AT+COPS?\r"))
        << row.options;
    EXPECT_EQ("\r\n" + std::string(row.csq) + "\r\n\r\nOK\r\n", type(modem, "AT+CSQ\r"))
        << row.options;
  }
  // Flight mode takes the registration away until AT+CFUN=1.
  SimModem modem(modem_with(""));
  type(modem, "ATE0\r");
  EXPECT_EQ("\r\nOK\r\n", type(modem, "AT+CFUN=4\r"));
  EXPECT_EQ("\r\n+CREG: 0,0\r\n\r\nOK\r\n", type(modem, "AT+CREG?\r"));
  EXPECT_EQ("\r\nOK\r\n", type(modem, "AT+CFUN=1\r"));
  EXPECT_EQ("\r\n+CREG: 0,1\r\n\r\nOK\r\n", type(modem, "AT+CREG?\r"));
}

TEST(RadioCommands, BadRadioOptionsAreRefused) {
  const char* bad[] = {",operator=0010",
                       ",operator=00101x",
                       ",tech=wimax",
                       ",lac=XYZ",
                       ",cell=1234567890",
                       ",rssi=-114",
                       ",rssi=-50",
                       ",rsrp=-141",
                       ",rsrq=-2.5",
                       ",rsrq=-10.25",
                       ",ecno=1",
                       ",reg=away",
                       ",radio-at=5",
                       ",radio-at=x:lost",
                       ",radio-at=5:lost=1",
                       ",radio-at=5:cell=1+tech=x",
                       ",no-cesq=1",
                       ",tech"};
  for (const char* options : bad) {
    ModemConfig config;
    std::string error;
    EXPECT_FALSE(parse_modem_argument(std::string("COM3=5550103") + options, config, error))
        << options;
  }
  ModemConfig config;
  std::string error;
  ASSERT_TRUE(parse_modem_argument("COM3=5550103,radio-at=5:lost,radio-at=7.5:reg=home+cell=BEEF",
                                   config, error))
      << error;
  ASSERT_EQ(2u, config.radioChanges.size());
  EXPECT_EQ(7.5, config.radioChanges[1].at);
  EXPECT_EQ("reg=home+cell=BEEF", config.radioChanges[1].settings);
}

TEST(RadioCommands, ChangesSendTheLinesOfTheModesTheClientSet) {
  SimModem modem(modem_with(""));
  type(modem, "ATE0\r");
  // No lines asked for: none.
  EXPECT_EQ("", modem.change_radio("cell=BEEF"));
  type(modem, "AT+CREG=1\rAT+CEREG=2\r");
  // A new cell: mode 2 reports it, mode 1 only reports changes of <stat>.
  EXPECT_EQ("\r\n+CEREG: 1,\"1A2B\",\"000CAFE\",7\r\n", modem.change_radio("cell=CAFE"));
  EXPECT_EQ("\r\n+CREG: 2\r\n\r\n+CEREG: 2\r\n", modem.change_radio("lost"));
  // The signal alone changes no registration line.
  EXPECT_EQ("", modem.change_radio("rsrp=-120"));
  // While searching the signal is unknown.
  EXPECT_EQ("\r\n+CESQ: 99,99,255,255,255,255\r\n\r\nOK\r\n", type(modem, "AT+CESQ\r"));
  EXPECT_EQ("\r\n+CREG: 5\r\n\r\n+CEREG: 5,\"1A2B\",\"000CAFE\",7\r\n",
            modem.change_radio("reg=roaming"));
  EXPECT_EQ("\r\n+CESQ: 99,99,255,255,20,21\r\n\r\nOK\r\n", type(modem, "AT+CESQ\r"));
}

TEST(GeneralCommands, LongHeadersOfListingAndReadWithCsdh) {
  ModemConfig config = modem_with("");
  SimModem modem(config);
  modem.store("+15551234", "hello", 1704110400);        // 24/01/01,12:00:00
  modem.store("5551235", "\xd0\x96 text", 1704110401);  // a character the alphabet lacks
  type(modem, "ATE0\rAT+CMGF=1\rAT+CSCS=\"IRA\"\r");
  EXPECT_EQ(
      "\r\n+CMGR: \"REC UNREAD\",\"+15551234\",,\"24/01/01,12:00:00+00\"\r\nhello\r\n\r\nOK\r\n",
      type(modem, "AT+CMGR=1\r"));
  type(modem, "AT+CSDH=1\r");
  EXPECT_EQ(
      "\r\n+CMGR: \"REC READ\",\"+15551234\",,\"24/01/01,12:00:00+00\",145,4,0,0,"
      "\"+15550000000\",145,5\r\nhello\r\n\r\nOK\r\n",
      type(modem, "AT+CMGR=1\r"));
  std::string listing = type(modem, "AT+CMGL=\"ALL\"\r");
  EXPECT_NE(std::string::npos,
            listing.find("+CMGL: 1,\"REC READ\",\"+15551234\",,\"24/01/01,12:00:00+00\",145,5\r\n"
                         "hello\r\n"))
      << listing;
  EXPECT_NE(std::string::npos, listing.find(",\"24/01/01,12:00:01+00\",129,7\r\n")) << listing;
}

}  // namespace
}  // namespace smstest
