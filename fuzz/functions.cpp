// Fuzzes the library's own functions, each of the list, at arbitrary
// argument values: the first byte picks the function, the rest give its
// arguments (a Numeric four bytes, a Date a presence byte and four), called
// through the stand-in's operations, which check the call protocol. Every
// call must keep the protocol and give the same result twice.
#include "tools.h"
#include "zelextensions.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

std::uint32_t take32(const std::uint8_t *&data, std::size_t &size) {
  std::uint32_t value = 0;
  const std::size_t n = size < 4 ? size : 4;
  std::memcpy(&value, data, n);
  data += n;
  size -= n;
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  static const std::vector<tools::Registration> registered = (tools::initialise(OnInit), tools::registrations());
  if (size == 0 || registered.empty()) return 0;
  const tools::Registration &function = registered[*data % registered.size()];
  ++data;
  --size;
  std::vector<tools::Argument> arguments;
  for (const tools::Parameter &parameter : function.signature.parameters) {
    if (parameter.type == tools::Type::Numeric) {
      arguments.emplace_back(static_cast<std::int32_t>(take32(data, size)));
    } else {
      const bool present = size > 0 && (*data & 1) != 0;
      if (size > 0) ++data, --size;
      arguments.emplace_back(tools::Date{present, take32(data, size)});
    }
  }
  const tools::Outcome first = tools::invoke(function, arguments);
  const tools::Outcome second = tools::invoke(function, arguments);
  if (!first.error.empty() || !first.value || first.value != second.value) std::abort();
  return 0;
}
