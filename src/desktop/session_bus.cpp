#include "desktop/session_bus.h"

#include <poll.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <string>

#include "core/log.h"
#include "core/text.h"

namespace vesperon::desktop {
namespace {

// Answers of org.freedesktop.DBus.RequestName.
constexpr uint32_t kPrimaryOwner = 1;
constexpr uint32_t kAlreadyOwner = 4;
// Flag of RequestName: fail at once rather than wait in the name's queue.
constexpr uint32_t kDoNotQueue = 4;

uint64_t MonotonicMicroseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000000u + static_cast<uint64_t>(now.tv_nsec) / 1000u;
}

}  // namespace

std::string BusText(std::u16string_view text) {
  std::u16string clean(text);
  for (size_t i = 0; i < clean.size(); ++i) {
    const char16_t c = clean[i];
    const bool high = c >= 0xD800 && c <= 0xDBFF;
    const bool pairedHigh =
        high && i + 1 < clean.size() && clean[i + 1] >= 0xDC00 && clean[i + 1] <= 0xDFFF;
    if (pairedHigh) {
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      clean[i] = 0xFFFD;
    }
  }
  return Utf16ToUtf8(clean);
}

std::string InstanceName(const std::string& base, int64_t processId) {
  return base + ".instance" + std::to_string(processId);
}

TSessionBus::~TSessionBus() { Close(); }

bool TSessionBus::Open() {
  Close();
  sd_bus* bus = nullptr;
  const int result = sd_bus_open_user(&bus);
  if (result < 0) {
    Log(std::string("no D-Bus session bus (") + std::strerror(-result) +
        "), desktop integration off");
    return false;
  }
  Bus_ = bus;
  return true;
}

void TSessionBus::Close() {
  if (Bus_ == nullptr) return;
  // Flushes what is queued (a last PropertiesChanged, a notification) and
  // drops every slot still bound to the connection.
  sd_bus_flush_close_unref(Bus_);
  Bus_ = nullptr;
  OwnedName_.clear();
}

void TSessionBus::RequestName(const std::string& base) {
  BaseName_ = base;
  SendNameRequest(base, false);
}

void TSessionBus::SendNameRequest(const std::string& name, bool isFallback) {
  if (Bus_ == nullptr) return;
  PendingName_ = name;
  PendingIsFallback_ = isFallback;
  const int result = sd_bus_call_method_async(
      Bus_, nullptr, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
      "RequestName", OnNameReply, this, "su", name.c_str(), kDoNotQueue);
  if (result < 0) Log("D-Bus: cannot ask for the name " + name + ": " + std::strerror(-result));
}

int TSessionBus::OnNameReply(sd_bus_message* reply, void* userdata, sd_bus_error*) {
  auto* self = static_cast<TSessionBus*>(userdata);
  uint32_t answer = 0;
  if (sd_bus_message_is_method_error(reply, nullptr) ||
      sd_bus_message_read(reply, "u", &answer) < 0) {
    const sd_bus_error* error = sd_bus_message_get_error(reply);
    Log("D-Bus: the name " + self->PendingName_ + " was refused: " +
        (error != nullptr && error->message != nullptr ? error->message : "malformed answer"));
    return 0;
  }
  if (answer == kPrimaryOwner || answer == kAlreadyOwner) {
    self->OwnedName_ = self->PendingName_;
    Log("D-Bus: owning the name " + self->OwnedName_);
  } else if (!self->PendingIsFallback_) {
    self->SendNameRequest(InstanceName(self->BaseName_, getpid()), true);
  } else {
    Log("D-Bus: the name " + self->PendingName_ + " is taken as well");
  }
  return 0;
}

int TSessionBus::Fd() const { return Bus_ != nullptr ? sd_bus_get_fd(Bus_) : -1; }

short TSessionBus::Events() const {
  if (Bus_ == nullptr) return 0;
  const int events = sd_bus_get_events(Bus_);
  return events < 0 ? POLLIN : static_cast<short>(events);
}

int TSessionBus::TimeoutMs() const {
  uint64_t deadline = 0;
  if (Bus_ == nullptr || sd_bus_get_timeout(Bus_, &deadline) <= 0 || deadline == UINT64_MAX)
    return -1;
  const uint64_t now = MonotonicMicroseconds();
  if (deadline <= now) return 0;
  const uint64_t ms = (deadline - now + 999) / 1000;
  return ms > 60000 ? 60000 : static_cast<int>(ms);
}

void TSessionBus::Process() {
  if (Bus_ == nullptr) return;
  // A bounded number of rounds: a peer that floods the socket must not
  // keep the player from its own work; the rest waits for the next pass.
  for (int round = 0; round < 64; ++round) {
    const int result = sd_bus_process(Bus_, nullptr);
    if (result == 0) return;
    if (result < 0) {
      Log(std::string("D-Bus: connection lost (") + std::strerror(-result) + ")");
      Close();
      return;
    }
  }
}

}  // namespace vesperon::desktop
