#include "sim/sim_config.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

namespace smstest {

namespace {

std::vector<std::string> split_args(const std::string& line) {
  std::vector<std::string> out;
  size_t pos = 0;
  while (pos < line.size()) {
    size_t end = line.find(' ', pos);
    if (end == std::string::npos) end = line.size();
    if (end > pos) out.push_back(line.substr(pos, end - pos));
    pos = end + 1;
  }
  return out;
}

TEST(SimArguments, ModemOptionsSetTheirFaults) {
  SimConfig config;
  std::string error;
  ASSERT_TRUE(parse_sim_arguments(
      split_args("--dir /tmp/x --delay 0.5 --duration 7 "
                 "--modem COM3=5550103,no-dasms,confirm-late=2.5,chunks,hangup=4 "
                 "--modem COM4=+15550104,delay=3,alter=cut,unsolicited=0.3,lose "
                 "--fault COM3=big,nul,cmgs-first"),
      config, error))
      << error;
  EXPECT_EQ("/tmp/x", config.dir);
  EXPECT_DOUBLE_EQ(0.5, config.delay);
  EXPECT_DOUBLE_EQ(7, config.duration);
  ASSERT_EQ(2u, config.modems.size());
  const ModemConfig& a = config.modems[0];
  EXPECT_EQ("COM3", a.name);
  EXPECT_EQ("5550103", a.number);
  EXPECT_LT(a.delay, 0);
  EXPECT_TRUE(a.faults.noDasms);
  EXPECT_DOUBLE_EQ(2.5, a.faults.confirmLate);
  EXPECT_DOUBLE_EQ(0.2, a.faults.chunkPause);
  EXPECT_EQ(4, a.faults.hangupAfter);
  EXPECT_TRUE(a.faults.big && a.faults.nulBytes && a.faults.cmgsFirst);
  EXPECT_FALSE(a.faults.silent || a.faults.lose || a.faults.sendRefused);
  const ModemConfig& b = config.modems[1];
  EXPECT_EQ("+15550104", b.number);
  EXPECT_DOUBLE_EQ(3, b.delay);
  EXPECT_EQ(Alteration::cut, b.faults.alter);
  EXPECT_DOUBLE_EQ(0.3, b.faults.unsolicited);
  EXPECT_TRUE(b.faults.lose);
  EXPECT_EQ(1, config.find_modem("+15550104"));
  EXPECT_EQ(0, config.find_modem("COM3"));
  EXPECT_EQ(-1, config.find_modem("COM5"));
}

TEST(SimArguments, InjectionTextKeepsColonsAndBlanks) {
  SimConfig config;
  std::string error;
  std::vector<std::string> args = {"--dir",        "d",        "--modem",
                                   "COM4=5550104", "--inject", "5550104@2.5:5551234:hello: a b"};
  ASSERT_TRUE(parse_sim_arguments(args, config, error)) << error;
  ASSERT_EQ(1u, config.injections.size());
  EXPECT_EQ("5550104", config.injections[0].modem);
  EXPECT_DOUBLE_EQ(2.5, config.injections[0].at);
  EXPECT_EQ("5551234", config.injections[0].from);
  EXPECT_EQ("hello: a b", config.injections[0].text);
}

TEST(SimArguments, BadArgumentsAreRefusedWithAReason) {
  struct Case {
    const char* args;
    const char* reason;  // a part of the error text
  } cases[] = {
      {"--modem COM3=1", "no directory"},
      {"--dir d", "no modem"},
      {"--dir d --modem COM3", "NAME=NUMBER"},
      {"--dir d --modem COM3=55a", "bad phone number"},
      {"--dir d --modem COM3=", "bad phone number"},
      {"--dir d --modem ../x=1", "bad name"},
      {"--dir d --modem COM3=1 --modem COM4=1", "used twice"},
      {"--dir d --modem COM3=1 --modem COM3=2", "used twice"},
      {"--dir d --modem COM3=1,frobnicate", "unknown modem option"},
      {"--dir d --modem COM3=1,silent=1", "unknown modem option"},
      {"--dir d --modem COM3=1,delay=-1", "bad value"},
      {"--dir d --modem COM3=1,delay=abc", "bad value"},
      {"--dir d --modem COM3=1,hangup=0", "bad value"},
      {"--dir d --modem COM3=1,chunks=0", "bad value"},
      {"--dir d --modem COM3=1,alter=upside", "bad value"},
      {"--dir d --modem COM3=1 --fault COM9=lose", "no modem named COM9"},
      {"--dir d --modem COM3=1 --fault COM3", "NAME=OPTION"},
      {"--dir d --modem COM3=1 --delay", "needs a value"},
      {"--dir d --modem COM3=1 --delay 1s", "bad number of seconds"},
      {"--dir d --modem COM3=1 --bogus", "unknown argument"},
      {"--dir d --modem COM3=1 --inject COM3:1:hi", "MODEM@SECONDS:FROM:TEXT"},
      {"--dir d --modem COM3=1 --inject COM3@x:1:hi", "bad time"},
      {"--dir d --modem COM3=1 --inject COM3@1:abc:hi", "bad phone number"},
      {"--dir d --modem COM3=1 --inject COM7@1:5551234:hi", "unknown modem COM7"},
      {"--dir d --scenario /nonexistent/file", "cannot read scenario file"},
  };
  for (const Case& c : cases) {
    SimConfig config;
    std::string error;
    EXPECT_FALSE(parse_sim_arguments(split_args(c.args), config, error)) << c.args;
    EXPECT_NE(std::string::npos, error.find(c.reason)) << c.args << " -> " << error;
  }
}

TEST(SimArguments, CommandLineFormsApplyInTheOrderGiven) {
  // "--option=VALUE" as well as "--option VALUE"; a later setting wins.
  SimConfig config;
  std::string error;
  ASSERT_TRUE(parse_sim_arguments({"--dir=d1", "--modem=COM3=5550103", "--delay", "2",
                                   "--delay=0.5", "--fault=COM3=lose", "--dir", "d2"},
                                  config, error))
      << error;
  EXPECT_EQ("d2", config.dir);
  EXPECT_DOUBLE_EQ(0.5, config.delay);
  ASSERT_EQ(1u, config.modems.size());
  EXPECT_TRUE(config.modems[0].faults.lose);
  // A fault before its modem finds none; the first failure is the one told.
  struct Case {
    std::vector<std::string> args;
    const char* error;
  } cases[] = {
      {{"--dir", "d", "--fault", "COM3=lose", "--modem", "COM3=1"}, "no modem named COM3"},
      {{"--dir", "d", "--modem", "COM3=55a", "--delay", "x"},
       "modem \"COM3=55a\": bad phone number"},
      {{"--dir", "d", "--modem", "COM3=1", "--delay", "x", "--bogus"},
       "--delay: bad number of seconds \"x\""},
      {{"--dir", "d", "--modem", "COM3=1", "extra"}, "unknown argument \"extra\" (see --help)"},
      {{"--dir", "d", "--modem", "COM3=1", "--store"}, "--store needs a value"},
  };
  for (const Case& c : cases) {
    SimConfig bad;
    EXPECT_FALSE(parse_sim_arguments(c.args, bad, error)) << c.error;
    EXPECT_EQ(c.error, error);
  }
}

TEST(SimArguments, HelpNeedsNothingElse) {
  SimConfig config;
  std::string error;
  EXPECT_TRUE(parse_sim_arguments({"--help"}, config, error)) << error;
  EXPECT_TRUE(config.help);
  SimConfig shortForm;
  EXPECT_TRUE(parse_sim_arguments({"-h"}, shortForm, error)) << error;
  EXPECT_TRUE(shortForm.help);
}

TEST(SimArguments, VersionNeedsNothingElse) {
  SimConfig config;
  std::string error;
  EXPECT_TRUE(parse_sim_arguments({"--version"}, config, error)) << error;
  EXPECT_TRUE(config.version);
  EXPECT_FALSE(config.help);
}

TEST(SimScenario, FileSettingsMatchTheCommandLine) {
  const char* text =
      "# a reflector run\r\n"
      "dir /tmp/ports\n"
      "delay 0.25\n"
      "\n"
      "modem COM3=5550103 no-dasms chunks=0.3\n"
      "modem COM4=5550104,poll-error\n"
      "fault COM4 delete-refused cmgl-error,delay=2\n"
      "inject COM3 1.5 5551234   two  blanks kept\n"
      "duration 9\n";
  SimConfig config;
  std::string error;
  ASSERT_TRUE(parse_scenario(text, "s.txt", config, error)) << error;
  EXPECT_EQ("/tmp/ports", config.dir);
  EXPECT_DOUBLE_EQ(0.25, config.delay);
  EXPECT_DOUBLE_EQ(9, config.duration);
  ASSERT_EQ(2u, config.modems.size());
  EXPECT_TRUE(config.modems[0].faults.noDasms);
  EXPECT_DOUBLE_EQ(0.3, config.modems[0].faults.chunkPause);
  EXPECT_TRUE(config.modems[1].faults.pollError);
  EXPECT_TRUE(config.modems[1].faults.deleteRefused);
  EXPECT_TRUE(config.modems[1].faults.cmglError);
  EXPECT_DOUBLE_EQ(2, config.modems[1].delay);
  ASSERT_EQ(1u, config.injections.size());
  EXPECT_EQ("COM3", config.injections[0].modem);
  EXPECT_DOUBLE_EQ(1.5, config.injections[0].at);
  EXPECT_EQ("  two  blanks kept", config.injections[0].text);
}

TEST(SimScenario, BadLinesNameFileAndLine) {
  struct Case {
    const char* text;
    const char* error;
  } cases[] = {
      {"modem COM3=1\nwhatever 3\n", "f:2: unknown setting \"whatever\""},
      {"delay soon\n", "f:1: expected: delay SECONDS"},
      {"modem\n", "f:1: expected: modem NAME=NUMBER [OPTION...]"},
      {"modem COM3=1\nfault COM3\n", "f:2: expected: fault NAME OPTION..."},
      {"modem COM3=1 bogus\n", "f:1: unknown modem option \"bogus\""},
      {"inject COM3 1\n", "f:1: expected: inject MODEM SECONDS FROM TEXT"},
      {"dir\n", "f:1: expected: dir DIR"},
  };
  for (const Case& c : cases) {
    SimConfig config;
    std::string error;
    EXPECT_FALSE(parse_scenario(c.text, "f", config, error)) << c.text;
    EXPECT_EQ(c.error, error) << c.text;
  }
}

TEST(SimScenario, ReadThroughTheCommandLineInOrder) {
  std::string path = testing::TempDir() + "sim_scenario_" + std::to_string(getpid()) + ".txt";
  {
    std::ofstream file(path);
    file << "modem COM3=5550103\ndelay 4\n";
  }
  SimConfig config;
  std::string error;
  // A later --delay overrides the file; the file's modem takes a --fault.
  ASSERT_TRUE(parse_sim_arguments(
      {"--dir", "d", "--scenario", path, "--delay", "0.5", "--fault", "COM3=silent"}, config,
      error))
      << error;
  EXPECT_DOUBLE_EQ(0.5, config.delay);
  ASSERT_EQ(1u, config.modems.size());
  EXPECT_TRUE(config.modems[0].faults.silent);
  std::remove(path.c_str());
}

}  // namespace

}  // namespace smstest
