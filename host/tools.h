// The stand-in host's own side of `tools`: the registry that AddFunctionCall
// fills, the declaration texts it parses, and the invocation of an extension
// function with a per-thread frame that checks the call protocol.
#ifndef ZELHOST_TOOLS_H
#define ZELHOST_TOOLS_H

#include "zeltools.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tools {

// The host language's types, in the order of the alternatives of Argument
// and Value.
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
  Type result;
  std::string name;
  std::vector<Parameter> parameters;
};

// A text as messages and results print it, on one line: a control character
// as \n, \r, \t or \xHH, and a backslash as \\. `quote` adds double quotes.
std::string escape(std::string_view text);
std::string quote(std::string_view text);

// Parses "Type Name(Type Name, ...)" where the operations can serve it: each
// parameter a Numeric or a Date, the result a Numeric or a String, no name
// twice. On failure returns nothing and says why in `error`, quoting the text.
std::optional<Signature> parse_declaration(std::string_view text, std::string &error);

struct Registration {
  ZELFunction function;
  std::string declaration;  // the host's copy of the library's text
  Signature signature;
  int returned;  // what AddFunctionCall returned for it
};

// A date argument. ZELGetDateTime writes `value` only when `present`, unless
// `stale` asks it to write `value` for an absent date too, the way a careless
// host leaves an old value behind.
struct Date {
  bool present = false;
  std::uint32_t value = 0;
  bool stale = false;
};

// An argument or a result, by type: Numeric, String, Date.
using Argument = std::variant<std::int32_t, std::string, Date>;
using Value = std::variant<double, std::string>;

// The registrations accepted so far, in order, and the refusals' messages. A
// name registers once: a second registration under it is refused.
std::vector<Registration> registrations();
std::vector<std::string> refusals();
void clear_registrations();

// The registration of `name`, if any.
std::optional<Registration> find(std::string_view name);

struct Outcome {
  std::optional<Value> value;  // the Set's value, when the protocol was kept
  std::string error;           // the first breach, naming the function
  int returned = 0;            // what the extension function returned
  int set_returned = 0;        // what its Set operation returned
};

// Calls a library's OnInit; any Get or Set it makes is a breach.
Outcome initialise(ZELFunction on_init);

// Calls the function with the arguments, which must match its parameters,
// and checks every operation it makes against its signature. A registration
// during the call is a breach.
Outcome invoke(const Registration &registration, std::span<const Argument> arguments);

}  // namespace tools

#endif
