// Every input of FormatasTime against a clock that shares no code with it,
// and every difference of DateDiff proven the double nearest the exact
// quotient, in exact integer arithmetic.
#include "direct_tools.h"
#include "zelextensions.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <thread>

namespace {

using direct::frame;

// Clock text counted up one second at a time: the last digit turns, and a
// digit that passes 9 (or a tens digit that passes 5) carries to the left.
class Odometer {
 public:
  explicit Odometer(bool negative) : start_(negative ? 1 : 0) {
    std::strcpy(text_, negative ? "-0:00:00" : "0:00:00");
    length_ = static_cast<int>(std::strlen(text_));
  }
  const char *text() const { return text_; }

  void step() {
    char *end = text_ + length_;
    if (turn(end[-1], '9') || turn(end[-2], '5') || turn(end[-4], '9') || turn(end[-5], '5')) return;
    for (char *h = end - 7; h >= text_ + start_; --h)
      if (turn(*h, '9')) return;
    // Every hour digit rolled over: one digit more.
    std::memmove(text_ + start_ + 1, text_ + start_, static_cast<std::size_t>(length_ - start_ + 1));
    text_[start_] = '1';
    ++length_;
  }

 private:
  // Turns one digit; true when it did not roll over to '0'.
  static bool turn(char &digit, char last) {
    if (digit != last) return ++digit, true;
    digit = '0';
    return false;
  }

  char text_[16];
  int length_;
  int start_;
};

struct Tally {
  std::uint64_t failures = 0;
  std::int64_t first = 0;
};

// Magnitudes 0 to 2^31 - 1 of one sign (1 to 2^31 for negatives).
Tally check_formatastime(bool negative) {
  Tally tally;
  Odometer clock(negative);
  frame.expected = clock.text();
  for (std::int64_t magnitude = 0; magnitude < (std::int64_t{1} << 31); ++magnitude) {
    if (negative) clock.step();
    const std::int64_t v = negative ? -(magnitude + 1) : magnitude;
    frame.number = static_cast<std::int32_t>(v);
    frame.matches = false;
    FormatasTime();
    if (!frame.matches && tally.failures++ == 0) tally.first = v;
    if (!negative) clock.step();
  }
  frame.expected = nullptr;
  return tally;
}

TEST(Exhaustive, FormatasTime) {
  Tally negatives;
  std::thread other([&] { negatives = check_formatastime(true); });
  const Tally positives = check_formatastime(false);
  other.join();
  EXPECT_EQ(positives.failures, 0u) << "first at " << positives.first;
  EXPECT_EQ(negatives.failures, 0u) << "first at " << negatives.first;
}

__extension__ typedef unsigned __int128 u128;

// Whether r is the double nearest d / 86400, for d > 0. With r = m * 2^e,
// the neighbours are (m + 1) * 2^e and (m - 1) * 2^e, or (2m - 1) * 2^(e-1)
// when m is the smallest significand. Measured in units of 2^(e-1) / 86400,
// the distances from the quotient are whole numbers:
// |86400 * X - d * 2^(1-e)| for X = 2m, 2m + 2 and 2m - 2 (or 2m - 1).
bool nearest(double r, std::uint32_t d) {
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(r);
  const int biased = static_cast<int>(bits >> 52);  // the sign bit is 0 for r > 0
  if (biased == 0 || biased >= 0x7ff) return false;
  const std::uint64_t m = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
  const int shift = 1 - (biased - 1075);  // 1 - e
  if (shift < 0 || shift > 100) return false;
  const u128 quotient = static_cast<u128>(d) << shift;
  auto distance = [&](u128 x) {
    const u128 scaled = x * 86400;
    return scaled > quotient ? scaled - quotient : quotient - scaled;
  };
  const u128 here = distance(u128{2} * m);
  const u128 below = distance(u128{2} * m - (m == (std::uint64_t{1} << 52) ? 1 : 2));
  return here < distance(u128{2} * m + 2) && here < below;
}

double date_diff(std::uint32_t t1, std::uint32_t t2) {
  frame.dates[0] = {1, t1};
  frame.dates[1] = {1, t2};
  frame.next_date = 0;
  DateDiff();
  return frame.value;
}

// Differences from `first` to `last`, each from a base that varies with it.
Tally check_datediff(std::uint32_t first, std::uint32_t last) {
  Tally tally;
  for (std::uint64_t i = first; i <= last; ++i) {
    const auto d = static_cast<std::uint32_t>(i);
    const std::uint32_t base = ~d & (d * 2654435761u);  // base + d stays in range
    const double forward = date_diff(base, base + d);
    const double backward = date_diff(base + d, base);
    const bool ok = d == 0 ? std::bit_cast<std::uint64_t>(forward) == 0 && std::bit_cast<std::uint64_t>(backward) == 0
                           : nearest(forward, d) && std::bit_cast<std::uint64_t>(backward) ==
                                                        (std::bit_cast<std::uint64_t>(forward) | (std::uint64_t{1} << 63));
    if (!ok && tally.failures++ == 0) tally.first = d;
  }
  return tally;
}

TEST(Exact, NearestChecksItsNeighbours) {
  // The check itself: the quotient 1 / 86400 rounded and one unit off.
  const double r = 1.0 / 86400.0;
  EXPECT_TRUE(nearest(r, 1));
  EXPECT_FALSE(nearest(std::nextafter(r, 0.0), 1));
  EXPECT_FALSE(nearest(std::nextafter(r, 1.0), 1));
  EXPECT_FALSE(nearest(5 * (1.0 / 86400.0), 5));  // the reciprocal's result
  EXPECT_TRUE(nearest(5.0 / 86400.0, 5));
}

TEST(Exhaustive, DateDiff) {
  Tally high;
  std::thread other([&] { high = check_datediff(0x80000000u, 0xFFFFFFFFu); });
  const Tally low = check_datediff(0, 0x7FFFFFFFu);
  other.join();
  EXPECT_EQ(low.failures, 0u) << "first at " << low.first;
  EXPECT_EQ(high.failures, 0u) << "first at " << high.first;
}

TEST(Exact, AbsentDatesGivePositiveZero) {
  std::uint64_t failures = 0;
  for (std::uint64_t t = 0; t <= 0xFFFFFFFFu; t += 65521) {
    const auto value = static_cast<std::uint32_t>(t);
    for (std::int32_t presence : {0, 1, 2}) {  // V1 absent, V2 absent, both absent
      frame.dates[0] = {presence == 1, value};
      frame.dates[1] = {presence == 0, ~value};
      frame.next_date = 0;
      frame.value = -1.0;
      DateDiff();
      if (std::bit_cast<std::uint64_t>(frame.value) != 0) ++failures;
    }
  }
  EXPECT_EQ(failures, 0u);
}

}  // namespace
