// Fuzzes whole expressions against the library's own functions, registered
// through the stand-in host as zelhost registers them: nothing may crash, and
// every result and every message stays on one line.
#include "evaluate.h"
#include "zelextensions.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  static const bool registered = (tools::initialise(OnInit), true);
  (void)registered;
  const zelhost::Evaluation result = zelhost::evaluate(std::string(reinterpret_cast<const char *>(data), size));
  if (result.text.find_first_of("\r\n") != std::string::npos) std::abort();
  return 0;
}
