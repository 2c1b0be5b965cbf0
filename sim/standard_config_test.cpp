// The options of the standard-command faults and the stored messages, on
// the command line and in scenario files.
#include <gtest/gtest.h>

#include "sim/sim_config.h"

namespace smstest {
namespace {

TEST(StandardOptions, EachOptionSetsItsFault) {
  ModemConfig modem;
  std::string error;
  ASSERT_TRUE(parse_modem_argument(
      "COM3=5550103,urc-inside=RING,bare-prompt,send-error=330,sim-busy=2.5,no-cnmi,"
      "sticky-echo,storage-full,byte-split,store-size=7,stored=3",
      modem, error))
      << error;
  const ModemFaults& f = modem.faults;
  EXPECT_EQ("RING", f.urcInside);
  EXPECT_TRUE(f.barePrompt && f.noCnmi && f.stickyEcho && f.storageFull);
  EXPECT_EQ(330, f.sendError);
  EXPECT_DOUBLE_EQ(2.5, f.simBusy);
  EXPECT_DOUBLE_EQ(0.005, f.byteGap);
  EXPECT_EQ(7, modem.storeSize);
  ASSERT_EQ(3u, modem.stored.size());
  EXPECT_EQ("+15550000001", modem.stored[0].from);
  EXPECT_EQ("stored message 1", modem.stored[0].text);
  EXPECT_EQ("5550000002", modem.stored[1].from);
  EXPECT_EQ("+15550000003", modem.stored[2].from);

  ModemConfig plain;
  ASSERT_TRUE(parse_modem_argument("COM4=5550104,urc-inside,byte-split=0.02", plain, error))
      << error;
  EXPECT_EQ("+CREG: 1", plain.faults.urcInside);
  EXPECT_DOUBLE_EQ(0.02, plain.faults.byteGap);
  EXPECT_EQ(50, plain.storeSize);
  EXPECT_FALSE(plain.faults.barePrompt || plain.faults.noCnmi || plain.faults.storageFull);
}

TEST(StandardOptions, BadValuesAreRefused) {
  const char* const bad[] = {
      "send-error", "send-error=0", "send-error=1000", "send-error=x",   "sim-busy",
      "sim-busy=0", "byte-split=0", "store-size=256",  "store-size=x",   "stored=0",
      "stored=256", "urc-inside=",  "no-cnmi=1",       "bare-prompt=no",
  };
  for (const char* option : bad) {
    ModemConfig modem;
    std::string error;
    EXPECT_FALSE(parse_modem_argument(std::string("COM3=1,") + option, modem, error)) << option;
    EXPECT_NE(std::string::npos, error.find(option)) << option << " -> " << error;
  }
}

TEST(StandardOptions, StoredMessagesFromTheCommandLine) {
  SimConfig config;
  std::string error;
  ASSERT_TRUE(
      parse_sim_arguments({"--dir", "d", "--modem", "COM4=5550104,stored=1", "--store",
                           "5550104:+15551234:text: with, commas", "--store", "COM4:5551235:"},
                          config, error))
      << error;
  const std::vector<PresetMessage>& stored = config.modems[0].stored;
  ASSERT_EQ(3u, stored.size());
  EXPECT_EQ("+15551234", stored[1].from);
  EXPECT_EQ("text: with, commas", stored[1].text);
  EXPECT_EQ("", stored[2].text);

  struct Case {
    std::vector<std::string> args;
    const char* reason;
  } cases[] = {
      {{"--store", "COM4:1:x", "--modem", "COM4=2"}, "no modem COM4 given before"},
      {{"--modem", "COM4=2", "--store", "COM4:1"}, "expected MODEM:FROM:TEXT"},
      {{"--modem", "COM4=2", "--store", "COM4:abc:x"}, "bad phone number"},
      {{"--modem", "COM4=2,store-size=1,stored=2"}, "2 stored messages do not fit its store of 1"},
  };
  for (const Case& c : cases) {
    SimConfig bad;
    std::vector<std::string> args = {"--dir", "d"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    EXPECT_FALSE(parse_sim_arguments(args, bad, error)) << c.reason;
    EXPECT_NE(std::string::npos, error.find(c.reason)) << error;
  }
  // A full store holds exactly what was stored before the run.
  SimConfig full;
  EXPECT_TRUE(parse_sim_arguments(
      {"--dir", "d", "--modem", "COM4=2,store-size=1,stored=2,storage-full"}, full, error))
      << error;
}

TEST(StandardOptions, ScenarioStoreLine) {
  SimConfig config;
  std::string error;
  ASSERT_TRUE(
      parse_scenario("modem COM4=5550104 sim-busy=1 urc-inside=RING\n"
                     "store COM4 +15551234 two  blanks, and a comma\n",
                     "s", config, error))
      << error;
  ASSERT_EQ(1u, config.modems[0].stored.size());
  EXPECT_EQ("two  blanks, and a comma", config.modems[0].stored[0].text);
  EXPECT_DOUBLE_EQ(1, config.modems[0].faults.simBusy);
  SimConfig other;
  EXPECT_FALSE(parse_scenario("modem COM4=1\nstore COM4\n", "s", other, error));
  EXPECT_EQ("s:2: expected: store MODEM FROM TEXT", error);
}

}  // namespace
}  // namespace smstest
