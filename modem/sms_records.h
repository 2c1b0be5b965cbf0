// The records the sessions (sms_session.h) pass to the test sequences: the
// message to send, the receipt of a send, and a received message.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "modem/unsolicited.h"

namespace smstest {

struct OutgoingMessage {
  std::string number;  // as the modem is to dial it
  std::string text;
  bool statusReport = false;  // ask the service centre for a status report
  // A text longer than one message goes in parts (PDU mode): the size of
  // the concatenation reference (8 or 16 bits) and the most parts allowed.
  int referenceBits = 8;
  int maxParts = 10;
};

// One part of a sent message as the modem confirmed it.
struct PartReceipt {
  // The message reference of "+CMGS: <mr>", which a status report names;
  // -1 when the modem gave none (the proprietary set never does).
  int reference = -1;
  int64_t confirmedAt = 0;  // counter reading when the confirmation was read
  int64_t sendStart = 0;    // counter reading once the part was handed over
};

struct SendReceipt {
  int64_t sendStart = 0;  // counter reading once the (first part of the) message was handed over
  int64_t sendEnd = 0;    // ... once the (last) confirmation was read
  // One entry per confirmed part, in the order sent; a send that failed
  // part-way keeps the parts confirmed before the failure.
  std::vector<PartReceipt> parts;
  // A message sent in parts: the concatenation reference and its size (8
  // or 16); -1 and 0 for a message sent as one.
  int concatReference = -1;
  int concatReferenceBits = 0;
};

// The alphabet of a received message's user data.
enum class Alphabet { kUnknown, kGsm7, kEightBit, kUcs2 };

// The concatenation element of a part's user-data header.
struct Concatenation {
  bool present = false;
  int reference = 0;
  int total = 0;     // parts in all
  int sequence = 0;  // this part's number, from 1
};

struct ReceivedMessage {
  std::string sender;
  std::string text;  // decoded
  Alphabet alphabet = Alphabet::kUnknown;
  Concatenation concatenation;
  int storeIndex = -1;  // where the modem stored it; -1 when unknown
  int64_t foundAt = 0;  // counter reading when the session learnt of it
  // The message as the modem gave it (PDU mode: the PDU's hex), for the
  // format to decode and for the texts that name it.
  std::string raw;
};

// A status report (SMS-STATUS-REPORT) as the session received it.
struct StatusReport {
  int reference = -1;     // TP-MR: the reference of the message it reports on
  std::string recipient;  // TP-RA as the report gives it
  int status = -1;        // TP-ST
  // TP-DT - TP-SCTS in seconds: the delivery as the centre's clock saw it.
  bool hasCentreTimes = false;
  long long centreSeconds = 0;
  int64_t arrivedAt = kNoReading;  // counter reading when its line had arrived
  std::string via;                 // "+CDS", "+CDSI" or "listing"
  std::string raw;                 // the report as the modem gave it, for the log
};

}  // namespace smstest
