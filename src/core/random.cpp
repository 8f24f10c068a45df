#include "core/random.h"

#include <cmath>
#include <ctime>

namespace vesperon {
namespace {
uint32_t gRandSeed = 0;
// Days from 1899-12-30 to 1970-01-01.
constexpr double kUnixEpochAsDateTime = 25569.0;
}  // namespace

void RandomSeed(uint32_t seed) { gRandSeed = seed; }

double NowAsDateTime() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return kUnixEpochAsDateTime + static_cast<double>(now + local.tm_gmtoff) / 86400.0;
}

void RandomizeFromClock() {
  // The product exceeds 32 bits; the seed keeps its low 32 bits.
  const auto scaled = static_cast<int64_t>(std::trunc(NowAsDateTime() * 100000.0));
  RandomSeed(static_cast<uint32_t>(scaled));
}

uint32_t Random(uint32_t range) {
  gRandSeed = gRandSeed * 134775813u + 1u;
  return static_cast<uint32_t>((static_cast<uint64_t>(gRandSeed) * range) >> 32);
}

}  // namespace vesperon
