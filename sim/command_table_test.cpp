// The command table's lookup: which row serves a command line, and that a
// line near a command's name is no form of it (it is answered ERROR).
#include "sim/command_table.h"

#include <gtest/gtest.h>

#include <string>

namespace smstest {

namespace {

TEST(CommandTable, EachRowServesItsFormsAndNothingNearThem) {
  struct Case {
    const char* line;  // in upper case, as the modem looks it up
    const char* row;   // the name of the row that serves it; null for none
  } cases[] = {
      {"AT", "AT"},
      {"ATE0", "ATE0"},
      {"ATE2", nullptr},
      {"ATE0X", nullptr},
      {"ATX", nullptr},
      {"AT!DASMS", "AT!DASMS"},
      {"AT!DASMS?", nullptr},
      {"AT!SSMS=0,5550104,5550104,\"HI\"", "AT!SSMS=0,"},
      {"AT!SSMS=0", nullptr},
      {"AT!SSMS=1,5550104,5550104,\"HI\"", nullptr},
      {"AT!GSMS?2,0", "AT!GSMS?2,0"},
      {"AT!GSMS?2,1", nullptr},
      {"AT!GSMS", nullptr},
      {"AT!DSMS=3,0", "AT!DSMS=3,0"},
      {"AT!DSMS=3,0,1", nullptr},
      {"AT+CMEE=1", "AT+CMEE"},
      {"AT+CSCS?", "AT+CSCS"},
      {"AT+CMGF", "AT+CMGF"},
      {"AT+CMGF=?", "AT+CMGF"},
      {"AT+CMGFX=1", nullptr},
      {"AT+CMG", nullptr},
      {"AT+CNMI=2,1,0,0,0", "AT+CNMI"},
      {"AT+CPMS=\"SM\"", "AT+CPMS"},
      {"AT+CMGS=17", "AT+CMGS"},
      {"AT+CMGL", "AT+CMGL"},
      {"AT+CMGR=1", "AT+CMGR"},
      {"AT+CMGD=1,4", "AT+CMGD"},
      {"AT+CMGW=\"5550104\"", nullptr},
      {"AT+CMGC", nullptr},
      {"", nullptr},
  };
  for (const Case& c : cases) {
    const ModemCommand* row = find_command(c.line);
    EXPECT_STREQ(c.row, row != nullptr ? row->name : nullptr) << c.line;
  }
}

TEST(CommandTable, EveryNameHasOneRow) {
  for (const ModemCommand& row : command_table()) {
    EXPECT_EQ(&row, find_command(row.name)) << row.name;
  }
}

}  // namespace

}  // namespace smstest
