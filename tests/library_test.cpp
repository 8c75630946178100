// The built extension library, loaded into the stand-in host as zelhost
// loads it.
#include "loader.h"
#include "tools.h"
#include "zeltools.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <thread>

namespace {

class Library : public ::testing::Test {
 protected:
  void SetUp() override {
    tools::forget_all();
    std::string error;
    std::optional<zelhost::Library> loaded = zelhost::load(ZEL_LIBRARY, error);
    ASSERT_TRUE(loaded) << error;
    library = *loaded;
  }
  void TearDown() override {
    tools::forget_all();
    zelhost::unload(library);
  }

  tools::Outcome init() { return tools::initialise(library.on_init); }

  tools::Outcome call(const char *name, std::vector<tools::Argument> arguments) {
    const std::optional<tools::Registration> r = tools::find(name);
    if (!r) {
      ADD_FAILURE() << name << " is not registered";
      return {};
    }
    return tools::invoke(*r, arguments);
  }

  zelhost::Library library{};
};

// The library's list of its functions (cases.txt holds what each
// declaration text must be).
const char *const listed[] = {
#define ZEL_FUNCTION(name, declaration) declaration,
#include "zelfunctions.h"
};

constexpr std::uint32_t last_date = 0xFFFFFFFF;

tools::Date date(std::uint32_t value) { return {true, value}; }

// Doubles compared bit for bit, so that -0.0 differs from 0.0.
::testing::AssertionResult same_bits(double expected, double actual) {
  if (std::memcmp(&expected, &actual, sizeof expected) == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "expected " << std::hexfloat << expected << ", got " << actual;
}

TEST_F(Library, LoadingAloneRegistersNothing) { EXPECT_TRUE(tools::registrations().empty()); }

TEST_F(Library, OnInitRegistersEachFunctionOnceInOrder) {
  const tools::Outcome outcome = init();
  EXPECT_EQ(outcome.error, "");
  const std::vector<tools::Registration> r = tools::registrations();
  ASSERT_EQ(r.size(), std::size(listed));
  for (std::size_t i = 0; i < r.size(); ++i) EXPECT_EQ(r[i].declaration, listed[i]) << i;
  EXPECT_EQ(outcome.returned, r.back().returned) << "OnInit passes on its last AddFunctionCall's result";
  EXPECT_TRUE(tools::refusals().empty());
}

// The library registers again; the host refuses the names it has.
TEST_F(Library, SecondOnInitRegistersAgain) {
  init();
  init();
  EXPECT_EQ(tools::registrations().size(), std::size(listed));
  const std::vector<tools::Refusal> refusals = tools::refusals();
  ASSERT_EQ(refusals.size(), std::size(listed));
  for (std::size_t i = 0; i < refusals.size(); ++i) {
    EXPECT_EQ(refusals[i].declaration, listed[i]);
    EXPECT_EQ(refusals[i].reason.find("a function named "), 0u) << refusals[i].reason;
  }
}

// Each function's results are in cases.txt; here, that each returns what its
// Set returned.
TEST_F(Library, EachFunctionPassesOnItsSetsResult) {
  init();
  const tools::Outcome text = call("FormatasTime", {std::int32_t{-2147483647 - 1}});
  ASSERT_TRUE(text.value) << text.error;
  EXPECT_EQ(std::get<std::string>(*text.value), "-596523:14:08");
  EXPECT_EQ(text.returned, text.set_returned);
  const tools::Outcome days = call("DateDiff", {date(last_date), date(0)});
  ASSERT_TRUE(days.value) << days.error;
  EXPECT_TRUE(same_bits(-49710.26961805556, std::get<double>(*days.value)));
  EXPECT_EQ(days.returned, days.set_returned);
}

TEST_F(Library, DateDiffOfAnAbsentDateIsPositiveZero) {
  // The stand-in writes a wrong value for an absent date: it must not be
  // used.
  const tools::Date absent{false, 86400 * 365};
  const tools::Date present = date(86400 * 7);
  const struct {
    tools::Date v1, v2;
  } cases[] = {{absent, present}, {present, absent}, {absent, absent}, {tools::Date{}, present}, {present, tools::Date{}}};
  init();
  for (const auto &c : cases) {
    const tools::Outcome outcome = call("DateDiff", {c.v1, c.v2});
    ASSERT_TRUE(outcome.value) << outcome.error;  // both dates fetched, then one Set
    EXPECT_TRUE(same_bits(0.0, std::get<double>(*outcome.value))) << c.v1.present << c.v2.present;
  }
}

// Reentrant, with no locking: threads calling both functions at once each
// get their own results.
TEST_F(Library, ConcurrentCallsKeepTheirOwnResults) {
  constexpr int threads = 8, calls = 100000;
  init();
  const tools::Registration format = *tools::find("FormatasTime"), diff = *tools::find("DateDiff");
  std::vector<int> failures(threads);
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t)
    pool.emplace_back([&, t] {
      for (int i = 0; i < calls; ++i) {
        const auto v = static_cast<std::int32_t>(std::int64_t{i * threads + t} * 2711 - 1000000000);
        const tools::Argument number = v;
        const tools::Outcome text = tools::invoke(format, {&number, 1});
        char expected[16];
        const std::uint32_t m = v < 0 ? 0u - static_cast<std::uint32_t>(v) : static_cast<std::uint32_t>(v);
        std::snprintf(expected, sizeof expected, "%s%u:%02u:%02u", v < 0 ? "-" : "", m / 3600, m / 60 % 60, m % 60);
        // Whole days apart, so that the expected value is exact.
        const tools::Argument dates[] = {date(static_cast<std::uint32_t>(t) * 86400u),
                                         date(static_cast<std::uint32_t>(i % 49000) * 86400u)};
        const tools::Outcome days = tools::invoke(diff, dates);
        const bool ok = text.value && std::get<std::string>(*text.value) == expected && days.value &&
                        std::get<double>(*days.value) == i % 49000 - t;
        failures[static_cast<std::size_t>(t)] += !ok;
      }
    });
  for (std::thread &thread : pool) thread.join();
  for (int t = 0; t < threads; ++t) EXPECT_EQ(failures[static_cast<std::size_t>(t)], 0) << "thread " << t;
}

}  // namespace
