#pragma once
// Sound outputs: where the mixed stereo float frames go. Every output
// accepts frames at the mixer's pace (blocking while its buffer is full) and
// says how many of the frames written have not been heard yet, so that
// positions follow what has been played out. While no channel plays the
// mixer writes nothing and tells the output so (Idle): a stream is corked,
// a device stopped, a paced output stops its clock; the next Write starts
// it again.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace vesperon::audiolib {

inline constexpr int kOutputChannels = 2;

class TOutput {
 public:
  virtual ~TOutput() = default;
  // Writes `count` stereo frames; blocks until the output has taken them.
  // False when the device failed (it is not written to again).
  virtual bool Write(const float* frames, size_t count) = 0;
  // Frames written but not yet heard.
  virtual uint64_t Delay() = 0;
  // Hands over the frames the output holds back (to pass them on in larger
  // pieces): no more follow for now.
  virtual void Push() {}
  // Everything written has been heard and nothing follows for a while.
  virtual void Idle() = 0;
  // Outputs that can take back frames written but not yet heard: Unwrite
  // drops the last `count` frames written (the caller knows they are not
  // being heard yet), and the frames written next take their place.
  virtual bool CanRewrite() const { return false; }
  virtual void Unwrite(uint64_t /*count*/) {}
  // How far after the frame being heard a rewrite must start, for the new
  // frames to reach the device in time.
  virtual int64_t RewriteLeadNs() const { return 0; }
  // Called from another thread: a Write waiting for room returns at once.
  virtual void Interrupt() {}
  virtual const char* Name() const = 0;
};

// Opens the output named by `outputName`: "pulse", "alsa", "null" or "wav:PATH";
// an empty name tries pulse, alsa and null in this order. Null when the
// named output cannot be opened or the name is unknown.
std::unique_ptr<TOutput> OpenOutput(const std::string& outputName, int rate);

std::unique_ptr<TOutput> OpenPulseOutput(int rate);
std::unique_ptr<TOutput> OpenAlsaOutput(int rate);
std::unique_ptr<TOutput> OpenNullOutput(int rate);
std::unique_ptr<TOutput> OpenWavOutput(const std::string& path, int rate);

// The monotonic clock in nanoseconds, shared by the pacer and the positions.
int64_t MonotonicNowNs();

// Mixed float samples as signed 16-bit, rounded and clamped (a mix louder
// than full scale distorts gently instead of wrapping round).
void FloatToS16(const float* in, size_t samples, int16_t* out);

// Paces writes in real time for the outputs without a device clock (null,
// wav): a write returns when the wall clock has reached the end of the
// frames written, minus a lead that stands in for a device buffer. With a
// refill, a write that finds the lead full sleeps until `refillFrames` are
// free again, so that the writer wakes once per refill, not once per write.
class TRealTimePacer {
 public:
  TRealTimePacer(int rate, size_t leadFrames, size_t refillFrames = 0);
  void Wrote(size_t count);  // sleeps as needed
  uint64_t Delay() const;
  // Stops the clock; the next write starts it again from then.
  void Restart();
  // Takes back the last `count` frames written (not yet heard).
  void Unwrite(uint64_t count);
  // From another thread: a sleeping Wrote returns at once.
  void Interrupt();

 private:
  double ElapsedFrames() const;
  // When the wall clock reaches the frames written minus `ahead`.
  int64_t DueNs(uint64_t ahead) const;
  const int FRate;
  const size_t FLead;
  const size_t FRefill;
  uint64_t FWritten = 0;
  int64_t FStartNs = -1;
  std::mutex FWakeLock;
  std::condition_variable FWake;
  bool FInterrupted = false;
};

}  // namespace vesperon::audiolib
