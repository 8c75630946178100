// The extension functions called through the stand-in host, as zelhost calls
// them: tools::invoke and the five operations of libtools, each call checked
// against the function's signature.
#include "compare.h"
#include "loader.h"
#include "tools.h"

#include <cstdio>

namespace {

void calls(benchmark::State &state, const char *name, const std::vector<tools::Argument> &arguments,
           std::size_t arity) {
  const std::optional<tools::Registration> function = tools::find(name);
  if (!function) return state.SkipWithError("not registered");
  std::size_t i = 0;
  for (auto _ : state) {
    tools::Outcome outcome = tools::invoke(*function, {arguments.data() + i, arity});
    benchmark::DoNotOptimize(outcome);
    i = (i + arity) % arguments.size();
  }
}

// Registers the floor, the peers and DateDiff's floor as a library's OnInit
// would, each under its name.
int ZEL_CALL register_peers() {
  static std::vector<std::string> declarations;
  for (const bench::Peer &peer : bench::peers) {
    declarations.push_back(std::string("String ") + peer.name + "(Numeric V)");
    AddFunctionCall(peer.function, declarations.back().c_str());
  }
  return AddFunctionCall(bench::date_control, "Numeric DateControl(Date V1, Date V2)");
}

}  // namespace

int main(int argc, char **argv) {
  std::string error;
  const std::optional<zelhost::Library> library = zelhost::load(ZEL_LIBRARY, error);
  if (!library) {
    std::fprintf(stderr, "zel_bench: %s\n", error.c_str());
    return 2;
  }
  tools::initialise(library->on_init);

  std::vector<tools::Argument> numbers, dates;
  for (std::int32_t n : bench::numbers()) numbers.emplace_back(n);
  for (std::uint32_t t : bench::dates()) dates.emplace_back(tools::Date{true, t});
  tools::initialise(register_peers);
  benchmark::RegisterBenchmark("FormatasTime", calls, "FormatasTime", numbers, 1);
  for (const bench::Peer &peer : bench::peers) benchmark::RegisterBenchmark(peer.name, calls, peer.name, numbers, 1);
  for (const char *name : {"DateDiff", "DateControl"}) benchmark::RegisterBenchmark(name, calls, name, dates, 2);

  const int status = bench::run(argc, argv);
  tools::forget_all();
  zelhost::unload(*library);
  return status;
}
