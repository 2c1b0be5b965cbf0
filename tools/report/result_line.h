// Reading of the result lines that SMS_TEST appends to its result file:
//
//   SMS_TEST,1,T1,20070301,45.5N73.6W,0,2.312000,7.950000,-Infinity,11.020000,100,100
//
// tag, record type, testName, dataTime, latLong, status, sendTime,
// deliveryTime, replyTime, totalTime, accuracy, pass figure.  The tool
// writes its values unquoted, so a comma inside a text shifts the columns:
// such a line has more than twelve and is not used.
#pragma once

#include <string_view>

#include "tools/report/run_record.h"

namespace smstest {

constexpr int kResultColumns = 12;

// Fills `run` from one result line (without its line end).  A line whose
// replyTime is set is a reflector run, every other line a round trip.
// False, with `run` partly filled, when the line does not begin with
// "SMS_TEST,", has other than twelve columns, or has a measure that is
// neither "-Infinity" nor a number.
bool parse_result_line(std::string_view line, RunRecord* run);

}  // namespace smstest
