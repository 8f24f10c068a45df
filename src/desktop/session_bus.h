#pragma once
// The connection to the user's D-Bus session bus (sd-bus). It never blocks
// the main loop: the main loop waits on Fd() for Events() or until
// TimeoutMs() and then calls Process(), which handles what has arrived.
// Without a session bus the object stays closed and the player goes on
// without desktop integration.
#include <systemd/sd-bus.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace vesperon::desktop {

class TSessionBus {
 public:
  TSessionBus() = default;
  ~TSessionBus();
  TSessionBus(const TSessionBus&) = delete;
  TSessionBus& operator=(const TSessionBus&) = delete;

  // Connects to $DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus. False
  // (with one debug log line) when there is none or it refuses us.
  bool Open();
  void Close();
  bool IsOpen() const { return Bus_ != nullptr; }
  sd_bus* Bus() const { return Bus_; }

  // Asks for the well-known name `base`; when another process holds it,
  // for `base` + ".instance" + the process id. The answer arrives through
  // Process(); OwnedName() is empty until then.
  void RequestName(const std::string& base);
  const std::string& OwnedName() const { return OwnedName_; }

  // What the main loop waits on: the socket (-1 when closed), the poll
  // events sd-bus wants, and the milliseconds until sd-bus must run
  // anyway (-1: no limit).
  int Fd() const;
  short Events() const;
  int TimeoutMs() const;
  // Handles every message that has arrived, without waiting. A lost
  // connection closes the bus (one debug log line).
  void Process();

 private:
  static int OnNameReply(sd_bus_message* reply, void* userdata, sd_bus_error* error);
  void SendNameRequest(const std::string& name, bool isFallback);

  sd_bus* Bus_ = nullptr;
  std::string BaseName_;
  std::string PendingName_;
  bool PendingIsFallback_ = false;
  std::string OwnedName_;
};

// The name asked for when `base` is taken: ".instance" and the process id.
std::string InstanceName(const std::string& base, int64_t processId);

// UTF-8 for the bus, which accepts only well-formed text: the stray bytes a
// legacy file name carries (lone surrogates in UTF-16) become U+FFFD.
std::string BusText(std::u16string_view text);

}  // namespace vesperon::desktop
