// Splitting of one CSV record (RFC 4180: fields separated by ',', a field
// in double quotes may hold ',' and '"' written as '""').  Used for
// campaign.csv, whose status texts are quoted; result lines are not CSV (the
// tool writes their values unquoted) and are split at every comma instead.
//
// Debian packages no header-only CSV reader that suits both builds here, so
// this is the project's own; campaign rows hold no line ends (the campaign
// removes them from the status texts), so one line is one record.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace smstest {

// Splits `line` into `fields` (cleared first).  A quoted field loses its
// quotes and has each '""' made '"'; an unquoted field is taken as it
// stands, a '"' inside it included.  False when a quoted field is not closed
// or its closing quote is followed by something other than ',' or the end.
bool split_csv_record(std::string_view line, std::vector<std::string>* fields);

// `text` as one CSV field: quoted, with '"' doubled, when it holds ',', '"',
// a CR or a LF; unchanged otherwise.
std::string csv_field(const std::string& text);

}  // namespace smstest
