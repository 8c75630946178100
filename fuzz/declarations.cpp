// Fuzzes the reading of declaration texts: a text that is refused must be
// given a reason of one printable line; a text that is accepted must be
// exactly the declaration written back from what was read, and must be one
// that the operations can serve.
#include "declaration.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::string text(reinterpret_cast<const char *>(data), size);
  std::string error;
  const std::optional<tools::Signature> signature = tools::parse_declaration(text, error);
  if (!signature) {
    if (error.empty() || !std::all_of(error.begin(), error.end(), [](char c) { return c >= ' ' && c <= '~'; }))
      std::abort();
    return 0;
  }
  std::string written = std::string(tools::type_name(signature->result)) + " " + signature->name + "(";
  for (const tools::Parameter &p : signature->parameters) {
    if (p.type == tools::Type::String) std::abort();
    if (std::count_if(signature->parameters.begin(), signature->parameters.end(),
                      [&](const tools::Parameter &q) { return q.name == p.name; }) != 1)
      std::abort();
    written += (&p == &signature->parameters.front() ? "" : ", ") + std::string(tools::type_name(p.type)) + " " + p.name;
  }
  if (signature->result == tools::Type::Date || written + ")" != text) std::abort();
  return 0;
}
