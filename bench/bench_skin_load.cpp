// Loading the built-in skin whole (reading the packed file, then building
// every window, control, font and script, headless) against reading the
// packed file alone (choosing it, inflating it, parsing the description and
// decoding the bitmaps), both measured in this run. Prints the median time
// of each and their ratio; the target is 3x or less.
//
//   bench_skin_load [rounds]     (default 100)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/params.h"
#include "platform/headless.h"
#include "skin/skin.h"
#include "skin/skin_source.h"

namespace {

using TClock = std::chrono::steady_clock;

double Median(std::vector<double> times) {
  std::nth_element(times.begin(), times.begin() + static_cast<std::ptrdiff_t>(times.size() / 2),
                   times.end());
  return times[times.size() / 2];
}

template <class F>
double Microseconds(F&& work) {
  const auto start = TClock::now();
  work();
  return std::chrono::duration<double, std::micro>(TClock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace vesperon;
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
  gParams.Silent = true;
  OpenPlatform(pkHeadless);
  TSkin skin;
  gSkin = &skin;
  std::size_t images = 0, controls = 0;

  auto readOnly = [&] {
    TPackedSkin package;
    if (!LoadSkinPackage(u"", package)) std::exit(1);
    images += package.Images.size();
  };
  auto whole = [&] {
    if (!skin.Load(u"")) std::exit(1);
    DispatchPendingMessages();  // the first paint of every window and control
    for (const auto& w : skin.Windows)
      controls += w->Buttons.size() + w->Labels.size() + w->ProgressBars.size();
    skin.Unload();
  };
  // The two alternate round by round, so a busy machine slows both alike.
  std::vector<double> readTimes, wholeTimes;
  for (int i = 0; i < rounds; ++i) {
    readTimes.push_back(Microseconds(readOnly));
    wholeTimes.push_back(Microseconds(whole));
  }
  const double read = Median(readTimes), built = Median(wholeTimes);
  std::printf("read the packed skin (steps 1-6):      %8.1f us (median of %d, %zu images)\n", read,
              rounds, images / static_cast<std::size_t>(rounds));
  std::printf("load and build every window and control: %8.1f us (%zu controls)\n", built,
              controls / static_cast<std::size_t>(rounds));
  std::printf("ratio: %.2fx (target: 3x or less)\n", built / read);
  gSkin = nullptr;
  ClosePlatform();
  return 0;
}
