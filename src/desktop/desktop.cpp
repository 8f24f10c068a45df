#include "desktop/desktop.h"

#include <algorithm>
#include <chrono>

#include "audio/playback.h"

namespace vesperon::desktop {

const std::vector<std::string>& SupportedMimeTypes() {
  static const std::vector<std::string> types = {
      "audio/wav",  "audio/x-wav",        "audio/flac",     "audio/x-flac",
      "audio/ogg",  "audio/x-vorbis+ogg", "audio/opus",     "audio/x-opus+ogg",
      "audio/mpeg", "audio/x-mp2",        "audio/x-mpegurl"};
  return types;
}

TDesktopIntegration::TDesktopIntegration(TMprisHooks hooks)
    : Player_(Playback(), std::move(hooks)), Notifier_(Bus_) {
  if (!Bus_.Open()) return;
  Mpris_ = std::make_unique<TMprisService>(
      Bus_, Player_, TMprisIdentity{"Vesperon", "vesperon", SupportedMimeTypes()});
  // The interfaces are in place before the name is asked for, so a client
  // that sees the name appear finds them.
  if (Mpris_->Publish()) Bus_.RequestName(kBusName);
}

TDesktopIntegration::~TDesktopIntegration() {
  Mpris_.reset();
  Bus_.Close();
}

int TDesktopIntegration::TimeoutMs() const {
  if (!Connected()) return -1;
  const int bus = Bus_.TimeoutMs(), notes = Notifier_.TimeoutMs();
  if (bus < 0) return notes;
  if (notes < 0) return bus;
  return std::min(bus, notes);
}

void TDesktopIntegration::Process() {
  Bus_.Process();
  Notifier_.Flush();
}

// The player's state is compared at most every kRefreshIntervalMs: the
// comparison asks the audio library (a lock) and the main loop passes every
// few milliseconds, while a sound menu needs no finer steps.
void TDesktopIntegration::AfterPass() {
  if (!Mpris_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - LastRefresh_ < std::chrono::milliseconds(kRefreshIntervalMs)) return;
  LastRefresh_ = now;
  Mpris_->Refresh();
}

void TDesktopIntegration::Notify(std::u16string_view title, std::u16string_view text) {
  if (!Connected()) return;
  Notifier_.Notify(title, text);
}

}  // namespace vesperon::desktop
