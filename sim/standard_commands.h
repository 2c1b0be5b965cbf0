// The standard SMS commands of a simulated modem (3GPP TS 27.005 in text
// mode, with the TS 27.007 error reporting and character set commands), as a
// cellular modem offers them beside its proprietary commands: AT+CMEE,
// AT+CMGF, AT+CSCS, AT+CNMI, AT+CPMS, AT+CMGS with its prompt and text
// entry, AT+CMGL, AT+CMGR and AT+CMGD.  They work on the modem's one message
// store (message_store.h).  The modem (modem.h) hands every command of the
// set here, and every byte while a text entry is open; it adds the echo and
// the faults that reshape whole answers.  No I/O, no clock: the network
// tells it when the SIM is busy.
//
// Settings live as long as the modem, across port reopens, as on a modem
// that stays powered.  At start: PDU mode (AT+CMGF=0), error codes off
// (AT+CMEE=0), character set "GSM", no new-message indications (AT+CNMI=0,0).
// In PDU mode AT+CMGS=<length> takes an SMS-SUBMIT in hex after its prompt,
// and AT+CMGL=<stat> and AT+CMGR list stored messages as SMS-DELIVER PDUs
// (pdu_mode.h); the text-mode forms of these commands answer
// "+CMS ERROR: 304" there, as the PDU-mode forms answer 305 in text mode.
#pragma once

#include <cstddef>
#include <string>

#include "sim/charset.h"
#include "sim/message_store.h"
#include "sim/sim_config.h"

namespace smstest {

// How the modem announces a message stored on it with "+CMTI:".
enum class NoticeMode {
  none,             // not at all
  whenFree,         // once the answer under way (or the text entry) is over
  discardWhenBusy,  // only when no answer is under way (AT+CNMI mode 1)
};

// What the set answers to one command, or to the end of a text entry.
struct StandardAnswer {
  std::string text;             // the answer with its final result code, or the prompt
  double late = 0;              // seconds by which `text` comes after the echo
  bool sends = false;           // a message goes to the network ...
  bool sendsAtCommand = false;  // ... at once (else when `text` has been written)
  std::string to;               // its destination
  std::string message;          // its text as the network carries it
  int ref = 0;                  // its reference in "+CMGS: <ref>"
};

class StandardCommands {
 public:
  explicit StandardCommands(const ModemFaults& faults) : faults_(faults) {}

  // Whether `name` (a command line in upper case) is a command of this set,
  // in any of its forms (=, ?, =?, or none).
  static bool claims(const std::string& name);

  // Answers one command line of the set (as received, without its line
  // end).  A valid AT+CMGS opens a text entry (in PDU mode: the entry of the
  // PDU's hex) and answers the prompt.
  StandardAnswer answer(const std::string& command, MessageStore& store);

  // True from the send prompt to the Ctrl-Z or ESC that ends the text.
  bool in_entry() const { return entry_; }

  // Takes bytes of an open text entry from `data`; stops right after the
  // Ctrl-Z (0x1A) or ESC (0x1B) that ends it and returns how many bytes it
  // used.  Appends to `output` what the modem writes back at once: the echo
  // of the text while `echo` is on, and the prompt again after every CR.
  // A LF right after the prompt (the rest of a CR LF line end) is skipped, a
  // backspace takes back the last byte.  `ended` tells whether the entry
  // ended.
  size_t take_text(const char* data, size_t size, bool echo, std::string& output, bool& ended);

  // The answer to an entry that ended: OK after an ESC (nothing sent); after
  // a Ctrl-Z the send's confirmation with the reference `nextRef` (which then
  // counts on, 1 to 255), or its error (in PDU mode +CMS ERROR: 304 for a
  // PDU that does not decode or whose TPDU is not <length> octets).
  // `recorded` gets the text as typed with its final byte, for the records.
  StandardAnswer finish_entry(int& nextRef, std::string& recorded);

  // Forgets an open entry without an answer (the client closed the port).
  void drop_entry();

  // Whether the SIM is busy for the commands that follow.
  void set_sim_busy(bool busy) { simBusy_ = busy; }

  NoticeMode notice_mode() const;

  // "\r\n+CMTI: \"SM\",<index>\r\n".
  static std::string notice(int index);

  bool text_mode() const { return textMode_; }
  int error_mode() const { return cmee_; }
  TeCharset charset() const { return charset_; }

 private:
  struct Params;

  std::string cmee(const Params& p);
  std::string cmgf(const Params& p);
  std::string cscs(const Params& p);
  std::string cnmi(const Params& p);
  std::string cpms(const Params& p, MessageStore& store);
  std::string cmgs(const Params& p);
  std::string cmgs_pdu(const Params& p);
  std::string cmgl(const Params& p, MessageStore& store);
  std::string cmgl_pdu(const Params& p, MessageStore& store);
  std::string cmgr(const Params& p, MessageStore& store);
  std::string cmgd(const Params& p, MessageStore& store);

  // A message as AT+CMGL and AT+CMGR show it in text mode: the header after
  // "+CMGL: <index>," or "+CMGR: ", a line end, the text.
  std::string text_mode_entry(const StoredMessage& message) const;

  // Final result codes as the error mode (AT+CMEE) gives them.
  std::string cms_error(int code) const;
  std::string cme_error(int code) const;
  std::string prompt() const;

  ModemFaults faults_;
  bool textMode_ = false;
  int cmee_ = 0;
  TeCharset charset_ = TeCharset::gsm;
  int cnmiMode_ = 0;
  int cnmiMt_ = 0;
  int cnmiDs_ = 0;
  int cnmiBfr_ = 0;
  bool simBusy_ = false;

  bool entry_ = false;
  bool entryStarted_ = false;  // nothing taken since the prompt
  bool entryPdu_ = false;      // the entry is a PDU's hex (PDU mode) ...
  int entryLength_ = 0;        // ... whose TPDU AT+CMGS=<length> announced
  std::string entryTo_;
  std::string entryText_;
};

// The meaning of a "+CMS ERROR:" code (TS 27.005) and of a "+CME ERROR:"
// code (TS 27.007), as the verbose error mode writes them; "unknown error"
// for codes without one.
const char* cms_error_text(int code);
const char* cme_error_text(int code);

}  // namespace smstest
