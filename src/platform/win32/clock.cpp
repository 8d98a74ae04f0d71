// The current time, the local time zone's offset and the tick count.
#include "platform/win32/win32.h"

namespace plat {

static FileTime FromFiletime(const FILETIME& ft) {
  return (static_cast<FileTime>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

std::int64_t TimeZoneOffsetSeconds() {
  // FileTimeToLocalFileTime applies the bias in force now, daylight saving
  // included, which is the offset the archive's time stamps are read with.
  FILETIME now, local;
  GetSystemTimeAsFileTime(&now);
  if (!FileTimeToLocalFileTime(&now, &local)) return 0;
  std::int64_t difference = static_cast<std::int64_t>(FromFiletime(local) - FromFiletime(now));
  return difference / static_cast<std::int64_t>(kFileTimePerSecond);
}

std::uint32_t TickCount() { return GetTickCount(); }

}  // namespace plat
