// Whole runs of SMS_TEST that must end at start-up because a run would
// otherwise forge result lines, split its send command, or write its status
// over its own result file; and command files with lone CRs as line ends.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "testsupport/run_process.h"

namespace smstest {

namespace {

const std::string kTool = SMS_TEST_BINARY;
const char kRecord[] = "T1|10|9|5550100|hello|0|0|115200|0|0|0";

struct RefusalCase {
  const char* name;
  std::string cmdFile;                  // the command file's content
  std::vector<std::string> args;        // after the program name
  const char* err;                      // the whole standard error
  std::vector<std::string> extraFiles;  // made before the run, besides cmd.txt
};

TEST(StartupRefusals, LineEndsAndTheStatusFileAsResultFile) {
  const std::string lf = std::string("SMS_TEST\nresults.csv\n") + kRecord + "\n";
  const std::vector<std::string> plain = {"cmd.txt", "status.txt", "42", "45N73W"};
  const RefusalCase cases[] = {
      {"LF in dataTime",
       lf,
       {"cmd.txt", "status.txt", "4\n2", "45N73W"},
       "The dataTime argument holds a line end (CR or LF)\n",
       {}},
      {"CR in dataTime",
       lf,
       {"cmd.txt", "status.txt", "42\r", "45N73W"},
       "The dataTime argument holds a line end (CR or LF)\n",
       {}},
      {"LF in latLong",
       lf,
       {"cmd.txt", "status.txt", "42", "45N\nSMS_TEST,1,forged"},
       "The latLong argument holds a line end (CR or LF)\n",
       {}},
      {"CR in testName",
       "SMS_TEST\nresults.csv\nT\r1|10|9|5550100|hello|0|0|115200|0|0|0\n",
       plain,
       "The testName field in cmd.txt holds a line end (CR or LF)\n",
       {}},
      {"CR in messageText",
       "SMS_TEST\nresults.csv\nT1|10|9|5550100|hel\rlo|0|0|115200|0|0|0\n",
       plain,
       "The messageText field in cmd.txt holds a line end (CR or LF)\n",
       {}},
      // With five fields the message is the last one and keeps the line end.
      {"message as the last field",
       "SMS_TEST\nresults.csv\nT1|10|9|5550100|hello\n",
       plain,
       "The messageText field in cmd.txt holds a line end (CR or LF)\n",
       {}},
      {"status file named as the result file",
       lf,
       {"cmd.txt", "results.csv", "42", "45N73W"},
       "The status file results.csv is the result file\n",
       {}},
      {"the same file spelt otherwise",
       lf,
       {"cmd.txt", "./sub/../results.csv", "42", "45N73W"},
       "The status file ./sub/../results.csv is the result file\n",
       {"sub/"}},
      {"no line 2", "SMS_TEST\n", plain, "Missing result file name (line 2) in cmd.txt\n", {}},
      {"empty line 2",
       std::string("SMS_TEST\r\n\r\n") + kRecord + "\r\n",
       plain,
       "Missing result file name (line 2) in cmd.txt\n",
       {}},
      {"no line 3",
       "SMS_TEST\nresults.csv\n",
       plain,
       "Missing parameter line (line 3) in cmd.txt\n",
       {}},
      {"a link to the result file",
       lf,
       {"cmd.txt", "status.txt", "42", "45N73W"},
       "The status file status.txt is the result file\n",
       {"status.txt->results.csv"}},
  };
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string dir = make_temp_dir("refusal");
    write_file(dir + "/cmd.txt", c.cmdFile);
    std::vector<std::string> expectedFiles = {"cmd.txt"};
    for (const std::string& extra : c.extraFiles) {
      if (extra.back() == '/') {
        ASSERT_EQ(mkdir((dir + "/" + extra).c_str(), 0755), 0);
        expectedFiles.push_back(extra.substr(0, extra.size() - 1));
      } else {
        const size_t arrow = extra.find("->");
        ASSERT_EQ(
            symlink(extra.substr(arrow + 2).c_str(), (dir + "/" + extra.substr(0, arrow)).c_str()),
            0);
        expectedFiles.push_back(extra.substr(0, arrow));
      }
    }
    std::sort(expectedFiles.begin(), expectedFiles.end());
    std::vector<std::string> argv = {kTool};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    ProcessResult r = run_process(argv, dir, {"SMS_TEST_PORTS=" + dir});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, c.err);
    // Nothing written: no status file, no result line, no debug log.
    EXPECT_EQ(list_dir(dir), expectedFiles);
  }
}

// Texts a run can't send: longer than one message in text mode, more parts
// than maxParts= in the pdu set, a length= shorter than the marked text or
// in the proprietary set.  Refused before any port is opened.
TEST(StartupRefusals, LongTexts) {
  const std::string head = "SMS_TEST\nresults.csv\nT1|10|9|5550100|";
  const std::string tail = "|0|0|115200|0|0|0\n";
  const struct {
    const char* name;
    std::string cmdFile;
    const char* err;
  } cases[] = {
      {"161 septets in text mode", head + std::string(154, 'x') + tail + "commandSet=text\n",
       "Message text too long for one SMS in text mode: 161 septets, at most 160; the pdu "
       "command set sends a longer text in parts\n"},
      {"a length over one message in text mode",
       head + "hello" + tail + "commandSet=text\nlength=170\n", nullptr},
      {"three parts over a ceiling of two",
       head + "hello" + tail + "commandSet=pdu\nmaxParts=2\nlength=400\n",
       "Cannot send the message in PDU mode: Message text too long: 3 parts, at most 2 (option "
       "maxParts)\n"},
      {"eleven parts by default", head + "hello" + tail + "commandSet=pdu\nlength=1531\n",
       "Cannot send the message in PDU mode: Message text too long: 11 parts, at most 10 (option "
       "maxParts)\n"},
      {"a length shorter than the marked text",
       head + "hello" + tail + "commandSet=pdu\nlength=11\n",
       "Option length=11 is shorter than the marked message text (12 characters)\n"},
      {"a length in the proprietary set", head + "hello" + tail + "length=50\n",
       "Option length needs the text or pdu command set\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string dir = make_temp_dir("long");
    write_file(dir + "/cmd.txt", c.cmdFile);
    ProcessResult r = run_process({kTool, "cmd.txt", "status.txt", "42", "45N73W"}, dir,
                                  {"SMS_TEST_PORTS=" + dir});
    EXPECT_EQ(r.exitCode, 2);
    if (c.err != nullptr) {
      EXPECT_EQ(r.err, c.err);
      EXPECT_EQ(list_dir(dir), std::vector<std::string>{"cmd.txt"});
    } else {
      // 170 characters of the filler take more than 160 septets.
      EXPECT_EQ(r.err.rfind("Message text too long for one SMS in text mode: ", 0), 0u) << r.err;
    }
  }
}

// "--version" alone prints the version; with other arguments it is a
// command file name like any other.
TEST(StartupRefusals, VersionAloneIsAnswered) {
  const std::string dir = make_temp_dir("version");
  ProcessResult r = run_process({kTool, "--version"}, dir);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out.rfind("SMS_TEST ", 0), 0u) << r.out;
  EXPECT_GT(r.out.size(), std::string("SMS_TEST \n").size());
  EXPECT_EQ(list_dir(dir), std::vector<std::string>{});
  ProcessResult four = run_process({kTool, "--version", "status.txt", "42", "45N73W"}, dir);
  EXPECT_EQ(four.exitCode, 2);
  EXPECT_EQ(four.err, "Cannot open --version\n");
}

// A UTF-8 byte-order mark before line 1 is passed over, and the command
// set is named in any case.
TEST(StartupRefusals, ByteOrderMarkAndCommandSetCase) {
  const std::string dir = make_temp_dir("bom");
  write_file(dir + "/cmd.txt", std::string("\xEF\xBB\xBFSMS_TEST\r\nresults.csv\r\n") +
                                   "T1|10|9|5550100|hello|0|0|115200|0|0|0|Text\r\n");
  ProcessResult r =
      run_process({kTool, "cmd.txt", "status.txt", "42", "45N73W"}, dir, {"SMS_TEST_PORTS=" + dir});
  // Past line 1 and the command set: the port is what fails.
  EXPECT_EQ(r.err.rfind("Failed to open " + dir + "/COM9.", 0), 0u) << r.err;
  write_file(dir + "/cmd.txt", std::string("\xEF\xBB\xBFSMS_TEST\nresults.csv\n") +
                                   "T1|10|3|5550100|hello|0|0|115200|0|0|0|Txt\n");
  r = run_process({kTool, "cmd.txt", "status.txt", "42", "45N73W"}, dir);
  EXPECT_EQ(r.err,
            "Unknown command set Txt (valid: text, pdu, or none for the modem's own commands)\n");
}

// Commas still shift the columns, as documented: they are not refused.
TEST(StartupRefusals, CommasAreNotRefused) {
  const std::string dir = make_temp_dir("commas");
  write_file(dir + "/cmd.txt", std::string("SMS_TEST\nresults.csv\n") + kRecord + "\n");
  ProcessResult r = run_process({kTool, "cmd.txt", "status.txt", "4,2", "45N,73W"}, dir,
                                {"SMS_TEST_PORTS=" + dir});
  EXPECT_EQ(r.exitCode, 2);
  const std::string line = read_file(dir + "/results.csv");
  EXPECT_EQ(line.rfind("SMS_TEST,1,T1,4,2,45N,73W,2,", 0), 0u) << line;
}

// A command file written with lone CRs as line ends is read by its lines:
// the result file is named by line 2, the record is line 3.
TEST(StartupRefusals, LoneCrLineEnds) {
  const std::string dir = make_temp_dir("lonecr");
  write_file(dir + "/cmd.txt", std::string("SMS_TEST\rresults.csv\r") + kRecord + "\r");
  ProcessResult r =
      run_process({kTool, "cmd.txt", "status.txt", "42", "45N73W"}, dir, {"SMS_TEST_PORTS=" + dir});
  EXPECT_EQ(r.exitCode, 2);
  const std::string failure =
      "Failed to open " + dir +
      "/COM9. Please make sure that this device is not in use. (No such file or directory)";
  EXPECT_EQ(r.err, failure + "\n");
  EXPECT_EQ(read_file(dir + "/status.txt"), "2 " + failure + "\n");
  EXPECT_EQ(read_file(dir + "/results.csv"),
            "SMS_TEST,1,T1,42,45N73W,2,-Infinity,-Infinity,-Infinity,-Infinity,-Infinity,0\n");

  // A lone CR inside a file of LF lines is a byte of its line.
  const std::string other = make_temp_dir("lonecr");
  write_file(other + "/cmd.txt", "SMS_TEST\nresults.csv\rx\nT1|10|0|1|x|0|0|115200|0|0|0\n");
  ProcessResult zero = run_process({kTool, "cmd.txt", "status.txt", "42", "45N73W"}, other);
  EXPECT_EQ(zero.err, "From COM port must be > 0\n");
}

}  // namespace

}  // namespace smstest
