// The same comparisons with the host operations at their barest (the tests'
// direct operations, linked in): what the functions cost themselves, without
// the stand-in host's checks around every call.
#include "compare.h"
#include "direct_tools.h"
#include "zelextensions.h"

namespace {

using direct::frame;

void texts(benchmark::State &state, ZELFunction function) {
  const std::vector<std::int32_t> numbers = bench::numbers();
  std::size_t i = 0;
  for (auto _ : state) {
    frame.number = numbers[i];
    function();
    benchmark::DoNotOptimize(frame.text);
    i = (i + 1) % numbers.size();
  }
}

void days(benchmark::State &state, ZELFunction function) {
  const std::vector<std::uint32_t> dates = bench::dates();
  std::size_t i = 0;
  for (auto _ : state) {
    frame.dates[0] = {1, dates[i]};
    frame.dates[1] = {1, dates[i + 1]};
    frame.next_date = 0;
    function();
    benchmark::DoNotOptimize(frame.value);
    i = (i + 2) % dates.size();
  }
}

}  // namespace

int main(int argc, char **argv) {
  benchmark::RegisterBenchmark("FormatasTime", texts, FormatasTime);
  for (const bench::Peer &peer : bench::peers) benchmark::RegisterBenchmark(peer.name, texts, peer.function);
  benchmark::RegisterBenchmark("DateDiff", days, DateDiff);
  benchmark::RegisterBenchmark("DateControl", days, bench::date_control);
  return bench::run(argc, argv);
}
