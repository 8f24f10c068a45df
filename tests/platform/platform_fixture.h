#pragma once
// A headless windowing layer with a manual clock for each test, and a
// handler that records what a window receives.
#include <gtest/gtest.h>

#include <ostream>
#include <vector>

#include "platform/headless.h"
#include "platform/platform.h"

namespace vesperon {

inline void PrintTo(const TRect& r, std::ostream* os) {
  *os << "{" << r.Left << ", " << r.Top << ", " << r.Right << ", " << r.Bottom << "}";
}

struct TRecorded {
  THandle Window;
  uint32_t Msg;
  std::uintptr_t WParam;
  std::intptr_t LParam;
};

class THeadlessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClosePlatform();
    ASSERT_EQ(OpenPlatform(pkHeadless), pkHeadless);
    SetTrayAvailableForTesting(true);
    SetScreenSizeForTesting(1024, 768);
    UseManualClockForTesting(true);
  }
  void TearDown() override {
    ClosePlatform();
    UseManualClockForTesting(false);
  }

  // A handler that records every message (but wmPaint's area) and then
  // does what the default handler does.
  TWindowHandler Recorder() {
    return [this](THandle h, uint32_t msg, std::uintptr_t wp, std::intptr_t lp) {
      Log.push_back({h, msg, wp, lp});
      return DefWindowHandler(h, msg, wp, lp);
    };
  }

  THandle MakeWindow(TRect bounds, uint32_t flags = wfVisible, THandle parent = 0) {
    TWindowParams p;
    p.ClassName = "Test";
    p.Bounds = bounds;
    p.Flags = flags;
    p.Parent = parent;
    p.Handler = Recorder();
    return CreateWindow(p);
  }

  std::vector<TRecorded> Received(uint32_t msg) const {
    std::vector<TRecorded> out;
    for (const TRecorded& r : Log) {
      if (r.Msg == msg) out.push_back(r);
    }
    return out;
  }

  std::vector<TRecorded> Log;
};

}  // namespace vesperon
