// The library allocates nothing: every allocation in this program is counted
// while the current thread is inside an extension function.
#include "direct_tools.h"
#include "zelextensions.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <utility>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define COUNTS_ALLOCATIONS 0  // the sanitizers own malloc
#else
#define COUNTS_ALLOCATIONS 1
extern "C" void *__libc_malloc(std::size_t);
extern "C" void *__libc_calloc(std::size_t, std::size_t);
extern "C" void *__libc_realloc(void *, std::size_t);
#endif

namespace {
thread_local bool counting = false;
thread_local int allocations = 0;
}  // namespace

#if COUNTS_ALLOCATIONS
// operator new, and everything else in the program, comes through these.
extern "C" void *malloc(std::size_t n) {
  allocations += counting;
  return __libc_malloc(n);
}
extern "C" void *calloc(std::size_t count, std::size_t n) {
  allocations += counting;
  return __libc_calloc(count, n);
}
extern "C" void *realloc(void *p, std::size_t n) {
  allocations += counting;
  return __libc_realloc(p, n);
}
#endif

namespace {

int allocations_in(ZELFunction function) {
  allocations = 0;
  counting = true;
  function();
  counting = false;
  return allocations;
}

TEST(Heap, ExtensionCallsAllocateNothing) {
  if (!COUNTS_ALLOCATIONS) GTEST_SKIP() << "allocations are not counted under a sanitizer";
  // The counter itself counts.
  EXPECT_EQ(allocations_in([]() -> int { return std::free(std::malloc(1)), 0; }), 1);
  // Every function of the list, on numbers and dates at their ends, present
  // and absent.
  const std::pair<ZELFunction, const char *> functions[] = {
#define ZEL_FUNCTION(name, declaration) {name, #name},
#include "zelfunctions.h"
  };
  for (const std::int32_t v : {0, 59, -1, 2147483647, -2147483647 - 1}) {
    direct::frame.number = v;
    direct::frame.dates[0] = {v & 1, static_cast<std::uint32_t>(v)};
    direct::frame.dates[1] = {1, 0xFFFFFFFF};
    for (const auto &[function, name] : functions) {
      // Said before the call, so that a crash names its call too.
      std::fprintf(stderr, "Heap: %s with every Numeric %d\n", name, static_cast<int>(v));
      direct::frame.next_date = 0;
      EXPECT_EQ(allocations_in(function), 0) << name << " with every Numeric " << v;
    }
  }
  EXPECT_EQ(allocations_in(OnInit), 0);
}

}  // namespace
