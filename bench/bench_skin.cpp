// Reading the built-in skin: inflating it, splitting the records, decoding
// every bitmap and building the region of every mask, against zlib
// inflating the same bytes alone (the floor for any reader of this format).
// Prints the median time of each and their ratio; the target is 3x or less.
//
//   bench_skin [rounds]     (default 200)
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "resources/skins/builtin_skin.h"
#include "skin/packed_skin.h"

namespace {

using TClock = std::chrono::steady_clock;

template <class F>
double MedianMicroseconds(int rounds, F&& work) {
  std::vector<double> times;
  for (int i = 0; i < rounds; ++i) {
    const auto start = TClock::now();
    work();
    times.push_back(std::chrono::duration<double, std::micro>(TClock::now() - start).count());
  }
  std::nth_element(times.begin(), times.begin() + rounds / 2, times.end());
  return times[rounds / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
  const std::string_view packed = vesperon::BuiltinSkinFile();

  std::string layout;
  std::string error;
  if (!vesperon::InflatePackedSkin(packed, layout, error)) {
    std::fprintf(stderr, "the built-in skin does not inflate: %s\n", error.c_str());
    return 1;
  }
  std::string out(layout.size(), '\0');
  std::size_t regions = 0;

  const double inflateOnly = MedianMicroseconds(rounds, [&] {
    uLongf size = static_cast<uLongf>(out.size());
    if (uncompress(reinterpret_cast<Bytef*>(out.data()), &size,
                   reinterpret_cast<const Bytef*>(packed.data()),
                   static_cast<uLong>(packed.size())) != Z_OK)
      std::abort();
  });
  const double fullRead = MedianMicroseconds(rounds, [&] {
    vesperon::TPackedSkin skin;
    if (!vesperon::ReadPackedSkin(packed, "(built-in)", skin)) std::abort();
    for (const auto& image : skin.Images)
      if (image.IsMask)
        regions += vesperon::RegionFromMask(image.Image, 255, 255, 255).Rects().size();
  });

  std::printf("built-in skin: %zu bytes packed, %zu unpacked\n", packed.size(), layout.size());
  std::printf("zlib inflate alone:                  %8.1f us (median of %d)\n", inflateOnly,
              rounds);
  std::printf("read skin (records, BMPs, regions):  %8.1f us (median of %d)\n", fullRead, rounds);
  std::printf("ratio: %.2fx (target: 3x or less)  [%zu region rectangles]\n",
              fullRead / inflateOnly, regions / static_cast<std::size_t>(rounds));
  return 0;
}
