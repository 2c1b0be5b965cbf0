#include "driver/run_record.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>
#include <utility>
#include <vector>

#include "common/clock.h"
#include "common/interrupt.h"
#include "common/text.h"
#include "common/utf8.h"
#include "common/version.h"
#include "driver/measures.h"
#include "driver/message_text.h"
#include "driver/platform.h"
#include "driver/radio_conditions.h"
#include "pdu/gsm7_encode.h"
#include "pdu/unicode_text.h"

namespace smstest {

namespace {

using Json = nlohmann::ordered_json;

constexpr int64_t kMicrosPerSecond = 1000000;

Json text_value(const std::string& bytes) { return Json(utf8_or_latin1(bytes)); }

std::string without_line_end(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

// A measure of the result line as a number; null when it was not taken.
Json measure_value(const std::string& text) {
  if (text.empty() || text == kNotMeasured) return nullptr;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || *end != '\0' || !std::isfinite(value)) return nullptr;
  return value;
}

const char* command_set_name(CommandSet set) {
  switch (set) {
    case CommandSet::kText:
      return "text";
    case CommandSet::kPdu:
      return "pdu";
    case CommandSet::kProprietary:
      break;
  }
  return "proprietary";
}

// Floor division for the calendar arithmetic.
int64_t floor_div(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a - 1) / b) - 1; }

// The fields of a message in parts: partsSent always, the others null
// unless the message was sent or picked up in parts.  `reading` gives the
// calendar time of a counter reading.
template <typename Reading>
void write_parts(Json& record, const RunNotes& notes, int64_t frequency, const Reading& reading) {
  record["partsSent"] = notes.partsSent.size();
  const bool sentInParts = notes.concatReference >= 0;
  if (!sentInParts && !notes.hasParts) {
    for (const char* name :
         {"partsExpected", "partsReceived", "concatReference", "concatReferenceBits", "parts",
          "partSpread", "partsOutOfOrder", "partsDuplicated"}) {
      record[name] = nullptr;
    }
    return;
  }
  record["partsExpected"] = notes.hasParts ? Json(notes.partsExpected) : Json(nullptr);
  record["partsReceived"] = notes.hasParts         ? Json(notes.parts_received())
                            : notes.noPartReceived ? Json(0)
                                                   : Json(nullptr);
  record["concatReference"] = sentInParts ? Json(notes.concatReference) : Json(nullptr);
  record["concatReferenceBits"] = sentInParts ? Json(notes.concatReferenceBits) : Json(nullptr);
  // One entry per sequence number: the send of the part of the message sent
  // (in a reflector, of the reply) and the finding of the part of the
  // message picked up.
  Json parts = Json::array();
  const size_t count = std::max(notes.partsSent.size(), notes.partsFound.size());
  for (size_t k = 0; k < count; ++k) {
    Json part;
    part["sequence"] = k + 1;
    const bool sent = k < notes.partsSent.size();
    const PartReceipt* receipt = sent ? &notes.partsSent[k] : nullptr;
    part["reference"] = sent && receipt->reference >= 0 ? Json(receipt->reference) : Json(nullptr);
    part["sendStart"] = sent ? reading(receipt->sendStart) : Json(nullptr);
    part["confirmed"] = sent ? reading(receipt->confirmedAt) : Json(nullptr);
    part["found"] = k < notes.partsFound.size() ? reading(notes.partsFound[k]) : Json(nullptr);
    parts.push_back(part);
  }
  record["parts"] = parts;
  record["partSpread"] =
      notes.hasParts ? Json(elapsed_seconds(notes.firstPartFound, notes.lastPartFound, frequency))
                     : Json(nullptr);
  record["partsOutOfOrder"] = notes.hasParts ? Json(notes.partsOutOfOrder) : Json(nullptr);
  record["partsDuplicated"] = notes.hasParts ? Json(notes.partsDuplicated) : Json(nullptr);
}

}  // namespace

const char* run_phase_name(RunPhase phase) {
  switch (phase) {
    case RunPhase::kSetup:
      return "setup";
    case RunPhase::kOpen:
      return "open";
    case RunPhase::kSend:
      return "send";
    case RunPhase::kReceive:
      return "receive";
    case RunPhase::kCheck:
      return "check";
    case RunPhase::kReply:
      return "reply";
    case RunPhase::kReportFile:
      break;
  }
  return "report-file";
}

std::string record_path(const CommandOptions& options) {
  if (options.hasRecord) return options.record;
  const char* env = std::getenv("SMS_TEST_RECORD");
  return env != nullptr ? std::string(env) : std::string();
}

std::string iso_utc_microseconds(int64_t micros) {
  const int64_t seconds = floor_div(micros, kMicrosPerSecond);
  const int64_t fraction = micros - seconds * kMicrosPerSecond;
  int64_t days = floor_div(seconds, 86400);
  const int64_t ofDay = seconds - days * 86400;
  // The civil date of a day count (proleptic Gregorian calendar).
  days += 719468;
  const int64_t era = floor_div(days, 146097);
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t mp = (5 * dayOfYear + 2) / 153;
  const int64_t day = dayOfYear - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
  return format("%04lld-%02lld-%02lldT%02lld:%02lld:%02lld.%06lldZ", static_cast<long long>(year),
                static_cast<long long>(month), static_cast<long long>(day),
                static_cast<long long>(ofDay / 3600), static_cast<long long>(ofDay / 60 % 60),
                static_cast<long long>(ofDay % 60), static_cast<long long>(fraction));
}

bool modem_error_of(const std::string& text, std::string& type, int& code) {
  for (const char* kind : {"CMS", "CME"}) {
    const std::string tag = format("+%s ERROR:", kind);
    const size_t at = text.find(tag);
    if (at == std::string::npos) continue;
    size_t p = at + tag.size();
    while (p < text.size() && text[p] == ' ') ++p;
    long long value = 0;
    size_t digits = 0;
    for (; p < text.size() && text[p] >= '0' && text[p] <= '9' && digits < 9; ++p, ++digits) {
      value = value * 10 + (text[p] - '0');
    }
    if (digits == 0) continue;
    type = kind;
    code = static_cast<int>(value);
    return true;
  }
  return false;
}

RunRecorder::RunRecorder(std::string path, const SmsTestParams& params, CommandSet commandSet,
                         const SmsTestResult& result, int64_t startReading, int64_t startMicros,
                         Clock& clock, const RunRadio* radio)
    : path_(std::move(path)),
      params_(params),
      commandSet_(commandSet),
      result_(result),
      startReading_(startReading),
      startMicros_(startMicros),
      clock_(clock),
      radio_(radio) {}

int64_t RunRecorder::calendar_of(int64_t reading) const {
  const int64_t frequency = result_.counterFrequency;
  if (frequency <= 0) return startMicros_;
  const bool before = reading < startReading_;
  const uint64_t ticks =
      before ? static_cast<uint64_t>(startReading_) - static_cast<uint64_t>(reading)
             : static_cast<uint64_t>(reading) - static_cast<uint64_t>(startReading_);
  const uint64_t f = static_cast<uint64_t>(frequency);
  const int64_t micros =
      static_cast<int64_t>(ticks / f * kMicrosPerSecond + ticks % f * kMicrosPerSecond / f);
  return before ? startMicros_ - micros : startMicros_ + micros;
}

std::string RunRecorder::record_line(int exitCode, int64_t endReading) const {
  const RunNotes& notes = result_.notes;
  const bool reflector = params_.reflectMode != 0;
  Json record;
  record["schemaVersion"] = kRunRecordVersion;
  record["tool"] = "SMS_TEST";
  record["toolVersion"] = kVersion;
  record["testName"] = text_value(result_.testName);
  record["dataTime"] = text_value(result_.dataTime);
  record["latLong"] = text_value(result_.latLong);
  record["mode"] = reflector ? "reflector" : "round-trip";
  record["commandSet"] = command_set_name(commandSet_);

  record["exitCode"] = exitCode;
  const int signal = interrupt_signal();
  record["signal"] = signal != 0 && exitCode == 128 + signal ? Json(signal) : Json(nullptr);
  record["statusCode"] = notes.hasStatus ? Json(notes.statusCode) : Json(nullptr);
  // The status file's text, or a start-up refusal's message, without the
  // line end a failure text may carry.
  Json statusText = nullptr;
  if (notes.hasStatus) {
    statusText = text_value(without_line_end(notes.statusText));
  } else if (!notes.refusal.empty()) {
    statusText = text_value(without_line_end(notes.refusal));
  }
  record["statusText"] = statusText;
  record["statusFileWritten"] = notes.statusFileWritten;
  record["resultLineWritten"] = notes.resultLineWritten;
  record["resultStatus"] = result_.result_status();
  const bool succeeded = notes.hasStatus && notes.statusCode == 0;
  const bool reported = notes.statusFileWritten && notes.resultLineWritten && exitCode == 0;
  if (succeeded) {
    record["failurePhase"] = reported ? Json(nullptr) : Json(run_phase_name(RunPhase::kReportFile));
  } else {
    record["failurePhase"] = run_phase_name(notes.phase);
  }
  std::string errorType;
  int errorCode = 0;
  const bool modemError = !succeeded && modem_error_of(notes.statusText, errorType, errorCode);
  record["modemErrorType"] = modemError ? Json(errorType) : Json(nullptr);
  record["modemErrorCode"] = modemError ? Json(errorCode) : Json(nullptr);

  record["sendTime"] = measure_value(result_.sendTime);
  record["deliveryTime"] = measure_value(result_.deliveryTime);
  record["replyTime"] = measure_value(result_.replyTime);
  record["totalTime"] = measure_value(result_.totalTime);
  record["accuracy"] = measure_value(result_.accuracy);

  auto reading = [this](bool taken, int64_t value) {
    return taken ? Json(iso_utc_microseconds(calendar_of(value))) : Json(nullptr);
  };
  record["runStart"] = iso_utc_microseconds(startMicros_);
  record["sendStart"] = reading(notes.hasSend, notes.sendStart);
  record["sendConfirmed"] = reading(notes.hasSend, notes.sendConfirmed);
  record["messageFound"] = reading(notes.hasFound, notes.messageFound);
  record["replyConfirmed"] = reading(notes.hasReply, notes.replyConfirmed);
  record["runEnd"] = iso_utc_microseconds(calendar_of(endReading));

  record["fromPort"] = params_.fromPort;
  record["fromBaud"] = params_.fromBaud;
  record["toPort"] = params_.toPort;
  record["toBaud"] = params_.toBaud;
  record["toNumber"] = text_value(params_.toNumber);
  record["sender"] = notes.hasSender ? text_value(notes.sender) : Json(nullptr);

  const bool sent = !reflector || notes.hasReplyText;
  const std::string& message = reflector ? notes.replyText : params_.messageText;
  // The standard sets send characters, ISO-8859-1 or UTF-8 ones; the
  // proprietary set bytes, whose characters are not known.
  Json sentValue = text_value(message);
  if (commandSet_ != CommandSet::kProprietary) {
    sentValue = notes.utf8Text ? message : utf8_of_latin1(message);
  }
  record["messageSent"] = sent ? sentValue : Json(nullptr);
  // A UTF-8 text counts characters, and has a 7-bit form when each of its
  // characters has one (the euro sign as an escape pair).
  const MessageText sentText{message, notes.utf8Text};
  std::vector<unsigned char> septets;
  const bool gsm7 = notes.utf8Text ? utf8_to_septets(message, septets) : maps_to_gsm7(message);
  record["messageLength"] = sent ? Json(message_text_length(sentText)) : Json(nullptr);
  record["messageAlphabet"] = !sent ? Json(nullptr) : gsm7 ? "gsm7" : "ucs2";
  record["resultFile"] = text_value(result_.resultPath);
  write_parts(record, notes, result_.counterFrequency, [this](int64_t value) {
    return value != kNoReading ? Json(iso_utc_microseconds(calendar_of(value))) : Json(nullptr);
  });
  if (notes.reportRequested) {
    // Status reports: only in the records of runs that asked for one.
    record["reportRequested"] = true;
    record["reportReceived"] = reading(notes.hasReport, notes.reportReceived);
    record["confirmTime"] =
        notes.hasReport && notes.hasSend
            ? Json(elapsed_seconds(notes.sendStart, notes.reportReceived, result_.counterFrequency))
            : Json(nullptr);
    record["reportStatus"] = notes.hasReport ? Json(notes.reportStatus) : Json(nullptr);
    record["reportClass"] = notes.reportClass;
    record["reportTemporary"] = notes.reportTemporary;
    record["centreDelivery"] =
        notes.hasReport && notes.hasCentreDelivery ? Json(notes.centreDelivery) : Json(nullptr);
    record["reportVia"] = notes.hasReport ? Json(notes.reportVia) : Json(nullptr);
  }
  if (radio_ != nullptr) {
    radio_->write(record);
  } else {
    record["modems"] = nullptr;
    record["registeredAtSend"] = nullptr;
  }
  return record.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

int RunRecorder::finish(int exitCode) const {
  if (path_.empty()) return exitCode;
  int64_t endReading = startReading_;
  if (!clock_.read_performance_counter(endReading)) endReading = startReading_;
  if (!append_line(path_, record_line(exitCode, endReading))) {
    std::fprintf(stderr, "Cannot write run record %s\n", path_.c_str());
    std::fflush(stderr);
  }
  return exitCode;
}

}  // namespace smstest
