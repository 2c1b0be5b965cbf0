// The result line: the one line SMS_TEST appends to its result file for each
// run, written and read here and nowhere else.
//
//   SMS_TEST,1,T1,20070301,45.5N73.6W,0,2.312000,7.950000,-Infinity,11.020000,100,100
//
// tag, record type, testName, dataTime, latLong, status, sendTime,
// deliveryTime, replyTime, totalTime, accuracy, pass figure.  Values are
// written unquoted, so a comma inside testName or latLong shifts the columns
// behind it.  A reader takes the lines of record type 1 (the measures of a
// run); columns after the pass figure are extra and ignored, and lines of
// other record types are passed over, never read as measures.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace smstest {

// The columns of a record of type 1, by position.
namespace result_column {
enum Index : size_t {
  kTag,
  kType,
  kName,  // testName
  kDataTime,
  kLatLong,
  kStatus,
  kSend,  // sendTime
  kDelivery,
  kReply,
  kTotal,
  kAccuracy,
  kPass,
  kCount  // the columns a record of type 1 has at least
};
}  // namespace result_column

// The first column of every result line.
extern const char kResultTag[];  // "SMS_TEST"

// The record type of a run's measures.
constexpr int kMeasuresRecord = 1;

// A measure that was not taken.
extern const char kNotMeasured[];  // "-Infinity"

// What a record of type 1 says, as text.
struct ResultValues {
  int recordType = kMeasuresRecord;
  std::string testName;
  std::string dataTime;
  std::string latLong;
  int status = 2;  // 0 or 2; the pass figure follows from it
  std::string sendTime = kNotMeasured;
  std::string deliveryTime = kNotMeasured;
  std::string replyTime = kNotMeasured;
  std::string totalTime = kNotMeasured;
  std::string accuracy = kNotMeasured;
};

// The result line of `values`, line end included: the texts as they are,
// the pass figure 100 when the status is 0, else 0.
std::string format_result_line(const ResultValues& values);

// What read_result_line found in a line.
enum class ResultLineKind {
  kMeasures,       // a record of type 1, every column where it belongs
  kShiftedTexts,   // a record of type 1 whose testName or latLong holds commas:
                   // the measures are known, testName, dataTime and latLong not
  kOtherRecord,    // a result line of another record type: not read
  kNotResultLine,  // anything else (a line cut short, two lines run together)
};

// One result line, as views into the line read.  A record of type 1 is
// recognised by its status (an integer), five measures ("-Infinity" or a
// number) and the pass figure that goes with the status ("100" for 0, "0"
// for any other), first where they belong and, when they are not found
// there, further right (commas in the texts before them).
struct ResultLine {
  ResultLineKind kind = ResultLineKind::kNotResultLine;
  int recordType = 0;  // any result line
  // kMeasures only.
  std::string_view testName, dataTime, latLong;
  // kMeasures and kShiftedTexts.
  std::string_view texts;  // testName to latLong, the commas between them included
  std::string_view status;
  std::string_view sendTime, deliveryTime, replyTime, totalTime, accuracy;
  std::string_view pass;
  std::string_view extra;   // what follows the pass figure, after its comma
  size_t extraColumns = 0;  // the columns in `extra`
};

// Reads one line of a result file, with or without its line end (LF or
// CR LF).  Returns line.kind.
ResultLineKind read_result_line(std::string_view text, ResultLine& line);

// True when `line` is a record of type 1 that carries `dataTime`: in its
// dataTime column, or, when commas shift its texts, in one of the columns
// between the first and the last column of its texts.
bool carries_data_time(const ResultLine& line, std::string_view dataTime);

// The columns of a result line as they stand, split at every comma, its
// line end (LF or CR LF) removed: indexed by result_column where no comma in
// a text shifts them.
std::vector<std::string> result_columns(std::string_view text);

// True for a measure as a result line holds it: "-Infinity", or a finite
// decimal number without blanks or a '+'.
bool is_result_measure(std::string_view text);

}  // namespace smstest
