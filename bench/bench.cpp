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

}  // namespace

int main(int argc, char **argv) {
  std::string error;
  const std::optional<zelhost::Library> library = zelhost::load(ZEL_LIBRARY, error);
  if (!library) {
    std::fprintf(stderr, "zel_bench: %s\n", error.c_str());
    return 2;
  }
  tools::initialise(library->on_init);
  AddFunctionCall(bench::text_control, "String TextControl(Numeric V)");
  AddFunctionCall(bench::formatastime_snprintf, "String FormatasTimeSnprintf(Numeric V)");
  AddFunctionCall(bench::date_control, "Numeric DateControl(Date V1, Date V2)");

  std::vector<tools::Argument> numbers, dates;
  for (std::int32_t n : bench::numbers()) numbers.emplace_back(n);
  for (std::uint32_t t : bench::dates()) dates.emplace_back(tools::Date{true, t});
  for (const char *name : {"FormatasTime", "TextControl", "FormatasTimeSnprintf"})
    benchmark::RegisterBenchmark(name, calls, name, numbers, 1);
  for (const char *name : {"DateDiff", "DateControl"}) benchmark::RegisterBenchmark(name, calls, name, dates, 2);

  const int status = bench::run(argc, argv);
  tools::forget_all();
  zelhost::unload(*library);
  return status;
}
