// Splitting an answer into header and body, chunk by chunk.
#include "update/http_answer.h"

#include <gtest/gtest.h>

namespace vesperon {
namespace {

TEST(HttpAnswerReader, BodyStartsAfterTheBlankLineAndLaterChunksAreKeptWhole) {
  THttpAnswerReader r;
  r.Feed("HTTP/1.0 200 OK\r\nA: b\r\n\r\nbody\r\n\r\n");
  r.Feed("more\r\n\r\n");
  EXPECT_EQ(r.Body(), "body\r\n\r\nmore\r\n\r\n");
  EXPECT_EQ(r.Status(), 200);
}

TEST(HttpAnswerReader, ChunksWithoutTheBlankLineAreAllHeader) {
  THttpAnswerReader r;
  r.Feed("HTTP/1.0 404 Not Found\r\nX: ");
  r.Feed("y\r\n\r");  // the blank line split over two chunks is not seen
  r.Feed("\nbody");
  EXPECT_FALSE(r.PastHeader());
  EXPECT_EQ(r.Body(), "");
  EXPECT_EQ(r.Status(), 404);
}

TEST(HttpAnswerReader, BlankLineAtTheVeryEndOfAChunkGivesAnEmptyStart) {
  THttpAnswerReader r;
  r.Feed("HTTP/1.1 204 No Content\r\n\r\n");
  EXPECT_TRUE(r.PastHeader());
  r.Feed("x");
  EXPECT_EQ(r.Body(), "x");
  EXPECT_EQ(r.Status(), 204);
}

TEST(HttpAnswerReader, StatusIsZeroWithoutAProperStatusLine) {
  for (const char* answer : {"garbage\r\n\r\n", "HTTP/1.0 20\r\n\r\n", "HTTP/1.0 2000\r\n\r\n",
                             "HTTP/x.0 200 OK\r\n\r\n", "\r\n\r\n", "HTTP/1.0 200 OK"}) {
    THttpAnswerReader r;
    r.Feed(answer);
    EXPECT_EQ(r.Status(), 0) << answer;
  }
  THttpAnswerReader split;  // a status line arriving in pieces is still read
  split.Feed("HTT");
  split.Feed("P/1.0 302 Moved\r\n\r\n");
  EXPECT_EQ(split.Status(), 302);
}

}  // namespace
}  // namespace vesperon
