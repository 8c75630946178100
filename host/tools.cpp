// The stand-in `tools`: the five operations over a per-thread invocation
// frame, and the registry that AddFunctionCall fills.
//
// Each operation returns a number that no other operation on its thread
// returns, so a caller can tell which operation's result an extension
// function passed on.
#include "tools.h"

#include <algorithm>
#include <cctype>
#include <mutex>

namespace tools {
namespace {

struct Frame {
  Outcome &outcome;  // the caller's, returned to it in place
  const Signature *signature = nullptr;  // null while OnInit runs
  std::span<const Argument> arguments;
  std::size_t next = 0;  // the argument that the next Get fetches
  bool set = false;
};

thread_local Frame *current = nullptr;
thread_local int last_result = 0;

std::mutex registry_mutex;
std::vector<Registration> registry;
std::vector<std::string> refused;

int next_result() { return ++last_result; }

// The registration of `name`, with the registry locked.
const Registration *registered(std::string_view name) {
  for (const Registration &r : registry)
    if (r.signature.name == name) return &r;
  return nullptr;
}

void breach(Frame &frame, std::string_view what) {
  if (!frame.outcome.error.empty()) return;
  frame.outcome.error = frame.signature ? frame.signature->name : std::string("OnInit");
  frame.outcome.error += ": ";
  frame.outcome.error += what;
}

// The argument for a Get of `type` by `operation` into `target`, or null
// after a breach. Messages are only built for a breach: this is every call's
// path.
const Argument *fetch(std::string_view operation, Type type, const void *target) {
  Frame *frame = current;
  if (!frame) return nullptr;
  auto fail = [&](const std::string &what) {
    breach(*frame, std::string(operation) + what);
    return nullptr;
  };
  if (!target) return fail(" without a place for the value");
  if (!frame->signature) return fail(" outside an invocation");
  if (frame->set) return fail(" after the Set");
  const std::vector<Parameter> &parameters = frame->signature->parameters;
  if (frame->next >= parameters.size())
    return fail(" beyond the " + std::to_string(parameters.size()) + " declared parameter(s)");
  const Parameter &parameter = parameters[frame->next];
  if (parameter.type != type)
    return fail(" for parameter " + parameter.name + " of type " + std::string(type_name(parameter.type)));
  return &frame->arguments[frame->next++];
}

template <typename Result>
void deliver(std::string_view operation, Type type, Result value, int result) {
  Frame *frame = current;
  if (!frame) return;
  const Signature *signature = frame->signature;
  if (!signature) return breach(*frame, std::string(operation) + " outside an invocation");
  if (frame->set) return breach(*frame, "a second Set, " + std::string(operation));
  frame->set = true;
  if (signature->result != type)
    return breach(*frame, std::string(operation) + " for a result of type " + std::string(type_name(signature->result)));
  if (frame->next < signature->parameters.size())
    return breach(*frame, std::string(operation) + " before parameter " + signature->parameters[frame->next].name + " was fetched");
  frame->outcome.value.emplace(value);
  frame->outcome.set_returned = result;
}

void run(ZELFunction function, Frame &frame) {
  Frame *outer = current;
  current = &frame;
  frame.outcome.returned = function();
  current = outer;
  if (frame.signature && !frame.set) breach(frame, "no Set");
  if (!frame.outcome.error.empty()) frame.outcome.value.reset();
}

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

std::optional<Signature> parse_declaration(std::string_view text, std::string &error) {
  std::string_view rest = text;
  auto fail = [&](const std::string &why) {
    error = "declaration " + quote(text) + ": " + why;
    return false;
  };
  // A type, a blank and a name; `what` names the part for a message.
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

std::vector<Registration> registrations() {
  std::lock_guard lock(registry_mutex);
  return registry;
}

std::vector<std::string> refusals() {
  std::lock_guard lock(registry_mutex);
  return refused;
}

void clear_registrations() {
  std::lock_guard lock(registry_mutex);
  registry.clear();
  refused.clear();
}

std::optional<Registration> find(std::string_view name) {
  std::lock_guard lock(registry_mutex);
  if (const Registration *r = registered(name)) return *r;
  return std::nullopt;
}

Outcome initialise(ZELFunction on_init) {
  Outcome outcome;
  Frame frame{outcome, nullptr, {}};
  run(on_init, frame);
  return outcome;
}

Outcome invoke(const Registration &registration, std::span<const Argument> arguments) {
  const std::vector<Parameter> &parameters = registration.signature.parameters;
  bool matches = arguments.size() == parameters.size();
  for (std::size_t i = 0; matches && i < arguments.size(); ++i)
    matches = arguments[i].index() == static_cast<std::size_t>(parameters[i].type);
  Outcome outcome;
  if (!matches) {
    outcome.error = registration.signature.name + ": arguments that do not match the parameters";
    return outcome;
  }
  Frame frame{outcome, &registration.signature, arguments};
  run(registration.function, frame);
  return outcome;
}

}  // namespace tools

using namespace tools;

extern "C" {

int ZEL_CALL AddFunctionCall(ZELFunction function, const char *declaration) {
  const int result = next_result();
  if (current && current->signature) {
    breach(*current, "AddFunctionCall during an invocation");
    return result;
  }
  std::string error;
  std::optional<Signature> signature;
  if (!function)
    error = "declaration " + quote(declaration ? declaration : "") + ": no function";
  else if (!declaration)
    error = "a declaration without text";
  else
    signature = parse_declaration(declaration, error);
  std::lock_guard lock(registry_mutex);
  if (signature && registered(signature->name)) {
    error = "declaration " + quote(declaration) + ": a function named " + signature->name + " is registered already";
    signature.reset();
  }
  if (signature)
    registry.push_back({function, declaration, std::move(*signature), result});
  else
    refused.push_back(std::move(error));
  return result;
}

int ZEL_CALL ZELGetSLong(std::int32_t *value) {
  const int result = next_result();
  if (const Argument *a = fetch("ZELGetSLong", Type::Numeric, value)) *value = std::get<std::int32_t>(*a);
  return result;
}

int ZEL_CALL ZELGetDateTime(std::int32_t *present, std::uint32_t *value) {
  const int result = next_result();
  if (const Argument *a = fetch("ZELGetDateTime", Type::Date, present && value ? value : nullptr)) {
    const Date &date = std::get<Date>(*a);
    *present = date.present ? 1 : 0;
    if (date.present || date.stale) *value = date.value;
  }
  return result;
}

int ZEL_CALL ZELSetString(const char *text) {
  const int result = next_result();
  if (text)
    deliver("ZELSetString", Type::String, text, result);
  else if (current)
    breach(*current, "ZELSetString without a text");
  return result;
}

int ZEL_CALL ZELSetDouble(double value) {
  const int result = next_result();
  deliver("ZELSetDouble", Type::Numeric, value, result);
  return result;
}

}  // extern "C"
