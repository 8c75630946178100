// The declaration grammar: "Type Name(Type Name, ...)", with exactly one
// blank after each type and ", " between parameters.
#include "declaration.h"

#include <algorithm>
#include <cctype>

namespace tools {
namespace {

bool is_name_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// Takes a name from the front of `text`.
std::string_view take_name(std::string_view &text) {
  std::size_t n = 0;
  while (n < text.size() && is_name_char(text[n])) ++n;
  if (!is_name(text.substr(0, n))) n = 0;
  std::string_view name = text.substr(0, n);
  text.remove_prefix(n);
  return name;
}

bool take(std::string_view &text, std::string_view what) {
  if (!text.starts_with(what)) return false;
  text.remove_prefix(what.size());
  return true;
}

std::optional<Type> type_named(std::string_view name) {
  for (Type t : {Type::Numeric, Type::String, Type::Date})
    if (type_name(t) == name) return t;
  return std::nullopt;
}

}  // namespace

bool is_name(std::string_view text) {
  return !text.empty() && !std::isdigit(static_cast<unsigned char>(text[0])) &&
         std::all_of(text.begin(), text.end(), is_name_char);
}

std::string_view type_name(Type type) {
  switch (type) {
    case Type::Numeric: return "Numeric";
    case Type::String: return "String";
    case Type::Date: return "Date";
  }
  return "?";
}

std::optional<Signature> parse_declaration(std::string_view text, std::string &why) {
  std::string_view rest = text;
  auto fail = [&](const std::string &reason) {
    why = reason;
    return false;
  };
  // A type, a blank and a name; `what` names the part for a message. A name
  // holds only letters, digits and '_', so it is quoted as it is.
  auto typed_name = [&](const std::string &what, Type &type, std::string &name) {
    const std::string type_text(take_name(rest));
    if (type_text.empty()) return fail("expected the type of " + what);
    const std::optional<Type> t = type_named(type_text);
    if (!t) return fail("unknown type \"" + type_text + "\"");
    if (!take(rest, " ")) return fail("expected a blank after \"" + type_text + "\"");
    name = take_name(rest);
    if (name.empty()) return fail("expected the name of " + what);
    type = *t;
    return true;
  };
  Signature signature;
  bool ok = typed_name("the function", signature.result, signature.name);
  if (ok && !take(rest, "(")) ok = fail("expected \"(\" after the name");
  if (ok && !take(rest, ")")) {
    do {
      Parameter p{};
      ok = typed_name("a parameter", p.type, p.name);
      signature.parameters.push_back(std::move(p));
    } while (ok && take(rest, ", "));
    if (ok && !take(rest, ")")) ok = fail("expected \", \" or \")\" after a parameter");
  }
  if (ok && !rest.empty()) ok = fail("unexpected text after \")\"");
  // What no operation can fetch or deliver, and a name given twice.
  if (ok && signature.result == Type::Date) ok = fail("the result is a Date, and no operation delivers a Date");
  for (auto p = signature.parameters.begin(); ok && p != signature.parameters.end(); ++p) {
    if (p->type == Type::String)
      ok = fail("parameter " + p->name + " is a String, and no operation fetches a String");
    else if (std::any_of(signature.parameters.begin(), p, [&](const Parameter &q) { return q.name == p->name; }))
      ok = fail("two parameters named " + p->name);
  }
  if (!ok) return std::nullopt;
  return signature;
}

}  // namespace tools
