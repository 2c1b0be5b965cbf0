// The simulated network: the modems, the messages travelling between them,
// the outside phones, and the time line of everything that happens later
// (answer pieces, late confirmations, deliveries, injections, unsolicited
// lines).  It knows no file descriptors and reads no clock: the platform
// layer (simulator_posix.cpp) hands it the client's bytes with the time of
// their arrival, asks when the next event is due, and runs it then; tests
// do the same with a clock of their own.
//
// Times are seconds of a monotonic clock.  A message's delivery delay runs
// from the moment the last byte of its send confirmation was written (or,
// for a modem that never confirms, from the moment the command arrived) to
// the moment it is stored on the receiving modem.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <queue>
#include <random>
#include <string>
#include <vector>

#include "sim/modem.h"
#include "sim/records.h"
#include "sim/sim_config.h"

namespace smstest {

// The line of one modem as the network sees it.
class SimLine {
 public:
  virtual ~SimLine() = default;
  // Writes bytes to the client, or keeps them until the terminal takes them.
  virtual void write(const std::string& bytes) = 0;
  // Closes the line for good (the modem hangs up).
  virtual void hang_up() = 0;
  // Stops reading the line for good and lets its input queue fill up, so
  // that the client's writes no longer go through.
  virtual void stall() {}
};

// The line of a simulated GPS receiver.
class SimGpsLine {
 public:
  virtual ~SimGpsLine() = default;
  // Writes sentences to the client; dropped while unplugged or when the
  // client does not take them.
  virtual void write(const std::string& bytes) = 0;
  // Unplugs the receiver (its link goes away) or plugs it back in.
  virtual void set_plugged(bool plugged) = 0;
};

class SimNetwork {
 public:
  explicit SimNetwork(const SimConfig& config);

  // Creates DIR/<name>.traffic.log for each modem and DIR/network.log.
  // False with the reason in `lastError`.  Without it nothing is recorded.
  bool open_records(const std::string& dir);

  // Connects modem `index` to its line; the line must outlive the network.
  // A modem without a line drops everything it writes.
  void attach_line(size_t index, SimLine* line);
  // Connects GPS receiver `index` (of config.gpsReceivers) to its line.
  void attach_gps_line(size_t index, SimGpsLine* line);

  // The simulator is ready at `now`: record times count from here, the
  // messages stored before the run are put in their stores, and the
  // injections and periodic unsolicited lines are scheduled.
  void start(double now);

  // Bytes written by the client of modem `index`, arrived at `now`.
  // Answers due at once are written before this returns.
  void receive(size_t index, const char* data, size_t size, double now);

  // A client opened or closed the port of modem `index`.  Periodic
  // unsolicited lines are written only while a client is there.
  void client_opened(size_t index, double now);
  void client_closed(size_t index, double now);

  // When the next scheduled event is due; infinity when none is.
  double next_due() const;

  // Runs every event due at or before `now`, in the order of their times.
  void run_due(double now);

  size_t modem_count() const { return modems_.size(); }
  const SimModem& modem(size_t index) const { return modems_[index]; }
  bool hung_up(size_t index) const { return hungUp_[index]; }
  int clients(size_t index) const { return clients_[index]; }

  std::string lastError;

 private:
  struct Event {
    double at;
    uint64_t order;
    std::function<void(double)> run;
    bool operator>(const Event& other) const {
      return at != other.at ? at > other.at : order > other.order;
    }
  };

  // A message on its way to a modem of the network.
  struct Carried {
    size_t from = 0;  // the sending modem
    size_t to = 0;    // the receiving modem
    std::string fromNumber;
    NetworkText text;                   // UTF-8 when a character lies beyond U+00FF
    std::vector<unsigned char> header;  // the elements of its user-data header
    std::string ref;
    double sentAt = 0;  // when the network took it
    bool wantsReport = false;
    SimReport report;
  };
  // One held part of a concatenated message (part-order).
  struct HeldPart {
    Carried message;
    int sequence = 0;
    double due = 0;  // when it would have arrived
  };
  struct HeldParts {
    uint64_t serial = 0;  // tells this message from a later one with the same key
    std::vector<HeldPart> parts;
  };

  void schedule(double at, std::function<void(double)> run);
  // Carries `message` to its modem, due there at `due`; the receiver's part
  // faults act on the parts of a concatenated message.
  void carry(const Carried& message, double due);
  // Schedules part `sequence` (0 for a single message) at `due`, with the
  // receiver's faults on that part.
  void schedule_part(const Carried& message, int sequence, double due);
  // Delivers the held parts of `key` in the receiver's part order.
  void release_parts(const std::string& key, uint64_t serial, double now);
  // The message is stored (or lost, or refused) and its reports scheduled.
  void arrive(const Carried& message, double now);
  void play(size_t index, const Reply& reply, double now);
  void write(size_t index, const std::string& bytes, double now);
  void take_message(size_t from, const Reply& reply, double now);
  // False when the message was lost or refused.  `header`: the elements of
  // its user-data header, stored with it; empty for none.
  bool deliver(size_t to, const std::string& from, const NetworkText& message,
               const std::vector<unsigned char>& header, const std::string& ref, double sentAt,
               double now);
  void schedule_reports(size_t from, size_t to, const SimReport& report, double now);
  // Hands a status report to modem `index` (SimModem::take_status_report)
  // and writes what it announces.
  void send_status_report(size_t index, const SimReport& report, double now);
  void unsolicited_tick(size_t index, double now);
  // GPS receiver `index` sends its sentences (or is unplugged) at `now`,
  // and again a second later.
  void gps_tick(size_t index, double now);
  // The hole of the route that modem `index` rides along at `now`; null
  // when it has coverage.
  const RouteStretch* hole_of(size_t index, double now) const;
  void announce(size_t to, int index, double now);
  // Applies a scheduled radio change to modem `index` and writes the
  // registration lines it leads to, between answers.
  void change_radio(size_t index, const std::string& settings, double now);
  // Puts modem `index` in or out of coverage as the hole of its route at
  // `now` says, and writes the registration lines that leads to.
  void update_coverage(size_t index, double now);
  // Writes registration lines to modem `index` between answers, after a
  // text entry, and only while a client is there.
  void write_registration(size_t index, const std::string& lines, double now);
  void release_held(size_t index, double now);
  void record_network(double now, const char* event, const std::string& port,
                      const std::string& from, const std::string& to, const std::string& ref,
                      const std::string& delay, const std::string& text);
  double delay_to(size_t index) const;

  SimConfig config_;
  std::vector<SimModem> modems_;
  std::vector<SimLine*> lines_;
  std::vector<double> outputFree_;  // when each modem's scheduled output ends
  std::vector<char> hungUp_;
  std::vector<char> closing_;  // hangs up soon: takes no more commands
  std::vector<char> stalled_;  // reads nothing more
  std::vector<int> clients_;   // clients holding each port open

  // When a client was first seen on each port since the last close: the
  // start of its SIM-busy time; NaN while there is none.
  std::vector<double> sessionStart_;
  // "+CMTI:" lines that wait for the end of a text entry on each port.
  std::vector<std::vector<std::string>> held_;
  std::vector<SimGpsLine*> gpsLines_;
  std::vector<char> gpsPlugged_;
  std::vector<int> follows_;   // per modem: the GPS receiver it rides with, -1 for none
  int64_t calendarStart_ = 0;  // calendar seconds at start()
  std::vector<std::unique_ptr<RecordFile>> traffic_;
  RecordFile networkRecord_;
  double start_ = 0;
  uint64_t order_ = 0;
  std::priority_queue<Event, std::vector<Event>, std::greater<Event>> events_;
  // Parts held for part-order, by receiver, sender, reference and count.
  std::map<std::string, HeldParts> heldParts_;
  uint64_t heldSerial_ = 0;
  std::vector<std::mt19937> partDraws_;  // per modem: the draws of part-order=random
};

}  // namespace smstest
