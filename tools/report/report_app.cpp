#include "tools/report/report_app.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include "common/text.h"
#include "tools/report/csv_writer.h"
#include "tools/report/geojson_writer.h"
#include "tools/report/html_writer.h"
#include "tools/report/input.h"
#include "tools/report/json_writer.h"
#include "tools/report/position.h"
#include "tools/report/report.h"
#include "tools/report/table_writer.h"

namespace smstest {

namespace {

// One output file, created before the inputs are read so that a path that
// can't be written is refused before a long read.
class OutputFile {
 public:
  ~OutputFile() {
    if (file_ != nullptr) std::fclose(file_);
  }
  bool open(const std::string& path) {
    path_ = path;
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) {
      lastError = format("cannot write %s: %s", path.c_str(), std::strerror(errno));
      return false;
    }
    created_ = true;
    return true;
  }
  bool is_open() const { return file_ != nullptr; }
  bool write_and_close(const std::string& text) {
    bool ok = std::fwrite(text.data(), 1, text.size(), file_) == text.size();
    int error = errno;
    if (std::fclose(file_) != 0 && ok) {
      ok = false;
      error = errno;
    }
    file_ = nullptr;
    if (!ok) lastError = format("cannot write %s: %s", path_.c_str(), std::strerror(error));
    return ok;
  }
  void discard() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    if (created_) std::remove(path_.c_str());
    created_ = false;
  }

  std::string lastError;

 private:
  std::FILE* file_ = nullptr;
  std::string path_;
  bool created_ = false;  // only a file this run created is ever removed
};

struct Outputs {
  OutputFile json, csv, html;
  GeoJsonWriter geojson;
  bool geojsonOpen = false;

  void discard_all(const ReportOptions& o) {
    json.discard();
    csv.discard();
    html.discard();
    if (geojsonOpen) {
      geojson.close();
      std::remove(o.geojsonPath.c_str());
    }
  }
};

int fail(std::FILE* err, const std::string& message) {
  std::fprintf(err, "sms_report: %s\n", message.c_str());
  return kReportFailed;
}

// Opens the output at `path` when one is asked for; false, with the reason
// in `error`, when it can't be created.
bool open_output(const std::string& path, OutputFile* file, std::string* error) {
  if (path.empty()) return true;
  if (file->open(path)) return true;
  *error = file->lastError;
  return false;
}

// Two output options that name one file: the second would overwrite the
// first.  Compared as absolute paths (the files need not exist yet), and as
// files when both exist (links).
bool outputs_collide(const ReportOptions& o, std::string* error) {
  const std::pair<const char*, const std::string*> outputs[] = {{"--json", &o.jsonPath},
                                                                {"--csv", &o.csvPath},
                                                                {"--html", &o.htmlPath},
                                                                {"--geojson", &o.geojsonPath}};
  namespace fs = std::filesystem;
  for (size_t i = 0; i < 4; ++i) {
    for (size_t k = i + 1; k < 4; ++k) {
      const std::string& a = *outputs[i].second;
      const std::string& b = *outputs[k].second;
      if (a.empty() || b.empty()) continue;
      std::error_code ec;
      const bool same =
          fs::absolute(a, ec).lexically_normal() == fs::absolute(b, ec).lexically_normal() ||
          fs::equivalent(a, b, ec);
      if (same) {
        *error = format("%s %s and %s %s name one file; give each output a file of its own",
                        outputs[i].first, a.c_str(), outputs[k].first, b.c_str());
        return true;
      }
    }
  }
  return false;
}

// The output option that names the same file as an input, if any: writing
// it would destroy the input before it is read.
bool overwrites_input(const ReportOptions& o, const std::vector<std::string>& inputFiles,
                      std::string* error) {
  const std::pair<const char*, const std::string*> outputs[] = {{"--json", &o.jsonPath},
                                                                {"--csv", &o.csvPath},
                                                                {"--html", &o.htmlPath},
                                                                {"--geojson", &o.geojsonPath}};
  for (const auto& output : outputs) {
    if (output.second->empty()) continue;
    for (const std::string& input : inputFiles) {
      std::error_code ec;
      if (std::filesystem::equivalent(std::filesystem::path(*output.second),
                                      std::filesystem::path(input), ec)) {
        *error = format("%s %s is an input; it is not overwritten", output.first,
                        output.second->c_str());
        return true;
      }
    }
  }
  return false;
}

}  // namespace

int run_report(const ReportOptions& options, std::FILE* out, std::FILE* err) {
  // Every input is identified before anything is read or written, so that a
  // wrong path or a grouping an input can't serve fails at once.
  Report report;
  report.by = options.by;
  std::vector<std::string> inputFiles;
  for (const std::string& path : options.inputs) {
    InputReader probe;
    if (!probe.open(path)) return fail(err, probe.lastError);
    if (options.by == GroupBy::kCmdFile && !probe.has_cmd_file()) {
      return fail(err, format("--by cmdFile needs campaign input: %s is a result file, "
                              "which has no cmdFile column",
                              path.c_str()));
    }
    if (group_by_needs_records(options.by) && probe.kind() != InputKind::kRecords) {
      return fail(
          err, format("--by %s needs run records (runs.jsonl or a record= file): %s is %s",
                      group_by_name(options.by), probe.file().c_str(),
                      probe.kind() == InputKind::kCampaign ? "a campaign.csv" : "a result file"));
    }
    if (options.by == GroupBy::kLatLong && !probe.has_lat_long()) {
      return fail(err,
                  format("--by latLong needs a latLong column: %s has none", probe.file().c_str()));
    }
    report.campaignInput = report.campaignInput || probe.kind() != InputKind::kResults;
    inputFiles.push_back(probe.file());
  }
  if (options.source != nullptr) {
    const std::string name = options.source->name();
    if (options.by == GroupBy::kCmdFile && !options.source->has_cmd_file())
      return fail(err,
                  format("--by cmdFile needs campaign input: %s has no cmdFile", name.c_str()));
    if (options.by == GroupBy::kLatLong && !options.source->has_lat_long())
      return fail(err, format("--by latLong needs a latLong column: %s has none", name.c_str()));
    report.campaignInput = true;
  }

  std::string error;
  if (overwrites_input(options, inputFiles, &error) || outputs_collide(options, &error))
    return fail(err, error);
  Outputs outputs;
  if (!open_output(options.jsonPath, &outputs.json, &error) ||
      !open_output(options.csvPath, &outputs.csv, &error) ||
      !open_output(options.htmlPath, &outputs.html, &error)) {
    outputs.discard_all(options);
    return fail(err, error);
  }
  if (!options.geojsonPath.empty()) {
    if (!outputs.geojson.open(options.geojsonPath)) {
      outputs.discard_all(options);
      return fail(err, outputs.geojson.lastError);
    }
    outputs.geojsonOpen = true;
  }

  ReportBuilder builder(options.by, !options.htmlPath.empty());
  SettingsCollector settings;
  auto take = [&](const RunRecord& run, const std::string& file) {
    builder.add(run);
    settings.add(run, file);
    Position position;
    if (run.hasLatLong && parse_position(run.latLong, &position)) {
      ++report.withPosition;
      if (outputs.geojsonOpen) outputs.geojson.add(run, file, position);
    } else {
      ++report.withoutPosition;
    }
  };
  for (const std::string& path : options.inputs) {
    InputReader input;
    if (!input.open(path)) {
      outputs.discard_all(options);
      return fail(err, input.lastError);
    }
    const std::string& file = input.file();
    bool ok = input.read([&](const RunRecord& run) { take(run, file); });
    if (!ok) {
      outputs.discard_all(options);
      return fail(err, input.lastError);
    }
    std::string warning = input.skipped_warning();
    if (!warning.empty()) std::fprintf(err, "sms_report: %s\n", warning.c_str());
    report.inputs.push_back({path, file, input.kind(), input.runs(), input.skipped()});
    report.skippedLines += input.skipped();
  }
  if (options.source != nullptr) {
    RunSource& source = *options.source;
    if (!source.read(take)) {
      outputs.discard_all(options);
      return fail(err, source.lastError);
    }
    const std::string warning = source.skipped_warning();
    if (!warning.empty()) std::fprintf(err, "sms_report: %s\n", warning.c_str());
    report.inputs.push_back(
        {source.name(), source.name(), InputKind::kRecords, source.runs(), source.skipped()});
    report.skippedLines += source.skipped();
  }

  ReportBuilder::Result result = builder.finish();
  report.all = std::move(result.all);
  report.groups = std::move(result.groups);
  report.charts = std::move(result.charts);
  report.setup = std::move(result.setup);
  report.settingsCapped = settings.capped();
  report.settings = settings.take();

  const std::string table = report_table(report);
  std::fwrite(table.data(), 1, table.size(), out);
  std::fflush(out);

  bool written = true;
  if (outputs.json.is_open() && !outputs.json.write_and_close(report_json(report))) {
    written = false;
    error = outputs.json.lastError;
  }
  if (written && outputs.csv.is_open() && !outputs.csv.write_and_close(report_csv(report))) {
    written = false;
    error = outputs.csv.lastError;
  }
  if (written && outputs.html.is_open() && !outputs.html.write_and_close(report_html(report))) {
    written = false;
    error = outputs.html.lastError;
  }
  if (written && outputs.geojsonOpen) {
    outputs.geojsonOpen = false;
    if (!outputs.geojson.close()) {
      written = false;
      error = outputs.geojson.lastError;
      std::remove(options.geojsonPath.c_str());
    }
  }
  if (!written) {
    outputs.discard_all(options);
    return fail(err, error);
  }
  return kReportWritten;
}

}  // namespace smstest
