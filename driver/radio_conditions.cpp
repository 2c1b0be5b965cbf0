#include "driver/radio_conditions.h"

#include <nlohmann/json.hpp>

#include "driver/run_record.h"
#include "driver/test_sequences.h"
#include "modem/at_channel.h"
#include "modem/sms_session.h"

namespace smstest {

namespace {

using Json = nlohmann::ordered_json;

Json text_or_null(const std::string& text) { return text.empty() ? Json(nullptr) : Json(text); }

template <typename T>
Json value_or_null(const std::optional<T>& value) {
  return value ? Json(*value) : Json(nullptr);
}

Json identity_json(const ModemIdentity& id) {
  return Json{{"manufacturer", text_or_null(id.manufacturer)},
              {"model", text_or_null(id.model)},
              {"revision", text_or_null(id.revision)},
              {"imei", text_or_null(id.imei)},
              {"homeNetwork", text_or_null(id.homeNetwork)}};
}

}  // namespace

bool radio_wanted(CommandSet commandSet, int option) {
  if (option >= 0) return option == 1;
  return commandSet != CommandSet::kProprietary;
}

Json snapshot_json(const RadioSnapshot& s) {
  Json out;
  out["at"] = s.at;
  out["time"] = iso_utc_microseconds(s.calendarMicros);
  out["stat"] = value_or_null(s.stat);
  out["registered"] = value_or_null(s.registered());
  out["technology"] = text_or_null(s.technology);
  out["operator"] = text_or_null(s.operatorId);
  out["lac"] = text_or_null(s.lac);
  out["cellId"] = text_or_null(s.cellId);
  out["rssiDbm"] = value_or_null(s.rssiDbm);
  out["rscpDbm"] = value_or_null(s.rscpDbm);
  out["ecnoDb"] = value_or_null(s.ecnoDb);
  out["rsrqDb"] = value_or_null(s.rsrqDb);
  out["rsrpDbm"] = value_or_null(s.rsrpDbm);
  return out;
}

RunRadio::Modem* RunRadio::find(SmsSession& session) {
  for (auto& modem : modems_) {
    if (modem->session == &session) return modem.get();
  }
  return nullptr;
}

void RunRadio::add(SmsSession& session, int port, const char* role) {
  if (!enabled_) return;
  Modem* modem = find(session);
  if (modem == nullptr) {
    modems_.push_back(std::make_unique<Modem>());
    modem = modems_.back().get();
    modem->session = &session;
    modem->port = port;
    if (AtChannel* channel = session.at_channel()) {
      modem->watch = std::make_unique<RadioWatch>(*channel);
    }
  }
  for (const std::string& r : modem->roles) {
    if (r == role) return;
  }
  modem->roles.emplace_back(role);
}

void RunRadio::take_notices(Modem& modem) {
  AtChannel* channel = modem.session->at_channel();
  if (channel == nullptr || !modem.watch) return;
  Notice notice;
  while (channel->reader.take_notice(NoticeKind::kRegistration, notice)) {
    RadioSnapshot s = modem.watch->from_notice(notice);
    // +CREG, +CGREG and +CEREG report one change three times.
    if (!modem.radio.empty()) {
      const RadioSnapshot& last = modem.radio.back();
      if (last.at == "urc" && last.stat == s.stat && last.lac == s.lac && last.cellId == s.cellId &&
          last.technology == s.technology) {
        continue;
      }
    }
    modem.radio.push_back(s);
  }
}

void RunRadio::at_open() {
  for (auto& modem : modems_) {
    if (!modem->watch) continue;
    modem->radio.push_back(modem->watch->snapshot("open"));
    modem->watch->identify(modem->identity, modem->radio.back().operatorId);
    modem->identified = true;
  }
}

void RunRadio::take(SmsSession& session, const char* at) {
  Modem* modem = find(session);
  if (modem == nullptr || !modem->watch) return;
  take_notices(*modem);
  modem->radio.push_back(modem->watch->snapshot(at));
  if (std::string(at) == "send") registeredAtSend_ = modem->radio.back().registered();
}

void RunRadio::write(Json& record) const {
  if (modems_.empty()) {
    record["modems"] = nullptr;
    record["registeredAtSend"] = nullptr;
    return;
  }
  Json modems = Json::array();
  for (const auto& modem : modems_) {
    Json radio = Json::array();
    for (const RadioSnapshot& s : modem->radio) radio.push_back(snapshot_json(s));
    modems.push_back(
        Json{{"port", modem->port},
             {"roles", modem->roles},
             {"identity", modem->identified ? identity_json(modem->identity) : Json(nullptr)},
             {"radio", radio}});
  }
  record["modems"] = modems;
  record["registeredAtSend"] = value_or_null(registeredAtSend_);
}

void take_radio(TestRun& run, SmsSession& session, const char* at) {
  if (run.radio != nullptr) run.radio->take(session, at);
}

}  // namespace smstest
