// What both benchmark programs share: the control functions, the inputs,
// and a main loop that runs the benchmarks and prints the three ratios.
#ifndef ZEL_BENCH_COMPARE_H
#define ZEL_BENCH_COMPARE_H

#include "zeltools.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace bench {

// The same Get and Set as FormatasTime, with a constant 12-character text.
int ZEL_CALL text_control();
// The same two Gets and Set as DateDiff, with a constant result.
int ZEL_CALL date_control();
// FormatasTime written with snprintf.
int ZEL_CALL formatastime_snprintf();

// Numbers spread over the whole 32-bit range, and as many date values.
std::vector<std::int32_t> numbers();
std::vector<std::uint32_t> dates();

// Runs the benchmarks registered under the names FormatasTime, TextControl,
// FormatasTimeSnprintf, DateDiff and DateControl, then prints the ratios.
int run(int argc, char **argv);

}  // namespace bench

#endif
