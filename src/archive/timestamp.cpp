// Time stamps: FILETIME (100 ns since 1601-01-01) against MS-DOS date/time
// words (levels 0 and 1, local time) and 32-bit Unix time (level 2, UTC).
// The calendar is the proleptic Gregorian one, computed here so that every
// platform gives the same answer.
#include "archive/timestamp.h"

#include <cstdint>

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
// Days from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kDaysFrom1601To1970 = 134774;
// Windows refuses FILETIMEs with the top bit set as calendar times.
constexpr std::uint64_t kMaxCalendarFileTime = 0x7FFFFFFFFFFFFFFFULL;

struct CivilDate {
  std::int64_t year;
  int month;  // 1..12
  int day;    // 1..31
};

bool IsLeapYear(std::int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(std::int64_t year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days since 1970-01-01 of a civil date (eras of 400 years, March-based
// years so that the leap day comes last).
std::int64_t DaysFromCivil(std::int64_t year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t yearOfEra = year - era * 400;
  const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

// The inverse of DaysFromCivil.
CivilDate CivilFromDays(std::int64_t days) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t dayOfEra = days - era * 146097;
  const std::int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
  CivilDate date;
  date.day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
  date.month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
  date.year = yearOfEra + era * 400 + (date.month <= 2 ? 1 : 0);
  return date;
}

// Adds a signed number of seconds, staying inside the FILETIME range.
plat::FileTime AddSeconds(plat::FileTime time, std::int64_t seconds) {
  if (seconds >= 0) {
    const std::uint64_t delta = static_cast<std::uint64_t>(seconds) * kFileTimePerSecond;
    return time > UINT64_MAX - delta ? UINT64_MAX : time + delta;
  }
  const std::uint64_t delta = static_cast<std::uint64_t>(-seconds) * kFileTimePerSecond;
  return time < delta ? 0 : time - delta;
}

}  // namespace

bool DosTimeToFileTime(std::uint16_t date, std::uint16_t time, plat::FileTime* localTime) {
  const int year = 1980 + (date >> 9);
  const int month = (date >> 5) & 15;
  const int day = date & 31;
  const int hour = time >> 11;
  const int minute = (time >> 5) & 63;
  const int second = (time & 31) * 2;
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return false;
  if (hour > 23 || minute > 59 || second > 59) return false;
  const std::int64_t days = DaysFromCivil(year, month, day) + kDaysFrom1601To1970;
  const std::int64_t seconds = days * kSecondsPerDay + hour * 3600 + minute * 60 + second;
  *localTime = static_cast<std::uint64_t>(seconds) * kFileTimePerSecond;
  return true;
}

bool FileTimeToDosTime(plat::FileTime localTime, std::uint16_t* date, std::uint16_t* time) {
  // One second more, then halved: odd seconds go up to the next even one.
  if (localTime > kMaxCalendarFileTime - kFileTimePerSecond) return false;
  const std::uint64_t seconds = (localTime + kFileTimePerSecond) / kFileTimePerSecond;
  const std::int64_t days = static_cast<std::int64_t>(seconds / kSecondsPerDay);
  const int secondOfDay = static_cast<int>(seconds % kSecondsPerDay);
  const CivilDate civil = CivilFromDays(days - kDaysFrom1601To1970);
  const int hour = secondOfDay / 3600;
  const int minute = secondOfDay / 60 % 60;
  const int second = secondOfDay % 60;
  // Years outside 1980..2107 wrap modulo 128.
  const unsigned yearBits = static_cast<unsigned>((civil.year - 1980) & 0x7F);
  *date = static_cast<std::uint16_t>(yearBits << 9 | civil.month << 5 | civil.day);
  *time = static_cast<std::uint16_t>(hour << 11 | minute << 5 | second >> 1);
  return true;
}

CalendarTime FileTimeToCalendar(plat::FileTime time) {
  const std::int64_t seconds = static_cast<std::int64_t>(time / kFileTimePerSecond);
  const std::int64_t secondOfDay = seconds % kSecondsPerDay;
  const CivilDate civil = CivilFromDays(seconds / kSecondsPerDay - kDaysFrom1601To1970);
  CalendarTime t;
  t.year = static_cast<int>(civil.year);
  t.month = civil.month;
  t.day = civil.day;
  t.hour = static_cast<int>(secondOfDay / 3600);
  t.minute = static_cast<int>(secondOfDay / 60 % 60);
  t.second = static_cast<int>(secondOfDay % 60);
  return t;
}

plat::FileTime UnixTimeToFileTime(std::uint32_t unixTime) {
  // Taken as signed: 0xFFFFFFFF is one second before 1970.
  const std::int64_t seconds = static_cast<std::int32_t>(unixTime);
  return static_cast<std::uint64_t>(seconds + plat::kUnixEpochSeconds) * kFileTimePerSecond;
}

bool FileTimeToUnixTime(plat::FileTime fileTime, std::uint32_t* unixTime) {
  const std::uint64_t last = kFileTimeUnixEpoch + 0xFFFFFFFFULL * kFileTimePerSecond;
  if (fileTime < kFileTimeUnixEpoch) {
    *unixTime = 0;
    return false;
  }
  if (fileTime > last) {
    *unixTime = 0xFFFFFFFF;
    return false;
  }
  *unixTime = static_cast<std::uint32_t>((fileTime - kFileTimeUnixEpoch) / kFileTimePerSecond);
  return true;
}

plat::FileTime LocalToUtc(plat::FileTime localTime) {
  return LocalToUtc(localTime, plat::TimeZoneOffsetSeconds());
}

plat::FileTime LocalToUtc(plat::FileTime localTime, std::int64_t zoneOffsetSeconds) {
  return AddSeconds(localTime, -zoneOffsetSeconds);
}

plat::FileTime UtcToLocal(plat::FileTime utcTime) {
  return AddSeconds(utcTime, plat::TimeZoneOffsetSeconds());
}
