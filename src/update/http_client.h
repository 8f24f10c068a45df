#pragma once
// The update client's HTTP/1.0 exchange: one TCP connection per request, one
// GET, the whole answer read into memory until the server closes.
//
// The server is a constant of the build (VESPERON_UPDATE_HOST, port 80);
// VESPERON_UPDATE_SERVER=host[:port] in the environment overrides it. The
// connection is process-wide state and lives only inside one ServerGet.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vesperon {

struct TUpdateServer {
  std::string Host;
  uint16_t Port = 80;
};

// The server to ask: the override from the environment, else the built-in one.
TUpdateServer UpdateServer();
// "host" or "host:port" (port 1-65535); nothing when the text is malformed.
std::optional<TUpdateServer> ParseUpdateServer(std::string_view text);

// How long connecting, sending and each single receive may wait (10 s unless
// changed), so a silent server cannot hang start-up.
void SetUpdateTimeout(std::chrono::milliseconds timeout);
std::chrono::milliseconds UpdateTimeout();

// The IPv4 address of Name in network byte order, or 0. A name that looks
// like a dotted address (its last "." after the fifth character, followed by
// at most three characters forming a non-zero number) is converted directly;
// anything else is looked up.
uint32_t ResolveHost(std::string_view name);

// Opens the process-wide connection to the update server.
bool ConnectToServer();
// Shuts the connection down both ways and closes it.
void Disconnect();

// The request for one path, cut to 255 bytes as it goes on the wire.
std::string BuildRequest(std::string_view path, std::string_view host);

struct TServerAnswer {
  std::string Body;  // everything after the header; error pages included
  int Status = 0;    // from the status line; 0 when there was none
  // The exchange ended on a receive error or time-out instead of the server
  // closing the connection, so the body may be cut short.
  bool ReceiveFailed = false;
};

// GETs the path and returns the body of the answer, or nothing when no
// connection could be made, the request could not be sent, or the exchange
// failed unexpectedly (each is logged).
std::optional<TServerAnswer> ServerGet(std::string_view path);

}  // namespace vesperon
