#include "update/http_answer.h"

namespace vesperon {
namespace {

// Enough for any status line worth reading; longer lines give status 0.
constexpr std::size_t kStatusLineLimit = 128;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

void THttpAnswerReader::Feed(std::string_view chunk) {
  if (pastHeader) {
    body.append(chunk);
    return;
  }
  const std::size_t p = chunk.find("\r\n\r\n");
  if (p == std::string_view::npos) {
    KeepStatusLine(chunk);
    return;
  }
  KeepStatusLine(chunk.substr(0, p + 2));
  pastHeader = true;
  body.append(chunk.substr(p + 4));
}

// Collects the header's first bytes until the status line's CR LF.
void THttpAnswerReader::KeepStatusLine(std::string_view headerBytes) {
  if (statusLine.find("\r\n") != std::string::npos || statusLine.size() >= kStatusLineLimit) return;
  statusLine.append(headerBytes.substr(0, kStatusLineLimit - statusLine.size()));
}

int THttpAnswerReader::Status() const {
  // "HTTP/" digit "." digit " " digit digit digit
  const std::string_view s = statusLine;
  const std::size_t eol = s.find("\r\n");
  if (eol == std::string_view::npos || eol < 12 || s.substr(0, 5) != "HTTP/") return 0;
  if (!IsDigit(s[5]) || s[6] != '.' || !IsDigit(s[7]) || s[8] != ' ') return 0;
  if (!IsDigit(s[9]) || !IsDigit(s[10]) || !IsDigit(s[11])) return 0;
  if (eol > 12 && s[12] != ' ') return 0;
  return (s[9] - '0') * 100 + (s[10] - '0') * 10 + (s[11] - '0');
}

}  // namespace vesperon
