// sms_report: the SMS service KPIs of result files and campaigns, as a
// table, JSON, CSV, an HTML page with charts and a GeoJSON map layer.
// Everything but the command line is in the report library (report_app.h).

#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "common/version.h"
#include "tools/report/report_app.h"
#include "tools/report/store_input.h"

namespace {

const char kDescription[] =
    "sms_report: SMS service KPIs of SMS_TEST result files and campaigns.\n"
    "\n"
    "INPUT is a result file (lines beginning \"SMS_TEST,\"), a campaign directory\n"
    "(its runs.jsonl is read when not empty, else its campaign.csv), a\n"
    "campaign.csv or run records (runs.jsonl, a record= file).  Per group and\n"
    "for all runs it reports: round trips (attempts, access failures and\n"
    "non-accessibility %, completion failures and completion failure ratio %,\n"
    "the accessDelay, deliveryTime and endToEndTime distributions), reflector\n"
    "replies and the replyTime distribution, and with campaign input the\n"
    "failure causes.  Run records add the runs counted apart (test system\n"
    "failures, not offered), the delivery reports' KPIs (SMS Receive\n"
    "Confirmation Failure Ratio and Time) and, when a message went in parts,\n"
    "the concatenated messages' completion per message and per part (lost,\n"
    "duplicated, out of order), their delivery time and part spread.  A\n"
    "distribution gives n, mean, min, median, p90, p95, p98 and max in seconds.\n"
    "In a result file a line whose replyTime is set is a reflector run, every\n"
    "other line a round trip; in a campaign the mode column says.\n"
    "\n"
    "The table goes to standard output.  Lines that are not result lines (or\n"
    "campaign rows) are skipped with one warning per input, as are lines with\n"
    "a negative, non-finite or absurd (above 1e9) measure.\n";

const char kFooter[] =
    "--by cmdFile needs campaign input (result files have no cmdFile column), and\n"
    "--by latLong needs inputs with a latLong column (campaign.csv has none).\n"
    "--by technology, operator or model needs run records (runs.jsonl or a\n"
    "record= file): the sending modem's radio snapshot at the send and identity.\n"
    "--geojson writes one Point per run whose latLong reads as a position:\n"
    "\"45.5N73.6W\", \"45.5N 73.6W\", or two signed decimal degrees, latitude first,\n"
    "separated by a blank, ';' or '/'.  Other runs are counted in the summary.\n"
    "\n"
    "Exit code: 0 when the report was written; 2 for a command-line error, an\n"
    "input that can't be read or is not a regular file, a grouping an input\n"
    "can't serve, two outputs on one file, or an output that can't be written.";

const char kFromFooter[] =
    "\n"
    "--from URL reads the runs of a result store (sqlite:PATH or postgresql://...,\n"
    "see sms_store) after the INPUTs, as one more input, row by row: the same\n"
    "report as from the campaigns' runs.jsonl files.  --since and --until (each\n"
    "YYYY-MM-DD or YYYY-MM-DDThh:mm:ssZ, UTC) keep the runs that started at or\n"
    "after --since and before --until; they need --from.  Builds without a store\n"
    "back end (Windows) refuse --from.";

// The synopsis: INPUT is required unless --from names a store.
class ReportFormatter : public CLI::Formatter {
 public:
  std::string make_usage(const CLI::App*, std::string) const override {
    return "\nUsage: sms_report [OPTIONS] INPUT...\n"
           "       sms_report [OPTIONS] --from URL [--since T] [--until T] [INPUT...]\n";
  }
};

}  // namespace

namespace {

int run_main(int argc, char** argv) {
  smstest::ReportOptions options;
  std::string by = "testName";
  CLI::App app(kDescription, "sms_report");
  app.footer(std::string(kFooter) + "\n" + kFromFooter);
  app.formatter(std::make_shared<ReportFormatter>());
  std::string from, since, until;
  app.add_option("--by", by, "group by testName, latLong, cmdFile, technology, operator or model")
      ->type_name("NAME")
      ->check(CLI::IsMember({"testName", "latLong", "cmdFile", "technology", "operator", "model"}))
      ->capture_default_str();
  app.add_option("--json", options.jsonPath, "write the report as JSON to FILE")->type_name("FILE");
  app.add_option("--csv", options.csvPath, "write one CSV row per group (and all) to FILE")
      ->type_name("FILE");
  app.add_option("--html", options.htmlPath,
                 "write a self-contained HTML page with the KPI table and charts to FILE")
      ->type_name("FILE");
  app.add_option("--geojson", options.geojsonPath,
                 "write a GeoJSON layer of the runs with a position to FILE")
      ->type_name("FILE");
  app.set_version_flag("--version", std::string("sms_report ") + smstest::kVersion);
  app.add_option("--from", from, "also read the runs of the result store at URL")->type_name("URL");
  app.add_option("--since", since, "with --from: only runs started at or after T")->type_name("T");
  app.add_option("--until", until, "with --from: only runs started before T")->type_name("T");
  app.add_option("INPUT", options.inputs, "result files, campaign directories, campaign.csv files")
      ->type_name("PATH");
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);  // prints the message and the hint on standard error
    return smstest::kReportFailed;
  }
  if (options.inputs.empty() && from.empty()) {
    std::fprintf(stderr, "INPUT is required\nRun with --help for more information.\n");
    return smstest::kReportFailed;
  }
  if (from.empty() && (!since.empty() || !until.empty())) {
    std::fprintf(stderr, "sms_report: --since and --until need --from\n");
    return smstest::kReportFailed;
  }
  smstest::read_group_by(by, &options.by);
  smstest::StoreRunSource store;
  if (!from.empty()) {
    if (!store.open(from, since, until)) {
      std::fprintf(stderr, "sms_report: %s\n", store.lastError.c_str());
      return smstest::kReportFailed;
    }
    options.source = &store;
  }
  return smstest::run_report(options, stdout, stderr);
}

}  // namespace

// A library's exception that escapes (out of memory, say) ends the program
// with a message and the usage-error code instead of an abort.
int main(int argc, char** argv) {
  try {
    return run_main(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", "sms_report", e.what());
    return 2;
  }
}
