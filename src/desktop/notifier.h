#pragma once
// Desktop notifications (org.freedesktop.Notifications) for the warnings
// and errors that would be tray balloons when no tray icon is docked.
// Bursts are limited: at most one notification a second; what arrives in
// between waits, repeats of one report are folded into a count, and other
// reports in the same second are summed up in one line.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "desktop/session_bus.h"

namespace vesperon::desktop {

struct TNotification {
  std::u16string Title, Text;
  int Repeats = 1;  // how often this report came
  int Others = 0;   // other reports folded into this notification
};

// The rate limit alone, on a clock the caller passes (milliseconds).
class TNotificationLimiter {
 public:
  static constexpr int64_t kIntervalMs = 1000;

  void Offer(std::u16string_view title, std::u16string_view text, int64_t nowMs);
  // The notification due now, if any: everything offered since the last
  // one, once a second has passed since it.
  std::optional<TNotification> Take(int64_t nowMs);
  // Milliseconds until Take gives one; -1 when nothing waits.
  int WaitMs(int64_t nowMs) const;

 private:
  std::vector<TNotification> Pending_;
  std::optional<int64_t> LastShown_;
};

// The summary and body a notification shows, cut to the tray balloon's
// limits (title 63, text 255 characters); the body's markup characters are
// escaped, as servers may read it as markup.
std::string NotificationSummary(const TNotification& n);
std::string NotificationBody(const TNotification& n);

class TDesktopNotifier {
 public:
  explicit TDesktopNotifier(TSessionBus& bus) : Bus_(bus) {}
  // Queues the report and sends what is due; never waits for the server.
  void Notify(std::u16string_view title, std::u16string_view text);
  // Sends a waiting notification once its second has passed.
  void Flush();
  // Milliseconds until Flush has work; -1 when nothing waits.
  int TimeoutMs() const;

 private:
  void Send(const TNotification& n);

  TSessionBus& Bus_;
  TNotificationLimiter Limiter_;
  bool Sending_ = false;
};

}  // namespace vesperon::desktop
