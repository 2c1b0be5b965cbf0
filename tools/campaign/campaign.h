// sms_campaign: runs each of several SMS_TEST command files a given number
// of times in one output folder, unattended, with a log line per run
// (campaign_log.h), progress on the terminal (progress.h), resume after an
// interruption, and command files on disjoint COM ports side by side
// (port_locks.h).  Open this header first; main() only calls
// campaign_main().
//
// A campaign in OUT:
//   OUT/campaign.csv                  one line per finished run
//   OUT/status/<stem>.<run>.txt       the run's status file (<stem>: the
//                                     command file's name without extension)
//   OUT/status/<stem>.<run>.stderr.txt  what SMS_TEST wrote to its streams
//   OUT/status/<stem>.<run>.cmd       the command file as the run read it
//   OUT/campaign.lock                 held by the running sms_campaign
//   OUT/<result file>                 as line 2 of each command file names it
//   OUT/status/<stem>.<run>.COM<port>.debug.log  the run's debug log of
//                                     each port it opened (SMS_TEST writes
//                                     OUT/<testName>.<port>.debug.log; the
//                                     campaign moves it here after the run)
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "driver/command_file.h"
#include "gps/gps_source.h"
#include "tools/campaign/campaign_log.h"
#include "tools/campaign/os_services.h"

namespace smstest {

// Exit codes of sms_campaign.
constexpr int kCampaignDone = 0;     // every run made (whatever the runs' results)
constexpr int kCampaignFailed = 1;   // could not go on: log not written, SMS_TEST not started
constexpr int kCampaignRefused = 2;  // bad command line or input; nothing ran
// An interrupted campaign exits with 128 + the signal: 129 (SIGHUP), 130
// (SIGINT), 143 (SIGTERM).

// The longest --pause and --run-margin: a day.
constexpr double kMaxCampaignSeconds = 86400;
// Seconds between the watchdog's SIGTERM to a run and its SIGKILL.
constexpr int kKillGraceSeconds = 5;

struct CampaignOptions {
  std::string dir;
  int repeat = 0;
  double pause = 0.0;
  // Seconds a run gets past its testTimeout before the watchdog stops it.
  double runMargin = 60.0;
  std::string latLong = "-";
  std::string smsTest;  // "" for SMS_TEST beside sms_campaign
  std::string push;     // --push: the store URL, "" when not pushing
  std::string probe;    // --probe: the name stored with each run (default the host name)
  std::vector<std::string> cmdFiles;
  // --check: check the command files, their ports and modems, and run
  // nothing (--dir and --repeat not needed).
  bool check = false;
  // --no-check: start without checking the ports and modems (the command
  // files are still read).
  bool noCheck = false;
  // --gps SOURCE: each run's latLong from this GPS (campaign_gps.h); "" for
  // --lat-long.
  std::string gps;
};

// Reads the command line into `options`.  Returns -1 to go on, or the exit
// code: 0 after --help (written to `out`), kCampaignRefused after one line
// on `err` for a bad command line.
int parse_campaign_arguments(int argc, char** argv, CampaignOptions& options, std::FILE* out,
                             std::FILE* err);

// One command file of a campaign.
struct CampaignFile {
  std::string name;  // as the command line gives it; the cmdFile column
  std::string path;  // absolute, handed to SMS_TEST
  std::string stem;  // names the status files
  CommandFile command;
  std::vector<int> ports;  // the COM ports SMS_TEST opens for it, ascending
  bool reflector = false;
  // The file's bytes as checked: every run reads this copy
  // (status/<stem>.<run>.cmd), so an edit during the campaign can't move a
  // run onto ports it was not scheduled for.
  std::string content;
};

// A run started by an earlier campaign process in the folder that has no
// line in campaign.csv: that process was killed, the run may still go on.
struct EarlierRun {
  size_t file = 0;  // index in Campaign::files
  int run = 0;
  std::string tag;    // <stem>.<run>
  int64_t start = 0;  // calendar seconds, from its command file copy
};

// The COM ports a run of `params` opens: fromPort, and toPort when a round
// trip uses a second modem (toPort neither 0 nor fromPort), ascending.
std::vector<int> ports_of(const SmsTestParams& params);

// Reads and checks the command file `name` as SMS_TEST will.  False with a
// one-line reason in `error` when it can't be read, its line 1 does not
// begin with SMS_TEST, or its fromPort is below 1.
bool load_campaign_file(const std::string& name, CampaignFile& file, std::string& error);

// The run number in a status folder entry "<stem>.<run>.txt" or
// "<stem>.<run>.stderr.txt"; 0 for other names.
int run_number_of_status_name(const std::string& name);

// A checked campaign, ready to run.
struct Campaign {
  CampaignOptions options;
  std::string dir;      // absolute
  std::string smsTest;  // absolute
  std::vector<CampaignFile> files;
  CampaignLog log;  // campaign.csv as found
  std::string logPath;
  int lastRun = 0;                   // the highest run number used so far in this folder
  std::vector<EarlierRun> earlier;   // ascending by run
  std::shared_ptr<FolderLock> lock;  // OUT/campaign.lock, held while the campaign lives
  GpsSourceAddress gps;              // --gps, when options.gps is given
};

// Checks everything before anything runs: the SMS_TEST program, every
// command file, no command file twice, the folder (created if missing), its
// lock (another campaign using it: "OUT is in use by sms_campaign pid N")
// and its campaign.csv; finds the runs of a killed campaign process.  False
// with one line per problem in `refusals`.  With options.check only the
// program and the command files are checked (no folder is made).
bool prepare_campaign(const CampaignOptions& options, Campaign& campaign,
                      std::vector<std::string>& refusals);

// Asks SMS_TEST (`smsTest`) to check `file` as a run would, in the folder
// `cwd`: `SMS_TEST --check <file>` reads the command file with SMS_TEST's
// own reader (fields, command set, options, message text), opens every port
// a run opens and sets its modem up, and closes them again.  True when the
// file is ready; `verdict` is SMS_TEST's verdict without the file name in
// front ("ready: a modem answers on COM3 and COM4", "not ready: <why>"), or
// why SMS_TEST could not be asked.
bool check_campaign_file(const std::string& smsTest, const CampaignFile& file,
                         const std::string& cwd, std::string& verdict);

// Checks every command file of a prepared campaign with check_campaign_file
// in its folder, one after another, except those whose ports a run of a
// killed campaign process may still hold (they are known to have run).
// False with one "<cmdFile>: <verdict>" line per file that is not ready in
// `refusals`; with `ready` (may be null) each ready file's line.
bool check_campaign(const Campaign& campaign, std::vector<std::string>& refusals,
                    std::vector<std::string>* ready);

// Runs what is left of `campaign`; progress and summary on `out`, problems
// on `err`.  Returns the exit code.
int run_campaign(const Campaign& campaign, std::FILE* out, std::FILE* err);

// The whole program.
int campaign_main(int argc, char** argv);

}  // namespace smstest
