// The "null" output: silent, but it takes frames in real time like a device,
// so positions and song ends behave as they would with sound. It always opens.
// Like a sound server it holds half a second ahead and is refilled a quarter
// second at a time, so that the mixer wakes four times a second; changes
// take back what it holds unheard, as with PulseAudio.
#include "audiolib/output.h"

namespace vesperon::audiolib {
namespace {

class TNullOutput final : public TOutput {
 public:
  explicit TNullOutput(int rate)
      : FPacer(rate, static_cast<size_t>(rate) / 2, static_cast<size_t>(rate) / 4) {}
  bool Write(const float*, size_t count) override {
    FPacer.Wrote(count);
    return true;
  }
  uint64_t Delay() override { return FPacer.Delay(); }
  void Idle() override { FPacer.Restart(); }
  bool CanRewrite() const override { return true; }
  void Unwrite(uint64_t count) override { FPacer.Unwrite(count); }
  void Interrupt() override { FPacer.Interrupt(); }
  const char* Name() const override { return "null"; }

 private:
  TRealTimePacer FPacer;
};

}  // namespace

std::unique_ptr<TOutput> OpenNullOutput(int rate) { return std::make_unique<TNullOutput>(rate); }

}  // namespace vesperon::audiolib
