// A run of the report from one result line that SMS_TEST appends to its
// result file (read with common/result_line.h):
//
//   SMS_TEST,1,T1,20070301,45.5N73.6W,0,2.312000,7.950000,-Infinity,11.020000,100,100
//
// tag, record type, testName, dataTime, latLong, status, sendTime,
// deliveryTime, replyTime, totalTime, accuracy, pass figure, and maybe
// columns after it, which are ignored.  The tool writes its values
// unquoted, so a comma inside a text shifts the columns: such a line is not
// used, as its testName and latLong are not known.
#pragma once

#include <string_view>

#include "tools/report/run_record.h"

namespace smstest {

// Fills `run` from one result line (without its line end, or with it).  A
// line whose replyTime is set is a reflector run, every other line a round
// trip.  False, with `run` partly filled, when the line is no record of type
// 1 with its columns where they belong (read_result_line); then
// `otherRecord`, when given, tells whether it was a result line of another
// record type, which a reader passes over without a word.
bool parse_result_line(std::string_view line, RunRecord* run, bool* otherRecord = nullptr);

}  // namespace smstest
