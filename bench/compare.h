// What both benchmark programs share: the control functions, the inputs,
// and a main loop that runs the benchmarks and prints the three ratios.
#ifndef ZEL_BENCH_COMPARE_H
#define ZEL_BENCH_COMPARE_H

#include "zeltools.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace bench {

// The floor: the same Get and Set as FormatasTime, with a constant
// 13-character text copied into automatic storage.
int ZEL_CALL text_control();
// The same two Gets and Set as DateDiff, with a constant result.
int ZEL_CALL date_control();
// FormatasTime's peers, the ways a C++ engineer would write it: snprintf,
// {fmt} with its format string compiled and read at run time, and
// std::to_chars for the hours with two digits each for minutes and seconds.
int ZEL_CALL formatastime_snprintf();
int ZEL_CALL formatastime_fmt_compiled();
int ZEL_CALL formatastime_fmt_runtime();
int ZEL_CALL formatastime_to_chars();

// FormatasTime's floor and peers by the names the benchmarks run them under
// (each program adds FormatasTime itself).
struct Peer {
  const char *name;
  ZELFunction function;
};
extern const Peer peers[5];

// Numbers spread over the whole 32-bit range, and as many date values.
std::vector<std::int32_t> numbers();
std::vector<std::uint32_t> dates();

// Runs the benchmarks registered under FormatasTime, the peers' names,
// DateDiff and DateControl, then prints the ratios.
int run(int argc, char **argv);

}  // namespace bench

#endif
