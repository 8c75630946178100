// The stand-in host's own side of `tools`: the registry that AddFunctionCall
// fills, and the invocation of an extension function with a per-thread
// frame that checks the call protocol.
#ifndef ZELHOST_TOOLS_H
#define ZELHOST_TOOLS_H

#include "declaration.h"
#include "zeltools.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tools {

struct Registration {
  ZELFunction function;
  std::string declaration;  // the host's copy of the library's text
  Signature signature;
  int returned;  // what AddFunctionCall returned for it
};

// A registration refused: its declaration text, if it had one, and why.
struct Refusal {
  std::optional<std::string> declaration;
  std::string reason;
};

// A date argument. For an absent one, ZELGetDateTime writes not `value` but
// a wrong value of its own, different for each argument of a call (the host
// may write anything there): a function that uses it gets a visibly wrong
// result.
struct Date {
  bool present = false;
  std::uint32_t value = 0;
};

// An argument, Numeric or Date (no operation fetches a String), and a
// result, Numeric or String (none delivers a Date).
using Argument = std::variant<std::int32_t, Date>;
using Value = std::variant<double, std::string>;

Type type_of(const Argument &argument);

// The registrations accepted so far, in order, and the refusals. A name
// registers once: a second registration under it is refused. A registration
// counts only while an OnInit runs and no invocation does.
std::vector<Registration> registrations();
std::vector<Refusal> refusals();

// The registration of `name`, if any.
std::optional<Registration> find(std::string_view name);

// The first operation made from a thread on which neither an OnInit nor an
// invocation ran, such as one from a library's constructor or from a thread
// of its own (but a registration while an invocation runs anywhere breaches
// that invocation); empty if there was none. It does nothing else.
std::string stray_operation();

// Forgets all that the registry holds: the registrations, the refusals and
// the stray operation.
void forget_all();

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
// while it runs, from any thread, is a breach.
Outcome invoke(const Registration &registration, std::span<const Argument> arguments);

}  // namespace tools

#endif
