#include "audio/playback.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "audio/audio_binding.h"
#include "core/files.h"
#include "core/idle_path.h"
#include "core/log.h"
#include "core/random.h"
#include "core/settings.h"
#include "core/skin_link.h"
#include "core/text.h"

namespace vesperon {
namespace {

constexpr auto kOpenPollInterval = std::chrono::milliseconds(10);

// Calls an entry point of the library; a name the loaded library does not
// export (or no library at all) answers like an uninitialised system.
template <typename F, typename... A>
int Call(F function, A... args) {
  return function != nullptr ? function(args...) : FMOD_ERR_UNINITIALIZED;
}

std::u16string ErrorText16(int result) { return Utf8ToUtf16(ErrorText(result)); }

std::u16string ChannelText(int index) { return IntToU16(index); }

uint32_t ChannelPosition(FMOD_CHANNEL* channel) {
  unsigned int position = 0;
  Call(gAudioLib.Channel_GetPosition, channel, &position, FMOD_TIMEUNIT_MS);
  return position;
}

uint32_t SoundLength(FMOD_SOUND* sound) {
  unsigned int length = 0;
  Call(gAudioLib.Sound_GetLength, sound, &length, FMOD_TIMEUNIT_MS);
  return length;
}

void SetChannelVolume(FMOD_CHANNEL* channel, float volume) {
  Call(gAudioLib.Channel_SetVolume, channel, volume);
}

std::u16string TrayTipFor(const TMediaEntry& entry) {
  if (!entry.Title.empty() && !entry.Artist.empty()) return entry.Title + u" - " + entry.Artist;
  if (!entry.Title.empty()) return entry.Title;
  if (!entry.Artist.empty()) return entry.Artist;
  return u"Vesperon";
}

// Starts the sound on the channel `handle` (reused when it is one). With
// crossfade on, the sound starts at its fade-in volume: it is started paused,
// given the volume and resumed, because the mixer would otherwise play its
// first block at full volume before the next step sets the fade.
int StartSound(FMOD_SOUND* sound, FMOD_CHANNEL*& handle) {
  const bool fadeIn = gSettings.Crossfade;
  const int result =
      Call(gAudioLib.System_PlaySound, gAudioSystem, FMOD_CHANNELINDEX{FMOD_CHANNEL_REUSE}, sound,
           FMOD_BOOL{fadeIn ? 1 : 0}, &handle);
  if (result != FMOD_OK || !fadeIn) return result;
  SetChannelVolume(handle, CrossfadeVolume(0, SoundLength(sound), gSettings.CrossfadeInTime,
                                           gSettings.CrossfadeOutTime));
  return Call(gAudioLib.Channel_SetPaused, handle, FMOD_BOOL{0});
}

TQueueEntry PopFront(std::vector<TQueueEntry>& queue) {
  TQueueEntry first = std::move(queue.front());
  queue.erase(queue.begin());
  return first;
}

}  // namespace

float CrossfadeVolume(uint32_t position, uint32_t length, uint32_t fadeIn, uint32_t fadeOut) {
  if (position <= fadeIn) {
    return fadeIn == 0 ? 1.0f : static_cast<float>(static_cast<double>(position) / fadeIn);
  }
  // Unsigned on purpose: a song shorter than the fade-out time wraps to a
  // huge limit and never fades out.
  if (position >= length - fadeOut) {
    if (fadeOut == 0) return 1.0f;
    const uint32_t left = position < length ? length - position : 0;
    return static_cast<float>(static_cast<double>(left) / fadeOut);
  }
  return 1.0f;
}

bool IsPlaylistName(const std::u16string& fileName) {
  const size_t slash = fileName.find_last_of(u'/');
  const size_t dot = fileName.find_last_of(u'.');
  if (dot == std::u16string::npos || (slash != std::u16string::npos && dot < slash)) return false;
  return AsciiLower(std::u16string_view(fileName).substr(dot)) == u".m3u";
}

std::vector<std::u16string> ParsePlaylist(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  std::vector<std::u16string> paths;
  while (!bytes.empty()) {
    const size_t end = bytes.find_first_of("\r\n");
    const std::string_view line = bytes.substr(0, end);
    if (!line.empty() && line.front() != '#') paths.push_back(Utf8ToUtf16(line));
    if (end == std::string_view::npos) break;
    const bool crlf = bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n';
    bytes.remove_prefix(end + (crlf ? 2 : 1));
  }
  return paths;
}

TPlayback::TPlayback() = default;
TPlayback::~TPlayback() = default;

VESPERON_IDLE_PATH TPlayback& Playback() {
  static TPlayback* player = [] {
    static TPlayback instance;
    SetCommandPlayer(&instance);
    return &instance;
  }();
  return *player;
}

TScriptPlayerHost& PlaybackScriptHost() {
  static TPlaybackScriptHost host(Playback());
  return host;
}

std::optional<TScriptSongTags> TPlaybackScriptHost::CurrentEntry() {
  const PMediaEntry entry = Player.Current().Entry;
  if (entry == nullptr) return std::nullopt;
  return TScriptSongTags{entry->Artist, entry->Title, entry->Album, entry->Genre};
}

// --- opening -----------------------------------------------------------------

bool TPlayback::OpenStream(const std::u16string& fileName, int32_t extra) {
  if (fileName.empty()) return false;
  CurrentChannel = 1 - CurrentChannel;
  const int c = CurrentChannel;
  Log(u"open stream " + fileName + u" into channel " + ChannelText(c) + u"...");
  TChannel& channel = Channels[c];
  if (channel.Channel != nullptr) Call(gAudioLib.Channel_Stop, channel.Channel);
  channel.Entry = nullptr;
  if (gSkinLink != nullptr) LinkDatabaseEntry(channel, fileName);

  // The channel's previous sound is released here: every song played
  // would otherwise keep its file and decoder until shutdown.
  if (channel.Sound != nullptr) Call(gAudioLib.Sound_Release, channel.Sound);
  channel.IsPlaying = 0;
  channel.Sound = nullptr;
  SongEndHandled = false;
  FMOD_SOUND* sound = nullptr;
  const int result = Call(gAudioLib.System_CreateSound, gAudioSystem,
                          reinterpret_cast<const char*>(fileName.c_str()), kStreamMode,
                          static_cast<FMOD_CREATESOUNDEXINFO*>(nullptr), &sound);
  if (result != FMOD_OK) {
    LogError(u"failed to open stream: " + ErrorText16(result));
    return false;
  }
  channel.Sound = sound;
  WaitUntilOpened(sound);
  RunOnSongCommand();
  AppendToHistory(fileName, extra);
  return true;
}

// Selects the file's row in the media list, keeps its entry with the channel
// and shows its title and artist in the tray tip.
void TPlayback::LinkDatabaseEntry(TChannel& channel, const std::u16string& fileName) {
  TMediaDB* db = MediaDB();
  const int row = db == nullptr ? -1 : db->IndexOfFilename(fileName);
  if (row < 0) return;
  PMediaEntry entry = db->GetEntryPtr(row);
  gSkinLink->SelectMediaRow(row);
  channel.Entry = entry;
  gSkinLink->SetTrayTip(TrayTipFor(*entry));
}

// Polls the open state every 10 ms until the library has decided.
bool TPlayback::WaitUntilOpened(FMOD_SOUND* sound) {
  for (;;) {
    FMOD_OPENSTATE state = FMOD_OPENSTATE_LOADING;
    unsigned int percentBuffered = 0;
    FMOD_BOOL starving = 0;
    const int result =
        Call(gAudioLib.Sound_GetOpenState, sound, &state, &percentBuffered, &starving);
    if (result != FMOD_OK) {
      LogError(u"error while loading song: " + ErrorText16(result));
      return false;
    }
    if (state == FMOD_OPENSTATE_READY) return true;
    if (state == FMOD_OPENSTATE_ERROR) {
      AdvanceAfterFailedLoad();
      return false;
    }
    std::this_thread::sleep_for(kOpenPollInterval);
  }
}

// The file could not be decoded: go on with the next song. Whoever took the
// file from the queue has removed it already, so the queue's first entry is
// the next song, not the failed one.
void TPlayback::AdvanceAfterFailedLoad() {
  LogError("loading failed");
  if (FailedLoadsInARow >= kMaxFailedLoadsInARow) {
    LogWarning("too many songs in a row failed to load, not advancing");
    return;
  }
  // The count goes down again however the nested steps end: a handler that
  // throws must not leave it raised, or the player would in time stop
  // advancing after a single failure.
  struct TInARow {
    int& Count;
    explicit TInARow(int& count) : Count(count) { ++Count; }
    ~TInARow() { --Count; }
  } inARow(FailedLoadsInARow);
  if (RunMainLoopStep) RunMainLoopStep();
  Log("advancing to next song in queue...");
  Next(false);
}

void TPlayback::AppendToHistory(const std::u16string& fileName, int32_t extra) {
  History.push_back(TQueueEntry{fileName, extra});
  if (History.size() > kMaxHistory) {
    History.erase(History.begin(), History.end() - static_cast<std::ptrdiff_t>(kMaxHistory));
  }
}

// --- transport ---------------------------------------------------------------

bool TPlayback::Play() {
  Log("play()...");
  if (Paused) {
    for (TChannel& channel : Channels) {
      if (channel.Channel == nullptr) continue;
      const int result = Call(gAudioLib.Channel_SetPaused, channel.Channel, FMOD_BOOL{0});
      if (result != FMOD_OK) LogError(u"cannot unpause stream: " + ErrorText16(result));
    }
    Paused = false;
    return true;
  }
  const int c = CurrentChannel;
  TChannel& current = Channels[c];
  if (current.Sound != nullptr) {
    Log(u"play channel " + ChannelText(c));
    FMOD_CHANNEL* handle = current.Channel;
    const int result = StartSound(current.Sound, handle);
    if (result != FMOD_OK) {
      LogError(u"playing channel " + ChannelText(c) + u" failed: " + ErrorText16(result));
    } else {
      current.Channel = handle;
      current.IsPlaying = 1;
      SongEndHandled = false;
    }
    return true;
  }
  if (!Queue.empty()) {
    const TQueueEntry first = PopFront(Queue);
    if (OpenStream(first.FileName, first.Extra)) {
      Play();
    } else {
      LogWarning("cannot play: stream not assigned and cannot open next song in queue");
    }
    return true;
  }
  Log("cannot play: stream not assigned and no song in queue");
  return true;
}

bool TPlayback::Pause() {
  for (int i = 0; i < 2; ++i) {
    if (Channels[i].Channel == nullptr) continue;
    const int result = Call(gAudioLib.Channel_SetPaused, Channels[i].Channel, FMOD_BOOL{1});
    if (result != FMOD_OK) {
      LogError(u"cannot pause channel " + ChannelText(i) + u": " + ErrorText16(result));
    }
  }
  Paused = true;
  return true;
}

bool TPlayback::Stop() {
  for (TChannel& channel : Channels) {
    Call(gAudioLib.Channel_Stop, channel.Channel);
    channel.IsPlaying = 0;
  }
  Log("stopped");
  return true;
}

// Opens the entry and starts it unless paused; false when it cannot be opened.
bool TPlayback::OpenAndPlay(const TQueueEntry& entry) {
  if (!OpenStream(entry.FileName, entry.Extra)) return false;
  if (!Paused) Play();
  return true;
}

bool TPlayback::Next(bool crossfading) {
  if (!crossfading) Stop();
  TMediaDB* db = MediaDB();
  if (!Queue.empty()) {
    if (!OpenAndPlay(PopFront(Queue))) LogWarning("cannot open next song in queue");
  } else if (db != nullptr && db->Count() > 0) {
    PlayRandomSong();
  } else {
    Log("no song in the media-db");
  }
  return true;
}

void TPlayback::PlayRandomSong() {
  const std::u16string fileName = MediaDB()->GetEntryPtr(ChooseRandomIndex())->Filename;
  bool opened = false;
  if (!IsPlaylistName(fileName)) {
    opened = OpenAndPlay(TQueueEntry{fileName, 0});
  } else if (ReadPlaylist(fileName) && !Queue.empty()) {
    opened = OpenAndPlay(PopFront(Queue));
  }
  if (!opened) LogWarning("cannot open randomly chosen song");
}

// Draws until the entry is not among the newer half of the history; the
// last of the draws is taken whatever it is.
int32_t TPlayback::ChooseRandomIndex() const {
  const TMediaDB& db = *MediaDB();
  int32_t index = 0;
  for (int draw = 1; draw <= kRandomDraws; ++draw) {
    index = static_cast<int32_t>(Random(static_cast<uint32_t>(db.Count())));
    if (!InNewerHalfOfHistory(db.GetEntryPtr(index)->Filename)) break;
  }
  return index;
}

bool TPlayback::InNewerHalfOfHistory(const std::u16string& fileName) const {
  for (size_t i = History.size(); i > History.size() / 2; --i) {
    if (History[i - 1].FileName == fileName) return true;
  }
  return false;
}

bool TPlayback::Previous(bool crossfading) {
  // Going back needs the current song and the one before it.
  if (History.size() < 2) return false;
  Queue.insert(Queue.begin(), History.back());
  const TQueueEntry previous = History[History.size() - 2];
  History.resize(History.size() - 2);
  if (!crossfading) Stop();
  if (!OpenAndPlay(previous)) LogWarning("cannot open previous song");
  return true;
}

bool TPlayback::SetVolume(int32_t value) { return ApplyMasterVolume(value); }

// --- queue -------------------------------------------------------------------

bool TPlayback::Enqueue(const std::u16string& fileName) {
  if (IsPlaylistName(fileName)) return ReadPlaylist(fileName);
  Queue.push_back(TQueueEntry{fileName, 0});
  return true;
}

bool TPlayback::ReadPlaylist(const std::u16string& fileName) {
  const std::optional<std::string> bytes = ReadWholeFile(PathFromU16(fileName));
  if (!bytes) {
    LogError(u"cannot read playlist " + fileName);
    return false;
  }
  for (std::u16string& path : ParsePlaylist(*bytes))
    Queue.push_back(TQueueEntry{std::move(path), 0});
  return true;
}

bool TPlayback::ClearQueue() {
  Queue.clear();
  return true;
}

VESPERON_IDLE_PATH uint32_t TPlayback::GetPosition() const {
  return Current().Channel != nullptr ? ChannelPosition(Current().Channel) : 0;
}

uint32_t TPlayback::GetLength() const {
  return Current().Sound != nullptr ? SoundLength(Current().Sound) : 0;
}

// --- per-step work -----------------------------------------------------------

VESPERON_IDLE_PATH void TPlayback::Step() {
  TChannel& current = Channels[CurrentChannel];
  if (current.IsPlaying != 0 && current.Channel != nullptr) {
    uint32_t position = ChannelPosition(current.Channel);
    const uint32_t length = SoundLength(current.Sound);
    if (gSettings.Crossfade && current.Sound != nullptr) {
      FadeCurrentChannel(position, length);
    } else {
      position = ChannelPosition(current.Channel);
    }
    // The end is handled once per song: when Next finds nothing to open,
    // the song stays current and would otherwise be counted again and
    // Next retried on every step.
    if (position >= length && !SongEndHandled) {
      SongEndHandled = true;
      CountFinishedSong();
      Next(true);
    }
  }
  FadeOtherChannel();
}

uint32_t MsBetweenFadeSteps(uint32_t fadeMs) {
  return fadeMs <= kEveryPassFadeMs ? 0 : std::min(fadeMs / kFadeStepsPerFade, kLongestFadeStepMs);
}

VESPERON_IDLE_PATH uint32_t TPlayback::MsUntilStepWork() const {
  uint32_t due = kNoStepWork;
  const TChannel& other = Channels[1 - CurrentChannel];
  if (gSettings.Crossfade && other.IsPlaying != 0 && other.Channel != nullptr &&
      other.Sound != nullptr && !PositionStandsStill(other)) {
    // Fading out; its end is watched as closely as a song's end.
    const uint32_t length = SoundLength(other.Sound), position = ChannelPosition(other.Channel);
    if (position + kStepLookAheadMs >= length) return 0;
    due = MsBetweenFadeSteps(gSettings.CrossfadeOutTime);
    if (due == 0) return 0;
  }
  const TChannel& current = Current();
  if (current.IsPlaying == 0 || current.Channel == nullptr || PositionStandsStill(current))
    return due;
  const uint32_t position = ChannelPosition(current.Channel);
  const uint32_t length = SoundLength(current.Sound);
  // The position at which Step next does something, as Step computes it.
  uint32_t next = kNoStepWork;
  if (gSettings.Crossfade && current.Sound != nullptr) {
    const uint32_t fadeIn = gSettings.CrossfadeInTime, fadeOut = gSettings.CrossfadeOutTime;
    // The step after the fade-in's end sets the full volume.
    if (fadeIn != 0 && position <= fadeIn) due = std::min(due, MsBetweenFadeSteps(fadeIn));
    // A fade-out longer than the song never starts (CrossfadeVolume).
    const bool fadesOut = fadeOut != 0 && fadeOut <= length;
    const uint32_t fadeOutAt = length - fadeOut;
    if (fadesOut && position >= fadeOutAt) {
      if (!SongEndHandled) return 0;  // the end is due at the fade-out's start
      return position < length ? std::min(due, MsBetweenFadeSteps(fadeOut)) : due;
    }
    if (fadesOut) next = fadeOutAt;
    if (!SongEndHandled) {
      const uint32_t endAt = length - std::min(fadeOut, length / 2);
      if (position >= endAt) return 0;
      next = std::min(next, endAt);
    }
  } else if (!SongEndHandled) {
    if (position >= length) return 0;
    next = length;
  }
  if (next == kNoStepWork || due == 0) return due;
  const uint32_t ms = next - position;
  return std::min(due, ms <= kStepLookAheadMs ? 0 : ms - kStepLookAheadMs);
}

// Paused channels keep their positions: Step would find what it found last.
bool TPlayback::PositionStandsStill(const TChannel& channel) const {
  if (!Paused) return false;
  FMOD_BOOL paused = 0;
  return Call(gAudioLib.Channel_GetPaused, channel.Channel, &paused) == FMOD_OK && paused != 0;
}

// Sets the current channel's fade volume and moves the position on by the
// fade-out time, so that the song counts as ended that long before its end.
// A song shorter than twice the fade-out time ends after half of it has
// played: moved on by the whole fade-out time, a song shorter than the fade
// would end at its first step, and a database of such songs would open song
// after song on every step, never to be heard and the player stalled.
void TPlayback::FadeCurrentChannel(uint32_t& position, uint32_t length) {
  const uint32_t fadeOut = gSettings.CrossfadeOutTime;
  SetChannelVolume(Current().Channel,
                   CrossfadeVolume(position, length, gSettings.CrossfadeInTime, fadeOut));
  position += std::min(fadeOut, length / 2);  // unsigned 32-bit, as the end test expects
}

void TPlayback::CountFinishedSong() {
  TMediaDB* db = MediaDB();
  if (db == nullptr || History.empty()) return;
  const TPMEArray matches = db->FindByFilename(History.back().FileName);
  if (matches.empty()) return;
  ++matches.front()->PlayCountB;
  ++matches.front()->PlayCountA;
}

// The previous song keeps playing on the other channel and fades to silence
// over its last CrossfadeOutTime milliseconds.
VESPERON_IDLE_PATH void TPlayback::FadeOtherChannel() {
  TChannel& other = Channels[1 - CurrentChannel];
  if (!gSettings.Crossfade || other.IsPlaying == 0 || other.Channel == nullptr ||
      other.Sound == nullptr) {
    return;
  }
  const uint32_t fadeOut = gSettings.CrossfadeOutTime;
  const uint32_t left = SoundLength(other.Sound) - ChannelPosition(other.Channel);
  if (left <= fadeOut && fadeOut != 0) {
    SetChannelVolume(other.Channel, static_cast<float>(static_cast<double>(left) / fadeOut));
  }
  FMOD_BOOL playing = 0;
  if (Call(gAudioLib.Channel_IsPlaying, other.Channel, &playing) != FMOD_OK) playing = 0;
  other.IsPlaying = playing;
}

}  // namespace vesperon
