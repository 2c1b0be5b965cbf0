#include "driver/message_parts.h"

namespace smstest {

PartAssembly::Outcome PartAssembly::add(const ReceivedMessage& message) {
  const Concatenation& element = message.concatenation;
  if (!element.present || element.total < 1 || element.sequence < 1 ||
      element.sequence > element.total) {
    return Outcome::kSingle;
  }
  size_t at = 0;
  while (at < groups_.size() &&
         (groups_[at].sender != message.sender || groups_[at].reference != element.reference ||
          groups_[at].total != element.total)) {
    ++at;
  }
  if (at == groups_.size()) {
    Group group;
    group.sender = message.sender;
    group.reference = element.reference;
    group.total = element.total;
    groups_.push_back(group);
  }
  Group& group = groups_[at];
  if (group.parts.count(element.sequence) != 0) {
    ++group.duplicates;
    return Outcome::kDuplicate;
  }
  if (!group.order.empty() && group.parts.rbegin()->first > element.sequence) ++group.outOfOrder;
  group.parts.emplace(element.sequence, message);
  group.order.push_back(element.sequence);
  if (static_cast<int>(group.parts.size()) < group.total) return Outcome::kPart;

  completed_ = static_cast<int>(at);
  complete_ = ReceivedMessage();
  const ReceivedMessage& first = group.parts.begin()->second;
  complete_.sender = first.sender;
  complete_.alphabet = first.alphabet;
  for (const auto& part : group.parts) complete_.text += part.second.text;
  complete_.concatenation = element;
  complete_.concatenation.sequence = 0;
  complete_.foundAt = message.foundAt;
  complete_.raw = message.raw;
  return Outcome::kComplete;
}

const PartAssembly::Group* PartAssembly::main_group() const {
  if (completed_ >= 0) return &groups_[completed_];
  return groups_.empty() ? nullptr : &groups_.front();
}

bool PartAssembly::pending() const {
  for (size_t k = 0; k < groups_.size(); ++k) {
    if (static_cast<int>(k) != completed_) return true;
  }
  return false;
}

}  // namespace smstest
