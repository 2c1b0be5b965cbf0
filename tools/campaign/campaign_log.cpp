#include "tools/campaign/campaign_log.h"

#include <cstdlib>

#include "common/files.h"
#include "common/text.h"

namespace smstest {

const char kCampaignHeader[] =
    "run,cmdFile,testName,start,end,exitCode,statusCode,statusText,sendTime,deliveryTime,"
    "replyTime,totalTime,accuracy,mode";

namespace {

constexpr size_t kColumns = 14;

bool parse_run_number(const std::string& text, int& run) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  run = std::atoi(text.c_str());
  return run > 0;
}

}  // namespace

std::string csv_field(const std::string& text, bool alwaysQuote) {
  if (!alwaysQuote && text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

std::string format_campaign_line(const CampaignLine& l) {
  std::string out = std::to_string(l.run);
  for (const std::string* field :
       {&l.cmdFile, &l.testName, &l.start, &l.end, &l.exitCode, &l.statusCode}) {
    out += ',';
    out += csv_field(*field);
  }
  out += ',';
  out += csv_field(l.statusText, true);
  for (const std::string* field :
       {&l.sendTime, &l.deliveryTime, &l.replyTime, &l.totalTime, &l.accuracy, &l.mode}) {
    out += ',';
    out += csv_field(*field);
  }
  out += '\n';
  return out;
}

std::vector<std::vector<std::string>> parse_csv(const std::string& text) {
  std::vector<std::vector<std::string>> records;
  std::vector<std::string> record;
  std::string field;
  bool quoted = false;
  bool any = false;  // something of the current record has been read
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (quoted) {
      if (c != '"') {
        field += c;
      } else if (i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else {
        quoted = false;
      }
      continue;
    }
    if (c == '"') {
      quoted = true;
      any = true;
    } else if (c == ',') {
      record.push_back(field);
      field.clear();
      any = true;
    } else if (c == '\n' || (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
      if (c == '\r') ++i;
      record.push_back(field);
      records.push_back(record);
      record.clear();
      field.clear();
      any = false;
    } else {
      field += c;
      any = true;
    }
  }
  if (any) {
    record.push_back(field);
    records.push_back(record);
  }
  return records;
}

bool read_campaign_log(const std::string& text, CampaignLog& log, std::string& error) {
  log = CampaignLog();
  if (text.empty()) return true;
  log.exists = true;
  log.endsInLineEnd = text.back() == '\n';
  std::vector<std::vector<std::string>> records = parse_csv(text);
  std::string header;
  for (size_t i = 0; !records.empty() && i < records[0].size(); ++i)
    header += (i > 0 ? "," : "") + records[0][i];
  if (header != kCampaignHeader) {
    error = "its first line is not the campaign header";
    return false;
  }
  // A last line without its line end was cut off while it was written: the
  // run it tells of is made again.
  size_t complete = records.size();
  if (!log.endsInLineEnd && complete > 1) {
    --complete;
    ++log.unreadable;
  }
  for (size_t r = 1; r < complete; ++r) {
    const std::vector<std::string>& f = records[r];
    CampaignLine line;
    if (f.size() != kColumns || !parse_run_number(f[0], line.run)) {
      ++log.unreadable;
      continue;
    }
    line.cmdFile = f[1];
    line.testName = f[2];
    line.start = f[3];
    line.end = f[4];
    line.exitCode = f[5];
    line.statusCode = f[6];
    line.statusText = f[7];
    line.sendTime = f[8];
    line.deliveryTime = f[9];
    line.replyTime = f[10];
    line.totalTime = f[11];
    line.accuracy = f[12];
    line.mode = f[13];
    log.lines.push_back(line);
  }
  return true;
}

int count_runs(const CampaignLog& log, const std::string& cmdFile) {
  int n = 0;
  for (const CampaignLine& line : log.lines)
    if (line.cmdFile == cmdFile) ++n;
  return n;
}

int highest_run(const CampaignLog& log) {
  int highest = 0;
  for (const CampaignLine& line : log.lines)
    if (line.run > highest) highest = line.run;
  return highest;
}

CampaignLogWriter::CampaignLogWriter(std::string path, const CampaignLog& log)
    : path_(std::move(path)), needHeader_(!log.exists) {}

bool CampaignLogWriter::append(const CampaignLine& line) {
  // append_line starts the line on a line of its own when the file ends in
  // a cut line (a run of an earlier campaign that was killed mid-write).
  std::string text;
  if (needHeader_) text += std::string(kCampaignHeader) + "\n";
  text += format_campaign_line(line);
  if (!append_line(path_, text)) {
    lastError = format("cannot append to %s", path_.c_str());
    return false;
  }
  needHeader_ = false;
  return true;
}

}  // namespace smstest
