#pragma once
// Splits a server's answer, as it arrives in chunks of at most 1024 bytes,
// into the header (dropped) and the body (kept).
//
// The end of the header is searched for within one chunk only: a chunk that
// holds CR LF CR LF (all four bytes in that chunk) ends the header, and the
// bytes after it start the body; a chunk without it counts wholly as header.
// So a CR LF CR LF split across two chunks is never found, and such an
// answer has an empty body. Servers and callers may rely on this.
//
// The status code is read from the status line for callers that must not act
// on an error page; the header is otherwise not interpreted.
#include <cstddef>
#include <string>
#include <string_view>

namespace vesperon {

inline constexpr std::size_t kReceiveChunkSize = 1024;

class THttpAnswerReader {
 public:
  // Feeds one received chunk (at most kReceiveChunkSize bytes).
  void Feed(std::string_view chunk);

  bool PastHeader() const { return pastHeader; }
  const std::string& Body() const { return body; }
  std::string TakeBody() { return std::move(body); }
  // The three-digit code of an "HTTP/x.y NNN" status line, or 0 when the
  // answer did not start with one.
  int Status() const;

 private:
  void KeepStatusLine(std::string_view headerBytes);

  bool pastHeader = false;
  std::string statusLine;
  std::string body;
};

}  // namespace vesperon
