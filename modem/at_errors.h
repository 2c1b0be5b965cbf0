// The error codes of the standard SMS commands and what they mean: "+CMS
// ERROR: <n>" (message service failures, 3GPP TS 27.005 clause 3.2.5) and
// "+CME ERROR: <n>" (equipment errors, 3GPP TS 27.007 clause 9.2), as the
// standard session words them in its failure texts: "+CMS ERROR: 330 (SMSC
// address unknown)".
#pragma once

#include <string>

namespace smstest {

// The meaning of a +CMS ERROR code: the 27.005 texts for 300 to 340 and
// 500, the network's cause for 0 to 127 (TS 24.011) and the TP-Failure-Cause
// for 128 to 255 (TS 23.040); "manufacturer specific" from 512 on, "unknown
// error code" for the rest.
const char* cms_error_meaning(int code);

// The meaning of a +CME ERROR code (27.007 clause 9.2); "unknown error
// code" for codes without one.
const char* cme_error_meaning(int code);

// The SIM-busy codes: +CMS ERROR: 314 and +CME ERROR: 14.
constexpr int kCmsSimBusy = 314;
constexpr int kCmeSimBusy = 14;

}  // namespace smstest
