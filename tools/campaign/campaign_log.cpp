#include "tools/campaign/campaign_log.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>

#include "common/files.h"
#include "common/text.h"

namespace smstest {

const char kCampaignHeader[] =
    "run,cmdFile,testName,start,end,exitCode,statusCode,statusText,sendTime,deliveryTime,"
    "replyTime,totalTime,accuracy,mode,confirmTime,reportStatus,technology,operator,"
    "registeredAtSend,signalDbm,partsSent,partsReceived";
const char kFirstCampaignHeader[] =
    "run,cmdFile,testName,start,end,exitCode,statusCode,statusText,sendTime,deliveryTime,"
    "replyTime,totalTime,accuracy,mode";

namespace {

// The columns after run, by name, and where a line keeps them.
struct Column {
  const char* name;
  std::string CampaignLine::*field;
};

const Column kColumns[] = {
    {"cmdFile", &CampaignLine::cmdFile},
    {"testName", &CampaignLine::testName},
    {"start", &CampaignLine::start},
    {"end", &CampaignLine::end},
    {"exitCode", &CampaignLine::exitCode},
    {"statusCode", &CampaignLine::statusCode},
    {"statusText", &CampaignLine::statusText},
    {"sendTime", &CampaignLine::sendTime},
    {"deliveryTime", &CampaignLine::deliveryTime},
    {"replyTime", &CampaignLine::replyTime},
    {"totalTime", &CampaignLine::totalTime},
    {"accuracy", &CampaignLine::accuracy},
    {"mode", &CampaignLine::mode},
    // The later columns: a log may have any of them after mode.
    {"confirmTime", &CampaignLine::confirmTime},
    {"reportStatus", &CampaignLine::reportStatus},
    {"technology", &CampaignLine::technology},
    {"operator", &CampaignLine::operatorId},
    {"registeredAtSend", &CampaignLine::registeredAtSend},
    {"signalDbm", &CampaignLine::signalDbm},
    {"partsSent", &CampaignLine::partsSent},
    {"partsReceived", &CampaignLine::partsReceived},
};

constexpr size_t kFirstColumns = 14;  // run to mode, in every log

const Column* find_column(const std::string& name) {
  for (const Column& column : kColumns) {
    if (name == column.name) return &column;
  }
  return nullptr;
}

// The column names of `header`: those of kFirstCampaignHeader, then later
// columns each at most once.  False when it is no campaign header.
bool header_columns(const std::string& header, std::vector<std::string>& columns) {
  std::vector<std::string> first;
  if (!split_csv_line(header, columns) || !split_csv_line(kFirstCampaignHeader, first) ||
      columns.size() < first.size() || !std::equal(first.begin(), first.end(), columns.begin())) {
    return false;
  }
  for (size_t i = kFirstColumns; i < columns.size(); ++i) {
    const Column* column = find_column(columns[i]);
    if (column == nullptr || column - kColumns < static_cast<std::ptrdiff_t>(kFirstColumns - 1) ||
        std::find(columns.begin() + static_cast<std::ptrdiff_t>(kFirstColumns),
                  columns.begin() + static_cast<std::ptrdiff_t>(i),
                  columns[i]) != columns.begin() + static_cast<std::ptrdiff_t>(i)) {
      return false;
    }
  }
  return true;
}

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

std::string format_campaign_line(const CampaignLine& l, const std::vector<std::string>& columns) {
  std::string out = std::to_string(l.run);
  if (columns.empty()) {
    for (const Column& column : kColumns) {
      out += ',';
      out += csv_field(l.*column.field, column.field == &CampaignLine::statusText);
    }
  } else {
    for (size_t i = 1; i < columns.size(); ++i) {
      const Column* column = find_column(columns[i]);
      out += ',';
      if (column != nullptr) {
        out += csv_field(l.*column->field, column->field == &CampaignLine::statusText);
      }
    }
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
      if (!header_columns(line, log.columns)) {
        error = "its first line is not the campaign header";
        return false;
      }
      continue;
    }
    CampaignLine l;
    if (!split_csv_line(line, fields) || fields.size() != log.columns.size() ||
        !parse_run_number(fields[0], l.run) ||
        (fields[13] != "round-trip" && fields[13] != "reflector")) {
      ++log.unreadable;
      continue;
    }
    for (size_t c = 1; c < fields.size(); ++c) l.*find_column(log.columns[c])->field = fields[c];
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
    : path_(std::move(path)), needHeader_(!log.exists), columns_(log.columns) {}

bool CampaignLogWriter::append(const CampaignLine& line) {
  // append_line starts the line on a line of its own when the file ends in
  // a cut line (a run of an earlier campaign that was killed mid-write).
  std::string text;
  if (needHeader_) text += std::string(kCampaignHeader) + "\n";
  text += format_campaign_line(line, columns_);
  if (!append_line(path_, text)) {
    lastError = format("cannot append to %s", path_.c_str());
    return false;
  }
  needHeader_ = false;
  return true;
}

}  // namespace smstest
