#include "testsupport/modem_answers.h"

namespace smstest {

Responder modem_like(std::vector<std::pair<std::string, std::string>> answers) {
  return [answers = std::move(answers)](const std::string& command) -> std::vector<std::string> {
    for (const auto& answer : answers) {
      if (command.compare(0, answer.first.size(), answer.first) == 0) {
        if (answer.second.empty()) return {};
        return {answer.second};
      }
    }
    return {"\r\nOK\r\n"};
  };
}

}  // namespace smstest
