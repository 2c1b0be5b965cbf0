#include <cstdio>

#include "common/clock.h"
#include "common/interrupt.h"
#include "common/text.h"
#include "driver/message_parts.h"
#include "driver/test_sequences.h"

namespace smstest {

namespace {

void say(const std::string& text) {
  std::fputs(text.c_str(), stderr);
  std::fflush(stderr);
}

// The session's text for a receive that ran out of time.
bool timed_out(const std::string& error) { return error.rfind("Operation Timed out", 0) == 0; }

// The parts of the message the run is about, into its notes.
void note_parts(RunNotes& notes, const PartAssembly::Group& group) {
  notes.hasParts = true;
  notes.partsExpected = group.total;
  notes.partsFound.assign(group.total, kNoReading);
  for (const auto& part : group.parts) notes.partsFound[part.first - 1] = part.second.foundAt;
  notes.firstPartFound = group.parts.at(group.order.front()).foundAt;
  notes.lastPartFound = group.parts.at(group.order.back()).foundAt;
  notes.partsOutOfOrder = group.outOfOrder;
  notes.partsDuplicated = group.duplicates;
}

// Takes one message: receive, delete, decode.  False after fail_test,
// except for a receive that failed while parts were pending, which is left
// to the caller (`receiveFailed` set).
bool take_one(TestRun& run, SmsSession& session, int timeoutSeconds, bool partsPending,
              ReceivedMessage& message, bool& receiveFailed) {
  receiveFailed = false;
  if (!session.receive(message, timeoutSeconds)) {
    if (partsPending) {
      receiveFailed = true;
      return false;
    }
    fail_test(run.statusPath, run.result, session.last_error().c_str());
    return false;
  }
  // Found now, unless it turns out to be a part: a message in parts is
  // found when it is complete.
  if (!partsPending) run.result.notes.note_found(message.foundAt);
  std::fputs("New Message Found.\n", stderr);
  std::fputs("Deleting Message: ", stderr);
  std::fflush(stderr);
  // A failed delete neither stops the run nor shows in any report, unless
  // it failed because the run was interrupted.
  session.delete_messages();
  if (interrupt_signal() != 0) {
    fail_test(run.statusPath, run.result, interrupt_text().c_str());
    return false;
  }
  // Decoded after the delete: a decoder's complaint follows it in the logs.
  if (!session.decode(message)) {
    fail_test(run.statusPath, run.result, session.last_error().c_str());
    return false;
  }
  return true;
}

}  // namespace

bool pick_up_message(TestRun& run, SmsSession& session, int timeoutSeconds,
                     ReceivedMessage& message) {
  RunNotes& notes = run.result.notes;
  // The parts of a long message are waited for until the pickup's own
  // deadline: `timeoutSeconds` from now, or the test deadline.
  const int64_t deadline = run.clock.steady_seconds() + timeoutSeconds;
  PartAssembly assembly;
  for (;;) {
    int timeout = timeoutSeconds;
    if (assembly.pending() && timeoutSeconds > 0) {
      const int64_t left = deadline - run.clock.steady_seconds();
      timeout = left > 0 ? static_cast<int>(left) : 0;
    }
    ReceivedMessage taken;
    bool receiveFailed = false;
    const bool pending = assembly.pending();
    // Past the pickup's deadline with parts missing: no receive is tried.
    const bool outOfTime = pending && timeoutSeconds > 0 && timeout <= 0;
    if (!outOfTime && !take_one(run, session, timeout, pending, taken, receiveFailed) &&
        !receiveFailed) {
      if (assembly.main_group() != nullptr) {
        note_parts(notes, *assembly.main_group());
        notes.hasFound = false;
      }
      return false;
    }
    if (outOfTime || receiveFailed) {
      const PartAssembly::Group& group = *assembly.main_group();
      note_parts(notes, group);
      notes.hasFound = false;
      if (interrupt_signal() != 0) {
        fail_test(run.statusPath, run.result, interrupt_text().c_str());
      } else if (outOfTime || timed_out(session.last_error())) {
        fail_test(run.statusPath, run.result,
                  format("Incomplete message: %d of %d parts\n",
                         static_cast<int>(group.parts.size()), group.total)
                      .c_str());
      } else {
        fail_test(run.statusPath, run.result, session.last_error().c_str());
      }
      return false;
    }
    const PartAssembly::Outcome outcome = assembly.add(taken);
    const Concatenation& element = taken.concatenation;
    switch (outcome) {
      case PartAssembly::Outcome::kSingle:
        if (assembly.pending()) {
          say("A message of its own while parts are missing: passed over.\n");
          continue;
        }
        message = taken;
        notes.note_sender(message.sender);
        return true;
      case PartAssembly::Outcome::kPart:
        say(format("Part %d of %d.\n", element.sequence, element.total));
        continue;
      case PartAssembly::Outcome::kDuplicate:
        say(format("Part %d of %d again: dropped.\n", element.sequence, element.total));
        continue;
      case PartAssembly::Outcome::kComplete:
        break;
    }
    say(format("Part %d of %d: the message is complete.\n", element.sequence, element.total));
    message = assembly.complete();
    note_parts(notes, *assembly.main_group());
    notes.note_found(message.foundAt);
    notes.note_sender(message.sender);
    return true;
  }
}

}  // namespace smstest
