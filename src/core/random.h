#pragma once
// The player's pseudo-random generator (random song choice, the script
// function GET_RANDOM_VALUE). A 32-bit linear congruential generator:
// cheap, and reproducible from a seed in tests.
#include <cstdint>

namespace vesperon {

// Seeds the generator.
void RandomSeed(uint32_t seed);
// Seeds it from the clock: the integer part of the local date-time, counted
// in days since 1899-12-30, multiplied by 100000 (start-up does this once).
void RandomizeFromClock();
// A number in 0 .. range-1 (0 when range is 0).
uint32_t Random(uint32_t range);

// The local date-time as days since 1899-12-30, the fraction being the time
// of day (the TDateTime of media entries).
double NowAsDateTime();

}  // namespace vesperon
