// The command line of sms_campaign and the checks made before anything
// runs.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <system_error>

#include "common/clock.h"
#include "common/text.h"
#include "common/version.h"
#include "store/runs_pusher.h"
#include "store/store.h"
#include "tools/campaign/campaign.h"
#include "tools/campaign/campaign_gps.h"
#include "tools/campaign/os_services.h"
#include "tools/campaign/run_outcome.h"

namespace fs = std::filesystem;

namespace smstest {

namespace {

const char kDescription[] =
    "sms_campaign runs SMS_TEST command files many times, unattended, in one folder, and logs\n"
    "every run in OUT/campaign.csv.";

const char kFooter[] = R"(
Each CMDFILE is an SMS_TEST command file; its line 2 names the result file,
relative to OUT.  Each is run N times in OUT, one run after another, with
--pause seconds between its runs.  Command files whose COM ports (fromPort,
and toPort when a round trip uses a second modem) are disjoint run side by
side; those that share a port take turns.

Before the first run every command file is checked as its runs will read
it, with SMS_TEST's own reader, by running
  SMS_TEST --check CMDFILE
in OUT: the fields, the command set, the options, the message text, the
ports present and a modem answering on each (the ports are opened, the
modems set up and closed again; ports that a run of a killed campaign may
still hold are left alone).  One file that is not ready refuses the whole
campaign before any run, naming the file and the problem (exit code 2).
--check makes these checks only, prints a verdict per file and runs
nothing; --no-check starts without them.

Every run is started in OUT as
  SMS_TEST OUT/status/<stem>.<run>.cmd status/<stem>.<run>.txt <dataTime> <latLong>
where <stem> is the command file's name without its extension and <run> the
run number, six digits, counted across the whole campaign; <stem>.<run>.cmd
is a copy of CMDFILE as it was when the campaign started, so an edit during
the campaign changes nothing.  SMS_TEST's own output goes to
status/<stem>.<run>.stderr.txt, and its debug logs are moved beside its
status file when it has ended: status/<stem>.<run>.COM<port>.debug.log.
dataTime is digits only:
the UTC start time of this invocation as YYYYMMDDhhmmss, then the run
number, e.g. 20261208101500000007.  No two runs of a campaign share a
dataTime, resumed parts included, so a message left by one run never counts
for another.  SMS_TEST_PORTS and the rest of the environment are passed on.
A run still going testTimeout + --run-margin seconds after its start gets
SIGTERM, and SIGKILL 5 seconds later ("SMS_TEST killed after N s").

After each run one line is appended to OUT/campaign.csv (first a header
line when the file is new), with the columns
  run,cmdFile,testName,start,end,exitCode,statusCode,statusText,sendTime,
  deliveryTime,replyTime,totalTime,accuracy,mode,confirmTime,reportStatus,
  technology,operator,registeredAtSend,signalDbm,partsSent,partsReceived
start and end in ISO 8601 UTC (2026-12-08T10:15:00Z); exitCode of SMS_TEST,
128 + N when signal N ended it; statusCode and statusText from the run's
status file, the text on one line and quoted, or empty with statusText
saying why when the status file is missing; the five measures copied from
the run's result line (found by its dataTime), empty when it has none, and
then statusText says so too; mode round-trip or reflector; confirmTime and
reportStatus from the record of a run that asked for a status report;
technology, operator (MCC-MNC), registeredAtSend (true or false) and
signalDbm (RSRP, else RSSI) of the sending modem before the send, from the
run's record, empty when it has none; partsSent (the parts the sending
modem confirmed, 1 for a message sent whole) and partsReceived (the
distinct parts the receiver took) from the run's record, empty when it has
none.  A log begun with fewer columns (the
first 14, or some of the later ones) is read by the names of its header's
columns and appended to in its own layout.

Started again with the same OUT and arguments, the campaign counts the runs
of each command file in campaign.csv and makes only those left; runs that a
killed campaign left going are waited for and logged first.  One campaign
uses a folder at a time (OUT/campaign.lock).  SIGINT, SIGTERM or SIGHUP
stops it starting runs; the signal is passed on to the running SMS_TEST
processes, their lines are logged when they end, then the summary.  A
second SIGINT or SIGTERM kills the runs at once.  Unattended, start it with
nohup or setsid.

With --push URL each run also goes into the result store at URL (sqlite:PATH
or postgresql://..., see sms_store) as it ends, under the probe name
(--probe, default the host name) and the campaign name (OUT's last path
component), together with the runs OUT/runs.jsonl holds from before.  When
the store can't be reached the campaign goes on and says so once; the runs
wait in runs.jsonl and go in when the store is back, none twice.  The
summary says how many runs went in, or how to push those left (sms_store
push).  Builds without a store back end (Windows) refuse --push.

With --gps SOURCE each run's latLong is the position of the GPS fix current
at its start, as "45.501700;-73.567300", or "-" when there is no fix or the
latest is more than 5 seconds old.  SOURCE is gpsd (on localhost:2947),
gpsd:HOST[:PORT], or nmea:PORT[,BAUD], an NMEA 0183 receiver on COM port
PORT (or the device path PORT) at 4800 baud unless BAUD is given, read by
sms_gps beside sms_campaign.  Each runs.jsonl object gets "gps": the source
and the fix at the run's start and end (latLong, reason when "-", time,
lat, lon, mode, horizontalError, speed, age).  A GPS that goes away is
reconnected, waiting 1 s, then longer up to 10 s, while the runs go on.
The progress shows the GPS state.

On a terminal one line per command file is redrawn in place: runs done of
the total, succeeded (status code 0), failed, median delivery time (reply
time for a reflector), estimated time left.  Otherwise one line per
finished run.  A summary ends either way.

Exit codes: 0 every run made (a run that fails is a result, not a failure
of the campaign); 1 the campaign could not go on (campaign.csv could not be
written, SMS_TEST could not be started); 2 bad command line or input (or
OUT in use by another campaign), nothing ran; 129, 130 or 143 interrupted
by SIGHUP, SIGINT or SIGTERM.)";

// The help's first line is the synopsis as the README gives it, not the
// library's generic "[OPTIONS]".
class CampaignFormatter : public CLI::Formatter {
 public:
  std::string make_usage(const CLI::App*, std::string) const override {
    return "\nUsage: sms_campaign --dir OUT --repeat N [--pause SECONDS] [--lat-long TEXT]\n"
           "                    [--gps SOURCE] [--run-margin SECONDS] [--sms-test PATH] "
           "[--no-check]\n"
           "                    [--push URL [--probe NAME]] CMDFILE...\n"
           "       sms_campaign --check [--dir OUT] [--sms-test PATH] CMDFILE...\n";
  }
};

std::string one_line_error(const std::string& text) {
  std::string out;
  for (char c : text) out += (c == '\n' || c == '\r') ? ' ' : c;
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// Notes `path` in `earlier` when it is the command file copy
// "<stem>.<run>.cmd" of a run without a line in campaign.csv, of a file of
// this campaign: a run started by a campaign process that was killed.
void find_earlier_run(const Campaign& campaign, const fs::path& path,
                      std::vector<EarlierRun>& earlier) {
  const std::string name = path.filename().string();
  if (name.size() < 5 || name.compare(name.size() - 4, 4, ".cmd") != 0) return;
  const std::string tag = name.substr(0, name.size() - 4);
  const int run = run_number_of_status_name(tag + ".txt");
  if (run == 0) return;
  for (const CampaignLine& line : campaign.log.lines)
    if (line.run == run) return;
  const std::string stem = tag.substr(0, tag.rfind('.'));
  for (size_t i = 0; i < campaign.files.size(); ++i) {
    if (campaign.files[i].stem != stem) continue;
    EarlierRun r;
    r.file = i;
    r.run = run;
    r.tag = tag;
    // The copy is written just before the run starts: its time is the
    // run's start.
    r.start = file_written_at(path.string(), calendar_seconds());
    earlier.push_back(r);
    return;
  }
}

}  // namespace

int parse_campaign_arguments(int argc, char** argv, CampaignOptions& options, std::FILE* out,
                             std::FILE* err) {
  CLI::App app(kDescription, "sms_campaign");
  app.footer(kFooter);
  app.formatter(std::make_shared<CampaignFormatter>());
  CLI::Option* dir =
      app.add_option("--dir", options.dir, "Folder of the campaign; created if missing")
          ->type_name("OUT");
  CLI::Option* repeat =
      app.add_option("--repeat", options.repeat, "Runs of each command file, 1 or more")
          ->type_name("N");
  app.add_option("--pause", options.pause,
                 "Seconds between two runs of one command file (default 0)")
      ->type_name("SECONDS");
  app.add_option("--run-margin", options.runMargin,
                 "Seconds a run gets past its testTimeout before it is stopped (default 60)")
      ->type_name("SECONDS");
  app.add_option("--lat-long", options.latLong,
                 "latLong argument of every run: where the test is made (default -)")
      ->type_name("TEXT");
  app.add_option("--gps", options.gps,
                 "Each run's latLong from this GPS: gpsd, gpsd:HOST:PORT or nmea:PORT[,BAUD] "
                 "(see below)")
      ->type_name("SOURCE");
  app.add_option("--sms-test", options.smsTest,
                 "The SMS_TEST program (default: SMS_TEST beside sms_campaign)")
      ->type_name("PATH");
  CLI::Option* check = app.add_flag(
      "--check", options.check,
      "Check every command file (fields, command set, options, ports, a modem answering on each "
      "port) with SMS_TEST --check, run nothing, exit 0 when all are ready");
  app.add_flag("--no-check", options.noCheck,
               "Start without that check before the first run (the command files are still read): "
               "for a campaign that must start while a port is missing")
      ->excludes(check);
  app.add_option("--push", options.push,
                 "Push each run to the result store at URL as it ends (sqlite:PATH or "
                 "postgresql://...)")
      ->type_name("URL");
  app.add_option("--probe", options.probe,
                 "The name stored with each pushed run (default: this host's name)")
      ->type_name("NAME");
  app.set_version_flag("--version", std::string("sms_campaign ") + kVersion);
  app.add_option("CMDFILE", options.cmdFiles, "SMS_TEST command files")->required()->type_name("");
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::fputs(app.help().c_str(), out);
    return 0;
  } catch (const CLI::CallForVersion& e) {
    std::fprintf(out, "%s\n", e.what());
    return 0;
  } catch (const CLI::ParseError& e) {
    std::fprintf(err, "sms_campaign: %s (see --help)\n", one_line_error(e.what()).c_str());
    return kCampaignRefused;
  }
  // A campaign needs its folder and its number of runs; a check neither.
  for (CLI::Option* needed : {dir, repeat}) {
    if (!options.check && needed->count() == 0) {
      std::fprintf(err, "sms_campaign: %s is required (see --help)\n", needed->get_name().c_str());
      return kCampaignRefused;
    }
  }
  if (!options.probe.empty() && options.push.empty()) {
    std::fprintf(err, "sms_campaign: --probe needs --push\n");
    return kCampaignRefused;
  }
  if (!options.push.empty()) {
    std::string problem;
    if (!store_url_usable(options.push, &problem)) {
      std::fprintf(err, "sms_campaign: --push %s\n", problem.c_str());
      return kCampaignRefused;
    }
    if (options.probe.empty()) options.probe = host_name();
  }
  if (!options.check && options.repeat < 1) {
    std::fprintf(err, "sms_campaign: --repeat must be 1 or more, not %d\n", options.repeat);
    return kCampaignRefused;
  }
  // NaN fails both comparisons; infinity the second.
  if (!(options.pause >= 0.0 && options.pause <= kMaxCampaignSeconds)) {
    std::fprintf(err, "sms_campaign: --pause must be 0 to %g seconds, not %g\n",
                 kMaxCampaignSeconds, options.pause);
    return kCampaignRefused;
  }
  if (!(options.runMargin >= 0.0 && options.runMargin <= kMaxCampaignSeconds)) {
    std::fprintf(err, "sms_campaign: --run-margin must be 0 to %g seconds, not %g\n",
                 kMaxCampaignSeconds, options.runMargin);
    return kCampaignRefused;
  }
  // A comma would split the latLong column of every result line, and no
  // reader of positions takes it.
  const size_t comma = options.latLong.find(',');
  if (comma != std::string::npos) {
    std::string hint = options.latLong;
    size_t from = comma;
    size_t to = comma + 1;
    while (from > 0 && hint[from - 1] == ' ') --from;
    while (to < hint.size() && hint[to] == ' ') ++to;
    hint.replace(from, to - from, ";");
    std::fprintf(err,
                 "sms_campaign: --lat-long \"%s\" holds a comma, which would split the result "
                 "line's columns; write it as \"%s\" (sms_report reads latitude;longitude, "
                 "latitude longitude, latitude/longitude or 45.5N73.6W)\n",
                 options.latLong.c_str(), hint.c_str());
    return kCampaignRefused;
  }
  return -1;
}

std::vector<int> ports_of(const SmsTestParams& params) {
  std::vector<int> ports = {params.fromPort};
  // SMS_TEST opens a second modem only for a round trip whose toPort is
  // another port.
  if (params.reflectMode == 0 && params.toPort != 0 && params.toPort != params.fromPort)
    ports.push_back(params.toPort);
  std::sort(ports.begin(), ports.end());
  return ports;
}

bool load_campaign_file(const std::string& name, CampaignFile& file, std::string& error) {
  std::FILE* probe = std::fopen(name.c_str(), "r");
  if (probe == nullptr) {
    error = format("%s: cannot open the command file (%s)", name.c_str(), std::strerror(errno));
    return false;
  }
  // The bytes every run will read: taken before the file is checked, so
  // that what is checked is never newer than what runs.
  {
    std::ifstream in(name, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    file.content = bytes.str();
  }
  std::fclose(probe);
  std::string readError;
  if (!read_command_file(name.c_str(), file.command, readError)) {
    error =
        readError.rfind("Expected SMS_TEST", 0) == 0
            ? format("%s: line 1 of the command file does not begin with SMS_TEST", name.c_str())
            : format("%s: %s", name.c_str(), one_line_error(readError).c_str());
    return false;
  }
  const SmsTestParams& params = file.command.params;
  if (params.fromPort < 1) {
    error = format("%s: fromPort of the command file must be 1 or more, not %d", name.c_str(),
                   params.fromPort);
    return false;
  }
  std::error_code ec;
  file.name = name;
  file.path = fs::absolute(name, ec).lexically_normal().string();
  file.stem = fs::path(name).stem().string();
  file.ports = ports_of(params);
  file.reflector = params.reflectMode != 0;
  return true;
}

int run_number_of_status_name(const std::string& name) {
  auto ends_with = [&](const std::string& end) {
    return name.size() > end.size() && name.compare(name.size() - end.size(), end.size(), end) == 0;
  };
  std::string base;
  if (ends_with(".stderr.txt")) {
    base = name.substr(0, name.size() - 11);
  } else if (ends_with(".txt")) {
    base = name.substr(0, name.size() - 4);
  } else {
    return 0;
  }
  size_t dot = base.rfind('.');
  if (dot == std::string::npos || dot + 1 == base.size() || base.size() - dot > 10) return 0;
  int run = 0;
  for (size_t i = dot + 1; i < base.size(); ++i) {
    if (base[i] < '0' || base[i] > '9') return 0;
    run = run * 10 + (base[i] - '0');
  }
  return run;
}

bool prepare_campaign(const CampaignOptions& options, Campaign& campaign,
                      std::vector<std::string>& refusals) {
  std::error_code ec;
  campaign = Campaign();
  campaign.options = options;

  std::string smsTest = options.smsTest;
  if (smsTest.empty()) {
    fs::path self = own_executable_path();
    smsTest = (self.parent_path() / sms_test_program_name()).string();
  }
  campaign.smsTest = fs::absolute(smsTest, ec).lexically_normal().string();
  if (!is_program(campaign.smsTest))
    refusals.push_back(format("SMS_TEST not found or not executable: %s (give it with --sms-test)",
                              campaign.smsTest.c_str()));
  if (!options.gps.empty()) {
    std::string error;
    if (options.latLong != "-") {
      refusals.push_back("--gps and --lat-long both give the runs' latLong: give one");
    } else if (!check_campaign_gps(options.gps,
                                   fs::path(own_executable_path()).parent_path().string(),
                                   &campaign.gps, &error)) {
      refusals.push_back(error);
    }
  }

  for (const std::string& name : options.cmdFiles) {
    CampaignFile file;
    std::string error;
    if (!load_campaign_file(name, file, error)) {
      refusals.push_back(error);
      continue;
    }
    for (const CampaignFile& other : campaign.files) {
      if (fs::equivalent(other.path, file.path, ec)) {
        refusals.push_back(format("%s: the same command file as %s; give each file once",
                                  name.c_str(), other.name.c_str()));
        break;
      }
    }
    if (fs::path(file.command.resultName).lexically_normal() == "campaign.csv")
      refusals.push_back(
          format("%s: its result file campaign.csv is the campaign's own log", name.c_str()));
    campaign.files.push_back(file);
  }
  if (!refusals.empty()) return false;

  if (options.check) {
    // A check makes no folder: SMS_TEST checks in the campaign's folder when
    // it is there, else here.
    const bool there = !options.dir.empty() && fs::is_directory(options.dir, ec);
    campaign.dir = fs::absolute(there ? options.dir : ".", ec).lexically_normal().string();
    return true;
  }
  campaign.dir = fs::absolute(options.dir, ec).lexically_normal().string();
  fs::path status = fs::path(campaign.dir) / "status";
  fs::create_directories(status, ec);
  if (ec || !fs::is_directory(status)) {
    refusals.push_back(format("cannot create the folder %s: %s", status.string().c_str(),
                              ec ? ec.message().c_str() : "not a folder"));
    return false;
  }
  long holder = 0;
  std::string lockError;
  std::unique_ptr<FolderLock> lock =
      lock_folder((fs::path(campaign.dir) / "campaign.lock").string(), holder, lockError);
  if (!lock) {
    refusals.push_back(
        holder < 0   ? lockError
        : holder > 0 ? format("%s is in use by sms_campaign pid %ld", options.dir.c_str(), holder)
                     : format("%s is in use by another sms_campaign", options.dir.c_str()));
    return false;
  }
  campaign.lock = std::move(lock);
  campaign.logPath = (fs::path(campaign.dir) / "campaign.csv").string();
  std::ifstream in(campaign.logPath, std::ios::binary);
  std::stringstream text;
  if (in) text << in.rdbuf();
  std::string error;
  if (!read_campaign_log(text.str(), campaign.log, error)) {
    refusals.push_back(
        format("%s is not a campaign log: %s", campaign.logPath.c_str(), error.c_str()));
    return false;
  }
  // Run numbers never repeat, not even those of runs whose line was never
  // written (a campaign killed outright): their status files still count.
  campaign.lastRun = highest_run(campaign.log);
  for (const fs::directory_entry& entry : fs::directory_iterator(status, ec)) {
    const std::string name = entry.path().filename().string();
    campaign.lastRun = std::max(campaign.lastRun, run_number_of_status_name(name));
    find_earlier_run(campaign, entry.path(), campaign.earlier);
  }
  std::sort(campaign.earlier.begin(), campaign.earlier.end(),
            [](const EarlierRun& a, const EarlierRun& b) { return a.run < b.run; });
  return true;
}

bool check_campaign_file(const std::string& smsTest, const CampaignFile& file,
                         const std::string& cwd, std::string& verdict) {
  std::error_code ec;
  // SMS_TEST's verdict goes to a file of its own, read back and removed.
  static std::atomic<int> serial{0};
  const fs::path output =
      fs::temp_directory_path(ec) /
      format("sms_campaign_check.%lld.%d.txt", static_cast<long long>(calendar_seconds()),
             serial.fetch_add(1) + static_cast<int>(std::random_device()() % 100000));
  std::string error;
  std::unique_ptr<ChildProcess> child =
      start_child({smsTest, "--check", file.path}, cwd, output.string(), error);
  if (!child) {
    verdict = "not checked: " + error;
    return false;
  }
  const ChildExit exit = child->wait();
  child.reset();
  std::string said;
  read_file_tail(output.string(), 0, 64 * 1024, said);
  fs::remove(output, ec);
  // The verdict comes last (a modem's notes may come before it) and names
  // the file as SMS_TEST was given it: that goes.
  const std::string named = file.path + ": ";
  const size_t at = said.rfind(named);
  std::string text =
      one_line_error(at == std::string::npos ? said : said.substr(at + named.size()));
  if (exit.exitCode == 0) {
    verdict = text;
    return true;
  }
  if (text.empty()) text = format("SMS_TEST --check exited with %d", exit.exitCode);
  verdict = text.rfind("not ready: ", 0) == 0 ? text : "not ready: " + text;
  return false;
}

bool check_campaign(const Campaign& campaign, std::vector<std::string>& refusals,
                    std::vector<std::string>* ready) {
  bool allReady = true;
  for (size_t i = 0; i < campaign.files.size(); ++i) {
    const CampaignFile& file = campaign.files[i];
    // A run of a killed campaign may still hold these ports.
    bool held = false;
    for (const EarlierRun& run : campaign.earlier) {
      for (int port : campaign.files[run.file].ports) {
        held |= std::find(file.ports.begin(), file.ports.end(), port) != file.ports.end();
      }
    }
    if (held) continue;
    std::string verdict;
    const bool ok = check_campaign_file(campaign.smsTest, file, campaign.dir, verdict);
    allReady &= ok;
    std::vector<std::string>* lines = ok ? ready : &refusals;
    if (lines != nullptr) lines->push_back(file.name + ": " + verdict);
  }
  return allReady;
}

int campaign_main(int argc, char** argv) {
  CampaignOptions options;
  int code = parse_campaign_arguments(argc, argv, options, stdout, stderr);
  if (code >= 0) return code;
  Campaign campaign;
  std::vector<std::string> refusals;
  std::vector<std::string> ready;
  if (!prepare_campaign(options, campaign, refusals) ||
      (!options.noCheck && !check_campaign(campaign, refusals, options.check ? &ready : nullptr))) {
    for (const std::string& r : ready) std::printf("sms_campaign: %s\n", r.c_str());
    std::fflush(stdout);
    for (const std::string& r : refusals) std::fprintf(stderr, "sms_campaign: %s\n", r.c_str());
    return kCampaignRefused;
  }
  if (options.check) {
    for (const std::string& r : ready) std::printf("sms_campaign: %s\n", r.c_str());
    return kCampaignDone;
  }
  return run_campaign(campaign, stdout, stderr);
}

}  // namespace smstest
