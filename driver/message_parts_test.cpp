// PartAssembly: parts in any order, duplicates, other messages' parts and
// messages of their own.
#include "driver/message_parts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace smstest {

namespace {

ReceivedMessage part(const std::string& sender, int reference, int total, int sequence,
                     const std::string& text, int64_t foundAt) {
  ReceivedMessage message;
  message.sender = sender;
  message.text = text;
  message.alphabet = Alphabet::kGsm7;
  message.concatenation = {true, reference, total, sequence};
  message.foundAt = foundAt;
  return message;
}

std::string piece(int sequence) { return "<" + std::to_string(sequence) + ">"; }

TEST(PartAssembly, PartsInAnyOrderMakeOneText) {
  struct Row {
    const char* name;
    std::vector<int> arrivals;  // sequence numbers as they come
    int total;
    int duplicates;
    int outOfOrder;
  };
  const Row rows[] = {
      {"InOrder", {1, 2, 3}, 3, 0, 0},
      {"Reversed", {3, 2, 1}, 3, 0, 2},
      {"LastFirst", {3, 1, 2}, 3, 0, 2},
      {"SwappedPair", {2, 1, 3}, 3, 0, 1},
      {"DuplicateOfTheFirst", {1, 1, 2}, 2, 1, 0},
      {"DuplicateInTheMiddle", {1, 2, 2, 2, 3}, 3, 2, 0},
      {"TenParts", {10, 9, 8, 7, 6, 5, 4, 3, 2, 1}, 10, 0, 9},
      {"OnePartMessage", {1}, 1, 0, 0},
  };
  for (const Row& row : rows) {
    PartAssembly assembly;
    size_t k = 0;
    for (; k < row.arrivals.size(); ++k) {
      const int sequence = row.arrivals[k];
      const PartAssembly::Outcome outcome =
          assembly.add(part("+1555", 200, row.total, sequence, piece(sequence), 1000 * (1 + k)));
      if (outcome == PartAssembly::Outcome::kComplete) break;
      EXPECT_TRUE(assembly.pending()) << row.name;
    }
    ASSERT_EQ(k, row.arrivals.size() - 1) << row.name << ": completed early or never";
    std::string whole;
    for (int s = 1; s <= row.total; ++s) whole += piece(s);
    const ReceivedMessage& message = assembly.complete();
    EXPECT_EQ(message.text, whole) << row.name;
    EXPECT_EQ(message.sender, "+1555") << row.name;
    EXPECT_EQ(message.foundAt, static_cast<int64_t>(1000 * row.arrivals.size())) << row.name;
    EXPECT_EQ(message.concatenation.total, row.total) << row.name;
    EXPECT_FALSE(assembly.pending()) << row.name;
    const PartAssembly::Group* group = assembly.main_group();
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->duplicates, row.duplicates) << row.name;
    EXPECT_EQ(group->outOfOrder, row.outOfOrder) << row.name;
    EXPECT_EQ(static_cast<int>(group->parts.size()), row.total) << row.name;
    EXPECT_EQ(static_cast<int>(group->order.size()), row.total) << row.name;
  }
}

TEST(PartAssembly, PartsOfOtherMessagesStayApart) {
  PartAssembly assembly;
  using O = PartAssembly::Outcome;
  // Same reference from another sender, another reference, another count:
  // three other messages.
  EXPECT_EQ(assembly.add(part("+1555", 7, 2, 1, "a", 1)), O::kPart);
  EXPECT_EQ(assembly.add(part("+1666", 7, 2, 2, "X", 2)), O::kPart);
  EXPECT_EQ(assembly.add(part("+1555", 8, 2, 2, "Y", 3)), O::kPart);
  EXPECT_EQ(assembly.add(part("+1555", 7, 3, 2, "Z", 4)), O::kPart);
  EXPECT_EQ(assembly.main_group()->parts.size(), 1u);  // the first one started
  EXPECT_EQ(assembly.add(part("+1555", 7, 2, 2, "b", 5)), O::kComplete);
  EXPECT_EQ(assembly.complete().text, "ab");
  EXPECT_EQ(assembly.main_group()->sender, "+1555");
  EXPECT_TRUE(assembly.pending());  // the others are still missing parts
}

TEST(PartAssembly, MessagesOfTheirOwn) {
  struct Row {
    const char* name;
    Concatenation element;
  };
  const Row rows[] = {
      {"NoElement", {false, 0, 0, 0}},
      {"CountZero", {true, 5, 0, 0}},
      {"SequenceZero", {true, 5, 3, 0}},
      {"SequencePastTheCount", {true, 5, 3, 4}},
  };
  for (const Row& row : rows) {
    PartAssembly assembly;
    ReceivedMessage message = part("+1555", 0, 0, 0, "plain", 9);
    message.concatenation = row.element;
    EXPECT_EQ(assembly.add(message), PartAssembly::Outcome::kSingle) << row.name;
    EXPECT_FALSE(assembly.pending()) << row.name;
    EXPECT_EQ(assembly.main_group(), nullptr) << row.name;
  }
}

}  // namespace

}  // namespace smstest
