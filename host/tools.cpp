// The stand-in `tools`: the five operations over a per-thread invocation
// frame, and the registry that AddFunctionCall fills.
//
// Each operation returns a number that no other operation on its thread
// returns (until 2^32 of them have run), so a caller can tell which
// operation's result an extension function passed on.
#include "tools.h"

#include "calling.h"

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
thread_local std::uint32_t last_result = 0;  // wraps, as unsigned arithmetic does

// On all threads, under `activity`: the OnInit calls and the invocations
// running, and the registrations made while an invocation ran (from a
// thread without one), which each invocation counts before and after. A
// registration holds `activity` until it is done, so no call begins or ends
// in the middle of it: it is counted, registered or noted, never lost.
std::mutex activity;
int initialising = 0;
int invoking = 0;
std::uint32_t registrations_during_invocations = 0;

std::mutex registry_mutex;
std::vector<Registration> registry;
std::vector<Refusal> refused;
std::string stray;

int next_result() { return static_cast<int>(++last_result); }

void note_stray(std::string_view operation) {
  std::lock_guard lock(registry_mutex);
  if (stray.empty()) stray = std::string(operation) + " from a thread on which neither OnInit nor an invocation runs";
}

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
  if (!frame) {
    note_stray(operation);
    return nullptr;
  }
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
  if (!frame) return note_stray(operation);
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
  int &running = frame.signature ? invoking : initialising;
  std::uint32_t registrations_before = 0;
  {
    std::lock_guard lock(activity);
    ++running;
    registrations_before = registrations_during_invocations;
  }
  Frame *outer = current;
  current = &frame;
  const std::string changed = call_harshly(function, frame.outcome.returned);
  current = outer;
  bool registered_during = false;
  {
    std::lock_guard lock(activity);
    --running;
    registered_during = registrations_during_invocations != registrations_before;
  }
  if (!changed.empty()) breach(frame, changed);
  if (frame.signature && registered_during) breach(frame, "AddFunctionCall during an invocation");
  if (frame.signature && !frame.set) breach(frame, "no Set");
  if (!frame.outcome.error.empty()) frame.outcome.value.reset();
}

}  // namespace

Type type_of(const Argument &argument) {
  return std::holds_alternative<Date>(argument) ? Type::Date : Type::Numeric;
}

std::vector<Registration> registrations() {
  std::lock_guard lock(registry_mutex);
  return registry;
}

std::vector<Refusal> refusals() {
  std::lock_guard lock(registry_mutex);
  return refused;
}

std::optional<Registration> find(std::string_view name) {
  std::lock_guard lock(registry_mutex);
  if (const Registration *r = registered(name)) return *r;
  return std::nullopt;
}

std::string stray_operation() {
  std::lock_guard lock(registry_mutex);
  return stray;
}

void forget_all() {
  std::lock_guard lock(registry_mutex);
  registry.clear();
  refused.clear();
  stray.clear();
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
  for (std::size_t i = 0; matches && i < arguments.size(); ++i) matches = type_of(arguments[i]) == parameters[i].type;
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
  // Held until the registration is done (see `activity`).
  std::unique_lock lock(activity);
  if (invoking > 0) {
    ++registrations_during_invocations;
    return result;
  }
  if (!current && initialising == 0) {
    lock.unlock();
    note_stray("AddFunctionCall");
    return result;
  }
  Refusal refusal;
  std::optional<Signature> signature;
  if (declaration) refusal.declaration = declaration;
  if (!declaration)
    refusal.reason = "a declaration without text";
  else if (!function)
    refusal.reason = "no function";
  else
    signature = parse_declaration(declaration, refusal.reason);
  std::lock_guard registry_lock(registry_mutex);
  if (signature && registered(signature->name)) {
    refusal.reason = "a function named " + signature->name + " is registered already";
    signature.reset();
  }
  if (signature)
    registry.push_back({function, declaration, std::move(*signature), result});
  else
    refused.push_back(std::move(refusal));
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
    const auto index = static_cast<std::uint32_t>(a - current->arguments.data());
    *present = date.present ? 1 : 0;
    *value = date.present ? date.value : 0x6B8B4567u + 7919u * index;  // an absent date's poison
  }
  return result;
}

int ZEL_CALL ZELSetString(const char *text) {
  const int result = next_result();
  if (text)
    deliver("ZELSetString", Type::String, text, result);
  else if (current)
    breach(*current, "ZELSetString without a text");
  else
    note_stray("ZELSetString");
  return result;
}

int ZEL_CALL ZELSetDouble(double value) {
  const int result = next_result();
  deliver("ZELSetDouble", Type::Numeric, value, result);
  return result;
}

}  // extern "C"
