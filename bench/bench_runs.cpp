#include "bench/bench_runs.h"

#include <errno.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "common/text.h"

namespace smstest {

double RoundTripOutcome::delivery_error() const {
  if (!hasResult || !traced) return kNoValue;
  return result.deliveryTime - trace.trueDelivery;
}

double RoundTripOutcome::send_error() const {
  if (!hasResult || !traced) return kNoValue;
  return result.sendTime - trace.true_confirmation();
}

std::string modem_name(int port) { return format("COM%d", port); }

std::string modem_number(int port) { return format("555%04d", port); }

bool make_dirs(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    std::string part = path.substr(0, slash);
    if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) return true;
  }
}

bool start_round_trip(ChildGroup& group, const std::string& tool, const std::string& portsDir,
                      const RoundTripJob& job, std::string& error) {
  if (!make_dirs(job.dir)) {
    error = "cannot create " + job.dir;
    return false;
  }
  // With toPort 0 one modem does both ends: the message goes to its own
  // number.
  std::string record =
      format("%s|%d|%d|%s|%s|0|0|115200|%d|115200|0", job.name.c_str(), job.testTimeout, job.port,
             job.number.c_str(), job.text.c_str(), job.toPort);
  if (!job.commandSet.empty()) record += "|" + job.commandSet;
  std::string content = "SMS_TEST\n" + job.resultName + "\n" + record + "\n";
  for (const std::string& option : job.options) content += option + "\n";
  if (!write_file(job.dir + "/cmd.txt", content)) {
    error = "cannot write the command file in " + job.dir;
    return false;
  }
  ChildCommand command;
  command.argv = {tool, "cmd.txt", "status.txt", job.dataTime, "45.5N73.6W"};
  command.cwd = job.dir;
  command.env = {"SMS_TEST_PORTS=" + portsDir};
  command.stderrPath = job.dir + "/stderr.txt";
  if (!group.start(command)) {
    error = group.lastError;
    return false;
  }
  return true;
}

RoundTripOutcome collect_round_trip(const RoundTripJob& job, const ChildResult& process,
                                    const std::string& portsDir) {
  RoundTripOutcome outcome;
  outcome.process = process;
  outcome.status = read_file(job.dir + "/status.txt");
  ResultFile results = parse_result_file(read_file(job.dir + "/" + job.resultName));
  for (const ResultTimes& line : results.lines) {
    if (line.name == job.name && line.dataTime == job.dataTime) {
      outcome.result = line;
      outcome.hasResult = true;
    }
  }
  const std::vector<NetworkEvent> network = parse_network_log(read_file(portsDir + "/network.log"));
  const std::vector<TrafficEvent> traffic =
      parse_traffic_log(read_file(portsDir + "/" + modem_name(job.port) + ".traffic.log"));
  const std::vector<TrafficEvent> toTraffic =
      job.toPort == 0
          ? traffic
          : parse_traffic_log(read_file(portsDir + "/" + modem_name(job.toPort) + ".traffic.log"));
  const std::string marker = "tImE" + job.dataTime + "T";
  outcome.traced = trace_round_trip(network, traffic, toTraffic, marker, outcome.trace,
                                    outcome.traceError, job.parts);
  return outcome;
}

bool run_round_trips(const std::string& tool, const std::string& portsDir,
                     const std::vector<RoundTripJob>& jobs, double timeoutSeconds,
                     std::vector<RoundTripOutcome>& outcomes, std::string& error) {
  outcomes.clear();
  ChildGroup group;
  for (const RoundTripJob& job : jobs) {
    if (!start_round_trip(group, tool, portsDir, job, error)) return false;
  }
  std::vector<ChildResult> processes = group.wait_all(timeoutSeconds);
  for (size_t i = 0; i < jobs.size(); ++i) {
    outcomes.push_back(collect_round_trip(jobs[i], processes[i], portsDir));
  }
  return true;
}

}  // namespace smstest
