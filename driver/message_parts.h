// The parts of concatenated messages put back together at the receiver.
//
// Each message the pickup takes, once decoded, goes to a PartAssembly.  A
// message without a concatenation element (or with one that names no part
// of a message: a count or sequence of 0, a sequence past the count) is a
// message of its own.  A part joins the parts of the same sender, reference
// and part count, whatever order they come in; a part whose sequence number
// is already there is a duplicate, dropped and counted.  A message is
// complete once every sequence number from 1 to its count is there: its
// text is the parts' texts in sequence order, found when its last missing
// part was found.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "modem/sms_records.h"

namespace smstest {

class PartAssembly {
 public:
  enum class Outcome { kSingle, kPart, kDuplicate, kComplete };

  // One message under way: its key and what came of it.
  struct Group {
    std::string sender;
    int reference = 0;
    int total = 0;
    std::map<int, ReceivedMessage> parts;  // by sequence number
    std::vector<int> order;                // the sequence numbers as found, duplicates left out
    int duplicates = 0;
    int outOfOrder = 0;  // parts found after a part with a higher sequence number
  };

  // Takes a decoded message.  kSingle: `message` is a message of its own;
  // kPart: a new part of a message still missing some; kDuplicate: a part
  // that was there already; kComplete: the part that completed a message,
  // now in complete().
  Outcome add(const ReceivedMessage& message);

  // The message the latest kComplete completed: sender and alphabet of its
  // parts, the text of all of them, `foundAt` of the part that completed
  // it, the concatenation element with sequence 0 and no store index.
  const ReceivedMessage& complete() const { return complete_; }

  // The message the run is about: the one completed, else the first one
  // started; null when no part has come.
  const Group* main_group() const;

  // Whether a part has come of a message not yet complete.
  bool pending() const;

 private:
  std::vector<Group> groups_;  // in the order their first part came
  int completed_ = -1;         // index into groups_
  ReceivedMessage complete_;
};

}  // namespace smstest
