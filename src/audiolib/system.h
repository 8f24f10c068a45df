#pragma once
// The system object behind FMOD_SYSTEM: channels, sounds, the output and the
// two threads that serve them.
//
//   opener thread  opens sounds created with FMOD_NONBLOCKING, one at a time
//   mixer thread   renders blocks of kBlockFrames frames from every playing
//                  channel and writes them to the output, which paces it;
//                  while no channel plays it writes nothing: it waits until
//                  what was written has been heard, sets the output idle
//                  and sleeps until a channel starts or resumes
//
// An output with a long buffer (PulseAudio) holds up to a second that is
// not heard yet. A change the listener must hear at once (a channel
// starting, pausing, stopping, a volume) is not left to wait behind it: the
// mixer takes back what is queued from a little after the frame being heard
// on, puts every play back to where it stood there (each voice keeps the
// frames it rendered until they are heard), and mixes that span anew.
//
// The calling side (the player's one thread) only changes requests and reads
// results under FLock; every decoder is touched by the mixer thread alone
// once its sound is ready, so a sound can be restarted or released while a
// block is being rendered.
//
// Positions follow what has been heard: for every block the mixer notes how
// far each play had got by the block's end; the output's delay says which
// output frame is being heard now, and the position is read off those notes.
// Between writes the heard frame runs on with the wall clock from the last
// measurement, and it never runs backwards.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audiolib/audiolib.h"
#include "audiolib/decoder.h"
#include "audiolib/mixer.h"
#include "audiolib/output.h"

namespace vesperon::audiolib {

inline constexpr int kOutputRate = 44100;
inline constexpr size_t kBlockFrames = 512;
inline constexpr int kMaxMixChannels = 1024;

struct TSound {
  std::string Path;
  bool Accurate = false;
  std::atomic<int> OpenState{FMOD_OPENSTATE_LOADING};
  // Written before OpenState leaves LOADING, read only after.
  FMOD_RESULT OpenError = FMOD_OK;
  std::shared_ptr<TDecoder> Decoder;
  TStreamInfo Info;
  uintptr_t Handle = 0;
  bool Rendered = false;  // mixer thread only: rewind before the next play
};

// A play at the end of a block: the output frame there, the frames of the
// sound rendered by then and the voice's state.
struct TCheckpoint {
  uint64_t Frame = 0;
  uint64_t Produced = 0;
  TVoice::TState Voice;
};

// One play of a sound on a channel, from PlaySound until it has been heard
// to its end, or stopped and faded out.
struct TPlay {
  std::shared_ptr<TSound> Sound;
  TVoiceRequest Request;          // set by the caller's side
  bool Cut = false;               // drop without rendering (its sound restarted)
  int Slot = -1;                  // the channel slot, -1 once detached
  std::unique_ptr<TVoice> Voice;  // mixer thread only
  // Set by the mixer: frames rendered in all, and the checkpoints of the
  // blocks not yet heard (the first one is being heard, or is the start).
  uint64_t Produced = 0;
  std::deque<TCheckpoint> Checkpoints;
  bool Ended = false;     // the sound has delivered its last frame
  bool Silenced = false;  // stopped and faded out
  bool Resting = true;    // the voice's gain is 0 (nothing rendered yet, or faded out)
};

struct TChannelSlot {
  uintptr_t Handle = 0;  // 0 until a play first takes the slot
  std::shared_ptr<TPlay> Play;
  std::shared_ptr<TSound> Sound;  // the sound last started here
  float Volume = 1.0f;
  bool Paused = false;
  uint64_t HeardFrames = 0;  // position (output frames) when the play was stopped
  bool Finished = false;     // the last play was heard to its end
};

class TSystem : public std::enable_shared_from_this<TSystem> {
 public:
  ~TSystem();

  FMOD_RESULT Init(int maxChannels);
  FMOD_RESULT Close();
  bool IsInitialised();
  const char* OutputName();

  uintptr_t GroupHandle() const { return FGroupHandle; }
  void SetGroupHandle(uintptr_t handle) { FGroupHandle = handle; }
  FMOD_RESULT SetMasterVolume(float volume);
  float MasterVolume();

  FMOD_RESULT CreateSound(const std::string& path, FMOD_MODE mode, uintptr_t& handle);
  FMOD_RESULT ReleaseSound(const std::shared_ptr<TSound>& sound);
  FMOD_RESULT SoundLength(const std::shared_ptr<TSound>& sound, FMOD_TIMEUNIT unit,
                          unsigned& length);
  FMOD_RESULT PlaySound(int index, const std::shared_ptr<TSound>& sound, bool paused,
                        uintptr_t& channel);

  // Channel calls; `channel` and `slot` come from the handle, which is
  // checked again under the lock (a slot handed to another play makes the
  // old handle stale).
  FMOD_RESULT SetPaused(uintptr_t channel, int slot, bool paused);
  FMOD_RESULT GetPaused(uintptr_t channel, int slot, bool& paused);
  FMOD_RESULT Stop(uintptr_t channel, int slot);
  FMOD_RESULT GetPosition(uintptr_t channel, int slot, FMOD_TIMEUNIT unit, unsigned& position);
  FMOD_RESULT SetVolume(uintptr_t channel, int slot, float volume);
  FMOD_RESULT GetVolume(uintptr_t channel, int slot, float& volume);
  FMOD_RESULT IsPlaying(uintptr_t channel, int slot, bool& playing);

 private:
  void MixerLoop();
  // Waits while no channel needs mixing (see the top of this file). False
  // when the system is closing. `resumed` tells that the output was idle.
  bool WaitForWork(std::unique_lock<std::mutex>& lock, bool& resumed);
  bool NeedsMixing() const;
  // Writes a block; a failed device is replaced by the null output, and
  // the device is tried again every second while sound is being written.
  void WriteBlock(const float* block);
  void OpenerLoop();
  void OpenNow(TSound& sound);
  // The helpers below expect FLock to be held.
  bool ValidChannel(uintptr_t channel, int slot) const;
  uint64_t HeardOutputFrames();
  uint64_t PlayPosition(const TPlay& play, uint64_t heard) const;
  bool HeardToEnd(const TPlay& play, uint64_t heard) const;
  void DetachPlay(TChannelSlot& slot, bool stopping);
  int FindIdleSlot() const;
  // The slot a PlaySound with `index` takes (see FMOD_CHANNEL_*); -1 with
  // `error` set when there is none. `keepHandle` tells that `channel`
  // named the slot and stays its handle.
  int ChooseSlot(int index, uintptr_t channel, bool& keepHandle, FMOD_RESULT& error) const;
  void RetirePlays();
  // Asks the mixer to mix the unheard part of the output anew (when the
  // output can take it back); `urgent` for starts, pauses and stops, while
  // volume changes are gathered for a short while.
  void RequestRewrite(bool urgent);
  // Takes back what the output holds from a little after the frame being
  // heard and puts the plays and the master gain back to that frame.
  void Rewrite(std::unique_lock<std::mutex>& lock, TMixer& mixer);
  void RollBack(TPlay& play, uint64_t frame);
  void CommitBlock(const std::vector<std::shared_ptr<TPlay>>& plays,
                   const std::vector<size_t>& consumed, uint64_t blockStart);

  std::mutex FLock;
  std::condition_variable FOpenWake;
  std::condition_variable FMixWake;
  bool FInitialised = false;
  bool FQuit = false;
  std::unique_ptr<TOutput> FOutput;
  std::string FFailedOutput;  // the device output that failed, tried again later
  int64_t FRetryAtNs = 0;
  std::thread FMixerThread;
  std::thread FOpenerThread;
  std::vector<TChannelSlot> FSlots;
  std::vector<std::shared_ptr<TPlay>> FPlays;
  std::vector<std::shared_ptr<TSound>> FSounds;
  std::deque<std::shared_ptr<TSound>> FOpenQueue;
  float FMasterVolume = 1.0f;
  uintptr_t FGroupHandle = 0;
  // Output clock: frames written, the frames heard at FHeardAtNs (the last
  // measurement), and the most that was reported heard so far.
  uint64_t FWritten = 0;
  uint64_t FHeardBase = 0;
  int64_t FHeardAtNs = 0;
  uint64_t FHeardFloor = 0;
  // Rewriting: asked for, urgent, when last done; the output frame up to
  // which the mixer writes in any case (what was queued before); and the
  // master gain at block ends not yet heard.
  bool FRewrite = false;
  bool FRewriteUrgent = false;
  int64_t FRewroteAtNs = 0;
  uint64_t FRewriteEnd = 0;
  std::deque<std::pair<uint64_t, float>> FMasterGains;
};

}  // namespace vesperon::audiolib
