#pragma once
// The player of this process as MPRIS sees it: the playback controller
// (src/audio/playback.h), the media database for the song's tags and the
// master volume setting. Raise and Quit belong to the windows and the main
// loop, which app hands in.
#include <functional>
#include <string>

#include "desktop/mpris.h"

namespace vesperon {
class TPlayback;
}

namespace vesperon::desktop {

struct TMprisHooks {
  std::function<void()> Raise;  // shows the main window
  std::function<void()> Quit;   // posts the quit message
};

class TPlaybackMprisPlayer : public TMprisPlayer {
 public:
  TPlaybackMprisPlayer(TPlayback& playback, TMprisHooks hooks);

  TMprisStatus Status() override;
  uint64_t TrackId() override;
  TMprisTrack Track() override;
  int64_t PositionUs() override;
  int32_t Volume() override;
  void SetVolume(int32_t value) override;
  bool CanPlay() override;
  bool CanGoNext() override;
  bool CanGoPrevious() override;
  bool CanSeek() override;
  void Play() override;
  void Pause() override;
  void Stop() override;
  void Next() override;
  void Previous() override;
  bool SetPositionUs(int64_t position) override;
  void OpenFile(const std::string& path) override;
  void Raise() override;
  void Quit() override;

 private:
  // What identifies one opening of a song: the channel, its sound and the
  // history entry the opening appended.
  struct TSongKey {
    int Channel = -1;
    const void* Sound = nullptr;
    size_t HistorySize = 0;
    std::u16string FileName;
  };

  TPlayback& Playback_;
  TMprisHooks Hooks_;
  TSongKey LastKey_;
  uint64_t TrackId_ = 0;
};

}  // namespace vesperon::desktop
