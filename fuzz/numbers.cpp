// Fuzzes the reading of Numeric arguments against a reference: the grammar
// as std::from_chars reads a finite decimal number, and the truncation done
// by moving the decimal point in the text itself.
#include "evaluate.h"

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

enum class Kind { value, out_of_range, malformed };

struct Reading {
  Kind kind;
  std::int64_t value = 0;
};

Reading reference(const std::string &text) {
  double ignored = 0;
  const char *last = text.data() + text.size();
  const auto [end, ec] = std::from_chars(text.data(), last, ignored);
  if (text.find_first_of("iInN") != std::string::npos || ec == std::errc::invalid_argument || end != last)
    return {Kind::malformed};
  const std::size_t e = text.find_first_of("eE");
  const std::string mantissa = text.substr(text[0] == '-', e == std::string::npos ? std::string::npos : e - (text[0] == '-'));
  std::int64_t exponent = 0;
  if (e != std::string::npos) {
    const std::string digits = text.substr(e + 1 + (text[e + 1] == '-' || text[e + 1] == '+'));
    const std::size_t first = digits.find_first_not_of('0');
    if (first != std::string::npos && digits.size() - first > 12) exponent = 1000000000000;
    else if (first != std::string::npos) exponent = std::stoll(digits.substr(first));
    if (text[e + 1] == '-') exponent = -exponent;
  }
  const std::size_t dot = mantissa.find('.');
  std::string digits = mantissa;
  if (dot != std::string::npos) digits.erase(dot, 1);
  // The decimal point stands after `point` digits of `digits`.
  const std::int64_t point = static_cast<std::int64_t>(dot == std::string::npos ? mantissa.size() : dot) + exponent;
  if (digits.find_first_not_of('0') == std::string::npos || point <= 0) return {Kind::value, 0};
  if (point > static_cast<std::int64_t>(digits.size()) + 12) return {Kind::out_of_range};
  std::string whole = digits.substr(0, static_cast<std::size_t>(point));
  whole.append(static_cast<std::size_t>(point) - whole.size(), '0');
  whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size()));
  if (whole.size() > 10) return {Kind::out_of_range};
  const std::int64_t magnitude = whole.empty() ? 0 : std::stoll(whole);
  const bool negative = text[0] == '-';
  if (magnitude > 2147483647 + std::int64_t{negative}) return {Kind::out_of_range};
  return {Kind::value, negative ? -magnitude : magnitude};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::string text(reinterpret_cast<const char *>(data), size);
  std::string error;
  const std::optional<std::int32_t> read = zelhost::parse_numeric(text, error);
  const Reading want = reference(text);
  const bool agrees = want.kind == Kind::value ? read && *read == want.value
                      : want.kind == Kind::malformed ? !read && error.starts_with("malformed")
                                                     : !read && error.find("outside") != std::string::npos;
  if (!agrees) std::abort();
  return 0;
}
