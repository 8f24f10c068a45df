#include "audiolib/output.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace vesperon::audiolib {
namespace {

// How far the pacer may fall behind the wall clock before it stops trying
// to catch up.
constexpr int64_t kMaxBacklogNs = 200'000'000;

}  // namespace

int64_t MonotonicNowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::unique_ptr<TOutput> OpenOutput(const std::string& outputName, int rate) {
  if (outputName.empty()) {
    if (auto out = OpenPulseOutput(rate)) return out;
    if (auto out = OpenAlsaOutput(rate)) return out;
    return OpenNullOutput(rate);
  }
  if (outputName == "pulse") return OpenPulseOutput(rate);
  if (outputName == "alsa") return OpenAlsaOutput(rate);
  if (outputName == "null") return OpenNullOutput(rate);
  if (outputName.rfind("wav:", 0) == 0 && outputName.size() > 4)
    return OpenWavOutput(outputName.substr(4), rate);
  return nullptr;
}

void FloatToS16(const float* in, size_t samples, int16_t* out) {
  // Full scale is 32768, as the sound servers read 16-bit samples back to
  // float, so that a sample survives the round trip unchanged.
  for (size_t i = 0; i < samples; ++i)
    out[i] = static_cast<int16_t>(std::clamp(std::lrintf(in[i] * 32768.0f), -32768L, 32767L));
}

TRealTimePacer::TRealTimePacer(int rate, size_t leadFrames, size_t refillFrames)
    : FRate(rate), FLead(leadFrames), FRefill(std::min(refillFrames, leadFrames)) {}

double TRealTimePacer::ElapsedFrames() const {
  if (FStartNs < 0) return 0.0;
  return static_cast<double>(MonotonicNowNs() - FStartNs) * FRate / 1e9;
}

int64_t TRealTimePacer::DueNs(uint64_t ahead) const {
  return FStartNs + static_cast<int64_t>(static_cast<double>(FWritten - std::min(FWritten, ahead)) *
                                         1e9 / FRate);
}

void TRealTimePacer::Wrote(size_t count) {
  if (FStartNs < 0) FStartNs = MonotonicNowNs();
  FWritten += count;
  if (FWritten <= FLead) return;
  const int64_t now = MonotonicNowNs();
  if (DueNs(FLead) > now) {
    const std::chrono::steady_clock::time_point wake{
        std::chrono::nanoseconds(DueNs(FLead - FRefill))};
    std::unique_lock lock(FWakeLock);
    FWake.wait_until(lock, wake, [this] { return FInterrupted; });
    FInterrupted = false;
  } else if (const int64_t dryNs = now - DueNs(0); dryNs > kMaxBacklogNs) {
    // Run dry long ago (the machine was suspended or starved): a device
    // would have underrun, not played faster, so the clock restarts from
    // here instead of rushing through the backlog.
    FStartNs += dryNs;
  }
}

void TRealTimePacer::Unwrite(uint64_t count) { FWritten -= std::min(count, FWritten); }

void TRealTimePacer::Interrupt() {
  std::lock_guard lock(FWakeLock);
  FInterrupted = true;
  FWake.notify_all();
}

void TRealTimePacer::Restart() {
  FStartNs = -1;
  FWritten = 0;
}

uint64_t TRealTimePacer::Delay() const {
  const double heard = std::min<double>(ElapsedFrames(), static_cast<double>(FWritten));
  return FWritten - static_cast<uint64_t>(heard);
}

}  // namespace vesperon::audiolib
