#include "sim/answer_faults.h"

namespace smstest {

std::string with_unsolicited_line(const std::string& answer, const std::string& line) {
  // The last line starts at the last CR LF before its own closing CR LF (the
  // prompt "\r\n> " has none of its own).
  size_t search = answer.size() >= 3 && answer.compare(answer.size() - 2, 2, "\r\n") == 0
                      ? answer.size() - 3
                      : std::string::npos;
  size_t at = answer.rfind("\r\n", search);
  if (at == std::string::npos) at = 0;
  return answer.substr(0, at) + "\r\n" + line + "\r\n" + answer.substr(at);
}

std::vector<AnswerPiece> split_into_bytes(const std::vector<AnswerPiece>& pieces, double gap) {
  std::vector<AnswerPiece> out;
  for (const AnswerPiece& piece : pieces) {
    for (size_t i = 0; i < piece.bytes.size(); ++i) {
      out.push_back({i == 0 ? piece.pause : gap, piece.bytes.substr(i, 1)});
    }
  }
  return out;
}

}  // namespace smstest
