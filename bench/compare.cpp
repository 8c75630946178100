// The controls, the inputs and the main loop that both benchmark programs
// share (see compare.h).
#include "compare.h"

#include <fmt/compile.h>
#include <fmt/format.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>

namespace bench {

namespace {

// The sign and the clock fields of the next argument.
struct Clock {
  bool negative;
  std::uint32_t hours, minutes, seconds;
};

Clock next_clock() {
  std::int32_t v = 0;
  ZELGetSLong(&v);
  const std::uint32_t magnitude = v < 0 ? 0u - static_cast<std::uint32_t>(v) : static_cast<std::uint32_t>(v);
  return {v < 0, magnitude / 3600, magnitude / 60 % 60, magnitude % 60};
}

}  // namespace

int ZEL_CALL text_control() {
  std::int32_t v = 0;
  ZELGetSLong(&v);
  char text[16];
  std::memcpy(text, "-596523:14:08", 14);
  return ZELSetString(text);
}

int ZEL_CALL formatastime_fmt_compiled() {
  const Clock c = next_clock();
  char text[32];
  *fmt::format_to(text, FMT_COMPILE("{}{}:{:02}:{:02}"), c.negative ? "-" : "", c.hours, c.minutes, c.seconds) = '\0';
  return ZELSetString(text);
}

int ZEL_CALL formatastime_fmt_runtime() {
  const Clock c = next_clock();
  char text[32];
  *fmt::format_to(text, fmt::runtime("{}{}:{:02}:{:02}"), c.negative ? "-" : "", c.hours, c.minutes, c.seconds) = '\0';
  return ZELSetString(text);
}

int ZEL_CALL formatastime_to_chars() {
  const Clock c = next_clock();
  char text[16];
  char *p = text;
  if (c.negative) *p++ = '-';
  p = std::to_chars(p, text + sizeof text, c.hours).ptr;
  for (const std::uint32_t field : {c.minutes, c.seconds}) {
    *p++ = ':';
    *p++ = static_cast<char>('0' + field / 10);
    *p++ = static_cast<char>('0' + field % 10);
  }
  *p = '\0';
  return ZELSetString(text);
}

const Peer peers[5] = {{"Floor", text_control},
                       {"Snprintf", formatastime_snprintf},
                       {"FmtRuntime", formatastime_fmt_runtime},
                       {"FmtCompiled", formatastime_fmt_compiled},
                       {"ToChars", formatastime_to_chars}};

int ZEL_CALL date_control() {
  std::int32_t present1 = 0, present2 = 0;
  std::uint32_t t1 = 0, t2 = 0;
  ZELGetDateTime(&present1, &t1);
  ZELGetDateTime(&present2, &t2);
  return ZELSetDouble(0.0);
}

int ZEL_CALL formatastime_snprintf() {
  const Clock c = next_clock();
  char text[32];
  std::snprintf(text, sizeof text, "%s%u:%02u:%02u", c.negative ? "-" : "", c.hours, c.minutes, c.seconds);
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
  // Ratios of medians from this one run, which hold across machines as
  // absolute times do not.
  const auto ratio = [&](const char *a, const char *b, const char *goal) {
    if (reporter.times.count(a) && reporter.times.count(b))
      std::printf("%-12s / %-12s %6.2f  %s\n", a, b, reporter.times[a] / reporter.times[b], goal);
  };
  ratio("FormatasTime", "Floor", "(goal: at most 2.0)");
  for (const char *peer : {"Snprintf", "FmtRuntime"}) ratio(peer, "FormatasTime", "");
  ratio("FmtCompiled", "FormatasTime", "(goal: at least 3.0)");
  ratio("ToChars", "FormatasTime", "(goal: at least 1.0)");
  ratio("DateDiff", "DateControl", "(goal: at most 1.1)");
  return 0;
}

}  // namespace bench
