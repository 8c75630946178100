// DateDiff(V1, V2): the days from date V1 to date V2, fractions included.
//
//   DateDiff(2024-01-01, 2024-01-02)          ->  1
//   DateDiff(2024-01-02, 2024-01-01 12:00)    -> -0.5
//   DateDiff(absent, 2024-01-01)              ->  0
//
// Both dates are always fetched; an absent one makes the result 0.0 and its
// date value is never used.
#include "zelextensions.h"

namespace {

constexpr double seconds_per_day = 86400.0;

}  // namespace

extern "C" int ZEL_CALL DateDiff(void) {
  int32_t present1 = 0;
  int32_t present2 = 0;
  uint32_t t1 = 0;
  uint32_t t2 = 0;
  ZELGetDateTime(&present1, &t1);
  ZELGetDateTime(&present2, &t2);

  double days = 0.0;
  if (present1 != 0 && present2 != 0) {
    // Widened before subtracting: in 32 bits an earlier t2 would wrap.
    const int64_t seconds = static_cast<int64_t>(t2) - static_cast<int64_t>(t1);
    // Every difference is exact in a double, so one correctly rounded
    // division gives the double nearest the exact quotient.
    days = static_cast<double>(seconds) / seconds_per_day;
  }
  return ZELSetDouble(days);
}
