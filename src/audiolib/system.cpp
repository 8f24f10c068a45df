#include "audiolib/system.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "audiolib/handles.h"

namespace vesperon::audiolib {
namespace {

unsigned ClampToUnsigned(uint64_t value) {
  return static_cast<unsigned>(std::min<uint64_t>(value, UINT32_MAX));
}

uint64_t LengthMs(const TStreamInfo& info) {
  return info.Frames * 1000 / static_cast<uint64_t>(info.Rate);
}

// A failed device is tried again this often while sound is being written.
constexpr int64_t kRetryNs = 1'000'000'000;
// After the last frame should have been heard, the mixer waits this much
// longer before it sets the output idle.
constexpr int64_t kSettleNs = 10'000'000;
// Volume changes (a fade moves the volume at every step of the caller) are
// gathered: at most one rewrite for them this often.
constexpr int64_t kVolumeRewriteGapNs = 30'000'000;

int64_t FramesToNs(uint64_t frames) {
  return static_cast<int64_t>(static_cast<double>(frames) * 1e9 / kOutputRate);
}

}  // namespace

TSystem::~TSystem() { Close(); }

bool TSystem::IsInitialised() {
  std::lock_guard lock(FLock);
  return FInitialised;
}

const char* TSystem::OutputName() {
  std::lock_guard lock(FLock);
  return FOutput ? FOutput->Name() : "";
}

FMOD_RESULT TSystem::Init(int maxChannels) {
  if (maxChannels < 1) return FMOD_ERR_INVALID_PARAM;
  std::lock_guard lock(FLock);
  if (FInitialised) return FMOD_ERR_INITIALIZED;
  const char* outputName = std::getenv("VESPERON_AUDIO_OUTPUT");
  FOutput = OpenOutput(outputName != nullptr ? outputName : "", kOutputRate);
  if (!FOutput) return FMOD_ERR_OUTPUT_INIT;
  FSlots.assign(static_cast<size_t>(std::min(maxChannels, kMaxMixChannels)), TChannelSlot{});
  FWritten = FHeardBase = FHeardFloor = 0;
  FHeardAtNs = MonotonicNowNs();
  FRewrite = FRewriteUrgent = false;
  FRewriteEnd = 0;
  FMasterGains.clear();
  FFailedOutput.clear();
  FQuit = false;
  FInitialised = true;
  FMixerThread = std::thread([this] {
    pthread_setname_np(pthread_self(), "vesperon-mixer");
    MixerLoop();
  });
  FOpenerThread = std::thread([this] {
    pthread_setname_np(pthread_self(), "vesperon-opener");
    OpenerLoop();
  });
  return FMOD_OK;
}

FMOD_RESULT TSystem::Close() {
  {
    std::lock_guard lock(FLock);
    if (!FInitialised) return FMOD_OK;
    FQuit = true;
    // A mixer waiting for the output's next request stops waiting.
    if (FOutput) FOutput->Interrupt();
  }
  FOpenWake.notify_all();
  FMixWake.notify_all();
  FMixerThread.join();
  FOpenerThread.join();
  std::lock_guard lock(FLock);
  for (TChannelSlot& slot : FSlots) {
    if (slot.Handle != 0) UnregisterHandle(slot.Handle);
  }
  for (const auto& sound : FSounds) UnregisterHandle(sound->Handle);
  FSlots.clear();
  FPlays.clear();
  FSounds.clear();
  FOpenQueue.clear();
  FOutput.reset();
  FInitialised = false;
  return FMOD_OK;
}

FMOD_RESULT TSystem::SetMasterVolume(float volume) {
  if (!std::isfinite(volume)) return FMOD_ERR_INVALID_PARAM;
  std::lock_guard lock(FLock);
  const float clamped = std::clamp(volume, 0.0f, 1.0f);
  if (clamped != FMasterVolume && FInitialised) RequestRewrite(false);
  FMasterVolume = clamped;
  return FMOD_OK;
}

float TSystem::MasterVolume() {
  std::lock_guard lock(FLock);
  return FMasterVolume;
}

// --- sounds ---------------------------------------------------------------

FMOD_RESULT TSystem::CreateSound(const std::string& path, FMOD_MODE mode, uintptr_t& handle) {
  auto sound = std::make_shared<TSound>();
  sound->Path = path;
  sound->Accurate = (mode & FMOD_ACCURATETIME) != 0;
  if ((mode & FMOD_NONBLOCKING) == 0) {
    OpenNow(*sound);
    if (sound->OpenState != FMOD_OPENSTATE_READY) return sound->OpenError;
  }
  std::lock_guard lock(FLock);
  if (!FInitialised) return FMOD_ERR_UNINITIALIZED;
  sound->Handle = RegisterHandle({hkSound, shared_from_this(), sound, -1});
  FSounds.push_back(sound);
  if ((mode & FMOD_NONBLOCKING) != 0) {
    FOpenQueue.push_back(sound);
    FOpenWake.notify_one();
  }
  handle = sound->Handle;
  return FMOD_OK;
}

void TSystem::OpenNow(TSound& sound) {
  FMOD_RESULT error = FMOD_ERR_FORMAT;
  std::unique_ptr<TDecoder> decoder = OpenDecoder(sound.Path, sound.Accurate, error);
  if (decoder) {
    sound.Info = decoder->Info();
    sound.Decoder = std::move(decoder);
    sound.OpenState.store(FMOD_OPENSTATE_READY, std::memory_order_release);
  } else {
    sound.OpenError = error;
    sound.OpenState.store(FMOD_OPENSTATE_ERROR, std::memory_order_release);
  }
}

void TSystem::OpenerLoop() {
  std::unique_lock lock(FLock);
  for (;;) {
    FOpenWake.wait(lock, [this] { return FQuit || !FOpenQueue.empty(); });
    if (FQuit) return;
    std::shared_ptr<TSound> sound = FOpenQueue.front();
    FOpenQueue.pop_front();
    lock.unlock();
    OpenNow(*sound);
    lock.lock();
  }
}

FMOD_RESULT TSystem::ReleaseSound(const std::shared_ptr<TSound>& sound) {
  std::lock_guard lock(FLock);
  for (TChannelSlot& slot : FSlots) {
    if (slot.Play && slot.Play->Sound == sound) DetachPlay(slot, true);
  }
  bool playing = false;
  for (const auto& play : FPlays) {
    if (play->Sound == sound) play->Request.Stopping = playing = true;
  }
  if (playing) RequestRewrite(true);
  std::erase(FSounds, sound);
  std::erase(FOpenQueue, sound);
  UnregisterHandle(sound->Handle);
  FMixWake.notify_one();
  return FMOD_OK;
}

FMOD_RESULT TSystem::SoundLength(const std::shared_ptr<TSound>& sound, FMOD_TIMEUNIT unit,
                                 unsigned& length) {
  const int state = sound->OpenState.load(std::memory_order_acquire);
  if (state == FMOD_OPENSTATE_LOADING) return FMOD_ERR_NOTREADY;
  if (state == FMOD_OPENSTATE_ERROR) return sound->OpenError;
  if (unit == FMOD_TIMEUNIT_MS) {
    length = ClampToUnsigned(LengthMs(sound->Info));
  } else if (unit == FMOD_TIMEUNIT_PCM) {
    length = ClampToUnsigned(sound->Info.Frames);
  } else {
    return FMOD_ERR_UNSUPPORTED;
  }
  return FMOD_OK;
}

// --- channels ---------------------------------------------------------------

bool TSystem::ValidChannel(uintptr_t channel, int slot) const {
  return FInitialised && slot >= 0 && static_cast<size_t>(slot) < FSlots.size() &&
         FSlots[static_cast<size_t>(slot)].Handle == channel;
}

int TSystem::FindIdleSlot() const {
  // Slots never used come first, so handles the caller still holds stay
  // valid as long as possible.
  for (size_t i = 0; i < FSlots.size(); ++i)
    if (FSlots[i].Handle == 0) return static_cast<int>(i);
  for (size_t i = 0; i < FSlots.size(); ++i)
    if (!FSlots[i].Play) return static_cast<int>(i);
  return -1;
}

int TSystem::ChooseSlot(int index, uintptr_t channel, bool& keepHandle, FMOD_RESULT& error) const {
  if (index == FMOD_CHANNEL_REUSE) {
    const THandleTarget t = LookupHandle(channel, hkChannel);
    if (t.System.get() == this && ValidChannel(channel, t.Slot)) {
      keepHandle = true;
      return t.Slot;
    }
  } else if (index >= 0) {
    if (static_cast<size_t>(index) < FSlots.size()) return index;
    error = FMOD_ERR_INVALID_PARAM;
    return -1;
  } else if (index != FMOD_CHANNEL_FREE) {
    error = FMOD_ERR_INVALID_PARAM;
    return -1;
  }
  const int idle = FindIdleSlot();
  if (idle < 0) error = FMOD_ERR_CHANNEL_ALLOC;
  return idle;
}

void TSystem::DetachPlay(TChannelSlot& slot, bool stopping) {
  if (!slot.Play) return;
  slot.HeardFrames = PlayPosition(*slot.Play, HeardOutputFrames());
  slot.Finished = false;
  if (stopping) slot.Play->Request.Stopping = true;
  slot.Play->Slot = -1;
  slot.Play.reset();
}

FMOD_RESULT TSystem::PlaySound(int index, const std::shared_ptr<TSound>& sound, bool paused,
                               uintptr_t& channel) {
  const int state = sound->OpenState.load(std::memory_order_acquire);
  if (state == FMOD_OPENSTATE_LOADING) return FMOD_ERR_NOTREADY;
  if (state == FMOD_OPENSTATE_ERROR) return sound->OpenError;
  std::lock_guard lock(FLock);
  if (!FInitialised) return FMOD_ERR_UNINITIALIZED;
  bool keepHandle = false;
  FMOD_RESULT error = FMOD_OK;
  const int slotIndex = ChooseSlot(index, channel, keepHandle, error);
  if (slotIndex < 0) return error;

  // A sound has one decoder, so it plays on one channel at a time: starting
  // it again takes it away from where it was playing.
  for (TChannelSlot& other : FSlots) {
    if (other.Play && other.Play->Sound == sound) DetachPlay(other, false);
  }
  for (const auto& play : FPlays) {
    if (play->Sound == sound) play->Cut = true;
  }
  TChannelSlot& slot = FSlots[static_cast<size_t>(slotIndex)];
  DetachPlay(slot, true);
  if (!keepHandle) {
    if (slot.Handle != 0) UnregisterHandle(slot.Handle);
    slot.Handle = RegisterHandle({hkChannel, shared_from_this(), nullptr, slotIndex});
  }
  auto play = std::make_shared<TPlay>();
  play->Sound = sound;
  play->Request.Paused = paused;
  play->Slot = slotIndex;
  slot.Play = play;
  slot.Sound = sound;
  slot.Volume = 1.0f;
  slot.Paused = paused;
  slot.HeardFrames = 0;
  slot.Finished = false;
  FPlays.push_back(play);
  channel = slot.Handle;
  if (!paused) RequestRewrite(true);
  FMixWake.notify_one();
  return FMOD_OK;
}

FMOD_RESULT TSystem::SetPaused(uintptr_t channel, int slot, bool paused) {
  std::lock_guard lock(FLock);
  if (!ValidChannel(channel, slot)) return FMOD_ERR_INVALID_HANDLE;
  TChannelSlot& s = FSlots[static_cast<size_t>(slot)];
  if (s.Play && s.Paused != paused) RequestRewrite(true);
  s.Paused = paused;
  if (s.Play) s.Play->Request.Paused = paused;
  FMixWake.notify_one();
  return FMOD_OK;
}

FMOD_RESULT TSystem::GetPaused(uintptr_t channel, int slot, bool& paused) {
  std::lock_guard lock(FLock);
  if (!ValidChannel(channel, slot)) return FMOD_ERR_INVALID_HANDLE;
  paused = FSlots[static_cast<size_t>(slot)].Paused;
  return FMOD_OK;
}

FMOD_RESULT TSystem::Stop(uintptr_t channel, int slot) {
  std::lock_guard lock(FLock);
  if (!ValidChannel(channel, slot)) return FMOD_ERR_INVALID_HANDLE;
  TChannelSlot& s = FSlots[static_cast<size_t>(slot)];
  if (s.Play) RequestRewrite(true);
  DetachPlay(s, true);
  FMixWake.notify_one();
  return FMOD_OK;
}

FMOD_RESULT TSystem::SetVolume(uintptr_t channel, int slot, float volume) {
  if (!std::isfinite(volume)) return FMOD_ERR_INVALID_PARAM;
  std::lock_guard lock(FLock);
  if (!ValidChannel(channel, slot)) return FMOD_ERR_INVALID_HANDLE;
  TChannelSlot& s = FSlots[static_cast<size_t>(slot)];
  const float clamped = std::clamp(volume, 0.0f, 1.0f);
  if (s.Play && !s.Paused && clamped != s.Volume) RequestRewrite(false);
  s.Volume = clamped;
  if (s.Play) s.Play->Request.Volume = s.Volume;
  return FMOD_OK;
}

FMOD_RESULT TSystem::GetVolume(uintptr_t channel, int slot, float& volume) {
  std::lock_guard lock(FLock);
  if (!ValidChannel(channel, slot)) return FMOD_ERR_INVALID_HANDLE;
  volume = FSlots[static_cast<size_t>(slot)].Volume;
  return FMOD_OK;
}

FMOD_RESULT TSystem::IsPlaying(uintptr_t channel, int slot, bool& playing) {
  std::lock_guard lock(FLock);
  if (!ValidChannel(channel, slot)) return FMOD_ERR_INVALID_HANDLE;
  const TChannelSlot& s = FSlots[static_cast<size_t>(slot)];
  playing = s.Play && !HeardToEnd(*s.Play, HeardOutputFrames());
  return FMOD_OK;
}

FMOD_RESULT TSystem::GetPosition(uintptr_t channel, int slot, FMOD_TIMEUNIT unit,
                                 unsigned& position) {
  if (unit != FMOD_TIMEUNIT_MS && unit != FMOD_TIMEUNIT_PCM) return FMOD_ERR_UNSUPPORTED;
  std::lock_guard lock(FLock);
  if (!ValidChannel(channel, slot)) return FMOD_ERR_INVALID_HANDLE;
  const TChannelSlot& s = FSlots[static_cast<size_t>(slot)];
  if (!s.Sound) {
    position = 0;
    return FMOD_OK;
  }
  const TStreamInfo& info = s.Sound->Info;
  const uint64_t heard = HeardOutputFrames();
  // A play heard to its end reports the sound's exact length, so that a
  // caller comparing position with length sees the end.
  const bool atEnd = s.Play ? HeardToEnd(*s.Play, heard) : s.Finished;
  if (atEnd) {
    position = ClampToUnsigned(unit == FMOD_TIMEUNIT_MS ? LengthMs(info) : info.Frames);
    return FMOD_OK;
  }
  const uint64_t frames = s.Play ? PlayPosition(*s.Play, heard) : s.HeardFrames;
  if (unit == FMOD_TIMEUNIT_MS) {
    position = ClampToUnsigned(std::min(frames * 1000 / kOutputRate, LengthMs(info)));
  } else {
    position = ClampToUnsigned(
        std::min(frames * static_cast<uint64_t>(info.Rate) / kOutputRate, info.Frames));
  }
  return FMOD_OK;
}

// --- the output clock and the mixer -------------------------------------------

uint64_t TSystem::HeardOutputFrames() {
  const double since = static_cast<double>(MonotonicNowNs() - FHeardAtNs) * kOutputRate / 1e9;
  const uint64_t heard =
      std::min(FHeardBase + static_cast<uint64_t>(std::max(0.0, since)), FWritten);
  // A device's latency report jitters; a position that ran backwards would
  // look like a restart to the caller.
  FHeardFloor = std::max(FHeardFloor, heard);
  return FHeardFloor;
}

uint64_t TSystem::PlayPosition(const TPlay& play, uint64_t heard) const {
  const auto& cps = play.Checkpoints;
  if (cps.empty() || heard <= cps.front().Frame) return cps.empty() ? 0 : cps.front().Produced;
  for (size_t i = 1; i < cps.size(); ++i) {
    if (heard < cps[i].Frame) {
      // Within a block a play renders from the block's start, so the part
      // heard so far is the frames since then, up to what it rendered.
      return cps[i - 1].Produced +
             std::min(heard - cps[i - 1].Frame, cps[i].Produced - cps[i - 1].Produced);
    }
  }
  return cps.back().Produced;
}

bool TSystem::HeardToEnd(const TPlay& play, uint64_t heard) const {
  return play.Ended && PlayPosition(play, heard) >= play.Produced;
}

void TSystem::CommitBlock(const std::vector<std::shared_ptr<TPlay>>& plays,
                          const std::vector<size_t>& consumed, uint64_t blockStart) {
  for (size_t i = 0; i < plays.size(); ++i) {
    TPlay& p = *plays[i];
    if (p.Checkpoints.empty()) p.Checkpoints.push_back({blockStart, 0, {}});
    p.Produced += consumed[i];
    p.Checkpoints.push_back({FWritten, p.Produced, p.Voice->State()});
    if (p.Voice->Ended()) p.Ended = true;
    if (p.Voice->Silenced()) p.Silenced = true;
    p.Resting = p.Voice->Resting();
  }
}

void TSystem::RetirePlays() {
  const uint64_t heard = HeardOutputFrames();
  while (FMasterGains.size() > 1 && FMasterGains[1].first <= heard) FMasterGains.pop_front();
  for (const auto& play : FPlays) {
    auto& cps = play->Checkpoints;
    while (cps.size() > 1 && cps[1].Frame <= heard) cps.pop_front();
    if (play->Voice && !cps.empty()) play->Voice->Forget(cps.front().Produced);
    if (play->Slot >= 0 && HeardToEnd(*play, heard)) {
      TChannelSlot& slot = FSlots[static_cast<size_t>(play->Slot)];
      slot.HeardFrames = play->Produced;
      slot.Finished = true;
      slot.Play.reset();
      play->Slot = -1;
    }
  }
  // A play stays until its end is heard: until then a rewrite may need it.
  std::erase_if(FPlays, [&](const std::shared_ptr<TPlay>& p) {
    if (p->Cut) return true;
    if (p->Slot >= 0) return false;
    const auto& cps = p->Checkpoints;
    if (cps.empty()) return p->Request.Stopping;
    return (cps.front().Frame <= heard && cps.front().Voice.Silenced) ||
           (p->Ended && HeardToEnd(*p, heard));
  });
}

void TSystem::RequestRewrite(bool urgent) {
  if (!FOutput || !FOutput->CanRewrite() || HeardOutputFrames() >= FWritten) return;
  FRewrite = true;
  FRewriteUrgent = FRewriteUrgent || urgent;
  FOutput->Interrupt();
}

void TSystem::RollBack(TPlay& play, uint64_t frame) {
  if (!play.Voice) return;
  auto& cps = play.Checkpoints;
  while (!cps.empty() && cps.back().Frame > frame) cps.pop_back();
  // A play that started after `frame` starts again from its beginning.
  const TCheckpoint at = cps.empty() ? TCheckpoint{} : cps.back();
  play.Produced = at.Produced;
  play.Voice->Restore(at.Voice);
  play.Ended = at.Voice.Ended;
  play.Silenced = at.Voice.Silenced;
  play.Resting = at.Voice.Gain == 0.0f;
}

void TSystem::Rewrite(std::unique_lock<std::mutex>& lock, TMixer& mixer) {
  if (!FRewriteUrgent) {
    const std::chrono::steady_clock::time_point due{
        std::chrono::nanoseconds(FRewroteAtNs + kVolumeRewriteGapNs)};
    FMixWake.wait_until(lock, due, [this] { return FQuit || FRewriteUrgent; });
    if (FQuit) return;
  }
  FRewrite = FRewriteUrgent = false;
  FRewroteAtNs = MonotonicNowNs();
  // Blocks keep their places, so the rewrite starts at a block boundary.
  const auto lead = static_cast<uint64_t>(FOutput->RewriteLeadNs() * kOutputRate / 1'000'000'000);
  const uint64_t from =
      (HeardOutputFrames() + lead + kBlockFrames - 1) / kBlockFrames * kBlockFrames;
  if (from >= FWritten) return;
  for (const auto& play : FPlays) RollBack(*play, from);
  while (!FMasterGains.empty() && FMasterGains.back().first > from) FMasterGains.pop_back();
  if (!FMasterGains.empty()) mixer.SetMasterGain(FMasterGains.back().second);
  // What was queued beyond is written over in any case, so that nothing
  // of it is left to play.
  FRewriteEnd = std::max(FRewriteEnd, FWritten);
  FOutput->Unwrite(FWritten - from);
  FWritten = from;
}

bool TSystem::NeedsMixing() const {
  return std::any_of(FPlays.begin(), FPlays.end(), [](const std::shared_ptr<TPlay>& p) {
    if (p->Cut || p->Silenced || p->Ended) return false;
    // Paused or stopped and already faded to silence: nothing to render.
    return !(p->Resting && (p->Request.Paused || p->Request.Stopping));
  });
}

bool TSystem::WaitForWork(std::unique_lock<std::mutex>& lock, bool& resumed) {
  resumed = FWritten == 0;
  const auto ready = [this] {
    return FQuit || FRewrite || FWritten < FRewriteEnd || NeedsMixing();
  };
  if (ready()) return !FQuit;
  TOutput* output = FOutput.get();
  lock.unlock();
  output->Push();
  lock.lock();
  if (ready()) return !FQuit;
  // What was written plays out first; a channel starting meanwhile
  // continues the stream without a gap.
  const int64_t heardAllNs =
      FHeardAtNs + FramesToNs(FWritten - std::min(FHeardBase, FWritten)) + kSettleNs;
  const std::chrono::steady_clock::time_point heardAll{std::chrono::nanoseconds(heardAllNs)};
  if (FMixWake.wait_until(lock, heardAll, ready)) return !FQuit;
  FHeardBase = FHeardFloor = FWritten;
  RetirePlays();
  FMasterGains.clear();
  lock.unlock();
  output->Idle();
  lock.lock();
  FMixWake.wait(lock, ready);
  // The output starts again from silence: everything written is heard.
  FHeardBase = FHeardFloor = FWritten;
  FHeardAtNs = MonotonicNowNs();
  resumed = true;
  return !FQuit;
}

void TSystem::WriteBlock(const float* block) {
  std::unique_ptr<TOutput> retired;
  if (!FFailedOutput.empty() && MonotonicNowNs() >= FRetryAtNs) {
    FRetryAtNs = MonotonicNowNs() + kRetryNs;
    if (auto device = OpenOutput(FFailedOutput, kOutputRate)) {
      std::lock_guard lock(FLock);
      retired = std::exchange(FOutput, std::move(device));
      FFailedOutput.clear();
    }
  }
  if (FOutput->Write(block, kBlockFrames)) return;
  // The device went away: go on silently in real time, so that positions
  // and song ends keep coming, and try the device again later.
  auto null = OpenNullOutput(kOutputRate);
  null->Write(block, kBlockFrames);
  const std::string failed = FOutput->Name();
  if (failed == "pulse" || failed == "alsa") FFailedOutput = failed;
  FRetryAtNs = MonotonicNowNs() + kRetryNs;
  std::lock_guard lock(FLock);
  retired = std::exchange(FOutput, std::move(null));
}

void TSystem::MixerLoop() {
  TMixer mixer;
  std::vector<float> block(2 * kBlockFrames);
  std::vector<std::shared_ptr<TPlay>> plays;
  std::vector<TVoice*> voices;
  std::vector<TVoiceRequest> requests;
  std::vector<size_t> consumed;
  for (;;) {
    float master = 1.0f;
    uint64_t blockStart = 0;
    {
      std::unique_lock lock(FLock);
      bool resumed = false;
      if (!WaitForWork(lock, resumed)) return;
      if (FRewrite) {
        Rewrite(lock, mixer);
        if (FQuit) return;
        if (FWritten >= FRewriteEnd && !NeedsMixing()) continue;
      }
      std::erase_if(FPlays, [](const std::shared_ptr<TPlay>& p) { return p->Cut; });
      plays = FPlays;
      requests.clear();
      for (const auto& p : plays) requests.push_back(p->Request);
      master = FMasterVolume;
      blockStart = FWritten;
      // After silence a master volume set meanwhile applies at once: there
      // was nothing to ramp.
      if (resumed) mixer.SetMasterGain(master);
    }
    voices.clear();
    for (const auto& p : plays) {
      if (!p->Voice) {
        // Only this thread reads decoders, so a replay can rewind here.
        if (p->Sound->Rendered) p->Sound->Decoder->Rewind();
        p->Sound->Rendered = true;
        p->Voice = std::make_unique<TVoice>(p->Sound->Decoder, kOutputRate);
      }
      voices.push_back(p->Voice.get());
    }
    mixer.Mix(voices, requests, master, block.data(), kBlockFrames, consumed);
    {
      std::lock_guard lock(FLock);
      FWritten = blockStart + kBlockFrames;
      CommitBlock(plays, consumed, blockStart);
      FMasterGains.emplace_back(FWritten, mixer.MasterGain());
      RetirePlays();
    }
    plays.clear();
    WriteBlock(block.data());
    const uint64_t delay = FOutput->Delay();
    std::lock_guard lock(FLock);
    FHeardBase = FWritten - std::min(delay, FWritten);
    FHeardAtNs = MonotonicNowNs();
  }
}

}  // namespace vesperon::audiolib
