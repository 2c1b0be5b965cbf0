#include "sim/network.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "common/clock.h"
#include "common/text.h"
#include "sim/pdu_mode.h"

namespace smstest {

namespace {

// Seconds between the last answer of a modem that hangs up and its hang-up.
const double kHangupGrace = 0.3;
// Seconds a modem in message service 1 waits for the AT+CNMA of a +CDS
// before it turns routing off.
const double kAckWindow = 3.0;
// Seconds the held parts of a concatenated message wait for the rest after
// the first of them was due (part-order).
const double kPartWait = 30.0;
// Seconds between the parts of one message let go together (part-order).
const double kPartGap = 0.1;

}  // namespace

SimNetwork::SimNetwork(const SimConfig& config)
    : config_(config),
      lines_(config.modems.size(), nullptr),
      outputFree_(config.modems.size(), 0),
      hungUp_(config.modems.size(), 0),
      closing_(config.modems.size(), 0),
      stalled_(config.modems.size(), 0),
      clients_(config.modems.size(), 0),
      sessionStart_(config.modems.size(), std::nan("")),
      held_(config.modems.size()),
      gpsLines_(config.gpsReceivers.size(), nullptr),
      gpsPlugged_(config.gpsReceivers.size(), 1) {
  for (const ModemConfig& modem : config.modems) {
    modems_.emplace_back(modem);
    partDraws_.emplace_back(modem.faults.partSeed);
    traffic_.push_back(std::make_unique<RecordFile>());
    int follows = -1;
    for (size_t g = 0; g < config.gpsReceivers.size(); ++g)
      if (config.gpsReceivers[g].name == modem.follows) follows = static_cast<int>(g);
    follows_.push_back(follows);
  }
}

bool SimNetwork::open_records(const std::string& dir) {
  for (size_t i = 0; i < modems_.size(); ++i) {
    std::string path = dir + "/" + modems_[i].config().name + ".traffic.log";
    if (!traffic_[i]->open(path, lastError)) return false;
  }
  return networkRecord_.open(dir + "/network.log", lastError);
}

void SimNetwork::attach_line(size_t index, SimLine* line) { lines_[index] = line; }

void SimNetwork::attach_gps_line(size_t index, SimGpsLine* line) { gpsLines_[index] = line; }

void SimNetwork::start(double now) {
  start_ = now;
  calendarStart_ = calendar_seconds();
  // Messages stored before the run arrived a minute apart, the last one a
  // minute before the simulator was ready.
  int64_t calendar = calendar_seconds();
  for (size_t i = 0; i < modems_.size(); ++i) {
    const ModemConfig& modem = modems_[i].config();
    for (size_t k = 0; k < modem.stored.size(); ++k) {
      const PresetMessage& message = modem.stored[k];
      int64_t minutesBefore = static_cast<int64_t>(modem.stored.size() - k);
      modems_[i].store(message.from, message.text, calendar - 60 * minutesBefore);
      record_network(now, "stored", modem.name, message.from, modem.number, "-", "-", message.text);
    }
  }
  for (const Injection& injection : config_.injections) {
    int to = config_.find_modem(injection.modem);
    if (to < 0) continue;
    schedule(now + injection.at, [this, to, injection](double t) {
      const std::string& number = modems_[to].config().number;
      record_network(t, "injected", modems_[to].config().name, injection.from, number, "-", "-",
                     injection.text);
      deliver(to, injection.from, injection.text, {}, "-", t, t);
    });
  }
  for (size_t i = 0; i < modems_.size(); ++i) {
    for (const RadioChange& change : modems_[i].config().radioChanges) {
      std::string settings = change.settings;
      schedule(now + change.at, [this, i, settings](double t) { change_radio(i, settings, t); });
    }
  }
  for (size_t i = 0; i < modems_.size(); ++i) {
    double period = modems_[i].config().faults.unsolicited;
    if (period > 0) schedule(now + period, [this, i](double t) { unsolicited_tick(i, t); });
  }
  for (size_t g = 0; g < gpsLines_.size(); ++g) gps_tick(g, now);
}

void SimNetwork::gps_tick(size_t index, double now) {
  const GpsReceiverConfig& gps = config_.gpsReceivers[index];
  // Whole seconds after ready: the sentences' times tick as a receiver's do.
  double elapsed = std::round(now - start_);
  double routeTime = gps.route.route_time(elapsed);
  bool plugged = !gps.route.unplugged_at(routeTime);
  if (plugged != (gpsPlugged_[index] != 0)) {
    gpsPlugged_[index] = plugged ? 1 : 0;
    record_network(now, plugged ? "gps-plugged" : "gps-unplugged", gps.name, "-", "-", "-", "-",
                   "");
    if (gpsLines_[index] != nullptr) gpsLines_[index]->set_plugged(plugged);
  }
  if (plugged && gpsLines_[index] != nullptr) {
    gpsLines_[index]->write(route_sentences(route_fix(gps.route, routeTime),
                                            !gps.route.no_fix_at(routeTime),
                                            calendarStart_ + static_cast<int64_t>(elapsed)));
  }
  for (size_t i = 0; i < modems_.size(); ++i) {
    if (follows_[i] == static_cast<int>(index)) update_coverage(i, now);
  }
  schedule(start_ + elapsed + 1, [this, index](double t) { gps_tick(index, t); });
}

void SimNetwork::update_coverage(size_t index, double now) {
  const RouteStretch* hole = hole_of(index, now);
  const bool none = hole != nullptr && hole->late == 0;
  std::string lines;
  if (!modems_[index].set_no_coverage(none, lines)) return;
  traffic_[index]->write(now - start_, "radio", none ? "no-coverage" : "coverage");
  write_registration(index, lines, now);
}

const RouteStretch* SimNetwork::hole_of(size_t index, double now) const {
  if (follows_[index] < 0) return nullptr;
  const GpsRoute& route = config_.gpsReceivers[static_cast<size_t>(follows_[index])].route;
  return route.hole_at(route.route_time(now - start_));
}

void SimNetwork::receive(size_t index, const char* data, size_t size, double now) {
  if (hungUp_[index] || closing_[index] || stalled_[index]) return;
  if (follows_[index] >= 0) update_coverage(index, now);
  double simBusy = modems_[index].config().faults.simBusy;
  if (simBusy > 0) {
    // The SIM is busy for a while after the port opens, counted from the
    // open or from the first bytes, whichever the simulator saw first.
    if (std::isnan(sessionStart_[index])) sessionStart_[index] = now;
    modems_[index].set_sim_busy(now < sessionStart_[index] + simBusy);
  }
  std::vector<Reply> replies;
  modems_[index].receive(data, size, replies);
  for (const Reply& reply : replies) {
    if (!reply.entryEcho) traffic_[index]->write(now - start_, "cmd", escape_bytes(reply.command));
    play(index, reply, now);
    if (reply.stall) {
      // Answered, then deaf: what follows is never read.
      stalled_[index] = 1;
      traffic_[index]->write(now - start_, "stall", "");
      if (lines_[index] != nullptr) lines_[index]->stall();
      break;
    }
    if (reply.hangUp) break;  // what follows goes to a closed line
  }
  release_held(index, now);
  run_due(now);
}

void SimNetwork::client_opened(size_t index, double now) {
  if (clients_[index] == 0 && std::isnan(sessionStart_[index])) sessionStart_[index] = now;
  ++clients_[index];
  traffic_[index]->write(now - start_, "open", "");
}

void SimNetwork::client_closed(size_t index, double now) {
  if (clients_[index] > 0) --clients_[index];
  if (clients_[index] == 0) sessionStart_[index] = std::nan("");
  traffic_[index]->write(now - start_, "close", "");
  modems_[index].drop_input();
  release_held(index, now);
}

double SimNetwork::next_due() const {
  return events_.empty() ? std::numeric_limits<double>::infinity() : events_.top().at;
}

void SimNetwork::run_due(double now) {
  while (!events_.empty() && events_.top().at <= now) {
    Event event = events_.top();
    events_.pop();
    event.run(now);
  }
}

void SimNetwork::schedule(double at, std::function<void(double)> run) {
  events_.push(Event{at, order_++, std::move(run)});
}

// A modem answers one command after another: the pieces of a reply start
// once the previous reply's pieces are written, each after its own pause.
void SimNetwork::play(size_t index, const Reply& reply, double now) {
  if (reply.sends && reply.sendsAtCommand) take_message(index, reply, now);
  double at = std::max(now, outputFree_[index]);
  for (size_t k = 0; k < reply.pieces.size(); ++k) {
    at += reply.pieces[k].pause;
    bool last = k + 1 == reply.pieces.size();
    std::string bytes = reply.pieces[k].bytes;
    schedule(at, [this, index, bytes, last, reply](double t) {
      if (last && reply.sends && !reply.sendsAtCommand) take_message(index, reply, t);
      write(index, bytes, t);
    });
  }
  outputFree_[index] = at;
  if (reply.sends && !reply.sendsAtCommand && reply.pieces.empty()) {
    take_message(index, reply, now);
  }
  if (reply.hangUp) {
    // Closing the master side discards what the client has not read yet:
    // give it time to read the last answer first.
    closing_[index] = 1;
    schedule(at + kHangupGrace, [this, index](double t) {
      if (hungUp_[index]) return;
      hungUp_[index] = 1;
      traffic_[index]->write(t - start_, "hangup", "");
      if (lines_[index] != nullptr) lines_[index]->hang_up();
    });
  }
}

// Records go out before the bytes they describe: whoever has seen an answer
// finds it in the records.
void SimNetwork::write(size_t index, const std::string& bytes, double now) {
  bool writable = !hungUp_[index] && lines_[index] != nullptr;
  traffic_[index]->write(now - start_, writable ? "out" : "drop", escape_bytes(bytes));
  if (writable) lines_[index]->write(bytes);
}

void SimNetwork::take_message(size_t from, const Reply& reply, double now) {
  const ModemConfig& sender = modems_[from].config();
  std::string ref = format("%d", reply.ref);
  record_network(now, "sent", sender.name, sender.number, reply.to, ref, "-", reply.text);
  int to = config_.find_modem(reply.to);
  // The report that the service centre sends back, when one was asked for.
  SimReport report;
  report.reference = reply.ref;
  report.recipient = reply.to;
  report.taken = calendar_seconds();
  const bool wantsReport = reply.wantsReport;
  // Only numbers route: a destination spelled as a link name is an outside phone.
  if (to < 0 || modems_[to].config().number != reply.to) {
    record_network(now, "outside", sender.name, sender.number, reply.to, ref, "-", reply.text);
    if (wantsReport && sender.faults.outsideStatus >= 0) {
      report.status = sender.faults.outsideStatus;
      schedule(now + sender.faults.outsideDelay, [this, from, report](double t) mutable {
        report.discharged = calendar_seconds();
        send_status_report(from, report, t);
      });
    }
    return;
  }
  Carried message;
  message.from = from;
  message.to = static_cast<size_t>(to);
  message.fromNumber = sender.number;
  message.text = NetworkText(reply.text, reply.textUtf8);
  message.header = reply.header;
  message.ref = ref;
  message.sentAt = now;
  message.wantsReport = wantsReport;
  message.report = report;
  // Poor coverage where the sender is: the message is late.
  const RouteStretch* hole = hole_of(from, now);
  const double late = hole != nullptr ? hole->late : 0;
  carry(message, now + delay_to(message.to) + late);
}

void SimNetwork::carry(const Carried& message, double due) {
  ConcatenatedPart part;
  if (!concatenated_part(message.header, part)) {
    schedule_part(message, 0, due);
    return;
  }
  if (modems_[message.to].config().faults.partOrder == PartOrder::sent) {
    schedule_part(message, part.sequence, due);
    return;
  }
  const std::string key = format("%d %s %d %d", static_cast<int>(message.to),
                                 message.fromNumber.c_str(), part.reference, part.count);
  HeldParts& held = heldParts_[key];
  if (held.parts.empty()) {
    held.serial = ++heldSerial_;
    const uint64_t serial = held.serial;
    schedule(due + kPartWait, [this, key, serial](double t) { release_parts(key, serial, t); });
  }
  held.parts.push_back(HeldPart{message, part.sequence, due});
  std::vector<char> seen(static_cast<size_t>(part.count) + 1, 0);
  int distinct = 0;
  double last = due;
  for (const HeldPart& p : held.parts) {
    if (seen[static_cast<size_t>(p.sequence)] == 0) ++distinct;
    seen[static_cast<size_t>(p.sequence)] = 1;
    last = std::max(last, p.due);
  }
  if (distinct == part.count) {
    const uint64_t serial = held.serial;
    schedule(last, [this, key, serial](double t) { release_parts(key, serial, t); });
  }
}

void SimNetwork::release_parts(const std::string& key, uint64_t serial, double now) {
  auto it = heldParts_.find(key);
  if (it == heldParts_.end() || it->second.serial != serial) return;
  std::vector<HeldPart> parts = std::move(it->second.parts);
  heldParts_.erase(it);
  std::stable_sort(parts.begin(), parts.end(),
                   [](const HeldPart& a, const HeldPart& b) { return a.sequence < b.sequence; });
  const size_t to = parts.front().message.to;
  if (modems_[to].config().faults.partOrder == PartOrder::reverse) {
    std::reverse(parts.begin(), parts.end());
  } else {
    // Fisher-Yates on the raw draws of the generator, which the standard
    // fixes, so that a seed gives the same orders everywhere.
    std::mt19937& draw = partDraws_[to];
    for (size_t i = parts.size(); i > 1; --i) std::swap(parts[i - 1], parts[draw() % i]);
  }
  double at = now;
  for (const HeldPart& part : parts) {
    schedule_part(part.message, part.sequence, at);
    at += kPartGap;
  }
}

void SimNetwork::schedule_part(const Carried& message, int sequence, double due) {
  const ModemFaults& faults = modems_[message.to].config().faults;
  if (sequence > 0 && faults.delayPart == sequence) due += faults.delayPartBy;
  schedule(due, [this, message, sequence](double t) {
    const ModemConfig& receiver = modems_[message.to].config();
    if (sequence > 0 && receiver.faults.dropPart == sequence) {
      record_network(t, "lost", receiver.name, message.fromNumber, receiver.number, message.ref,
                     "-", message.text.text);
      return;
    }
    arrive(message, t);
    if (sequence > 0 && receiver.faults.duplicatePart == sequence) {
      deliver(message.to, message.fromNumber, message.text, message.header, message.ref,
              message.sentAt, t);
    }
  });
}

void SimNetwork::arrive(const Carried& message, double now) {
  if (!deliver(message.to, message.fromNumber, message.text, message.header, message.ref,
               message.sentAt, now) ||
      !message.wantsReport) {
    return;
  }
  SimReport report = message.report;
  report.discharged = calendar_seconds();
  schedule_reports(message.from, message.to, report, now);
}

// The destination's statuses, each its delay after the one before: the
// temporary ones, then the final one.
void SimNetwork::schedule_reports(size_t from, size_t to, const SimReport& report, double now) {
  const ModemFaults& faults = modems_[to].config().faults;
  double at = now;
  std::vector<int> statuses = faults.reportTemporary;
  statuses.push_back(faults.reportStatus);
  for (int status : statuses) {
    at += faults.reportDelay;
    SimReport r = report;
    r.status = status;
    schedule(at, [this, from, r](double t) { send_status_report(from, r, t); });
  }
}

void SimNetwork::send_status_report(size_t index, const SimReport& report, double now) {
  const ModemConfig& modem = modems_[index].config();
  record_network(now, "report", modem.name, "-", report.recipient, format("%d", report.reference),
                 "-", format("status=%d", report.status));
  int ackId = 0;
  const std::string bytes = modems_[index].take_status_report(report, ackId);
  if (!bytes.empty()) {
    schedule(std::max(now, outputFree_[index]), [this, index, bytes](double t) {
      if (modems_[index].in_text_entry()) {
        held_[index].push_back(bytes);
      } else {
        write(index, bytes, t);
      }
    });
  }
  if (ackId != 0) {
    schedule(now + kAckWindow, [this, index, ackId](double t) {
      if (modems_[index].drop_routing_unless_acknowledged(ackId)) {
        traffic_[index]->write(t - start_, "routing-off", "no AT+CNMA for a +CDS");
      }
    });
  }
}

bool SimNetwork::deliver(size_t to, const std::string& from, const NetworkText& message,
                         const std::vector<unsigned char>& header, const std::string& ref,
                         double sentAt, double now) {
  const std::string& text = message.text;
  SimModem& modem = modems_[to];
  const ModemConfig& receiver = modem.config();
  if (receiver.faults.lose) {
    record_network(now, "lost", receiver.name, from, receiver.number, ref, "-", text);
    return false;
  }
  std::string stored = alter_text(receiver.faults.alter, text);
  if (!modem.has_room()) {
    // A full store refuses the message (memory full, +CMS ERROR: 322); the
    // network does not try again, so the receiver never sees it.
    record_network(now, "refused", receiver.name, from, receiver.number, ref, "-", stored);
    return false;
  }
  record_network(now, "delivered", receiver.name, from, receiver.number, ref,
                 format("%.3f", now - sentAt), stored);
  int index = modem.store(from, stored, calendar_seconds(), header, message.utf8);
  announce(to, index, now);
  return true;
}

// Announced between answers, as a modem does when a message comes in; a
// modem whose indications are in mode 1 drops the line when an answer is
// under way.  A text entry holds the line until its answer is written.
void SimNetwork::announce(size_t to, int index, double now) {
  smstest::NoticeMode mode = modems_[to].notice_mode();
  if (mode == smstest::NoticeMode::none) return;
  bool busy = outputFree_[to] > now || modems_[to].in_text_entry();
  if (mode == smstest::NoticeMode::discardWhenBusy && busy) return;
  std::string notice = modems_[to].arrival_notice(index);
  schedule(std::max(now, outputFree_[to]), [this, to, notice](double t) {
    if (modems_[to].in_text_entry()) {
      held_[to].push_back(notice);
    } else {
      write(to, notice, t);
    }
  });
}

void SimNetwork::change_radio(size_t index, const std::string& settings, double now) {
  traffic_[index]->write(now - start_, "radio", settings);
  write_registration(index, modems_[index].change_radio(settings), now);
}

// The lines wait for the answer under way, and a text entry holds them until
// its answer is written, as new-message lines do.  Without a client they
// are lost, as on a modem whose port nobody reads.
void SimNetwork::write_registration(size_t index, const std::string& lines, double now) {
  if (lines.empty() || clients_[index] == 0 || hungUp_[index]) return;
  schedule(std::max(now, outputFree_[index]), [this, index, lines](double t) {
    if (modems_[index].in_text_entry()) {
      held_[index].push_back(lines);
    } else {
      write(index, lines, t);
    }
  });
}

void SimNetwork::release_held(size_t index, double now) {
  if (held_[index].empty() || modems_[index].in_text_entry()) return;
  std::vector<std::string> notices;
  notices.swap(held_[index]);
  for (const std::string& notice : notices) {
    schedule(std::max(now, outputFree_[index]),
             [this, index, notice](double t) { write(index, notice, t); });
  }
}

void SimNetwork::unsolicited_tick(size_t index, double now) {
  if (hungUp_[index]) return;
  if (clients_[index] > 0 && outputFree_[index] <= now && !modems_[index].in_text_entry()) {
    write(index, "\r\n+CREG: 1\r\n", now);
  }
  double period = modems_[index].config().faults.unsolicited;
  schedule(now + period, [this, index](double t) { unsolicited_tick(index, t); });
}

void SimNetwork::record_network(double now, const char* event, const std::string& port,
                                const std::string& from, const std::string& to,
                                const std::string& ref, const std::string& delay,
                                const std::string& text) {
  networkRecord_.write(now - start_, event,
                       format("%s %s %s %s %s %s", port.c_str(), from.c_str(), to.c_str(),
                              ref.c_str(), delay.c_str(), escape_bytes(text).c_str()));
}

double SimNetwork::delay_to(size_t index) const {
  double delay = modems_[index].config().delay;
  return delay >= 0 ? delay : config_.delay;
}

}  // namespace smstest
