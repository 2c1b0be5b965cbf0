#include "tools/campaign/campaign_log.h"

#include <cstdlib>

#include "common/files.h"
#include "common/text.h"

namespace smstest {

const char kCampaignHeader[] =
    "run,cmdFile,testName,start,end,exitCode,statusCode,statusText,sendTime,deliveryTime,"
    "replyTime,totalTime,accuracy,mode,technology,operator,registeredAtSend,signalDbm";
const char kCampaignHeaderWithoutRadio[] =
    "run,cmdFile,testName,start,end,exitCode,statusCode,statusText,sendTime,deliveryTime,"
    "replyTime,totalTime,accuracy,mode";

namespace {

constexpr size_t kColumns = 18;
constexpr size_t kColumnsWithoutRadio = 14;

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
       {&l.sendTime, &l.deliveryTime, &l.replyTime, &l.totalTime, &l.accuracy, &l.mode,
        &l.technology, &l.operatorId, &l.registeredAtSend, &l.signalDbm}) {
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

bool split_csv_line(const std::string& line, std::vector<std::string>& fields) {
  fields.clear();
  std::string field;
  size_t i = 0;
  for (;;) {
    field.clear();
    if (i < line.size() && line[i] == '"') {
      for (++i;; ++i) {
        if (i >= line.size()) return false;  // never closed: a cut line
        if (line[i] != '"') {
          field += line[i];
        } else if (i + 1 < line.size() && line[i + 1] == '"') {
          field += '"';
          ++i;
        } else {
          ++i;
          break;
        }
      }
      if (i < line.size() && line[i] != ',') return false;
    } else {
      size_t comma = line.find(',', i);
      if (comma == std::string::npos) comma = line.size();
      field.assign(line, i, comma - i);
      i = comma;
    }
    fields.push_back(field);
    if (i >= line.size()) return true;
    ++i;  // the comma
    if (i == line.size()) {
      fields.emplace_back();
      return true;
    }
  }
}

bool read_campaign_log(const std::string& input, CampaignLog& log, std::string& error) {
  log = CampaignLog();
  // A byte-order mark from a spreadsheet program or an editor is passed over.
  const std::string text = input.compare(0, 3, "\xEF\xBB\xBF") == 0 ? input.substr(3) : input;
  if (text.empty()) return true;
  log.exists = true;
  log.endsInLineEnd = text.back() == '\n';
  // Line by line, each line one record: a line cut inside its quoted status
  // text (a campaign killed mid-write) is one unreadable line, never a quote
  // that swallows the lines after it.  A last line without its line end
  // counts when it is whole, as the report counts it: the writer ends it
  // before the next line, after which it would count anyway.
  std::vector<std::string> fields;
  bool header = true;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (header) {
      header = false;
      if (line != kCampaignHeader && line != kCampaignHeaderWithoutRadio) {
        error = "its first line is not the campaign header";
        return false;
      }
      continue;
    }
    CampaignLine l;
    if (!split_csv_line(line, fields) ||
        (fields.size() != kColumns && fields.size() != kColumnsWithoutRadio) ||
        !parse_run_number(fields[0], l.run) ||
        (fields[13] != "round-trip" && fields[13] != "reflector")) {
      ++log.unreadable;
      continue;
    }
    std::string* const columns[] = {
        &l.cmdFile,          &l.testName,   &l.start,    &l.end,          &l.exitCode,
        &l.statusCode,       &l.statusText, &l.sendTime, &l.deliveryTime, &l.replyTime,
        &l.totalTime,        &l.accuracy,   &l.mode,     &l.technology,   &l.operatorId,
        &l.registeredAtSend, &l.signalDbm};
    for (size_t c = 1; c < fields.size(); ++c) *columns[c - 1] = fields[c];
    log.lines.push_back(l);
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
