// Time budgets of tests that check speed: the figure holds for the normal build; the
// sanitizer builds run the same code several times slower, so their budget is wider.
// Budgets are held against the process's CPU time, not the wall clock, so that a
// machine busy with other work (a parallel test run, a build) does not fail them.
#ifndef QZ_TEST_TIMING_H
#define QZ_TEST_TIMING_H

#if defined(__SANITIZE_ADDRESS__)
#define QZ_TEST_SLOW_BUILD 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(undefined_behavior_sanitizer)
#define QZ_TEST_SLOW_BUILD 1
#endif
#endif

#include <time.h>

namespace qz_test {
inline double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

#ifdef QZ_TEST_SLOW_BUILD
constexpr long kTimeBudgetScale = 6;
#else
constexpr long kTimeBudgetScale = 1;
#endif
} // namespace qz_test

#endif
