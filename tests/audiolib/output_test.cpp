// The real-time pacing of the outputs without a device (null, wav).
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "audiolib/output.h"

namespace vesperon::audiolib {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double MsSince(Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

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

// With a refill the writer sleeps once per refill, not once per write;
// frames taken back no longer count as written, and an interrupt ends a
// sleep at once.
TEST(PacerTest, ARefillWakesTheWriterOncePerRefillAndInterruptsEndTheSleep) {
  TRealTimePacer pacer(1000, 200, 100);  // 1000 frames per second
  auto t = Clock::now();
  for (int i = 0; i < 20; ++i) pacer.Wrote(10);  // fills the lead: no sleep
  EXPECT_LT(MsSince(t), 100.0);
  pacer.Wrote(10);  // past the lead: sleeps until only 100 are ahead
  EXPECT_GE(MsSince(t), 105.0);
  EXPECT_LE(pacer.Delay(), 110u);
  t = Clock::now();
  for (int i = 0; i < 9; ++i) pacer.Wrote(10);  // back up to the lead: no sleep
  EXPECT_LT(MsSince(t), 50.0);
  const uint64_t ahead = pacer.Delay();
  pacer.Unwrite(50);
  EXPECT_EQ(pacer.Delay(), ahead - 50);

  TRealTimePacer slow(1000, 0);
  slow.Wrote(10);
  std::thread interrupter([&] {
    std::this_thread::sleep_for(100ms);
    slow.Interrupt();
  });
  t = Clock::now();
  slow.Wrote(2000);  // two seconds ahead
  EXPECT_LT(MsSince(t), 1000.0) << "the interrupt ended the sleep";
  interrupter.join();
}

}  // namespace
}  // namespace vesperon::audiolib
