#pragma once
// Desktop integration as the main loop sees it: one object that connects to
// the session bus at start-up, publishes the MPRIS interfaces for the
// player, owns a bus name and sends notifications. It never waits: the main
// loop watches Fd() for Events() (or until TimeoutMs()) and calls
// Process(), and calls AfterPass() after every pass so that changes made
// elsewhere in the player reach the desktop. Without a session bus every
// call does nothing.
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "desktop/mpris_playback.h"
#include "desktop/notifier.h"
#include "desktop/session_bus.h"

namespace vesperon::desktop {

// The well-known name the player asks for.
inline constexpr const char* kBusName = "org.mpris.MediaPlayer2.vesperon";

// How often AfterPass compares the player's state with what was announced.
inline constexpr int kRefreshIntervalMs = 40;

// The media types the audio library decodes (and ".m3u" playlists).
const std::vector<std::string>& SupportedMimeTypes();

class TDesktopIntegration {
 public:
  // Connects and publishes; without a bus the object stays idle.
  explicit TDesktopIntegration(TMprisHooks hooks);
  ~TDesktopIntegration();

  bool Connected() const { return Bus_.IsOpen(); }
  int Fd() const { return Bus_.Fd(); }
  short Events() const { return Bus_.Events(); }
  int TimeoutMs() const;
  void Process();
  void AfterPass();
  // A warning or error for the desktop's notification server.
  void Notify(std::u16string_view title, std::u16string_view text);

 private:
  TSessionBus Bus_;
  TPlaybackMprisPlayer Player_;
  std::unique_ptr<TMprisService> Mpris_;
  TDesktopNotifier Notifier_;
  std::chrono::steady_clock::time_point LastRefresh_;
};

}  // namespace vesperon::desktop
