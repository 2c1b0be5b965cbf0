// libFuzzer target for what sms_report reads from outside: one input line
// as a result line, as a campaign row, and its texts as a position, as
// UTF-8 and as XML text.  Each reading must either succeed or refuse, never
// crash, and a text made UTF-8 must be well-formed.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/report/campaign_file.h"
#include "tools/report/csv_reader.h"
#include "tools/report/position.h"
#include "tools/report/result_line.h"
#include "tools/report/svg.h"
#include "tools/report/utf8_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace smstest;
  const std::string line(reinterpret_cast<const char*>(data), size);
  RunRecord run;
  if (parse_result_line(line, &run)) {
    Position p;
    parse_position(run.latLong, &p);
  }
  static CampaignColumns columns = [] {
    CampaignColumns c;
    std::vector<std::string> header;
    split_csv_record(
        "run,cmdFile,testName,start,end,exitCode,statusCode,statusText,sendTime,deliveryTime,"
        "replyTime,totalTime,accuracy,mode,latLong",
        &header);
    c.read_header(header);
    return c;
  }();
  std::vector<std::string> fields;
  if (split_csv_record(line, &fields) && columns.parse_row(fields, &run)) {
    double seconds;
    read_utc_time(line, &seconds);
  }
  Position p;
  parse_position(line, &p);
  if (!is_utf8(to_utf8(line))) __builtin_trap();
  if (!is_utf8(xml_text(line))) __builtin_trap();
  return 0;
}
