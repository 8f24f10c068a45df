#include "core/date_time.h"

#include <langinfo.h>
#include <locale.h>

#include <chrono>
#include <cmath>
#include <ctime>

#include "core/text.h"

namespace vesperon {
namespace {

// The first and last day Delphi-style date values allow: 0001-01-01 and
// 9999-12-31, as days since 1899-12-30.
constexpr double kFirstDay = -693593.0;
constexpr double kLastDay = 2958465.0;
constexpr long long kMsPerDay = 86400000;

struct TUserTimeLocale {
  locale_t Locale = nullptr;
  std::string DateFormat = "%m/%d/%y";
  std::string TimeFormat = "%H:%M:%S";

  TUserTimeLocale() : Locale(newlocale(LC_TIME_MASK, "", nullptr)) {
    if (Locale == nullptr) Locale = newlocale(LC_TIME_MASK, "C", nullptr);
    if (Locale == nullptr) return;
    DateFormat = nl_langinfo_l(D_FMT, Locale);
    TimeFormat = nl_langinfo_l(T_FMT, Locale);
  }
  ~TUserTimeLocale() {
    if (Locale != nullptr) freelocale(Locale);
  }
};

const TUserTimeLocale& UserTimeLocale() {
  static const TUserTimeLocale locale;
  return locale;
}

// The calendar fields of a date value. Days count toward zero (Delphi's
// rule: -1.25 is 1899-12-29 06:00), the time is rounded to the millisecond.
bool BreakDown(double value, std::tm& tm) {
  if (!std::isfinite(value) || value < kFirstDay || value >= kLastDay + 1.0) return false;
  long long days = static_cast<long long>(std::trunc(value));
  long long ms = std::llround(std::fabs(value - static_cast<double>(days)) * kMsPerDay);
  if (ms >= kMsPerDay) {
    ms -= kMsPerDay;
    days += value < 0 ? -1 : 1;
  }
  using namespace std::chrono;
  const sys_days day = sys_days(year(1899) / December / 30) + std::chrono::days(days);
  const year_month_day ymd(day);
  if (!ymd.ok() || ymd.year() < year(1) || ymd.year() > year(9999)) return false;
  tm = {};
  tm.tm_year = static_cast<int>(ymd.year()) - 1900;
  tm.tm_mon = static_cast<int>(static_cast<unsigned>(ymd.month())) - 1;
  tm.tm_mday = static_cast<int>(static_cast<unsigned>(ymd.day()));
  tm.tm_wday = static_cast<int>(weekday(day).c_encoding());
  tm.tm_yday = static_cast<int>((day - sys_days(ymd.year() / January / 1)).count());
  const long long seconds = ms / 1000;
  tm.tm_hour = static_cast<int>(seconds / 3600);
  tm.tm_min = static_cast<int>(seconds / 60 % 60);
  tm.tm_sec = static_cast<int>(seconds % 60);
  tm.tm_isdst = -1;
  return true;
}

std::string Format(const char* format, const std::tm& tm) {
  char buffer[256];
  const locale_t locale = UserTimeLocale().Locale;
  const std::size_t n = locale != nullptr ? strftime_l(buffer, sizeof buffer, format, &tm, locale)
                                          : std::strftime(buffer, sizeof buffer, format, &tm);
  return std::string(buffer, n);
}

}  // namespace

std::u16string FormatDateTimeC(double dateTime, const char* dateFormat, const char* timeFormat) {
  std::tm tm;
  if (!BreakDown(dateTime, tm)) return {};
  std::string text = Format(dateFormat, tm);
  if (tm.tm_hour != 0 || tm.tm_min != 0 || tm.tm_sec != 0) text += " " + Format(timeFormat, tm);
  return Utf8ToUtf16(text);
}

std::u16string FormatDateTimeC(double dateTime) {
  const TUserTimeLocale& user = UserTimeLocale();
  return FormatDateTimeC(dateTime, user.DateFormat.c_str(), user.TimeFormat.c_str());
}

}  // namespace vesperon
