// The message store of one simulated modem (its "SM" memory): the messages
// that arrived and have not been deleted, each at a numbered place.  Both
// command sets of the modem share it: the proprietary read and delete
// commands see the messages in the order they arrived, the standard ones
// (AT+CMGL, AT+CMGR, AT+CMGD) by index.
//
// Each message keeps what an SMS-DELIVER is built from: the sender with its
// type of address, the text and the service centre's time stamp.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace smstest {

struct StoredMessage {
  int index = 0;      // its place in the store, from 1
  std::string from;   // the sender's address, "+" first when international
  std::string text;   // the text as the network carried it (ISO-8859-1 bytes)
  bool utf8 = false;  // ... or UTF-8: a character of it lies beyond U+00FF
  // The elements of the user-data header it came with (a part of a
  // concatenated message), without the UDHL octet; empty for none.  PDU
  // mode lists it in front of the text; text mode shows the text alone.
  std::vector<unsigned char> header;
  int64_t arrived = 0;  // calendar seconds: the service centre's time stamp
  bool unread = true;   // "REC UNREAD" until a standard read or listing shows it

  bool international() const { return !from.empty() && from[0] == '+'; }
  // The type of address of the sender: 145 international, 129 unknown/national.
  int address_type() const { return international() ? 145 : 129; }
};

class MessageStore {
 public:
  // A store of `capacity` places (0 or more).
  explicit MessageStore(int capacity) : capacity_(capacity < 0 ? 0 : capacity) {}

  int capacity() const { return capacity_; }
  int used() const { return static_cast<int>(messages_.size()); }
  bool full() const { return used() >= capacity_; }

  // Stores a message at the lowest free place and returns its index, or 0
  // (nothing stored) when the store is full.  `utf8`: `text` is UTF-8.
  int add(const std::string& from, const std::string& text, int64_t arrived, bool unread = true,
          const std::vector<unsigned char>& header = {}, bool utf8 = false);

  // The message at `index`, or null when that place is empty or out of range.
  StoredMessage* find(int index);

  // Deletes the message at `index`; false when there was none.
  bool remove(int index);

  // Deletes every message that `which` selects.
  template <typename Predicate>
  void remove_if(Predicate which) {
    for (auto it = messages_.begin(); it != messages_.end();) {
      it = which(*it) ? messages_.erase(it) : it + 1;
    }
  }

  void clear() { messages_.clear(); }

  // The messages in the order they arrived, oldest first.
  const std::deque<StoredMessage>& by_arrival() const { return messages_; }

  // The messages by index, lowest first.
  std::vector<StoredMessage*> by_index();

 private:
  int capacity_;
  std::deque<StoredMessage> messages_;
};

}  // namespace smstest
