#include "desktop/mpris_playback.h"

#include <filesystem>

#include "audio/audio_binding.h"
#include "audio/playback.h"
#include "core/files.h"
#include "core/settings.h"
#include "core/text.h"
#include "media/mediadb.h"

namespace vesperon::desktop {
namespace {

namespace fs = std::filesystem;

bool ChannelAudible(FMOD_CHANNEL* channel) {
  if (channel == nullptr || gAudioLib.Channel_IsPlaying == nullptr) return false;
  FMOD_BOOL playing = 0;
  return gAudioLib.Channel_IsPlaying(channel, &playing) == FMOD_OK && playing != 0;
}

// The database entry of the file: the one the controller linked, else the
// database's own look-up (the controller links entries only once the skin
// exists).
PMediaEntry EntryOf(const TChannel& channel, const std::u16string& fileName) {
  if (channel.Entry != nullptr) return channel.Entry;
  TMediaDB* db = MediaDB();
  const int row = db == nullptr ? -1 : db->IndexOfFilename(fileName);
  return row < 0 ? nullptr : db->GetEntryPtr(row);
}

}  // namespace

TPlaybackMprisPlayer::TPlaybackMprisPlayer(TPlayback& playback, TMprisHooks hooks)
    : Playback_(playback), Hooks_(std::move(hooks)) {}

TMprisStatus TPlaybackMprisPlayer::Status() {
  const TChannel& current = Playback_.Current();
  if (current.IsPlaying == 0 || !ChannelAudible(current.Channel)) return psStopped;
  return Playback_.Paused ? psPaused : psPlaying;
}

uint64_t TPlaybackMprisPlayer::TrackId() {
  const TChannel& current = Playback_.Current();
  if (current.Sound == nullptr || Playback_.History.empty()) return 0;
  const std::u16string& fileName = Playback_.History.back().FileName;
  TSongKey& key = LastKey_;
  if (key.Channel != Playback_.CurrentChannel || key.Sound != current.Sound ||
      key.HistorySize != Playback_.History.size() || key.FileName != fileName) {
    key = {Playback_.CurrentChannel, current.Sound, Playback_.History.size(), fileName};
    ++TrackId_;
  }
  return TrackId_;
}

TMprisTrack TPlaybackMprisPlayer::Track() {
  TMprisTrack track;
  track.Id = TrackId();
  if (track.Id == 0) return track;
  const TChannel& current = Playback_.Current();
  const std::u16string& fileName = Playback_.History.back().FileName;
  std::error_code ec;
  const fs::path absolute = fs::absolute(PathFromU16(fileName), ec);
  track.Url =
      FileUriFromPath(ec ? PathFromU16(fileName).string() : absolute.lexically_normal().string());
  track.LengthUs = static_cast<int64_t>(Playback_.GetLength()) * 1000;
  if (const PMediaEntry entry = EntryOf(current, fileName)) {
    track.Title = BusText(entry->Title);
    track.Artist = BusText(entry->Artist);
    track.Album = BusText(entry->Album);
  }
  // A file the database does not know (or without a title tag) shows its
  // name, as the media list does.
  if (track.Title.empty()) track.Title = BusText(U16FromPath(PathFromU16(fileName).stem()));
  return track;
}

int64_t TPlaybackMprisPlayer::PositionUs() {
  return static_cast<int64_t>(Playback_.GetPosition()) * 1000;
}

int32_t TPlaybackMprisPlayer::Volume() { return gSettings.LastVolume; }

void TPlaybackMprisPlayer::SetVolume(int32_t value) { Playback_.SetVolume(value); }

bool TPlaybackMprisPlayer::CanPlay() {
  return Playback_.Current().Sound != nullptr || !Playback_.Queue.empty() || CanGoNext();
}

bool TPlaybackMprisPlayer::CanGoNext() {
  const TMediaDB* db = MediaDB();
  return !Playback_.Queue.empty() || (db != nullptr && db->Count() > 0);
}

bool TPlaybackMprisPlayer::CanGoPrevious() { return Playback_.History.size() >= 2; }

// The audio library has no call that moves a playing channel.
bool TPlaybackMprisPlayer::CanSeek() { return false; }

bool TPlaybackMprisPlayer::SetPositionUs(int64_t) { return false; }

// Play with nothing opened and nothing queued starts the next song, as a
// desktop's play key is expected to. A song opened while paused (next after
// pause) is not started by the controller's first Play, which only clears
// the pause; the second one starts it.
void TPlaybackMprisPlayer::Play() {
  const TChannel& current = Playback_.Current();
  if (current.Sound == nullptr && Playback_.Queue.empty() && !Playback_.Paused) {
    Playback_.Next(false);
    return;
  }
  const bool openedWhilePaused =
      Playback_.Paused && current.Sound != nullptr && current.IsPlaying == 0;
  Playback_.Play();
  if (openedWhilePaused) Playback_.Play();
}

void TPlaybackMprisPlayer::Pause() { Playback_.Pause(); }
void TPlaybackMprisPlayer::Stop() { Playback_.Stop(); }
void TPlaybackMprisPlayer::Next() { Playback_.Next(false); }
void TPlaybackMprisPlayer::Previous() { Playback_.Previous(false); }

// The file goes to the front of the queue and Next plays it, so it takes
// the way of every queued song (history, database entry, crossfade).
// A playlist's songs go to the front in their order.
void TPlaybackMprisPlayer::OpenFile(const std::string& path) {
  const std::u16string name = U16FromPath(fs::path(path));
  std::vector<TQueueEntry> songs;
  if (!IsPlaylistName(name)) {
    songs.push_back(TQueueEntry{name, 0});
  } else if (const std::optional<std::string> bytes = ReadWholeFile(fs::path(path))) {
    for (std::u16string& song : ParsePlaylist(*bytes))
      songs.push_back(TQueueEntry{std::move(song), 0});
  }
  if (songs.empty()) return;
  Playback_.Queue.insert(Playback_.Queue.begin(), songs.begin(), songs.end());
  Playback_.Next(false);
}

void TPlaybackMprisPlayer::Raise() {
  if (Hooks_.Raise) Hooks_.Raise();
}

void TPlaybackMprisPlayer::Quit() {
  if (Hooks_.Quit) Hooks_.Quit();
}

}  // namespace vesperon::desktop
