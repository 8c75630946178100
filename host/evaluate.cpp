#include "evaluate.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

namespace zelhost {
namespace {

std::string_view trim(std::string_view text) {
  constexpr std::string_view blanks = " \t\r\n";
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

bool is_name(std::string_view text) {
  auto name_char = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'; };
  return !text.empty() && !(text[0] >= '0' && text[0] <= '9') && std::all_of(text.begin(), text.end(), name_char);
}

std::optional<tools::Argument> convert(tools::Type type, std::string_view text, std::string &error) {
  switch (type) {
    case tools::Type::Numeric:
      if (std::optional<std::int32_t> n = parse_numeric(text, error)) return *n;
      return std::nullopt;
    case tools::Type::String: return std::string(text);
    case tools::Type::Date: error = "Date arguments are not read yet"; return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::int32_t> parse_numeric(std::string_view text, std::string &error) {
  const char *last = text.data() + text.size();
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data(), last, value);
  if (ec == std::errc::invalid_argument || end != last || std::isnan(value)) {
    error = "malformed Numeric argument \"" + std::string(text) + "\"";
    return std::nullopt;
  }
  const double whole = std::trunc(value);
  if (ec == std::errc::result_out_of_range || !(whole >= -2147483648.0 && whole <= 2147483647.0)) {
    error = "Numeric argument \"" + std::string(text) + "\" is outside the signed 32-bit range";
    return std::nullopt;
  }
  return static_cast<std::int32_t>(whole);
}

std::string format_value(const tools::Value &value) {
  if (const std::string *text = std::get_if<std::string>(&value)) return *text;
  char buffer[32];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, std::get<double>(value));
  return std::string(buffer, ec == std::errc() ? end : buffer);
}

Evaluation evaluate(std::string_view expression) {
  const std::string_view call = trim(expression);
  const auto count = [&](char c) { return std::count(call.begin(), call.end(), c); };
  if (count('(') != count(')')) return {false, "unbalanced parentheses"};
  const std::size_t open = call.find('(');
  if (open == std::string_view::npos || count('(') != 1 || call.back() != ')')
    return {false, "expected a call such as Name(argument, ...)"};
  const std::string_view name = trim(call.substr(0, open));
  if (!is_name(name)) return {false, "malformed function name \"" + std::string(name) + "\""};

  const std::optional<tools::Registration> function = tools::find(name);
  if (!function) return {false, "unknown function \"" + std::string(name) + "\""};

  std::vector<std::string_view> texts;
  std::string_view inner = call.substr(open + 1, call.size() - open - 2);
  if (!trim(inner).empty()) {
    for (std::size_t comma; (comma = inner.find(',')) != std::string_view::npos; inner.remove_prefix(comma + 1))
      texts.push_back(trim(inner.substr(0, comma)));
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
    arguments.push_back(std::move(*argument));
  }

  const tools::Outcome outcome = tools::invoke(*function, arguments);
  if (!outcome.value) return {false, "protocol breach: " + outcome.error};
  return {true, format_value(*outcome.value)};
}

}  // namespace zelhost
