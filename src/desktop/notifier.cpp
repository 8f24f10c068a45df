#include "desktop/notifier.h"

#include <systemd/sd-bus.h>

#include <chrono>
#include <cstring>

#include "core/log.h"
#include "core/text.h"
#include "platform/platform.h"

namespace vesperon::desktop {
namespace {

int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// At most `limit` UTF-16 units, never splitting a surrogate pair.
std::u16string Cut(std::u16string text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t end = limit;
  if (end > 0 && text[end - 1] >= 0xD800 && text[end - 1] <= 0xDBFF) --end;
  text.resize(end);
  return text;
}

std::string EscapeMarkup(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace

void TNotificationLimiter::Offer(std::u16string_view title, std::u16string_view text, int64_t) {
  for (TNotification& n : Pending_) {
    if (n.Title == title && n.Text == text) {
      ++n.Repeats;
      return;
    }
  }
  // Only the first report is kept word for word; later different ones are
  // counted, so a burst of varied reports costs no memory.
  if (Pending_.empty()) {
    Pending_.push_back(TNotification{std::u16string(title), std::u16string(text)});
  } else {
    ++Pending_.front().Others;
  }
}

int TNotificationLimiter::WaitMs(int64_t nowMs) const {
  if (Pending_.empty()) return -1;
  if (!LastShown_ || nowMs - *LastShown_ >= kIntervalMs) return 0;
  return static_cast<int>(*LastShown_ + kIntervalMs - nowMs);
}

std::optional<TNotification> TNotificationLimiter::Take(int64_t nowMs) {
  if (WaitMs(nowMs) != 0) return std::nullopt;
  TNotification n = std::move(Pending_.front());
  Pending_.clear();
  LastShown_ = nowMs;
  return n;
}

std::string NotificationSummary(const TNotification& n) {
  return BusText(Cut(n.Title, kBalloonTitleMax));
}

std::string NotificationBody(const TNotification& n) {
  std::u16string text = n.Text;
  if (n.Repeats > 1) text += u" (" + Utf8ToUtf16(std::to_string(n.Repeats)) + u" times)";
  if (n.Others > 0) text += u" (+" + Utf8ToUtf16(std::to_string(n.Others)) + u" more in the log)";
  return EscapeMarkup(BusText(Cut(text, kBalloonTextMax)));
}

void TDesktopNotifier::Notify(std::u16string_view title, std::u16string_view text) {
  Limiter_.Offer(title, text, NowMs());
  Flush();
}

void TDesktopNotifier::Flush() {
  // A report raised while sending (a debug line cannot be one, but a
  // future change might) must not send again from inside the send.
  if (Sending_) return;
  if (const std::optional<TNotification> n = Limiter_.Take(NowMs())) {
    Sending_ = true;
    Send(*n);
    Sending_ = false;
  }
}

int TDesktopNotifier::TimeoutMs() const { return Limiter_.WaitMs(NowMs()); }

// Without a reply handler sd-bus marks the call as needing no answer, so
// nothing waits for the notification server, running or not.
void TDesktopNotifier::Send(const TNotification& n) {
  if (!Bus_.IsOpen()) return;
  const std::string summary = NotificationSummary(n), body = NotificationBody(n);
  const uint8_t urgency = n.Title == u"Error" ? 2 : 1;
  const int r = sd_bus_call_method_async(
      Bus_.Bus(), nullptr, "org.freedesktop.Notifications", "/org/freedesktop/Notifications",
      "org.freedesktop.Notifications", "Notify", nullptr, nullptr, "susssasa{sv}i", "Vesperon", 0u,
      "vesperon", summary.c_str(), body.c_str(), 0, 1, "urgency", "y", urgency, -1);
  if (r < 0) Log(std::string("D-Bus: cannot send a notification: ") + std::strerror(-r));
}

}  // namespace vesperon::desktop
