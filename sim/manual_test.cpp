// man/modem_sim.1 against the tables that the simulator is built from: every
// command-line option, every modem option and every command of the tables
// has its entry in the manual, and the manual has none that they lack.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "sim/command_line.h"
#include "sim/command_table.h"
#include "sim/modem_options.h"

namespace smstest {

namespace {

std::string read_manual() {
  std::ifstream file(MODEM_SIM_MAN_PAGE);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// The text of a roff line with its escapes for '-' and '"' resolved and its
// font changes dropped.
std::string plain(std::string line) {
  const std::pair<const char*, const char*> escapes[] = {
      {"\\-", "-"}, {"\\(dq", "\""}, {"\\fI", ""}, {"\\fB", ""}, {"\\fR", ""}, {"\\c", ""}};
  for (const auto& [from, to] : escapes) {
    for (size_t at = line.find(from); at != std::string::npos; at = line.find(from, at)) {
      line.replace(at, std::char_traits<char>::length(from), to);
    }
  }
  return line;
}

// The words of the lines that follow ".TP" in the section `title` (".SH
// <title>" up to the next ".SH"), each with its macro left out.
std::vector<std::vector<std::string>> tagged_entries(const std::string& manual,
                                                     const std::string& title) {
  std::vector<std::vector<std::string>> entries;
  std::istringstream lines(manual);
  std::string line;
  bool inside = false, tag = false;
  while (std::getline(lines, line)) {
    if (line.rfind(".SH ", 0) == 0) inside = line == ".SH " + title;
    if (!inside) continue;
    if (tag) {
      std::istringstream words(plain(line));
      std::vector<std::string> entry;
      std::string word;
      words >> word;  // the macro: .B, .BI, .BR
      while (words >> word) entry.push_back(word);
      entries.push_back(entry);
    }
    tag = line == ".TP";
  }
  return entries;
}

TEST(Manual, ListsEveryModemOptionOfTheTableAndNoOther) {
  std::set<std::string> table, manual;
  std::map<std::string, std::string> synopsis;
  for (const ModemOption& option : modem_options()) {
    table.insert(modem_option_name(option));
    synopsis[modem_option_name(option)] = option.synopsis;
  }
  for (const std::vector<std::string>& entry : tagged_entries(read_manual(), "MODEM OPTIONS")) {
    ASSERT_FALSE(entry.empty());
    std::string joined;
    for (const std::string& word : entry) joined += word;
    std::string name = joined.substr(0, joined.find_first_of("=["));
    manual.insert(name);
    // The value as the table has it: none, needed, or one that may be left out.
    std::string expected = synopsis.count(name) != 0 ? synopsis[name] : std::string();
    EXPECT_EQ(expected.find('=') != std::string::npos, joined.find('=') != std::string::npos)
        << name << ": " << joined;
    EXPECT_EQ(expected.find("[=") != std::string::npos, joined.find("[=") != std::string::npos)
        << name << ": " << joined;
  }
  EXPECT_EQ(table, manual);
}

TEST(Manual, ListsEveryCommandLineOptionOfTheTableAndNoOther) {
  std::set<std::string> table, manual;
  for (const SimOption& option : sim_options()) {
    std::istringstream names(option.names);
    std::string name;
    while (std::getline(names, name, ',')) table.insert(name);
  }
  for (const std::vector<std::string>& entry : tagged_entries(read_manual(), "OPTIONS")) {
    for (std::string word : entry) {
      if (!word.empty() && word[0] == '"') word = word.substr(1);
      if (word.rfind("-", 0) == 0) manual.insert(word);
    }
  }
  EXPECT_EQ(table, manual);
}

TEST(Manual, DocumentsEveryCommandOfTheTableAndNoOther) {
  std::set<const ModemCommand*> documented;
  for (const std::vector<std::string>& entry : tagged_entries(read_manual(), "COMMANDS")) {
    if (entry.empty() || entry[0].rfind("AT", 0) != 0) continue;  // an error code
    const ModemCommand* row = find_command(entry[0]);
    EXPECT_NE(nullptr, row) << entry[0] << " is in the manual, not in the table";
    documented.insert(row);
  }
  const std::string usage = sim_usage();
  for (const ModemCommand& row : command_table()) {
    EXPECT_EQ(1u, documented.count(&row)) << row.name << " is not in the manual";
    EXPECT_NE(std::string::npos, usage.find(row.name)) << row.name << " is not in --help";
  }
}

}  // namespace

}  // namespace smstest
