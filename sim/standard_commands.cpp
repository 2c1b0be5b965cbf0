#include "sim/standard_commands.h"

#include <cctype>
#include <vector>

#include "common/text.h"
#include "pdu/phone_number.h"
#include "sim/modem.h"
#include "sim/pdu_mode.h"

namespace smstest {

namespace {

const char kOk[] = "\r\nOK\r\n";
const char kError[] = "\r\nERROR\r\n";
const char kCtrlZ = 0x1A;
const char kEsc = 0x1B;
const char kBackspace = 0x08;

// Longest text a send takes: one SMS of the 7-bit default alphabet.
const size_t kMaxSeptets = 160;
// Bytes of a text entry past this are dropped (a client that never ends it).
const size_t kMaxEntry = 8192;

// TS 27.005 message service failure codes used here.
const int kOperationNotAllowed = 302;
const int kOperationNotSupported = 303;
const int kInvalidPduParameter = 304;
const int kInvalidTextParameter = 305;
const int kSimBusy = 314;
const int kMemoryFailure = 320;
const int kInvalidIndex = 321;
const int kUnknownError = 500;
// TS 27.007 equipment error codes used here.
const int kCmeNotSupported = 4;
const int kCmeSimBusy = 14;

const char* const kStatusNames[] = {"REC UNREAD", "REC READ", "STO UNSENT", "STO SENT", "ALL"};

std::string upper(const std::string& text) {
  std::string out = text;
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string info(const std::string& line) { return "\r\n" + line + "\r\n" + kOk; }

struct Param {
  std::string value;
  bool quoted = false;
  bool empty() const { return value.empty() && !quoted; }
};

// Splits "<a>,"<b>",<c>" at the commas outside double quotes.  False on a
// quote left open or bytes after a closing quote.
bool split_params(const std::string& text, std::vector<Param>& out) {
  out.clear();
  size_t i = 0;
  for (;;) {
    Param param;
    if (i < text.size() && text[i] == '"') {
      size_t close = text.find('"', i + 1);
      if (close == std::string::npos) return false;
      param.value = text.substr(i + 1, close - i - 1);
      param.quoted = true;
      i = close + 1;
      if (i < text.size() && text[i] != ',') return false;
    } else {
      size_t comma = text.find(',', i);
      param.value = text.substr(i, comma == std::string::npos ? std::string::npos : comma - i);
      if (param.value.find('"') != std::string::npos) return false;
      i = comma == std::string::npos ? text.size() : comma;
    }
    out.push_back(param);
    if (i >= text.size()) return true;
    ++i;  // the comma
  }
}

// A number parameter: digits only, unquoted, within [low, high]; an empty
// one is `fallback`.
bool number_param(const Param& param, int low, int high, int fallback, int& value) {
  if (param.empty()) {
    value = fallback;
    return true;
  }
  if (param.quoted || param.value.size() > 6) return false;
  for (char c : param.value) {
    if (c < '0' || c > '9') return false;
  }
  value = std::atoi(param.value.c_str());
  return value >= low && value <= high;
}

bool phone_number(const std::string& text) { return is_phone_number(text, kMaxNumberDigits); }

}  // namespace

struct StandardCommands::Params {
  enum Form { execute, read, test, set };
  std::string base;  // "AT+CMGL"
  Form form = execute;
  std::vector<Param> values;
};

namespace {

// "AT+XXXX", "AT+XXXX?", "AT+XXXX=?", "AT+XXXX=<values>".
bool parse_command(const std::string& command, std::string& base, int& form,
                   std::vector<Param>& values) {
  std::string name = upper(command);
  size_t end = name.find_first_of("=?");
  base = name.substr(0, end);
  values.clear();
  if (end == std::string::npos) {
    form = 0;
  } else if (name.compare(end, std::string::npos, "?") == 0) {
    form = 1;
  } else if (name.compare(end, std::string::npos, "=?") == 0) {
    form = 2;
  } else if (name[end] == '=') {
    form = 3;
    return split_params(command.substr(end + 1), values);
  } else {
    return false;
  }
  return true;
}

}  // namespace

bool StandardCommands::claims(const std::string& name) {
  static const char* const kNames[] = {"AT+CMEE", "AT+CMGF", "AT+CSCS", "AT+CNMI", "AT+CPMS",
                                       "AT+CMGS", "AT+CMGL", "AT+CMGR", "AT+CMGD"};
  std::string base = name.substr(0, name.find_first_of("=?"));
  for (const char* known : kNames) {
    if (base == known) return true;
  }
  return false;
}

StandardAnswer StandardCommands::answer(const std::string& command, MessageStore& store) {
  StandardAnswer out;
  Params p;
  int form = 0;
  if (!parse_command(command, p.base, form, p.values)) {
    out.text = kError;  // syntax: plain ERROR whatever the error mode
    return out;
  }
  p.form = static_cast<Params::Form>(form);
  if (p.base == "AT+CMEE") {
    out.text = cmee(p);
  } else if (p.base == "AT+CMGF") {
    out.text = cmgf(p);
  } else if (p.base == "AT+CSCS") {
    out.text = cscs(p);
  } else if (p.base == "AT+CNMI") {
    out.text = cnmi(p);
  } else if (p.base == "AT+CPMS") {
    out.text = cpms(p, store);
  } else if (p.base == "AT+CMGS") {
    out.text = cmgs(p);
  } else if (p.base == "AT+CMGL") {
    out.text = cmgl(p, store);
  } else if (p.base == "AT+CMGR") {
    out.text = cmgr(p, store);
  } else if (p.base == "AT+CMGD") {
    out.text = cmgd(p, store);
  } else {
    out.text = kError;
  }
  return out;
}

std::string StandardCommands::cmee(const Params& p) {
  if (p.form == Params::read) return info(format("+CMEE: %d", cmee_));
  if (p.form == Params::test) return info("+CMEE: (0-2)");
  if (p.form != Params::set || p.values.size() != 1) return kError;
  int value = 0;
  if (!number_param(p.values[0], 0, 9, 0, value)) return kError;
  if (value > 2) return cme_error(kCmeNotSupported);
  cmee_ = value;
  return kOk;
}

std::string StandardCommands::cmgf(const Params& p) {
  if (p.form == Params::read) return info(format("+CMGF: %d", textMode_ ? 1 : 0));
  if (p.form == Params::test) return info("+CMGF: (0,1)");
  if (p.form != Params::set || p.values.size() != 1) return kError;
  int value = 0;
  if (!number_param(p.values[0], 0, 9, 0, value)) return kError;
  if (value > 1) return cms_error(kOperationNotSupported);
  textMode_ = value == 1;
  return kOk;
}

std::string StandardCommands::cscs(const Params& p) {
  if (p.form == Params::read) {
    return info(format("+CSCS: \"%s\"", charset_ == TeCharset::ira ? "IRA" : "GSM"));
  }
  if (p.form == Params::test) return info("+CSCS: (\"IRA\",\"GSM\")");
  if (p.form != Params::set || p.values.size() != 1 || p.values[0].empty()) return kError;
  std::string value = upper(p.values[0].value);
  if (value == "IRA") {
    charset_ = TeCharset::ira;
  } else if (value == "GSM") {
    charset_ = TeCharset::gsm;
  } else {
    return cme_error(kCmeNotSupported);  // UCS2, HEX, ...: not offered
  }
  return kOk;
}

// Indications of new messages: <mode> 0 to 3, <mt> 0 (none) or 1
// ("+CMTI:"); no cell broadcasts; status reports and the buffer flush are
// accepted, but this network sends no status reports and mode 0 buffers
// nothing.
std::string StandardCommands::cnmi(const Params& p) {
  if (faults_.noCnmi) return kError;
  if (p.form == Params::read) {
    return info(format("+CNMI: %d,%d,0,%d,%d", cnmiMode_, cnmiMt_, cnmiDs_, cnmiBfr_));
  }
  if (p.form == Params::test) return info("+CNMI: (0-3),(0,1),(0),(0,1),(0,1)");
  if (p.form != Params::set || p.values.size() > 5) return kError;
  static const int kHighest[] = {3, 1, 0, 1, 1};
  int values[5] = {0, 0, 0, 0, 0};
  for (size_t i = 0; i < p.values.size(); ++i) {
    if (!number_param(p.values[i], 0, 9, 0, values[i])) return kError;
    if (values[i] > kHighest[i]) return cms_error(kOperationNotSupported);
  }
  cnmiMode_ = values[0];
  cnmiMt_ = values[1];
  cnmiDs_ = values[3];
  cnmiBfr_ = values[4];
  return kOk;
}

// One memory, "SM", for reading, writing and receiving alike.
std::string StandardCommands::cpms(const Params& p, MessageStore& store) {
  if (p.form == Params::test) return info("+CPMS: (\"SM\"),(\"SM\"),(\"SM\")");
  if (p.form != Params::read && p.form != Params::set) return kError;
  if (p.form == Params::set) {
    if (p.values.empty() || p.values.size() > 3) return kError;
    for (const Param& memory : p.values) {
      if (!memory.quoted) return kError;
    }
  }
  if (simBusy_) return cme_error(kCmeSimBusy);
  int used = store.used(), total = store.capacity();
  if (p.form == Params::read) {
    return info(format("+CPMS: \"SM\",%d,%d,\"SM\",%d,%d,\"SM\",%d,%d", used, total, used, total,
                       used, total));
  }
  for (const Param& memory : p.values) {
    if (upper(memory.value) != "SM") return cms_error(kOperationNotAllowed);
  }
  return info(format("+CPMS: %d,%d,%d,%d,%d,%d", used, total, used, total, used, total));
}

std::string StandardCommands::cmgs(const Params& p) {
  if (p.form == Params::test) return kOk;
  if (p.form != Params::set || p.values.empty() || p.values.size() > 2) return kError;
  int type = 129;
  if (p.values.size() == 2 && !number_param(p.values[1], 0, 255, 129, type)) return kError;
  if (!textMode_) return cmgs_pdu(p);
  if (simBusy_) return cms_error(kSimBusy);
  std::string to = text_from_te(charset_, p.values[0].value);
  if (!phone_number(to) || (type != 129 && type != 145 && type != 161)) {
    return cms_error(kInvalidTextParameter);
  }
  entry_ = true;
  entryStarted_ = true;
  entryPdu_ = false;
  entryTo_ = to;
  entryText_.clear();
  return prompt();
}

// "AT+CMGS=<length>": the octets of the TPDU that follows in hex.  A quoted
// destination (the text-mode form) or a second parameter is no PDU-mode
// command.
std::string StandardCommands::cmgs_pdu(const Params& p) {
  const Param& length = p.values[0];
  int value = 0;
  bool number = !length.empty() && number_param(length, 0, 999999, 0, value);
  if (!length.quoted && !length.empty() && !number) return kError;  // not even a number
  if (simBusy_) return cms_error(kSimBusy);
  if (p.values.size() != 1 || !number || value < 1 || value > kMaxSubmitLength) {
    return cms_error(kInvalidPduParameter);
  }
  entry_ = true;
  entryStarted_ = true;
  entryPdu_ = true;
  entryLength_ = value;
  entryTo_.clear();
  entryText_.clear();
  return prompt();
}

std::string StandardCommands::prompt() const { return faults_.barePrompt ? "\r\n>" : "\r\n> "; }

size_t StandardCommands::take_text(const char* data, size_t size, bool echo, std::string& output,
                                   bool& ended) {
  ended = false;
  for (size_t i = 0; i < size; ++i) {
    char c = data[i];
    bool first = entryStarted_;
    entryStarted_ = false;
    if (c == kCtrlZ || c == kEsc) {
      entryText_.push_back(c);  // kept for the record; finish_entry takes it off
      ended = true;
      return i + 1;
    }
    if (c == '\n' && first) continue;
    if (c == kBackspace) {
      if (!entryText_.empty()) entryText_.pop_back();
      if (echo) output.push_back(c);
      continue;
    }
    if (entryText_.size() < kMaxEntry) entryText_.push_back(c);
    // Every CR starts a new line of the text, under a new prompt.
    if (c == '\r') {
      output += prompt();
    } else if (echo) {
      output.push_back(c);
    }
  }
  return size;
}

StandardAnswer StandardCommands::finish_entry(int& nextRef, std::string& recorded) {
  StandardAnswer out;
  recorded = entryText_;
  char end = entryText_.empty() ? kEsc : entryText_.back();
  std::string typed = entryText_.substr(0, entryText_.empty() ? 0 : entryText_.size() - 1);
  entry_ = false;
  entryText_.clear();
  if (end == kEsc) {
    out.text = kOk;
    return out;
  }
  out.late = faults_.confirmLate;
  std::string to = entryTo_;
  std::string message;
  if (entryPdu_) {
    // The modem reads the PDU before anything goes to the network.
    SubmittedPdu submitted;
    std::string reason;
    if (!read_submitted_pdu(typed, entryLength_, submitted, reason)) {
      out.text = cms_error(kInvalidPduParameter);
      out.late = 0;
      return out;
    }
    to = submitted.to;
    message = submitted.text;
  } else {
    message = text_from_te(charset_, typed);
  }
  if (faults_.sendError > 0) {
    out.text = cms_error(faults_.sendError);
  } else if (faults_.sendRefused) {
    out.text = cms_error(kUnknownError);
  } else if (!entryPdu_ && septet_count(message) > kMaxSeptets) {
    out.text = cms_error(kInvalidTextParameter);
    out.late = 0;
  } else {
    out.sends = true;
    out.to = to;
    out.message = message;
    out.ref = nextRef;
    nextRef = nextRef % 255 + 1;
    if (faults_.sendUnconfirmed) {
      out.sendsAtCommand = true;
      out.late = 0;
    } else if (faults_.cmgsFirst) {
      out.text = format("+CMGS: %d\r\n", out.ref);
    } else {
      out.text = format("\r\n+CMGS: %d\r\n\r\nOK\r\n", out.ref);
    }
  }
  return out;
}

void StandardCommands::drop_entry() {
  entry_ = false;
  entryText_.clear();
}

std::string StandardCommands::cmgl(const Params& p, MessageStore& store) {
  if (!textMode_) return cmgl_pdu(p, store);
  if (p.form == Params::test) {
    return info("+CMGL: (\"REC UNREAD\",\"REC READ\",\"STO UNSENT\",\"STO SENT\",\"ALL\")");
  }
  // Without a status the listing shows the unread messages.
  std::string status = "REC UNREAD";
  if (p.form == Params::set) {
    if (p.values.size() != 1 || p.values[0].empty()) return kError;
    status = upper(p.values[0].value);
  } else if (p.form != Params::execute) {
    return kError;
  }
  if (simBusy_) return cme_error(kCmeSimBusy);
  bool known = false;
  for (const char* name : kStatusNames) known = known || status == name;
  if (!known || (p.form == Params::set && !p.values[0].quoted)) {
    return cms_error(kInvalidTextParameter);
  }
  if (faults_.pollError && store.used() == 0) return cms_error(kInvalidIndex);
  std::string lines;
  for (StoredMessage* m : store.by_index()) {
    // The store holds received messages only: nothing is "STO UNSENT" or "STO SENT".
    bool shown = status == "ALL" || (status == "REC UNREAD" && m->unread) ||
                 (status == "REC READ" && !m->unread);
    if (!shown) continue;
    lines += format("+CMGL: %d,", m->index) + text_mode_entry(*m) + "\r\n";
    m->unread = false;  // listed, it counts as read
  }
  return lines.empty() ? std::string(kOk) : "\r\n" + lines + kOk;
}

// "+CMGL: <index>,<stat>,,<length>" CR LF and the PDU for each message, with
// the numeric <stat>: 0 received unread (without one), 1 received read, 2
// and 3 stored unsent and sent (never held here), 4 all.
std::string StandardCommands::cmgl_pdu(const Params& p, MessageStore& store) {
  if (p.form == Params::test) return info("+CMGL: (0-4)");
  int status = 0;
  if (p.form == Params::set) {
    if (p.values.size() != 1 || p.values[0].empty()) return kError;
  } else if (p.form != Params::execute) {
    return kError;
  }
  if (simBusy_) return cme_error(kCmeSimBusy);
  if (p.form == Params::set && !number_param(p.values[0], 0, 4, 0, status)) {
    return cms_error(kInvalidPduParameter);  // "ALL" and the other text-mode names
  }
  if (faults_.pollError && store.used() == 0) return cms_error(kInvalidIndex);
  std::string lines;
  std::vector<StoredMessage*> listed;
  for (StoredMessage* m : store.by_index()) {
    bool shown = status == 4 || (status == 0 && m->unread) || (status == 1 && !m->unread);
    if (!shown) continue;
    ListedPdu pdu;
    std::string reason;
    if (!listed_pdu(*m, faults_.badPdu, pdu, reason)) return cms_error(kUnknownError);
    lines +=
        format("+CMGL: %d,%d,,%d\r\n", m->index, m->unread ? 0 : 1, pdu.length) + pdu.hex + "\r\n";
    listed.push_back(m);
  }
  for (StoredMessage* m : listed) m->unread = false;  // listed, they count as read
  return lines.empty() ? std::string(kOk) : "\r\n" + lines + kOk;
}

std::string StandardCommands::cmgr(const Params& p, MessageStore& store) {
  if (p.form == Params::test) return kOk;
  if (p.form != Params::set || p.values.size() != 1 || p.values[0].empty()) return kError;
  int index = 0;
  if (!number_param(p.values[0], 0, 999999, 0, index)) return kError;
  if (simBusy_) return cme_error(kCmeSimBusy);
  StoredMessage* m = store.find(index);
  if (m == nullptr) return cms_error(kInvalidIndex);
  std::string answer;
  if (textMode_) {
    answer = "\r\n+CMGR: " + text_mode_entry(*m) + "\r\n" + kOk;
  } else {
    // "+CMGR: <stat>,,<length>" CR LF and the PDU.
    ListedPdu pdu;
    std::string reason;
    if (!listed_pdu(*m, faults_.badPdu, pdu, reason)) return cms_error(kUnknownError);
    answer =
        format("\r\n+CMGR: %d,,%d\r\n", m->unread ? 0 : 1, pdu.length) + pdu.hex + "\r\n" + kOk;
  }
  m->unread = false;
  return answer;
}

std::string StandardCommands::cmgd(const Params& p, MessageStore& store) {
  if (p.form == Params::test) {
    std::string used;
    for (const StoredMessage* m : store.by_index()) {
      used += (used.empty() ? "" : ",") + format("%d", m->index);
    }
    return info("+CMGD: (" + used + "),(0-4)");
  }
  if (p.form != Params::set || p.values.empty() || p.values.size() > 2) return kError;
  int index = 0, flag = 0;
  if (p.values[0].empty() || !number_param(p.values[0], 0, 999999, 0, index)) return kError;
  if (p.values.size() == 2 && !number_param(p.values[1], 0, 9, 0, flag)) return kError;
  if (simBusy_) return cme_error(kCmeSimBusy);
  if (flag > 4) return cms_error(kOperationNotAllowed);
  // With <delflag> 0 the index must name a place of the store; an empty place
  // deletes nothing and is no error.  Otherwise the index is ignored.
  if (flag == 0 && (index < 1 || index > store.capacity())) return cms_error(kInvalidIndex);
  if (faults_.deleteRefused) return cms_error(kMemoryFailure);
  if (flag == 0) {
    store.remove(index);
  } else if (flag == 4) {
    store.clear();
  } else {
    // 1: the read ones; 2 and 3 add sent and unsent ones, which this store never holds.
    store.remove_if([](const StoredMessage& m) { return !m.unread; });
  }
  return kOk;
}

// <stat>,<oa>,[<alpha>],<scts> then the text: the address and the text in the
// character set of the line.
std::string StandardCommands::text_mode_entry(const StoredMessage& m) const {
  return format("\"%s\",\"%s\",,\"%s\"\r\n", m.unread ? "REC UNREAD" : "REC READ",
                text_to_te(charset_, m.from).c_str(), time_stamp(m.arrived).c_str()) +
         text_to_te(charset_, m.text);
}

std::string StandardCommands::cms_error(int code) const {
  if (cmee_ == 0) return kError;
  if (cmee_ == 2) return format("\r\n+CMS ERROR: %s\r\n", cms_error_text(code));
  return format("\r\n+CMS ERROR: %d\r\n", code);
}

std::string StandardCommands::cme_error(int code) const {
  if (cmee_ == 0) return kError;
  if (cmee_ == 2) return format("\r\n+CME ERROR: %s\r\n", cme_error_text(code));
  return format("\r\n+CME ERROR: %d\r\n", code);
}

NoticeMode StandardCommands::notice_mode() const {
  if (faults_.noCnmi) return NoticeMode::none;
  if (faults_.unsolicited > 0) return NoticeMode::whenFree;  // a modem that announces anyway
  if (cnmiMt_ != 1 || cnmiMode_ == 0) return NoticeMode::none;
  return cnmiMode_ == 1 ? NoticeMode::discardWhenBusy : NoticeMode::whenFree;
}

std::string StandardCommands::notice(int index) {
  return format("\r\n+CMTI: \"SM\",%d\r\n", index);
}

const char* cms_error_text(int code) {
  switch (code) {
    case 300:
      return "ME failure";
    case 301:
      return "SMS service of ME reserved";
    case 302:
      return "operation not allowed";
    case 303:
      return "operation not supported";
    case 304:
      return "invalid PDU mode parameter";
    case 305:
      return "invalid text mode parameter";
    case 310:
      return "SIM not inserted";
    case 311:
      return "SIM PIN required";
    case 312:
      return "PH-SIM PIN required";
    case 313:
      return "SIM failure";
    case 314:
      return "SIM busy";
    case 315:
      return "SIM wrong";
    case 316:
      return "SIM PUK required";
    case 317:
      return "SIM PIN2 required";
    case 318:
      return "SIM PUK2 required";
    case 320:
      return "memory failure";
    case 321:
      return "invalid memory index";
    case 322:
      return "memory full";
    case 330:
      return "SMSC address unknown";
    case 331:
      return "no network service";
    case 332:
      return "network timeout";
    case 340:
      return "no +CNMA acknowledgement expected";
    default:
      return "unknown error";
  }
}

const char* cme_error_text(int code) {
  switch (code) {
    case 0:
      return "phone failure";
    case 3:
      return "operation not allowed";
    case 4:
      return "operation not supported";
    case 10:
      return "SIM not inserted";
    case 13:
      return "SIM failure";
    case 14:
      return "SIM busy";
    case 20:
      return "memory full";
    case 21:
      return "invalid index";
    case 30:
      return "no network service";
    case 31:
      return "network timeout";
    case 50:
      return "incorrect parameters";
    default:
      return "unknown";
  }
}

}  // namespace smstest
