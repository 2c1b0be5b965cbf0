#include "tools/report/report_test_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "testsupport/run_process.h"

namespace smstest {

const char kCampaignHeader[] =
    "run,cmdFile,testName,start,end,exitCode,statusCode,statusText,sendTime,deliveryTime,"
    "replyTime,totalTime,accuracy,mode";

namespace {

std::string read_stream(std::FILE* file) {
  std::string text;
  std::rewind(file);
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  return text;
}

}  // namespace

ReportRun report_in_process(const ReportOptions& options) {
  ReportRun run;
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  run.exitCode = run_report(options, out, err);
  run.out = read_stream(out);
  run.err = read_stream(err);
  std::fclose(out);
  std::fclose(err);
  return run;
}

std::string write_lines(const std::string& dir, const std::string& name,
                        const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  const std::string path = dir + "/" + name;
  write_file(path, text);
  return path;
}

std::string xmllint_path() {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  size_t start = 0;
  for (;;) {
    size_t colon = dirs.find(':', start);
    std::string dir = dirs.substr(start, colon == std::string::npos ? colon : colon - start);
    std::string candidate = (dir.empty() ? "." : dir) + "/xmllint";
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    if (colon == std::string::npos) return "";
    start = colon + 1;
  }
}

std::string xmllint(const std::string& path, const std::string& xpath) {
  std::vector<std::string> argv = {xmllint_path(), "--noout"};
  if (!xpath.empty()) argv = {xmllint_path(), "--xpath", xpath};
  argv.push_back(path);
  ProcessResult r = run_process(argv, ".", {}, 60);
  if (!xpath.empty()) {
    if (r.exitCode != 0) return "xmllint failed: " + r.err;
    if (!r.out.empty() && r.out.back() == '\n') r.out.pop_back();  // xmllint ends with a line end
    return r.out;
  }
  return r.exitCode == 0 ? r.err : "exit " + std::to_string(r.exitCode) + ": " + r.err;
}

}  // namespace smstest
