#include "sim/message_store.h"

#include <algorithm>

#include "common/utf8.h"

namespace smstest {

int MessageStore::add(const std::string& from, const std::string& text, int64_t arrived,
                      bool unread, const std::vector<unsigned char>& header, bool utf8) {
  if (full()) return 0;
  // A SIM fills the lowest free record, so an index freed by a delete comes
  // back before the higher ones.
  int index = 1;
  while (find(index) != nullptr) ++index;
  StoredMessage message;
  message.index = index;
  message.from = from;
  message.text = text;
  message.header = header;
  // A UTF-8 text that the network damaged (alter=change) is kept as bytes.
  message.utf8 = utf8 && valid_utf8(text);
  message.arrived = arrived;
  message.unread = unread;
  messages_.push_back(message);
  return index;
}

StoredMessage* MessageStore::find(int index) {
  for (StoredMessage& message : messages_) {
    if (message.index == index) return &message;
  }
  return nullptr;
}

bool MessageStore::remove(int index) {
  for (auto it = messages_.begin(); it != messages_.end(); ++it) {
    if (it->index == index) {
      messages_.erase(it);
      return true;
    }
  }
  return false;
}

std::vector<StoredMessage*> MessageStore::by_index() {
  std::vector<StoredMessage*> out;
  for (StoredMessage& message : messages_) out.push_back(&message);
  std::sort(out.begin(), out.end(),
            [](const StoredMessage* a, const StoredMessage* b) { return a->index < b->index; });
  return out;
}

}  // namespace smstest
