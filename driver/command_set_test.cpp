// The command set field of the command file: where it stands, how it is
// trimmed, which names a run takes.
#include <gtest/gtest.h>

#include <string>

#include "driver/command_file.h"
#include "modem/sms_session.h"

namespace smstest {

namespace {

TEST(CommandSetField, TwelfthFieldTrimmedAlone) {
  struct Row {
    const char* line;
    int reflectMode;
    const char* commandSet;
    const char* messageText;
  } rows[] = {
      {"T|60|3|1|hi|0|0|115200|4|115200|0\n", 0, "", "hi"},
      {"T|60|3|1|hi|0|0|115200|4|115200|1|text\n", 1, "text", "hi"},
      {"T|60|3|1|hi|0|0|115200|4|115200|1| text \t\r\n", 1, "text", "hi"},
      {"T|60|3|1|hi|0|0|115200|4|115200|1|\n", 1, "", "hi"},
      {"T|60|3|1| hi |0|0|115200|4|115200|0|text|more\n", 0, "text", " hi "},
      {"T|60|3|1|hi|0|0|115200|4|115200|7|pdu", 7, "pdu", "hi"},
  };
  for (const Row& row : rows) {
    SmsTestParams p;
    p.parse(row.line, '|');
    EXPECT_EQ(p.reflectMode, row.reflectMode) << row.line;
    EXPECT_EQ(p.commandSet, row.commandSet) << row.line;
    EXPECT_EQ(p.messageText, row.messageText) << row.line;
  }
}

TEST(CommandSetField, NamesARunTakes) {
  struct Row {
    const char* name;
    bool known;
    CommandSet set;
  } rows[] = {
      {"", true, CommandSet::kProprietary},
      {"text", true, CommandSet::kText},
      {"pdu", true, CommandSet::kPdu},
      {"TEXT", true, CommandSet::kText},
      {"txt", false, CommandSet::kProprietary},
      {"PDU", true, CommandSet::kPdu},
      {"Text", true, CommandSet::kText},
      {"pDu", true, CommandSet::kPdu},
      {"texts", false, CommandSet::kProprietary},
      {" pdu", false, CommandSet::kProprietary},
  };
  for (const Row& row : rows) {
    CommandSet set = CommandSet::kProprietary;
    EXPECT_EQ(command_set_from_name(row.name, set), row.known) << row.name;
    if (row.known) {
      EXPECT_EQ(set, row.set) << row.name;
    }
  }
}

}  // namespace

}  // namespace smstest
