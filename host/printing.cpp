// Escaping and quoting for zelhost's results and messages.
#include "printing.h"

#include <charconv>

namespace zelhost {

std::string escape(std::string_view text) {
  constexpr char hex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\') out += "\\\\";
    else if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else if (c == '\t') out += "\\t";
    else if (byte < 0x20 || byte == 0x7F) out += {'\\', 'x', hex[byte >> 4], hex[byte & 15]};
    else out += c;
  }
  return out;
}

std::string quote(std::string_view text) { return '"' + escape(text) + '"'; }

std::string format_value(const tools::Value &value) {
  if (const std::string *text = std::get_if<std::string>(&value)) return escape(*text);
  char buffer[32];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, std::get<double>(value));
  return std::string(buffer, ec == std::errc() ? end : buffer);
}

}  // namespace zelhost
