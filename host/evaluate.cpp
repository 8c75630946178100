// zelhost's reading of the host's language: calls "Name(arg, ...)", and
// their Numeric and Date arguments, evaluated against the registry.
#include "evaluate.h"
#include "printing.h"

#include <algorithm>
#include <chrono>
#include <vector>

namespace zelhost {
namespace {

// A parameter is a Numeric or a Date: the registry refuses any other.
std::optional<tools::Argument> convert(tools::Type type, std::string_view text, std::string &error) {
  if (type == tools::Type::Date) {
    if (std::optional<tools::Date> date = parse_date(text, error)) return *date;
  } else if (std::optional<std::int32_t> n = parse_numeric(text, error)) {
    return *n;
  }
  return std::nullopt;
}

// The number written with exactly `width` decimal digits at `at`.
std::optional<int> digits(std::string_view text, std::size_t at, std::size_t width) {
  if (text.size() < at + width) return std::nullopt;
  int value = 0;
  for (char c : text.substr(at, width)) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace

std::string_view trim(std::string_view text) {
  constexpr std::string_view blanks = " \t\n\v\f\r";
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::optional<tools::Date> parse_date(std::string_view text, std::string &error) {
  using namespace std::chrono;
  if (text == "null") return tools::Date{};

  const std::string quoted = "Date argument " + quote(text);
  const bool has_time = text.size() == 16 || text.size() == 19;
  const bool has_seconds = text.size() == 19;
  const std::optional<int> y = digits(text, 0, 4), mo = digits(text, 5, 2), d = digits(text, 8, 2);
  const std::optional<int> h = has_time ? digits(text, 11, 2) : 0, mi = has_time ? digits(text, 14, 2) : 0;
  const std::optional<int> s = has_seconds ? digits(text, 17, 2) : 0;
  const bool well_formed = (text.size() == 10 || has_time) && text[4] == '-' && text[7] == '-' &&
                           (!has_time || ((text[10] == ' ' || text[10] == 'T') && text[13] == ':')) &&
                           (!has_seconds || text[16] == ':') && y && mo && d && h && mi && s;
  if (!well_formed) {
    error = "malformed " + quoted + " (expected YYYY-MM-DD, YYYY-MM-DD HH:MM, YYYY-MM-DD HH:MM:SS or null)";
    return std::nullopt;
  }
  const year_month_day day{year{*y}, month{static_cast<unsigned>(*mo)}, std::chrono::day{static_cast<unsigned>(*d)}};
  const char *why = !day.ok() ? ": there is no such day"
                    : *h > 23 ? ": the hour is outside 00-23"
                    : *mi > 59 ? ": the minute is outside 00-59"
                    : *s > 59  ? ": the second is outside 00-59"
                               : nullptr;
  if (why) {
    error = quoted + why;
    return std::nullopt;
  }

  const sys_seconds moment = sys_days{day} + hours{*h} + minutes{*mi} + seconds{*s};
  const std::int64_t count = moment.time_since_epoch().count();
  if (count < 0 || count > 0xFFFFFFFF) {
    error = quoted + " is outside 1970-01-01 00:00:00 to 2106-02-07 06:28:15";
    return std::nullopt;
  }
  return tools::Date{true, static_cast<std::uint32_t>(count)};
}

// Truncation decided on the digits themselves: the value is 0.D x 10^point,
// where D are its significant digits, so its whole part is the first `point`
// of them. Only the first ten can count: more than ten whole digits are out
// of range anyway. The point moves by at most the text's length, far
// below the exponent's cap, so a capped exponent decides as the exact one
// would.
std::optional<std::int32_t> parse_numeric(std::string_view text, std::string &error) {
  if (text.size() > longest_numeric) {
    error = "Numeric argument of " + std::to_string(text.size()) + " characters, longer than the " +
            std::to_string(longest_numeric) + " a number may have";
    return std::nullopt;
  }
  const std::string quoted = "Numeric argument " + quote(text);
  std::size_t at = 0;
  const bool negative = !text.empty() && text[0] == '-';
  at += negative;
  std::int64_t leading = 0;  // the first `kept` significant digits
  std::int64_t kept = 0;
  std::size_t mantissa_digits = 0;
  std::int64_t point = 0;
  bool fraction = false;
  for (; at < text.size(); ++at) {
    const char c = text[at];
    if (c == '.' && !fraction) {
      fraction = true;
      continue;
    }
    if (c < '0' || c > '9') break;
    ++mantissa_digits;
    if (kept == 0 && c == '0') {
      point -= fraction;  // a leading zero of the fraction
      continue;
    }
    if (kept < 10) {
      leading = leading * 10 + (c - '0');
      ++kept;
    }
    point += !fraction;
  }
  std::int64_t exponent = 0;
  if (mantissa_digits > 0 && at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
    const bool down = ++at < text.size() && text[at] == '-';
    at += at < text.size() && (text[at] == '-' || text[at] == '+');
    const std::size_t first = at;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
      exponent = std::min<std::int64_t>(exponent * 10 + (text[at] - '0'), 1'000'000'000);
    if (at == first) mantissa_digits = 0;  // an exponent without digits
    if (down) exponent = -exponent;
  }
  if (mantissa_digits == 0 || at != text.size()) {
    error = "malformed " + quoted + " (expected a decimal number such as 12, -1.5, .5 or 2e3)";
    return std::nullopt;
  }
  point += exponent;
  if (kept == 0 || point <= 0) return 0;
  std::int64_t magnitude = leading;
  if (point <= 10) {
    for (std::int64_t k = kept; k < point; ++k) magnitude *= 10;
    for (std::int64_t k = point; k < kept; ++k) magnitude /= 10;
  }
  if (point > 10 || magnitude > std::int64_t{2147483647} + negative) {
    error = quoted + " is outside the signed 32-bit range";
    return std::nullopt;
  }
  return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

Evaluation evaluate(std::string_view expression) {
  const std::string_view call = trim(expression);
  const auto count = [&](char c) { return std::count(call.begin(), call.end(), c); };
  if (count('(') != count(')')) return {false, "unbalanced parentheses"};
  const std::size_t open = call.find('(');
  if (open == std::string_view::npos || count('(') != 1 || call.back() != ')')
    return {false, "expected a call such as Name(argument, ...)"};
  const std::string_view name = trim(call.substr(0, open));
  if (!tools::is_name(name)) return {false, "malformed function name " + quote(name)};

  const std::optional<tools::Registration> function = tools::find(name);
  if (!function) return {false, "unknown function \"" + std::string(name) + "\""};

  std::vector<std::string_view> texts;
  std::string_view inner = call.substr(open + 1, call.size() - open - 2);
  if (!trim(inner).empty()) {
    for (std::size_t comma = inner.find(','); comma != std::string_view::npos; comma = inner.find(',')) {
      texts.push_back(trim(inner.substr(0, comma)));
      inner.remove_prefix(comma + 1);
    }
    texts.push_back(trim(inner));
  }
  const std::vector<tools::Parameter> &parameters = function->signature.parameters;
  if (texts.size() != parameters.size())
    return {false, std::string(name) + " takes " + std::to_string(parameters.size()) + " argument(s), not " +
                       std::to_string(texts.size())};

  std::vector<tools::Argument> arguments;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    std::string error;
    std::optional<tools::Argument> argument = convert(parameters[i].type, texts[i], error);
    if (!argument) return {false, error};
    arguments.push_back(*argument);
  }

  const tools::Outcome outcome = tools::invoke(*function, arguments);
  if (!outcome.value) return {false, "protocol breach: " + outcome.error};
  return {true, format_value(*outcome.value)};
}

}  // namespace zelhost
