// FormatasTime(V): a signed count of seconds as clock text.
//
//   FormatasTime(3661)        -> "1:01:01"
//   FormatasTime(-59)         -> "-0:00:59"
//   FormatasTime(86400)       -> "24:00:00"     hours never wrap or pad
//
// The sign stands only in front; the fields are those of the magnitude.
#include "zelextensions.h"

#include <cstdint>

namespace {

constexpr std::uint32_t seconds_per_minute = 60;
constexpr std::uint32_t seconds_per_hour = 3600;

// The longest text, "-596523:14:08", and its terminator.
constexpr int text_size = 14;

// "00" to "99": the two digits of n start at 2 * n.
constexpr char two_digits[] =
    "0001020304050607080910111213141516171819"
    "2021222324252627282930313233343536373839"
    "4041424344454647484950515253545556575859"
    "6061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes value (below 100) as two digits.
char *put_two_digits(char *out, std::uint32_t value) {
  out[0] = two_digits[2 * value];
  out[1] = two_digits[2 * value + 1];
  return out + 2;
}

// Writes value (at most 596523) in decimal without leading zeros.
char *put_hours(char *out, std::uint32_t value) {
  const int digits = value < 10 ? 1 : value < 100 ? 2 : value < 1000 ? 3 : value < 10000 ? 4 : value < 100000 ? 5 : 6;
  char *end = out + digits;
  char *p = end;
  while (value >= 10) {
    p -= 2;
    put_two_digits(p, value % 100);
    value /= 100;
  }
  if (p != out) *out = static_cast<char>('0' + value);
  return end;
}

}  // namespace

extern "C" int ZEL_CALL FormatasTime(void) {
  std::int32_t v = 0;
  ZELGetSLong(&v);

  char text[text_size];
  char *out = text;
  // The magnitude of -2147483648 needs the unsigned width.
  std::uint32_t magnitude = static_cast<std::uint32_t>(v);
  if (v < 0) {
    *out++ = '-';
    magnitude = 0u - magnitude;
  }
  const std::uint32_t hours = magnitude / seconds_per_hour;
  const std::uint32_t rest = magnitude - hours * seconds_per_hour;
  const std::uint32_t minutes = rest / seconds_per_minute;
  const std::uint32_t seconds = rest - minutes * seconds_per_minute;

  out = put_hours(out, hours);
  *out++ = ':';
  out = put_two_digits(out, minutes);
  *out++ = ':';
  out = put_two_digits(out, seconds);
  *out = '\0';
  return ZELSetString(text);
}
