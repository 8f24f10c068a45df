#include "update/http_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <system_error>

#include "core/log.h"
#include "update/http_answer.h"

#ifndef VESPERON_UPDATE_HOST
#define VESPERON_UPDATE_HOST "update.vesperon.invalid"
#endif

namespace vesperon {
namespace {

constexpr std::size_t kRequestLimit = 255;
// An answer larger than this, header included, is no update list or program
// of ours; reading on would only exhaust memory or, for a header that never
// ends, keep start-up waiting for as long as the server cares to send.
constexpr std::size_t kAnswerLimit = std::size_t(64) << 20;

// The process-wide connection: one socket, the address it goes to, and the
// host name the request names.
struct TConnection {
  int Socket = -1;
  sockaddr_in Address{};
  std::string Host;
};

TConnection& Connection() {
  static TConnection connection;
  return connection;
}

std::chrono::milliseconds& TimeoutSetting() {
  static std::chrono::milliseconds timeout{10000};
  return timeout;
}

void CloseSocket(TConnection& c) {
  if (c.Socket >= 0) ::close(c.Socket);
  c.Socket = -1;
}

void ThrowErrno(const char* what) { throw std::system_error(errno, std::generic_category(), what); }

void SetBlocking(int fd, bool blocking) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK) < 0)
    ThrowErrno("fcntl");
}

void SetSocketTimeouts(int fd) {
  const long long ms = UpdateTimeout().count();
  timeval tv{};
  tv.tv_sec = static_cast<time_t>(ms / 1000);
  tv.tv_usec = static_cast<suseconds_t>((ms % 1000) * 1000);
  if (::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) < 0 ||
      ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv) < 0)
    ThrowErrno("setsockopt");
}

// Waits for the socket to become writable; 0 on time-out, -1 on error.
int PollWritable(int fd) {
  const auto deadline = std::chrono::steady_clock::now() + UpdateTimeout();
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd p{fd, POLLOUT, 0};
    const int n = ::poll(&p, 1, static_cast<int>(std::max<long long>(left.count(), 0)));
    if (n >= 0 || errno != EINTR) return n;
  }
}

// Connects within the time-out; returns 0 or the socket error code.
int ConnectWithTimeout(const TConnection& c) {
  // Address 0 would reach the local host on Linux; a failed lookup must
  // fail the connection instead, as connecting to "any address" does elsewhere.
  if (c.Address.sin_addr.s_addr == 0) return EADDRNOTAVAIL;
  SetBlocking(c.Socket, false);
  int error = 0;
  if (::connect(c.Socket, reinterpret_cast<const sockaddr*>(&c.Address), sizeof c.Address) < 0) {
    error = errno;
    if (error == EINPROGRESS) {
      const int ready = PollWritable(c.Socket);
      socklen_t len = sizeof error;
      if (ready < 0) error = errno;
      else if (ready == 0) error = ETIMEDOUT;
      else if (::getsockopt(c.Socket, SOL_SOCKET, SO_ERROR, &error, &len) < 0)
        ThrowErrno("getsockopt");
    }
  }
  if (error != 0) return error;
  SetBlocking(c.Socket, true);
  SetSocketTimeouts(c.Socket);
  return 0;
}

bool SendAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Reads until the server closes the connection, a receive fails or a
// receive times out.
TServerAnswer ReceiveAnswer(int fd) {
  THttpAnswerReader reader;
  TServerAnswer answer;
  char chunk[kReceiveChunkSize];
  std::size_t received = 0;
  for (;;) {
    const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      LogError("error during receiving data from auto-update server");
      answer.ReceiveFailed = true;
      break;
    }
    if (n == 0) break;
    received += static_cast<std::size_t>(n);
    if (received > kAnswerLimit) throw std::length_error("answer too large");
    reader.Feed(std::string_view(chunk, static_cast<std::size_t>(n)));
  }
  answer.Status = reader.Status();
  answer.Body = reader.TakeBody();
  return answer;
}

// A last "." after the fifth character with one to three digits behind it,
// not all zero.
bool LooksLikeDottedAddress(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot + 1 <= 5) return false;
  const std::string_view tail = name.substr(dot + 1);
  if (tail.empty() || tail.size() > 3) return false;
  int value = 0;
  for (char ch : tail) {
    if (ch < '0' || ch > '9') return false;
    value = value * 10 + (ch - '0');
  }
  return value != 0;
}

}  // namespace

std::optional<TUpdateServer> ParseUpdateServer(std::string_view text) {
  TUpdateServer server;
  const std::size_t colon = text.rfind(':');
  server.Host = std::string(text.substr(0, colon));
  if (server.Host.empty()) return std::nullopt;
  if (colon == std::string_view::npos) return server;
  const std::string_view port = text.substr(colon + 1);
  if (port.empty() || port.size() > 5) return std::nullopt;
  unsigned value = 0;
  for (char ch : port) {
    if (ch < '0' || ch > '9') return std::nullopt;
    value = value * 10 + unsigned(ch - '0');
  }
  if (value == 0 || value > 65535) return std::nullopt;
  server.Port = static_cast<uint16_t>(value);
  return server;
}

TUpdateServer UpdateServer() {
  const char* value = std::getenv("VESPERON_UPDATE_SERVER");
  if (value != nullptr && *value != '\0') {
    if (auto server = ParseUpdateServer(value)) return *server;
    LogWarning(std::string("ignoring malformed VESPERON_UPDATE_SERVER: ") + value);
  }
  return TUpdateServer{VESPERON_UPDATE_HOST, 80};
}

void SetUpdateTimeout(std::chrono::milliseconds timeout) { TimeoutSetting() = timeout; }
std::chrono::milliseconds UpdateTimeout() { return TimeoutSetting(); }

uint32_t ResolveHost(std::string_view name) {
  const std::string host(name);
  in_addr direct{};
  if (LooksLikeDottedAddress(name) && ::inet_aton(host.c_str(), &direct) != 0) return direct.s_addr;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return 0;
  const uint32_t address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
  ::freeaddrinfo(found);
  return address;
}

bool ConnectToServer() {
  TConnection& c = Connection();
  CloseSocket(c);
  try {
    const TUpdateServer server = UpdateServer();
    c.Host = server.Host;
    c.Address = sockaddr_in{};
    c.Address.sin_family = AF_INET;
    c.Address.sin_port = htons(server.Port);
    c.Address.sin_addr.s_addr = ResolveHost(server.Host);
    c.Socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int error = c.Socket < 0 ? errno : ConnectWithTimeout(c);
    if (error == 0) return true;
    LogError("could not connect. Socket error: " + std::to_string(error));
  } catch (const std::exception&) {
    LogError("error while connecting for auto-update");
  }
  CloseSocket(c);
  return false;
}

void Disconnect() {
  TConnection& c = Connection();
  // A peer that already reset the connection leaves nothing to shut down.
  if (c.Socket >= 0 && ::shutdown(c.Socket, SHUT_RDWR) < 0 && errno != ENOTCONN)
    LogError("error while disconnecting for auto-update");
  CloseSocket(c);
}

std::string BuildRequest(std::string_view path, std::string_view host) {
  std::string request = "GET ";
  request.append(path);
  request.append(" HTTP/1.0\r\nHost: ");
  request.append(host);
  request.append(
      "\r\nUser-Agent: Vesperon NG Auto-Update 1.0\r\nAccept: */*\r\nConnection: close\r\n\r\n");
  if (request.size() > kRequestLimit) request.resize(kRequestLimit);
  return request;
}

std::optional<TServerAnswer> ServerGet(std::string_view path) {
  if (!ConnectToServer()) return std::nullopt;
  TConnection& c = Connection();
  std::optional<TServerAnswer> answer;
  try {
    if (!SendAll(c.Socket, BuildRequest(path, c.Host))) {
      LogError("could not sent request to auto-update server");
      Disconnect();
      return std::nullopt;
    }
    answer = ReceiveAnswer(c.Socket);
    Log("auto-update: got " + std::to_string(answer->Body.size()) + " bytes");
  } catch (const std::exception&) {
    LogError("error while reading from server");
    answer.reset();
  }
  Disconnect();
  return answer;
}

}  // namespace vesperon
