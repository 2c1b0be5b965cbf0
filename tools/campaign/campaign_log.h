// campaign.csv, the log of a campaign: one line per finished run, with
// where the run came from, how it ended and what it measured.  The campaign
// appends to it (campaign_runner.h); a campaign started again reads it back
// to count the runs already made (resume); reports read it too.
//
// The file is CSV (RFC 4180): a header line, then one line per run with the
// columns of kCampaignHeader.  Fields holding a comma, a quote or a line end
// are quoted with '"' (a quote inside doubled); statusText is always quoted.
// Line ends are LF, CR LF on Windows; readers take either.
#pragma once

#include <string>
#include <vector>

namespace smstest {

// The header line, without its line end.
extern const char kCampaignHeader[];
// The header of the first logs, 14 columns (those of kCampaignHeader up to
// mode).  Logs begun with it, or with any later header that has those 14
// columns first and then some of the later ones, are read by the names of
// their columns and appended to in their own layout.
extern const char kFirstCampaignHeader[];

// One run's line.  Texts as they go into the file, unquoted.
struct CampaignLine {
  int run = 0;          // the run number, unique in the campaign
  std::string cmdFile;  // the command file as the campaign's command line names it
  std::string testName;
  std::string start;  // ISO 8601 UTC, e.g. 2026-12-08T10:15:00Z
  std::string end;
  std::string exitCode;    // of SMS_TEST; 128 + N when signal N ended it
  std::string statusCode;  // from the status file; "" when there is none
  std::string statusText;  // from the status file, on one line, or why it is missing
  // Copied from the run's result line; "" when there is none.
  std::string sendTime;
  std::string deliveryTime;
  std::string replyTime;
  std::string totalTime;
  std::string accuracy;
  std::string mode;  // "round-trip" or "reflector"
  // From the run record of a run that asked for a status report: seconds
  // to the final report, and its TP-ST; "" otherwise.
  std::string confirmTime;
  std::string reportStatus;
  // From the run record's radio snapshot of the sending modem before the
  // send; "" when the record has none.
  std::string technology;
  std::string operatorId;        // "MCC-MNC"
  std::string registeredAtSend;  // "true" or "false"
  std::string signalDbm;         // its RSRP, else its RSSI
  // From the run record: the parts the sending modem confirmed (1 for a
  // message sent whole) and the distinct parts the receiver took; "" when
  // the record has none.
  std::string partsSent;
  std::string partsReceived;
};

// `text` as one CSV field: quoted when it holds a comma, a quote, CR or LF,
// or always when `alwaysQuote`.
std::string csv_field(const std::string& text, bool alwaysQuote = false);

// The line of `line`, with its LF line end, in the layout of `columns`
// (the column names of a log's header; empty: those of kCampaignHeader).
std::string format_campaign_line(const CampaignLine& line,
                                 const std::vector<std::string>& columns = {});

// Splits CSV text into records of fields.  Quoted fields may hold commas,
// doubled quotes and line ends; CR LF and LF both end a record; a last
// record without its line end counts.  Never fails: a quote that is never
// closed takes the rest of the text.
std::vector<std::vector<std::string>> parse_csv(const std::string& text);

// Splits one line (without its line end) into CSV fields.  False when a
// quoted field is never closed (a line cut inside it) or its closing quote
// is followed by something other than ',' or the line's end.
bool split_csv_line(const std::string& line, std::vector<std::string>& fields);

// What a campaign.csv holds.
struct CampaignLog {
  bool exists = false;  // the file exists and is not empty
  std::vector<CampaignLine> lines;
  int unreadable = 0;         // lines after the header that are not run lines
  bool endsInLineEnd = true;  // false when the file does not end in a line end
  // The column names of the file's header, in their order: lines are read
  // and appended in that layout.  Empty when the file does not exist.
  std::vector<std::string> columns;
};

// Reads `text`, the whole content of a campaign.csv, line by line: a line
// that is not a whole run line of the header's columns (a line cut by a
// kill, a line edited by hand) counts in `unreadable` and never takes the
// lines after it along.  A UTF-8 byte-order mark before the header is
// passed over.  False with the reason in `error` when the text is not empty
// and its first line is not a campaign header: the 14 columns of
// kFirstCampaignHeader, then none or some of the later columns of
// kCampaignHeader, each once, in any order.
bool read_campaign_log(const std::string& text, CampaignLog& log, std::string& error);

// Runs of `cmdFile` in `log`.
int count_runs(const CampaignLog& log, const std::string& cmdFile);

// The highest run number in `log`, 0 when it has none.
int highest_run(const CampaignLog& log);

// Appends run lines to a campaign.csv: the header first when the file is
// new; a line cut off by an earlier crash is ended first, so that no run
// line is glued to it.  Each append is one write of whole lines to the file
// opened for appending.  Not thread-safe; the caller takes turns.
class CampaignLogWriter {
 public:
  // `log` is what read_campaign_log() found in the file at `path`.
  CampaignLogWriter(std::string path, const CampaignLog& log);

  // False with the reason in `lastError` when the file can't be written.
  bool append(const CampaignLine& line);

  std::string lastError;

 private:
  std::string path_;
  bool needHeader_;
  std::vector<std::string> columns_;  // the file's layout; empty: kCampaignHeader's
};

}  // namespace smstest
