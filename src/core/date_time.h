#pragma once
// `TDateTime` values as text: days since 1899-12-30, the fraction being the
// time of day (local time), as media entries store them.
#include <string>

namespace vesperon {

// The "c" date-time format: the short date, then a space and the long time;
// the time is left out when the value is exactly midnight (to the second).
// The formats are those of the user's LC_TIME locale (as strftime's D_FMT
// and T_FMT), read once; "%m/%d/%y" and "%H:%M:%S" when it cannot be read.
// Values that are no date (not finite, or outside the years 1 to 9999) give
// an empty text.
std::u16string FormatDateTimeC(double dateTime);
// The same with explicit strftime formats.
std::u16string FormatDateTimeC(double dateTime, const char* dateFormat, const char* timeFormat);

}  // namespace vesperon
