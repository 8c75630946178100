// The declaration texts that extension functions register under,
// "Type Name(Type Name, ...)": the host language's types, its names, and the
// parser that AddFunctionCall applies.
#ifndef ZELHOST_DECLARATION_H
#define ZELHOST_DECLARATION_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tools {

enum class Type { Numeric, String, Date };

std::string_view type_name(Type type);

// A name of the host's language: letters, digits and '_', not starting with a
// digit.
bool is_name(std::string_view text);

struct Parameter {
  Type type;
  std::string name;
};

struct Signature {
  Type result{};
  std::string name;
  std::vector<Parameter> parameters;
};

// Parses "Type Name(Type Name, ...)" where the operations can serve it: each
// parameter a Numeric or a Date, the result a Numeric or a String, no name
// twice. On failure returns nothing and says why in `why`.
std::optional<Signature> parse_declaration(std::string_view text, std::string &why);

}  // namespace tools

#endif
