// Clocks of the POSIX backend: the current time as FILETIME, the offset of
// the local time zone (honouring TZ) and a millisecond tick count.
#include <time.h>

#include "platform/platform.h"

namespace plat {

std::int64_t TimeZoneOffsetSeconds() {
  tzset();  // TZ may have changed since the last call
  time_t now = time(nullptr);
  struct tm local;
  if (localtime_r(&now, &local) == nullptr) return 0;
  return local.tm_gmtoff;
}

std::uint32_t TickCount() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  std::uint64_t ms = static_cast<std::uint64_t>(now.tv_sec) * 1000 +
                     static_cast<std::uint64_t>(now.tv_nsec / 1000000);
  return static_cast<std::uint32_t>(ms);  // wraps at 2^32 as GetTickCount does
}

}  // namespace plat
