// sms_store: loads campaign directories' runs.jsonl into a result store.
// Everything but the command line is in the store library (runs_pusher.h).

#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "common/version.h"
#include "store/runs_pusher.h"
#include "store/store.h"

namespace {

const char kDescription[] =
    "sms_store: a result store for the run records of many campaigns and test PCs.\n"
    "\n"
    "sms_store push [--probe NAME] URL OUT... loads the runs.jsonl of each\n"
    "campaign directory OUT into the store at URL, keyed by probe (--probe NAME,\n"
    "default this host's name), campaign (the directory's name) and run: a run\n"
    "stored before is not added again, and a last line without its line end (a\n"
    "campaign still writing it) is left for a later push.  URL is sqlite:PATH (an\n"
    "SQLite file, created if missing) or postgresql://... (a PostgreSQL server;\n"
    "with PostGIS the runs get a point geometry and the view runs_map).  The\n"
    "schema is created on first use.\n";

const char kFooter[] =
    "Exit code: 0 when every directory went in; 1 when the store can't be reached\n"
    "or a runs.jsonl can't be read (what went in before stays in); 2 for a\n"
    "command-line error.";

constexpr int kPushed = 0;
constexpr int kPushFailed = 1;
constexpr int kUsage = 2;

int push(const std::string& url, const std::string& probe, const std::vector<std::string>& dirs) {
  int exitCode = kPushed;
  for (const std::string& dir : dirs) {
    smstest::RunsPusher pusher(url, probe, dir);
    const bool ok = pusher.catch_up();
    std::printf("%s: %lld runs added, %lld stored before (probe %s, campaign %s)\n", dir.c_str(),
                pusher.added(), pusher.already(), probe.c_str(), pusher.campaign().c_str());
    std::fflush(stdout);
    if (pusher.differing() > 0) {
      std::fprintf(stderr,
                   "sms_store: %s: %lld run%s stored before with another record under probe %s, "
                   "campaign %s: another campaign directory of that name? Push it under a name of "
                   "its own (rename it)\n",
                   pusher.file().c_str(), pusher.differing(), pusher.differing() == 1 ? "" : "s",
                   probe.c_str(), pusher.campaign().c_str());
    }
    if (pusher.skipped() > 0) {
      std::fprintf(stderr,
                   "sms_store: %s: %lld line%s skipped (not run records), the first at line %lld\n",
                   pusher.file().c_str(), pusher.skipped(), pusher.skipped() == 1 ? "" : "s",
                   pusher.first_skipped_line());
    }
    if (pusher.partial_line()) {
      std::fprintf(stderr,
                   "sms_store: %s: the last line has no line end yet; it is left for a later "
                   "push\n",
                   pusher.file().c_str());
    }
    if (!ok) {
      std::fprintf(stderr, "sms_store: %s\n", pusher.lastError.c_str());
      exitCode = kPushFailed;
    }
  }
  return exitCode;
}

int run_main(int argc, char** argv) {
  CLI::App app(kDescription, "sms_store");
  app.footer(kFooter);
  app.set_version_flag("--version", std::string("sms_store ") + smstest::kVersion);
  app.require_subcommand(1);
  std::string url;
  std::string probe = smstest::host_name();
  std::vector<std::string> dirs;
  CLI::App* pushCommand = app.add_subcommand("push", "load campaign directories into the store");
  pushCommand->add_option("URL", url, "sqlite:PATH or postgresql://...")->required();
  pushCommand->add_option("OUT", dirs, "campaign directories (or their runs.jsonl)")
      ->required()
      ->type_name("DIR");
  pushCommand
      ->add_option("--probe", probe, "the name stored with each run (default: this host's name)")
      ->type_name("NAME");
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return kUsage;
  }
  if (probe.empty()) {
    std::fprintf(stderr, "sms_store: --probe: the probe name is empty\n");
    return kUsage;
  }
  std::string problem;
  if (!smstest::store_url_usable(url, &problem)) {
    std::fprintf(stderr, "sms_store: %s\n", problem.c_str());
    return kUsage;
  }
  return push(url, probe, dirs);
}

}  // namespace

// A library's exception that escapes (out of memory, say) ends the program
// with a message and the usage-error code instead of an abort.
int main(int argc, char** argv) {
  try {
    return run_main(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", "sms_store", e.what());
    return kUsage;
  }
}
