// Fuzzes the reading of Date arguments against the C library's timegm: a
// text reads as a date exactly when its fields form the pattern, name a real
// moment (timegm leaves them as they are) and fall in the 32-bit range, and
// then it reads as timegm's count.
#include "evaluate.h"

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>

namespace {

// The date, or nothing, as the reference reads `text`.
std::optional<std::uint32_t> reference(const std::string &text, bool &well_formed) {
  static const std::string patterns[] = {"dddd-dd-dd", "dddd-dd-dd dd:dd", "dddd-dd-dd dd:dd:dd"};
  well_formed = false;
  for (const std::string &pattern : patterns) {
    if (pattern.size() != text.size()) continue;
    well_formed = true;
    for (std::size_t i = 0; i < text.size(); ++i) {
      const char c = text[i];
      const bool fits = pattern[i] == 'd' ? c >= '0' && c <= '9' : pattern[i] == ' ' ? c == ' ' || c == 'T' : c == pattern[i];
      well_formed = well_formed && fits;
    }
  }
  if (!well_formed) return std::nullopt;
  auto field = [&](std::size_t at, std::size_t width) { return std::stoi(text.substr(at, width)); };
  std::tm tm{};
  tm.tm_year = field(0, 4) - 1900;
  tm.tm_mon = field(5, 2) - 1;
  tm.tm_mday = field(8, 2);
  tm.tm_hour = text.size() > 10 ? field(11, 2) : 0;
  tm.tm_min = text.size() > 10 ? field(14, 2) : 0;
  tm.tm_sec = text.size() > 16 ? field(17, 2) : 0;
  const std::tm asked = tm;
  const std::time_t moment = timegm(&tm);
  const bool real = tm.tm_year == asked.tm_year && tm.tm_mon == asked.tm_mon && tm.tm_mday == asked.tm_mday &&
                    tm.tm_hour == asked.tm_hour && tm.tm_min == asked.tm_min && tm.tm_sec == asked.tm_sec;
  if (!real || moment < 0 || moment > 0xFFFFFFFF) return std::nullopt;
  return static_cast<std::uint32_t>(moment);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::string text(reinterpret_cast<const char *>(data), size);
  std::string error;
  const std::optional<tools::Date> read = zelhost::parse_date(text, error);
  bool well_formed = false;
  const std::optional<std::uint32_t> want = reference(text, well_formed);
  const bool agrees = text == "null" ? read && !read->present
                      : want         ? read && read->present && read->value == *want
                                     : !read && error.starts_with("malformed") != well_formed;
  if (!agrees) std::abort();
  return 0;
}
