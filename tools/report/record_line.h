// Reading of run records: JSON Lines, one object per line, as SMS_TEST
// appends them (its `record=` option, doc/run-record.schema.json) and as
// sms_campaign gathers them in runs.jsonl (the record with the campaign's
// run, cmdFile, start, end, exitCode, signal, statusCode and statusText).
#pragma once

#include <string_view>

#include "tools/report/run_record.h"

namespace smstest {

// True when `firstLine` looks like the start of a JSON Lines file: its first
// byte that is no blank (after a UTF-8 byte-order mark) is '{'.
bool is_record_line_start(std::string_view firstLine);

// True when the line, a JSON object, carries the field "cmdFile" (a runs.jsonl
// object).
bool record_line_has_cmd_file(std::string_view line);

// Fills `run` from one record line.  False when the line is no JSON object,
// or its mode is neither "round-trip" nor "reflector", or a measure is
// neither a number nor null.  Measures that are null or missing are not
// taken; `failurePhase` is taken when the record has one.  The later
// fields (the settings of line 3, sendConfirmed, modems with their identity
// and the sender's snapshot at the send, registeredAtSend, the delivery
// reports') are each taken when they read and never make a line unreadable.
bool parse_record_line(std::string_view line, RunRecord* run);

}  // namespace smstest
