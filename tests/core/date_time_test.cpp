// The "c" date-time text of TDateTime values.
#include "core/date_time.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace vesperon {
namespace {

std::u16string Iso(double value) { return FormatDateTimeC(value, "%Y-%m-%d", "%H:%M:%S"); }

TEST(DateTimeTextTest, DateThenTimeLeavingOutExactMidnight) {
  EXPECT_EQ(Iso(0.0), u"1899-12-30");
  EXPECT_EQ(Iso(45000.0), u"2023-03-15");
  EXPECT_EQ(Iso(45000.5), u"2023-03-15 12:00:00");
  EXPECT_EQ(Iso(45000.0 + (13 * 3600 + 45 * 60 + 30) / 86400.0), u"2023-03-15 13:45:30");
  EXPECT_EQ(Iso(45000.0 + 1.0 / 86400.0),
            u"2023-03-15 00:00:01");    // one second after midnight shows
  EXPECT_EQ(Iso(60.0), u"1900-02-28");  // no 29 February 1900
  EXPECT_EQ(Iso(61.0), u"1900-03-01");
}

TEST(DateTimeTextTest, TimeRoundsToTheMillisecondAndCarriesIntoTheNextDay) {
  EXPECT_EQ(Iso(45000.0 + 0.9999999999), u"2023-03-16");
  EXPECT_EQ(Iso(45000.0 + 59.9996 / 86400.0), u"2023-03-15 00:01:00");
}

TEST(DateTimeTextTest, NegativeValuesCountDaysTowardZeroWithThePositiveTime) {
  EXPECT_EQ(Iso(-1.25), u"1899-12-29 06:00:00");
  EXPECT_EQ(Iso(-693593.0), u"1-01-01");  // the first day of the year 1 (strftime does not pad %Y)
}

TEST(DateTimeTextTest, ValuesThatAreNoDateGiveEmptyText) {
  EXPECT_EQ(Iso(std::numeric_limits<double>::quiet_NaN()), u"");
  EXPECT_EQ(Iso(std::numeric_limits<double>::infinity()), u"");
  EXPECT_EQ(Iso(-std::numeric_limits<double>::infinity()), u"");
  EXPECT_EQ(Iso(1e300), u"");
  EXPECT_EQ(Iso(-693594.0), u"");  // before the year 1
  EXPECT_EQ(Iso(2958466.0), u"");  // after 9999-12-31
  EXPECT_EQ(Iso(2958465.5), u"9999-12-31 12:00:00");
}

TEST(DateTimeTextTest, FormatsComeFromTheCallerOrTheUsersLocale) {
  EXPECT_EQ(FormatDateTimeC(45000.75, "%d.%m.%Y", "%H:%M:%S"), u"15.03.2023 18:00:00");
  // The locale's own formats: a date, and a time after a space.
  const std::u16string text = FormatDateTimeC(45000.75);
  EXPECT_NE(text.find(u"15"), std::u16string::npos);
  EXPECT_NE(text.find(u' '), std::u16string::npos);
  EXPECT_EQ(FormatDateTimeC(45000.0).find(u' '), std::u16string::npos);
}

}  // namespace
}  // namespace vesperon
