// JSON rendering of decoded SMS-DELIVER records for tools/pdu_decode: open
// this header first in tools/.
//
// One object per PDU on one line, written by nlohmann-json.  Texts from the
// decoder are ISO-8859-1 and are written as UTF-8 (latin1_to_utf8); the PDU
// text given by the user is treated the same way, so that the output is valid
// UTF-8 whatever bytes came in.
#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "pdu/sms_deliver.h"
#include "pdu/sms_status_report.h"
#include "pdu/sms_submit.h"

namespace smstest {

// ISO-8859-1 bytes as UTF-8: each byte is the code point of the same value,
// so bytes from 0x80 take two octets.
std::string latin1_to_utf8(const std::string& latin1);

// UTF-8 text as ISO-8859-1 bytes.  False, with `error` set, for text that is
// not valid UTF-8 (overlong forms and surrogates included) or that holds a
// character above U+00FF; `latin1` is then left unchanged.
bool utf8_to_latin1(const std::string& utf8, std::string& latin1, std::string& error);

// `latin1` as a JSON string literal, quotes included: '"' and '\\' escaped,
// control characters as \b \f \n \r \t or \u00XX (DEL as \u007f), bytes from
// 0x80 as their two-byte UTF-8 form.
std::string json_string(const std::string& latin1);

// Upper-case hex digits, two per byte.
std::string hex_text(const unsigned char* data, size_t size);

// The time zone of a TP-SCTS as held in SmsDeliver::timestamp[6] (nibbles
// swapped), in quarter hours: TS 23.040 gives the sign in bit 3 of the octet
// as received (bit 7 here) and the two digits in the other bits.
int time_zone_quarter_hours(int zone);

// "YY/MM/DD hh:mm:ss +hh:mm" from SmsDeliver::timestamp.  The date and time
// fields are printed as their hex digits, which are the BCD digits of a
// well-formed stamp (a malformed nibble shows as a letter).
std::string readable_timestamp(const std::array<int, 7>& timestamp);

// The object for a decoded PDU: "pdu", every field of the record in its
// order (the originator with its digits and its address_text, the time stamp
// raw and readable, the header elements with their data in hex and, for port
// elements, the ports), then "text" and the raw text bytes as "textHex".
std::string sms_deliver_json(const std::string& pdu, const SmsDeliver& sms);

// The object for a decoded SMS-SUBMIT: "pdu", "messageType" ("SMS-SUBMIT"),
// the service centre, the TPDU length, every field of the record in its order
// (the destination with its type, the validity period and the user-data
// header in hex), then "text", "textHex" and "replacedCharacters".
std::string sms_submit_json(const std::string& pdu, const SmsSubmit& submit);

// The object for a decoded SMS-STATUS-REPORT: "pdu", "messageType"
// ("SMS-STATUS-REPORT"), the service centre, the TPDU length, the header
// flags, the reference, the recipient with its type, both time stamps (their
// fields and "YY/MM/DD hh:mm:ss +hh:mm"), "centreDelivery" (discharge time
// less centre time stamp, in seconds), the status with its class, then the
// trailer's fields (-1 where absent) and the user data in hex.
std::string sms_status_report_json(const std::string& pdu, const SmsStatusReport& report);

// The object for a PDU that did not decode: "pdu" and, as "error", the
// decoder's message (its line end dropped).
std::string failure_json(const std::string& pdu, const std::string& message);

}  // namespace smstest
