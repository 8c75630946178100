// Evaluating calls written in the host's language, "Name(arg, arg, ...)",
// against the registered extension functions.
#ifndef ZELHOST_EVALUATE_H
#define ZELHOST_EVALUATE_H

#include "tools.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zelhost {

// The text without the blanks around it: spaces, tabs, line and form feeds,
// carriage returns.
std::string_view trim(std::string_view text);

// The longest text a Numeric argument may have.
constexpr std::size_t longest_numeric = 1'000'000;

// A Numeric argument: a decimal number (as std::from_chars reads it: "12",
// "-1.5", "2e3") of at most `longest_numeric` characters. A fraction
// truncates toward zero; a value outside the signed 32-bit range is refused,
// never wrapped.
std::optional<std::int32_t> parse_numeric(std::string_view text, std::string &error);

// A Date argument: "YYYY-MM-DD", "YYYY-MM-DD HH:MM" or "YYYY-MM-DD HH:MM:SS"
// (a 'T' may stand for the blank), read as UTC and counted in seconds from
// 1970-01-01 00:00:00, so from that moment to 2106-02-07 06:28:15; or "null",
// an absent date.
std::optional<tools::Date> parse_date(std::string_view text, std::string &error);

struct Evaluation {
  bool ok;
  std::string text;  // the result's text, or what is wrong
};

Evaluation evaluate(std::string_view expression);

}  // namespace zelhost

#endif
