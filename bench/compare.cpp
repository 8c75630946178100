// The controls, the inputs and the main loop that both benchmark programs
// share (see compare.h).
#include "compare.h"

#include <cstdio>
#include <map>
#include <random>
#include <string>

namespace bench {

int ZEL_CALL text_control() {
  std::int32_t v = 0;
  ZELGetSLong(&v);
  return ZELSetString("596523:14:07");
}

int ZEL_CALL date_control() {
  std::int32_t present1 = 0, present2 = 0;
  std::uint32_t t1 = 0, t2 = 0;
  ZELGetDateTime(&present1, &t1);
  ZELGetDateTime(&present2, &t2);
  return ZELSetDouble(0.0);
}

int ZEL_CALL formatastime_snprintf() {
  std::int32_t v = 0;
  ZELGetSLong(&v);
  const std::uint32_t magnitude = v < 0 ? 0u - static_cast<std::uint32_t>(v) : static_cast<std::uint32_t>(v);
  char text[32];
  std::snprintf(text, sizeof text, "%s%u:%02u:%02u", v < 0 ? "-" : "", magnitude / 3600, magnitude / 60 % 60,
                magnitude % 60);
  return ZELSetString(text);
}

std::vector<std::int32_t> numbers() {
  std::mt19937 random(1);
  std::vector<std::int32_t> values(4096);
  for (std::int32_t &v : values) v = static_cast<std::int32_t>(random());
  return values;
}

std::vector<std::uint32_t> dates() {
  std::mt19937 random(2);
  std::vector<std::uint32_t> values(4096);
  for (std::uint32_t &v : values) v = static_cast<std::uint32_t>(random());
  return values;
}

namespace {

// Keeps each benchmark's median time per call, for the ratios.
class Reporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run> &runs) override {
    for (const Run &r : runs)
      if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median")
        times[r.run_name.function_name] = r.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;
};

}  // namespace

int run(int argc, char **argv) {
  // Medians of five runs each, unless the command line says otherwise: this
  // machine's neighbours make single runs wander.
  std::vector<char *> args(argv, argv + argc);
  char repetitions[] = "--benchmark_repetitions=5", aggregates[] = "--benchmark_report_aggregates_only=true";
  args.insert(args.begin() + 1, {repetitions, aggregates});
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  Reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  const auto ratio = [&](const char *a, const char *b, const char *what, const char *goal) {
    if (reporter.times.count(a) && reporter.times.count(b))
      std::printf("%-34s %5.2f  (goal: %s)\n", what, reporter.times[a] / reporter.times[b], goal);
  };
  ratio("FormatasTime", "TextControl", "FormatasTime / its control:", "at most 2.0");
  ratio("FormatasTimeSnprintf", "FormatasTime", "snprintf version / FormatasTime:", "at least 7");
  ratio("DateDiff", "DateControl", "DateDiff / its control:", "at most 1.1");
  return 0;
}

}  // namespace bench
