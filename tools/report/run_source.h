// A source of runs other than the input files: the report reads it after
// them, as one more input (store_input.h reads a result store).  The report
// library knows only this interface, so that it does not depend on where
// the runs come from.
#pragma once

#include <functional>
#include <string>

#include "tools/report/run_record.h"

namespace smstest {

class RunSource {
 public:
  virtual ~RunSource() = default;

  // How the report names the source (its inputs line, the JSON).
  virtual std::string name() const = 0;
  // Whether its runs carry a cmdFile, and a latLong column (the checks of
  // --by, as for an input file).
  virtual bool has_cmd_file() const = 0;
  virtual bool has_lat_long() const = 0;

  // Streams the runs into `sink` with the name of the input each comes from
  // (the GeoJSON layer's `input`).  False, with the reason in `lastError`,
  // when reading fails part way.
  virtual bool read(const std::function<void(const RunRecord&, const std::string&)>& sink) = 0;

  virtual long long runs() const = 0;
  virtual long long skipped() const = 0;
  // The warning for the skipped runs, "" when none was skipped.
  virtual std::string skipped_warning() const = 0;

  std::string lastError;
};

}  // namespace smstest
