// FormatasTime(V): a signed count of seconds as clock text.
//
//   FormatasTime(3661)        -> "1:01:01"
//   FormatasTime(-59)         -> "-0:00:59"
//   FormatasTime(86400)       -> "24:00:00"     hours never wrap or pad
//
// The sign stands only in front; the fields are those of the magnitude.
// Every 32-bit count has its text: no value lies outside the domain.
#include "zelextensions.h"

namespace {

constexpr uint32_t seconds_per_minute = 60;
constexpr uint32_t seconds_per_hour = 3600;

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
void put_two_digits(char *out, uint32_t value) {
  const uint32_t at = 2 * value;
  out[0] = two_digits[at];
  out[1] = two_digits[at + 1];
}

}  // namespace

// The text is written from its end backwards, in fixed steps: seconds,
// minutes, then the hours as six digits, of which the text keeps those that
// count, with the sign before them. No step depends on the input, so nothing
// branches on it.
extern "C" int ZEL_CALL FormatasTime(void) {
  int32_t v = 0;
  ZELGetSLong(&v);

  // The magnitude of -2147483648 needs the unsigned width.
  const bool negative = v < 0;
  const uint32_t magnitude = negative ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
  const uint32_t hours = magnitude / seconds_per_hour;  // at most 596523: six digits
  const uint32_t rest = magnitude - hours * seconds_per_hour;
  const uint32_t minutes = rest / seconds_per_minute;
  const uint32_t seconds = rest - minutes * seconds_per_minute;

  char text[text_size];
  char *end = text + text_size;
  end[-1] = '\0';
  put_two_digits(end - 3, seconds);
  end[-4] = ':';
  put_two_digits(end - 6, minutes);
  end[-7] = ':';
  char *hours_end = end - 7;
  put_two_digits(hours_end - 2, hours % 100);
  put_two_digits(hours_end - 4, hours / 100 % 100);
  put_two_digits(hours_end - 6, hours / 10000);
  const int digits = 1 + (hours >= 10) + (hours >= 100) + (hours >= 1000) + (hours >= 10000) + (hours >= 100000);
  char *start = hours_end - digits;
  start[-1] = '-';
  return ZELSetString(start - negative);
}
