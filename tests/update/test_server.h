#pragma once
// A small HTTP server on 127.0.0.1 for the update tests: it runs on a thread
// of its own, records the bytes of every request and answers each with the
// reply its handler gives. Nothing here ever leaves the local host.
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vesperon::testing {

struct TReply {
  std::string Bytes;    // sent in one send call, then the connection closes
  bool Silent = false;  // after the bytes, the connection stays open and quiet
};

// "HTTP/1.0 <status> X" with Content-Length, then the body.
std::string HttpAnswer(int status, const std::string& body);

class TTestServer {
 public:
  using THandler = std::function<TReply(const std::string& request)>;
  explicit TTestServer(THandler handler);
  ~TTestServer();
  TTestServer(const TTestServer&) = delete;
  TTestServer& operator=(const TTestServer&) = delete;

  int Port() const { return port; }
  // "127.0.0.1:<port>", the value for VESPERON_UPDATE_SERVER.
  std::string Address() const;
  std::vector<std::string> Requests() const;

 private:
  void Serve();
  std::string ReadRequest(int fd);

  THandler handler;
  int listener = -1;
  int port = 0;
  std::atomic<bool> stopping{false};
  mutable std::mutex mutex;
  std::vector<std::string> requests;
  std::thread thread;
};

// Sets an environment variable for one scope and restores the old value.
class TScopedEnv {
 public:
  TScopedEnv(const char* name, const std::string& value);
  ~TScopedEnv();

 private:
  std::string name;
  bool had = false;
  std::string old;
};

// Collects the log lines (with --debug on) for one scope.
class TLogCapture {
 public:
  TLogCapture();
  ~TLogCapture();
  const std::vector<std::string>& Lines() const { return lines; }
  bool Has(const std::string& line) const;

 private:
  std::vector<std::string> lines;
  bool oldDebug;
};

}  // namespace vesperon::testing
