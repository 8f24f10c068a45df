// The HTTP exchange and the update check against servers on 127.0.0.1 that
// the tests start themselves.
#include "update/http_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "test_server.h"
#include "update/update_check.h"

namespace vesperon {
namespace {

using testing::HttpAnswer;
using testing::TLogCapture;
using testing::TReply;
using testing::TScopedEnv;
using testing::TTestServer;

const char* const kRequestTail =
    " HTTP/1.0\r\nHost: 127.0.0.1\r\nUser-Agent: Vesperon NG Auto-Update 1.0\r\nAccept: */*\r\n"
    "Connection: close\r\n\r\n";

class UpdateClient : public ::testing::Test {
 protected:
  void SetUp() override {
    SetUpdateTimeout(std::chrono::milliseconds(3000));
    gUpdates.clear();
  }
  void TearDown() override { SetUpdateTimeout(std::chrono::milliseconds(10000)); }

  // A server that gives every request the same reply, announced to the client.
  void Serve(TReply reply) {
    env.reset();  // restores the environment before the next override
    server = std::make_unique<TTestServer>([reply](const std::string&) { return reply; });
    env = std::make_unique<TScopedEnv>("VESPERON_UPDATE_SERVER", server->Address());
  }
  void Serve(const std::string& bytes) { Serve(TReply{bytes}); }

  std::unique_ptr<TTestServer> server;
  std::unique_ptr<TScopedEnv> env;
};

// A port on 127.0.0.1 that nothing listens on.
int ClosedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  return ntohs(a.sin_port);
}

std::string Records(std::size_t bytes) {
  std::string body;
  for (char c = 'a'; body.size() < bytes; ++c) {
    TUpdateInfo info;
    info.Name = std::string("update ") + c;
    body += WriteUpdateRecord(info);
  }
  return body.substr(0, bytes);
}

TEST_F(UpdateClient, SendsTheRequestByteForByte) {
  Serve(HttpAnswer(200, "x"));
  const auto answer = ServerGet("/updates/vesperon/updates.dat");
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->Body, "x");
  EXPECT_EQ(answer->Status, 200);
  ASSERT_EQ(server->Requests().size(), 1u);
  EXPECT_EQ(server->Requests()[0], std::string("GET /updates/vesperon/updates.dat") + kRequestTail);
}

TEST_F(UpdateClient, RequestIsCutAfter255Bytes) {
  Serve(HttpAnswer(200, ""));
  const std::string path = "/" + std::string(200, 'p');
  ASSERT_TRUE(ServerGet(path));
  const std::string full = "GET " + path + kRequestTail;
  ASSERT_GT(full.size(), 255u);
  EXPECT_EQ(server->Requests().at(0), full.substr(0, 255));
}

TEST_F(UpdateClient, CheckReadsWholeRecordsOnly) {
  for (const auto& [size, count] :
       {std::pair<std::size_t, std::size_t>{883, 0}, {1768, 2}, {1769, 2}}) {
    Serve(HttpAnswer(200, Records(size)));
    TLogCapture log;
    gUpdates.assign(5, TUpdateInfo{});
    CheckForUpdates();
    EXPECT_EQ(gUpdates.size(), count) << size;
    std::vector<std::string> expected{"checking for updates...",
                                      "auto-update: got " + std::to_string(size) + " bytes"};
    if (count == 2) expected.insert(expected.end(), {"update a", "update b"});
    expected.push_back("check for updates done");
    EXPECT_EQ(log.Lines(), expected);
  }
}

TEST_F(UpdateClient, ErrorPageBodyIsReadAsRecords) {
  std::string page = "<html><head><title>404 Not Found</title></head><body>";
  page += std::string(1000 - page.size() - 14, '.') + "</body></html>";
  ASSERT_EQ(page.size(), 1000u);
  Serve(HttpAnswer(404, page));
  CheckForUpdates();
  ASSERT_EQ(gUpdates.size(), 1u);
  EXPECT_EQ(gUpdates[0].ID, 0x6D74683Cu);           // "<htm"
  EXPECT_EQ(gUpdates[0].Name, page.substr(5, 50));  // length byte 'l' = 108, cut to the field
  EXPECT_EQ(gUpdates[0].Path.size(), static_cast<std::size_t>(page[110]));
}

TEST_F(UpdateClient, HeaderEndingInTheLastFourBytesOfAChunkIsFound) {
  std::string header = "HTTP/1.0 200 OK\r\nX-Pad: ";
  header += std::string(1024 - header.size() - 4, 'p') + "\r\n\r\n";
  ASSERT_EQ(header.size(), 1024u);
  Serve(header + "body");
  const auto answer = ServerGet("/");
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->Body, "body");
}

TEST_F(UpdateClient, HeaderEndSplitAcrossChunksIsNotFound) {
  std::string header = "HTTP/1.0 200 OK\r\nX-Pad: ";
  header += std::string(1026 - header.size() - 4, 'p') + "\r\n\r\n";  // CR LF | CR LF
  TLogCapture log;
  Serve(header + Records(884));
  const auto answer = ServerGet("/");
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->Body, "");
  EXPECT_TRUE(log.Has("auto-update: got 0 bytes"));
}

TEST_F(UpdateClient, ClosedPortIsAnErrorWithTheCodeAndKeepsTheList) {
  TScopedEnv to("VESPERON_UPDATE_SERVER", "127.0.0.1:" + std::to_string(ClosedPort()));
  TLogCapture log;
  gUpdates.assign(3, TUpdateInfo{});
  CheckForUpdates();
  EXPECT_EQ(gUpdates.size(), 3u);
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"checking for updates...",
                                                   "ERROR: could not connect. Socket error: 111"}));
}

TEST_F(UpdateClient, UnresolvedAddressIsNotTakenForTheLocalHost) {
  // 0.0.0.0 would reach the local host; it must fail like a failed lookup.
  Serve(HttpAnswer(200, "x"));
  TScopedEnv to("VESPERON_UPDATE_SERVER", "0.0.0.0:" + std::to_string(server->Port()));
  TLogCapture log;
  EXPECT_FALSE(ServerGet("/"));
  EXPECT_TRUE(log.Has("ERROR: could not connect. Socket error: 99"));
  EXPECT_TRUE(server->Requests().empty());
}

TEST_F(UpdateClient, SilentServerTimesOut) {
  SetUpdateTimeout(std::chrono::milliseconds(300));
  Serve(TReply{"", true});
  TLogCapture log;
  gUpdates.assign(1, TUpdateInfo{});
  const auto start = std::chrono::steady_clock::now();
  CheckForUpdates();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_TRUE(gUpdates.empty());
  EXPECT_TRUE(log.Has("ERROR: error during receiving data from auto-update server"));
  EXPECT_TRUE(log.Has("auto-update: got 0 bytes"));
}

TEST_F(UpdateClient, ConnectToAServerThatNeverAcceptsTimesOut) {
  // A listener with a full accept queue drops further connection attempts,
  // so the client's connect waits for an answer that never comes.
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(listener, 0), 0);
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
  std::vector<int> fillers;
  for (int i = 0; i < 4; ++i) {
    fillers.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
    ::connect(fillers.back(), reinterpret_cast<sockaddr*>(&a), sizeof a);
  }
  SetUpdateTimeout(std::chrono::milliseconds(300));
  TScopedEnv to("VESPERON_UPDATE_SERVER", "127.0.0.1:" + std::to_string(ntohs(a.sin_port)));
  TLogCapture log;
  EXPECT_FALSE(ConnectToServer());
  EXPECT_TRUE(log.Has("ERROR: could not connect. Socket error: 110"))
      << ::testing::PrintToString(log.Lines());
  for (int fd : fillers) ::close(fd);
  ::close(listener);
}

// Neither a body nor a header without end may keep the client reading:
// past 64 MiB the exchange ends with an error and no answer, and the check
// keeps the list it had.
TEST_F(UpdateClient, AnswersOverTheLimitAreDroppedWhateverPartIsHuge) {
  const std::size_t limit = std::size_t(64) << 20;
  const std::string header = "HTTP/1.0 200 OK\r\n";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"huge body", header + "\r\n" + std::string(limit, 'b')},
      {"endless header", header + std::string(limit, 'h')},
  };
  for (const auto& [what, bytes] : cases) {
    Serve(bytes);
    TLogCapture log;
    gUpdates.assign(2, TUpdateInfo{});
    CheckForUpdates();
    EXPECT_EQ(gUpdates.size(), 2u) << what;
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"checking for updates...",
                                                     "ERROR: error while reading from server"}))
        << what;
  }
}

// A server that accepts and closes at once gives an empty answer without a
// status, not an error: the list is then empty.
TEST_F(UpdateClient, ServerClosingAtOnceGivesAnEmptyAnswer) {
  Serve("");
  TLogCapture log;
  const auto answer = ServerGet("/");
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->Status, 0);
  EXPECT_TRUE(answer->Body.empty());
  EXPECT_FALSE(answer->ReceiveFailed);
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"auto-update: got 0 bytes"});
}

// With every file descriptor in use no socket can be made: the failure is
// logged with its code, nothing is sent and the list stays.
TEST_F(UpdateClient, NoFreeDescriptorIsAConnectErrorAndKeepsTheList) {
  Serve(HttpAnswer(200, Records(884)));
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old), 0);
  const int lowest = ::dup(0);
  ASSERT_GE(lowest, 0);
  ::close(lowest);
  gUpdates.assign(3, TUpdateInfo{});
  TLogCapture log;
  rlimit tight = old;
  tight.rlim_cur = static_cast<rlim_t>(lowest);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
  CheckForUpdates();
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &old), 0);
  EXPECT_EQ(gUpdates.size(), 3u);
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"checking for updates...",
                                                   "ERROR: could not connect. Socket error: 24"}));
  EXPECT_TRUE(server->Requests().empty());
}

TEST(UpdateServerAddress, ParsesHostAndPort) {
  EXPECT_EQ(ParseUpdateServer("example.invalid")->Port, 80);
  EXPECT_EQ(ParseUpdateServer("127.0.0.1:8080")->Host, "127.0.0.1");
  EXPECT_EQ(ParseUpdateServer("127.0.0.1:8080")->Port, 8080);
  EXPECT_EQ(ParseUpdateServer("h:65535")->Port, 65535);
  for (const char* bad : {"", ":80", "h:", "h:0", "h:65536", "h:8x", "h:123456"})
    EXPECT_FALSE(ParseUpdateServer(bad)) << bad;
}

TEST(UpdateServerAddress, MalformedOverrideFallsBackToTheBuiltInServer) {
  TScopedEnv to("VESPERON_UPDATE_SERVER", "127.0.0.1:http");
  TLogCapture log;
  EXPECT_EQ(UpdateServer().Port, 80);
  EXPECT_NE(UpdateServer().Host, "127.0.0.1");
  EXPECT_TRUE(log.Has("WARNING: ignoring malformed VESPERON_UPDATE_SERVER: 127.0.0.1:http"));
}

TEST(ResolveHost, DottedAddressesAndLocalNames) {
  EXPECT_EQ(ResolveHost("127.0.0.1"), htonl(0x7F000001));
  EXPECT_EQ(ResolveHost("10.20.30.40"), htonl(0x0A141E28));
  EXPECT_EQ(ResolveHost("localhost"), htonl(0x7F000001));
  EXPECT_EQ(ResolveHost(""), 0u);
}

}  // namespace
}  // namespace vesperon
