#include "test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <stdexcept>

#include "core/log.h"
#include "core/params.h"

namespace vesperon::testing {

std::string HttpAnswer(int status, const std::string& body) {
  return "HTTP/1.0 " + std::to_string(status) +
         " X\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

TTestServer::TTestServer(THandler h) : handler(std::move(h)) {
  listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof address;
  if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0 ||
      ::listen(listener, 8) < 0 ||
      ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &len) < 0)
    throw std::runtime_error("test server: cannot listen on 127.0.0.1");
  port = ntohs(address.sin_port);
  thread = std::thread([this] { Serve(); });
}

TTestServer::~TTestServer() {
  stopping = true;
  thread.join();
  ::close(listener);
}

std::string TTestServer::Address() const { return "127.0.0.1:" + std::to_string(port); }

std::vector<std::string> TTestServer::Requests() const {
  std::lock_guard<std::mutex> lock(mutex);
  return requests;
}

// Reads until the blank line that ends a request, or until the client has
// been quiet for a while (a request cut short has no blank line).
std::string TTestServer::ReadRequest(int fd) {
  std::string request;
  char buffer[4096];
  while (request.find("\r\n\r\n") == std::string::npos && !stopping) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 300) <= 0) break;
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    request.append(buffer, static_cast<std::size_t>(n));
  }
  return request;
}

void TTestServer::Serve() {
  while (!stopping) {
    pollfd p{listener, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) continue;
    const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    const std::string request = ReadRequest(fd);
    {
      std::lock_guard<std::mutex> lock(mutex);
      requests.push_back(request);
    }
    const TReply reply = handler(request);
    std::string_view rest = reply.Bytes;
    while (!rest.empty()) {
      const ssize_t n = ::send(fd, rest.data(), rest.size(), MSG_NOSIGNAL);
      if (n <= 0) break;
      rest.remove_prefix(static_cast<std::size_t>(n));
    }
    while (reply.Silent && !stopping) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ::close(fd);
  }
}

TScopedEnv::TScopedEnv(const char* n, const std::string& value) : name(n) {
  if (const char* v = std::getenv(n)) {
    had = true;
    old = v;
  }
  ::setenv(n, value.c_str(), 1);
}

TScopedEnv::~TScopedEnv() {
  if (had) ::setenv(name.c_str(), old.c_str(), 1);
  else ::unsetenv(name.c_str());
}

TLogCapture::TLogCapture() : oldDebug(gParams.Debug) {
  gParams.Debug = true;
  SetLogObserver([this](std::string_view line) { lines.emplace_back(line); });
}

TLogCapture::~TLogCapture() {
  SetLogObserver({});
  gParams.Debug = oldDebug;
}

bool TLogCapture::Has(const std::string& line) const {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

}  // namespace vesperon::testing
