// The real-time pacing of the outputs without a device (null, wav).
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "audiolib/output.h"

namespace vesperon::audiolib {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double MsSince(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

TEST(PacerTest, WritesTakeTheirPlayingTimeAndAStallIsNotRushedThrough) {
  TRealTimePacer pacer(1000, 0);  // 1000 frames per second, no lead
  auto t = Clock::now();
  pacer.Wrote(100);
  pacer.Wrote(100);
  EXPECT_GE(MsSince(t), 190.0);
  EXPECT_LE(pacer.Delay(), 20u);
  std::this_thread::sleep_for(500ms);  // as if the machine had been suspended
  pacer.Wrote(100);
  t = Clock::now();
  pacer.Wrote(100);
  EXPECT_GE(MsSince(t), 80.0) << "after a stall the pace is real time again, not a catch-up burst";
}

}  // namespace
}  // namespace vesperon::audiolib
