#include "sim/command_table.h"

#include <cctype>
#include <cstdlib>

#include "common/text.h"
#include "sim/command_handlers.h"

namespace smstest {

const char kOk[] = "\r\nOK\r\n";
const char kError[] = "\r\nERROR\r\n";

namespace {

// Splits "<a>,"<b>",<c>" at the commas outside double quotes.  False on a
// quote left open or bytes after a closing quote.
bool split_params(const std::string& text, std::vector<CommandParam>& out) {
  out.clear();
  size_t i = 0;
  for (;;) {
    CommandParam param;
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

// "AT+XXXX", "AT+XXXX?", "AT+XXXX=?", "AT+XXXX=<values>": the form and the
// values of `call.line`; `call.name` becomes the part before "=" or "?".
bool parse_extended(CommandCall& call) {
  size_t end = call.name.find_first_of("=?");
  std::string rest = end == std::string::npos ? std::string() : call.name.substr(end);
  call.name = call.name.substr(0, end);
  call.params.clear();
  if (end == std::string::npos) {
    call.form = CommandForm::execute;
  } else if (rest == "?") {
    call.form = CommandForm::read;
  } else if (rest == "=?") {
    call.form = CommandForm::test;
  } else if (rest[0] == '=') {
    call.form = CommandForm::set;
    return split_params(call.line.substr(end + 1), call.params);
  } else {
    return false;
  }
  return true;
}

bool matches(const ModemCommand& row, const std::string& name) {
  switch (row.match) {
    case CommandMatch::line:
      return name == row.name;
    case CommandMatch::prefix:
      return name.compare(0, std::char_traits<char>::length(row.name), row.name) == 0;
    case CommandMatch::extended:
      return name.substr(0, name.find_first_of("=?")) == row.name;
  }
  return false;
}

}  // namespace

const std::vector<ModemCommand>& command_table() {
  static const std::vector<ModemCommand> table = {
      // General commands.
      {"AT", CommandMatch::line, answer_at, nullptr},
      {"ATE0", CommandMatch::line, answer_ate0, nullptr},
      {"AT+CMEE", CommandMatch::extended, answer_cmee, nullptr},
      {"AT+CSCS", CommandMatch::extended, answer_cscs, nullptr},
      {"ATE1", CommandMatch::line, answer_ate1, nullptr},
      {"ATI", CommandMatch::line, answer_ati, nullptr},
      {"AT+CGMI", CommandMatch::extended, answer_cgmi, nullptr},
      {"AT+CGMM", CommandMatch::extended, answer_cgmm, nullptr},
      {"AT+CGMR", CommandMatch::extended, answer_cgmr, nullptr},
      {"AT+CGSN", CommandMatch::extended, answer_cgsn, nullptr},
      {"AT+CIMI", CommandMatch::extended, answer_cimi, nullptr},
      {"AT+CFUN", CommandMatch::extended, answer_cfun, nullptr},
      {"AT+CPIN", CommandMatch::extended, answer_cpin, nullptr},
      {"AT+CNUM", CommandMatch::extended, answer_cnum, nullptr},
      // The radio.
      {"AT+CREG", CommandMatch::extended, answer_creg, nullptr},
      {"AT+CGREG", CommandMatch::extended, answer_cgreg, nullptr},
      {"AT+CEREG", CommandMatch::extended, answer_cereg, nullptr},
      {"AT+COPS", CommandMatch::extended, answer_cops, nullptr},
      {"AT+CSQ", CommandMatch::extended, answer_csq, nullptr},
      {"AT+CESQ", CommandMatch::extended, answer_cesq, nullptr},
      // The proprietary SMS commands.
      {"AT!DASMS", CommandMatch::line, answer_dasms, nullptr},
      {"AT!SSMS=0,", CommandMatch::prefix, answer_ssms, nullptr},
      {"AT!GSMS?2,0", CommandMatch::line, answer_gsms, nullptr},
      {"AT!DSMS=3,0", CommandMatch::line, answer_dsms, nullptr},
      // The SMS commands of TS 27.005, with their PDU-mode forms.
      {"AT+CMGF", CommandMatch::extended, answer_cmgf, nullptr},
      {"AT+CSCA", CommandMatch::extended, answer_csca, nullptr},
      {"AT+CSMS", CommandMatch::extended, answer_csms, nullptr},
      {"AT+CSMP", CommandMatch::extended, answer_csmp, nullptr},
      {"AT+CSDH", CommandMatch::extended, answer_csdh, nullptr},
      {"AT+CNMI", CommandMatch::extended, answer_cnmi, nullptr},
      {"AT+CPMS", CommandMatch::extended, answer_cpms, nullptr},
      {"AT+CMGS", CommandMatch::extended, answer_cmgs, answer_cmgs_pdu},
      {"AT+CMGL", CommandMatch::extended, answer_cmgl, answer_cmgl_pdu},
      {"AT+CMGR", CommandMatch::extended, answer_cmgr, answer_cmgr_pdu},
      {"AT+CMGD", CommandMatch::extended, answer_cmgd, nullptr},
      {"AT+CNMA", CommandMatch::extended, answer_cnma, nullptr},
  };
  return table;
}

const ModemCommand* find_command(const std::string& name) {
  for (const ModemCommand& row : command_table()) {
    if (matches(row, name)) return &row;
  }
  return nullptr;
}

void answer_command(const std::string& line, ModemState& modem, CommandAnswer& answer) {
  answer.text = kError;
  CommandCall call;
  call.line = line;
  call.name = upper(line);
  const ModemCommand* row = find_command(call.name);
  if (row == nullptr) return;
  // A syntax error is a plain ERROR whatever the error mode.
  if (row->match == CommandMatch::extended && !parse_extended(call)) return;
  CommandHandler handler =
      !modem.textMode && row->pduHandler != nullptr ? row->pduHandler : row->handler;
  handler(call, modem, answer);
}

ModemState::ModemState(const ModemConfig& config)
    : faults(config.faults),
      store(config.faults.storageFull ? static_cast<int>(config.stored.size()) : config.storeSize),
      number(config.number),
      imsi(config.imsi.empty() ? default_imsi(config.radio.plmn, config.number) : config.imsi),
      imei(config.imei.empty() ? default_imei(config.number) : config.imei),
      radio(config.radio) {
  csms = config.faults.csms1 ? 1 : 0;
}

int ModemState::take_ref() {
  int ref = nextRef;
  nextRef = nextRef % 255 + 1;
  return ref;
}

std::string upper(const std::string& text) {
  std::string out = text;
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string info(const std::string& line) { return "\r\n" + line + "\r\n" + kOk; }

bool number_param(const CommandParam& param, int low, int high, int fallback, int& value) {
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

std::string send_prompt(const ModemState& modem) {
  return modem.faults.barePrompt ? "\r\n>" : "\r\n> ";
}

}  // namespace smstest
