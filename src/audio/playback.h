#pragma once
// The playback controller: one song at a time on two alternating channels,
// so that the end of one song can fade out on one channel while the next
// fades in on the other; a play queue of upcoming files, a history of opened
// files, and a random choice from the media database when the queue is
// empty. It never blocks except while a file opens (10 ms polls) and does its
// timing in Step, which the main loop calls every pass.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "audiolib/audiolib.h"
#include "core/commands.h"
#include "core/idle_path.h"
#include "media/mediadb.h"
#include "script/host.h"

namespace vesperon {

struct TChannel {
  FMOD_SOUND* Sound = nullptr;      // the opened file; null when nothing is opened
  FMOD_CHANNEL* Channel = nullptr;  // the library channel; null until the first play
  int32_t IsPlaying = 0;            // nonzero while the channel is known to play
  PMediaEntry Entry = nullptr;      // the file's database entry, when it has one
};

struct TQueueEntry {
  std::u16string FileName;
  int32_t Extra = 0;  // carried with the file name; 0 from every producer
  bool operator==(const TQueueEntry&) const = default;
};

// The history keeps at most this many of the most recently opened files.
inline constexpr size_t kMaxHistory = 1024;
// Draws of the random choice before the last draw is taken whatever it is.
inline constexpr int kRandomDraws = 21;
// A file that fails to load advances to the next song, which may fail in
// turn; after this many failures in a row the player stops advancing, so a
// database or playlist of missing files cannot recurse without end.
inline constexpr int kMaxFailedLoadsInARow = 64;
// MsUntilStepWork: nothing to do until something else (a command) changes
// the channels.
inline constexpr uint32_t kNoStepWork = UINT32_MAX;
// MsUntilStepWork asks for every step this long before a song's end or
// fade-out starts: the library's position moves in blocks of the output, so
// the last stretch is watched as closely as ever.
inline constexpr uint32_t kStepLookAheadMs = 20;
// While a fade runs the volume moves in steps of at most 1/500 of the full
// volume: a fade of up to a second is stepped on every pass of the main
// loop (2 ms), a longer one less often, at most every kLongestFadeStepMs,
// which stays under one block of the mixer (512 frames, 11.6 ms), so the
// volume of every block still follows the fade.
inline constexpr uint32_t kFadeStepsPerFade = 500;
inline constexpr uint32_t kEveryPassFadeMs = 1000;
inline constexpr uint32_t kLongestFadeStepMs = 10;
// What MsUntilStepWork asks for while a fade of `fadeMs` runs: 0 (every
// pass) for a fade of up to a second, else the time between its steps.
uint32_t MsBetweenFadeSteps(uint32_t fadeMs);

class TPlayback : public TCommandPlayer {
 public:
  TPlayback();
  ~TPlayback() override;

  // Resumes when paused; else starts the current channel's sound; else opens
  // and starts the first queue entry.
  bool Play() override;
  bool Pause() override;
  // Stops both channels. Sounds, entries and the Paused flag stay.
  bool Stop() override;
  // The next song: the queue's first entry, else a random database entry.
  bool Next(bool crossfading) override;
  // The song opened before the current one; the current one goes to the
  // front of the queue. Does nothing (and returns false) while the history
  // holds fewer than two songs.
  bool Previous(bool crossfading) override;
  // Clamps to 0-255, stores LastVolume and sets the master volume.
  bool SetVolume(int32_t value) override;

  // Opens a file into the other channel (which becomes the current one)
  // without starting it. False when the name is empty or the library
  // refuses to create the sound.
  bool OpenStream(const std::u16string& fileName, int32_t extra);
  // Appends a file, or every path of a ".m3u" playlist, to the queue.
  bool Enqueue(const std::u16string& fileName);
  bool ClearQueue();
  // The current channel's position and its sound's length, in milliseconds;
  // 0 when the library cannot tell.
  uint32_t GetPosition() const;
  uint32_t GetLength() const;

  // The per-step work of the main loop: crossfade volumes and end-of-song
  // detection of the current channel, fade-out of the other one.
  void Step();
  // How long the main loop may go without calling Step, in milliseconds:
  // 0 while a fade changes a volume on every step, or while the current
  // song's end (or the start of its fade-out) is due or less than
  // kStepLookAheadMs away; the time until then otherwise, computed from the
  // channel's position and length; kNoStepWork while nothing plays or the
  // positions stand still (paused).
  uint32_t MsUntilStepWork() const;

  const TChannel& Current() const { return Channels[CurrentChannel]; }

  TChannel Channels[2];
  uint8_t CurrentChannel = 0;  // every open flips it first: the first song opens on 1
  bool Paused = false;
  std::vector<TQueueEntry> Queue;    // first element = next to play
  std::vector<TQueueEntry> History;  // oldest first

  // Runs one pass of the main loop; OpenStream does so after a file failed
  // to load, before it advances. Empty: nothing runs.
  std::function<void()> RunMainLoopStep;

 private:
  bool OpenAndPlay(const TQueueEntry& entry);
  bool OpenFromQueue();
  void PlayRandomSong();
  int32_t ChooseRandomIndex() const;
  bool InNewerHalfOfHistory(const std::u16string& fileName) const;
  void LinkDatabaseEntry(TChannel& channel, const std::u16string& fileName);
  bool WaitUntilOpened(FMOD_SOUND* sound);
  void AdvanceAfterFailedLoad();
  void AppendToHistory(const std::u16string& fileName, int32_t extra);
  void CountFinishedSong();
  void FadeCurrentChannel(uint32_t& position, uint32_t length);
  void FadeOtherChannel();
  bool PositionStandsStill(const TChannel& channel) const;
  bool ReadPlaylist(const std::u16string& fileName);

  int FailedLoadsInARow = 0;
  // Set once the current song's end has been handled (counted, Next run).
  bool SongEndHandled = false;
};

// The player as skin scripts see it: the current channel's position, length
// and tags, the Paused flag, and the transport (Next and Previous without
// crossfading).
class TPlaybackScriptHost : public TScriptPlayerHost {
 public:
  explicit TPlaybackScriptHost(TPlayback& player) : Player(player) {}
  VESPERON_IDLE_PATH uint32_t CurrentPosition() override { return Player.GetPosition(); }
  uint32_t CurrentLength() override { return Player.GetLength(); }
  bool Paused() override { return Player.Paused; }
  std::optional<TScriptSongTags> CurrentEntry() override;
  void Play() override { Player.Play(); }
  void Stop() override { Player.Stop(); }
  void Pause() override { Player.Pause(); }
  void Next() override { Player.Next(false); }
  void Previous() override { Player.Previous(false); }

 private:
  TPlayback& Player;
};

// The player of this process: created by the first call, installed as the
// command strings' player.
TPlayback& Playback();
// The scripts' view of Playback(), for the skin to hand to its engines.
TScriptPlayerHost& PlaybackScriptHost();

// The crossfade volume of the current channel at `position` of a song of
// `length` milliseconds (unsigned 32-bit arithmetic, as the main loop does
// it). A fade time of 0 means no fade: full volume.
float CrossfadeVolume(uint32_t position, uint32_t length, uint32_t fadeIn, uint32_t fadeOut);

// True when the file name's extension is ".m3u" in any letter case.
bool IsPlaylistName(const std::u16string& fileName);
// The paths of a playlist's text: lines ended by CR LF, LF or CR; empty
// lines and lines beginning with "#" are skipped; a leading UTF-8 byte-order
// mark is dropped.
std::vector<std::u16string> ParsePlaylist(std::string_view bytes);

}  // namespace vesperon
