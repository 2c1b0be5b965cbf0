// The named options after line 3 of a command file: the lines that are
// options, the refusals, and that the README and the manual page list the
// option table.
#include "driver/command_options.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/files.h"
#include "driver/command_file.h"
#include "testsupport/temp_path.h"

namespace smstest {

namespace {

TEST(CommandOptions, LinesAndRefusals) {
  struct Case {
    const char* lines;  // after line 3
    const char* error;  // "" when the file is taken
    const char* record;
    const char* commandSet;  // the command set the run gets
  } cases[] = {
      {"", "", nullptr, ""},
      {"record=runs.jsonl\n", "", "runs.jsonl", ""},
      {"record= runs.jsonl \r\n", "", "runs.jsonl", ""},  // trimmed, CR LF
      {"record=a=b\n", "", "a=b", ""},                    // the first '=' ends the name
      {"record=last line without end", "", "last line without end", ""},
      {"commandSet=text\n", "", nullptr, "text"},
      {"commandSet=pdu\nrecord=r\n", "", "r", "pdu"},
      {"commandSet=\n", "", nullptr, ""},
      // Lines that are no options are passed over, as before options existed.
      {"ignored\n\n# record=x\n record=x\n=x\n1abc=x\nrecord x\nT|1|2\n", "", nullptr, ""},
      {"recrod=x\n", "Unknown option recrod in @\n", nullptr, nullptr},
      {"Record=x\n", "Unknown option Record in @\n", nullptr, nullptr},
      {"record=\n", "Bad value for option record in @: a file name is needed\n", nullptr, nullptr},
      {"commandSet=TEXT\n", "", nullptr, "TEXT"},  // any case, as the field
      {"commandSet=txt\n",
       "Bad value for option commandSet in @: no command set is called \"txt\" (empty, text or "
       "pdu)\n",
       nullptr, nullptr},
      {"record=a\nrecord=a\n", "Option record given twice in @\n", nullptr, nullptr},
      {"report=1\nwait=report\n", "", nullptr, ""},
      {"report=yes\n", "Bad value for option report in @: 0 or 1\n", nullptr, nullptr},
      {"wait=reports\n", "Bad value for option wait in @: message or report\n", nullptr, nullptr},
      {"commandSet=text\ncommandSet=pdu\n", "Option commandSet given twice in @\n", nullptr,
       nullptr},
      {"charset=UTF-8\n", "", nullptr, ""},
      {"charset=utf8\n",
       "Bad value for option charset in @: no character set is called \"utf8\" (latin1 or "
       "utf-8)\n",
       nullptr, nullptr},
  };
  const std::string path = test_temp_path("cmd");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines);
    ASSERT_TRUE(
        write_file(path, std::string("SMS_TEST\nr.csv\nT|5|3|1|m|0|0|9600|0|0|0\n") + c.lines));
    CommandFile file;
    std::string error;
    const bool taken = read_command_file(path.c_str(), file, error);
    std::string expected = c.error;
    const size_t at = expected.find('@');
    if (at != std::string::npos) expected.replace(at, 1, path);
    EXPECT_EQ(error, expected);
    EXPECT_EQ(taken, expected.empty());
    if (!taken) continue;
    EXPECT_EQ(file.options.hasRecord, c.record != nullptr);
    if (c.record != nullptr) {
      EXPECT_EQ(file.options.record, c.record);
    }
    EXPECT_EQ(file.params.commandSet, c.commandSet);
    const std::string lines = c.lines;
    EXPECT_EQ(file.options.report, lines.find("report=1") != std::string::npos);
    EXPECT_EQ(file.options.waitReport, lines.find("wait=report") != std::string::npos);
  }
  std::remove(path.c_str());
}

TEST(CommandOptions, CommandSetOptionAndFieldMustAgree) {
  struct Case {
    const char* field;   // field 11 of line 3, "-" for none
    const char* option;  // "-" for none
    const char* error;
    const char* commandSet;
  } cases[] = {
      {"-", "text", "", "text"},
      {"", "pdu", "", "pdu"},
      {"text", "text", "", "text"},
      {" text ", "text", "", "text"},  // the field is trimmed
      {"text", "-", "", "text"},
      {"text", "pdu",
       "Option commandSet=pdu in @ differs from the commandSet field text of line 3\n", nullptr},
      {"text", "", "Option commandSet= in @ differs from the commandSet field text of line 3\n",
       nullptr},
  };
  const std::string path = test_temp_path("cmd");
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.field) + " / " + c.option);
    std::string text = "SMS_TEST\nr.csv\nT|5|3|1|m|0|0|9600|0|0|0";
    if (std::string(c.field) != "-") text += std::string("|") + c.field;
    text += "\n";
    if (std::string(c.option) != "-") text += std::string("commandSet=") + c.option + "\n";
    ASSERT_TRUE(write_file(path, text));
    CommandFile file;
    std::string error;
    const bool taken = read_command_file(path.c_str(), file, error);
    std::string expected = c.error;
    const size_t at = expected.find('@');
    if (at != std::string::npos) expected.replace(at, 1, path);
    EXPECT_EQ(error, expected);
    EXPECT_EQ(taken, expected.empty());
    if (taken) {
      EXPECT_EQ(file.params.commandSet, c.commandSet);
    }
  }
  std::remove(path.c_str());
}

// The rest of a line 3 longer than one read is no line of its own, even when
// it reads like an option; lone CRs end option lines in a file that uses them.
TEST(CommandOptions, LongLineThreeAndLoneCrFiles) {
  const std::string path = test_temp_path("cmd");
  std::string line3 = "T|5|3|1|" + std::string(1100, 'm');
  line3.replace(1023, 9, "recrod=x|");
  ASSERT_TRUE(write_file(path, "SMS_TEST\nr.csv\n" + line3 + "\nrecord=r\n"));
  CommandFile file;
  std::string error;
  EXPECT_TRUE(read_command_file(path.c_str(), file, error)) << error;
  EXPECT_EQ(file.options.record, "r");

  ASSERT_TRUE(write_file(path, "SMS_TEST\rr.csv\rT|5|3\rrecord=cr\rcommandSet=pdu\r"));
  CommandFile crFile;
  EXPECT_TRUE(read_command_file(path.c_str(), crFile, error)) << error;
  EXPECT_EQ(crFile.options.record, "cr");
  EXPECT_EQ(crFile.params.commandSet, "pdu");
  std::remove(path.c_str());
}

TEST(CommandOptions, CharsetValues) {
  struct Case {
    const char* line;
    MessageCharset charset;
  } cases[] = {
      {"# no option", MessageCharset::kAuto},
      {"charset=latin1", MessageCharset::kLatin1},
      {"charset= LATIN1 ", MessageCharset::kLatin1},
      {"charset=utf-8", MessageCharset::kUtf8},
  };
  for (const Case& c : cases) {
    CommandOptions options;
    std::string error;
    EXPECT_TRUE(take_option_line(c.line, "cmd", options, error)) << error;
    EXPECT_EQ(options.charset, c.charset) << c.line;
  }
}

// The options of a long text: what each takes and what it refuses.
TEST(CommandOptions, PartAndLengthValues) {
  struct Case {
    const char* line;
    const char* why;  // "" when taken
    int referenceBits;
    int maxParts;
    int length;
  } cases[] = {
      {"# none", "", 8, 10, -1},
      {"reference=8", "", 8, 10, -1},
      {"reference= 16 ", "", 16, 10, -1},
      {"reference=32", "8 or 16", 8, 10, -1},
      {"reference=0x08", "8 or 16", 8, 10, -1},
      {"reference=", "8 or 16", 8, 10, -1},
      {"maxParts=1", "", 8, 1, -1},
      {"maxParts=255", "", 8, 255, -1},
      {"maxParts=3", "", 8, 3, -1},
      {"maxParts=0", "a number from 1 to 255", 8, 10, -1},
      {"maxParts=256", "a number from 1 to 255", 8, 10, -1},
      {"maxParts=-2", "a number from 1 to 255", 8, 10, -1},
      {"maxParts=4x", "a number from 1 to 255", 8, 10, -1},
      {"maxParts=99999999999", "a number from 1 to 255", 8, 10, -1},
      {"length=1", "", 8, 10, 1},
      {"length=320", "", 8, 10, 320},
      {"length=10000", "", 8, 10, 10000},
      {"length=10001", "a number from 1 to 10000", 8, 10, -1},
      {"length=0", "a number from 1 to 10000", 8, 10, -1},
      {"length=+5", "a number from 1 to 10000", 8, 10, -1},
      {"length=", "a number from 1 to 10000", 8, 10, -1},
  };
  for (const Case& c : cases) {
    CommandOptions options;
    std::string error;
    const bool taken = take_option_line(c.line, "cmd", options, error);
    EXPECT_EQ(taken, *c.why == '\0') << c.line;
    if (!taken) {
      std::string name, value;
      ASSERT_TRUE(split_option_line(c.line, name, value));
      EXPECT_EQ(error, "Bad value for option " + name + " in cmd: " + c.why + "\n");
    }
    EXPECT_EQ(options.referenceBits, c.referenceBits) << c.line;
    EXPECT_EQ(options.maxParts, c.maxParts) << c.line;
    EXPECT_EQ(options.length, c.length) << c.line;
  }
}

// The README and the manual page each keep one table with every option.
TEST(CommandOptions, ReadmeAndManualListEveryOption) {
  const std::string readme = read_file(SMS_TEST_SOURCE_DIR "/README.md");
  const std::string manual = read_file(SMS_TEST_SOURCE_DIR "/man/SMS_TEST.1");
  ASSERT_FALSE(readme.empty());
  ASSERT_FALSE(manual.empty());
  int rows = 0;
  for (const OptionRow* row = option_table(); row->name != nullptr; ++row, ++rows) {
    const std::string name = row->name;
    EXPECT_NE(readme.find("| `" + name + "=" + row->value + "` |"), std::string::npos) << name;
    EXPECT_NE(manual.find(".BI " + name + "= " + row->value + "\n"), std::string::npos) << name;
  }
  EXPECT_EQ(rows, 9);
}

}  // namespace

}  // namespace smstest
