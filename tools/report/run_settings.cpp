#include "tools/report/run_settings.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "common/text.h"
#include "driver/command_file.h"
#include "driver/command_options.h"
#include "tools/report/html_writer.h"
#include "tools/report/kpi.h"

namespace smstest {

namespace {

// A command file is a few lines; more than this is no command file.
constexpr size_t kMaxCommandFile = 64 * 1024;

std::string set_name(const std::string& commandSet) {
  return commandSet.empty() ? "proprietary" : commandSet;
}

std::string port_text(int port, int baud) {
  return baud > 0 ? format("COM%d (%d baud)", port, baud) : format("COM%d", port);
}

}  // namespace

bool read_command_settings(const std::string& path, CommandSettings* settings, std::string* error) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    *error = format("cannot read %s: %s", path.c_str(), std::strerror(errno));
    return false;
  }
  std::string text(kMaxCommandFile + 1, '\0');
  text.resize(std::fread(&text[0], 1, text.size(), file));
  std::fclose(file);
  if (text.size() > kMaxCommandFile) {
    *error = format("%s: too long for a command file", path.c_str());
    return false;
  }
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    at = end + 1;
  }
  if (!lines.empty() && lines[0].compare(0, 3, "\xEF\xBB\xBF") == 0) lines[0].erase(0, 3);
  if (lines.empty() || lines[0].compare(0, 8, "SMS_TEST") != 0) {
    *error = format("%s: line 1 is not SMS_TEST", path.c_str());
    return false;
  }
  if (lines.size() < 3 || lines[2].empty()) {
    *error = format("%s: no parameter line", path.c_str());
    return false;
  }
  SmsTestParams params;
  params.parse(lines[2], '|');
  CommandSettings s;
  s.source = mask_long_numbers(path);
  s.fromCopy = true;
  s.testName = params.testName;
  s.testTimeout = params.testTimeout;
  s.reflector = params.reflectMode != 0;
  s.commandSet = params.commandSet;
  s.fromPort = params.fromPort;
  s.fromBaud = params.fromBaud;
  s.toPort = params.toPort;
  s.toBaud = params.toBaud;
  s.toNumber = mask_long_numbers(params.toNumber);
  for (size_t i = 3; i < lines.size(); ++i) {
    std::string name, value;
    if (!split_option_line(lines[i], name, value)) continue;
    if (name == "commandSet" && s.commandSet.empty()) s.commandSet = value;
    s.options.emplace_back(name, mask_long_numbers(value));
  }
  *settings = std::move(s);
  return true;
}

CommandSettings record_settings(const RunRecord& run) {
  CommandSettings s;
  s.source = "run record";
  s.run = run.run;
  s.testName = run.testName;
  s.reflector = run.mode == RunMode::kReflector;
  s.commandSet = run.commandSet == "proprietary" ? "" : run.commandSet;
  s.fromPort = run.fromPort;
  s.fromBaud = run.fromBaud;
  s.toPort = run.toPort;
  s.toBaud = run.toBaud;
  s.toNumber = mask_long_numbers(run.toNumber);
  return s;
}

std::string command_file_copy(const std::string& inputFile, const std::string& cmdFile,
                              const std::string& run) {
  int number = 0;
  if (!read_integer(run, &number) || number < 1) return "";
  namespace fs = std::filesystem;
  const std::string stem = fs::path(cmdFile).stem().string();
  const fs::path dir = fs::path(inputFile).parent_path();
  return (dir / "status" / format("%s.%06d.cmd", stem.c_str(), number)).string();
}

std::string settings_text(const CommandSettings& s) {
  std::string out = s.reflector ? "reflector" : "round trip";
  out += ", command set " + set_name(s.commandSet);
  const bool twoModems = !s.reflector && s.toPort != 0 && s.toPort != s.fromPort;
  out += ", " + port_text(s.fromPort, s.fromBaud);
  if (twoModems) out += " to " + port_text(s.toPort, s.toBaud);
  if (!s.reflector) out += ", to " + (s.toNumber.empty() ? std::string("(no number)") : s.toNumber);
  if (s.fromCopy) out += format(", time limit %d s", s.testTimeout);
  if (!s.options.empty()) {
    out += "; options:";
    for (const auto& o : s.options) out += " " + o.first + "=" + o.second;
  }
  return out;
}

void SettingsCollector::add(const RunRecord& run, const std::string& inputFile) {
  if (!run.hasCmdFile && !run.hasSettings) return;
  const std::string key = run.hasCmdFile ? run.cmdFile : "test " + run.testName;
  if (settings_.find(key) != settings_.end() || looked_.find(key) != looked_.end()) return;
  if (settings_.size() + looked_.size() >= kSetupEntries) {
    capped_ = true;
    return;
  }
  CommandSettings s;
  std::string error;
  const std::string copy = run.hasCmdFile ? command_file_copy(inputFile, run.cmdFile, run.run) : "";
  if (!copy.empty() && read_command_settings(copy, &s, &error)) {
    s.run = run.run;
    settings_.emplace(key, std::move(s));
  } else if (run.hasSettings) {
    settings_.emplace(key, record_settings(run));
  } else {
    looked_.emplace(key, true);
  }
}

std::map<std::string, CommandSettings, std::less<>> SettingsCollector::take() {
  looked_.clear();
  return std::move(settings_);
}

}  // namespace smstest
