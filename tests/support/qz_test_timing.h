// Time budgets of tests that check speed: the figure holds for the normal build; the
// sanitizer builds run the same code several times slower, so their budget is wider.
#ifndef QZ_TEST_TIMING_H
#define QZ_TEST_TIMING_H

#if defined(__SANITIZE_ADDRESS__)
#define QZ_TEST_SLOW_BUILD 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(undefined_behavior_sanitizer)
#define QZ_TEST_SLOW_BUILD 1
#endif
#endif

namespace qz_test {
#ifdef QZ_TEST_SLOW_BUILD
constexpr long kTimeBudgetScale = 6;
#else
constexpr long kTimeBudgetScale = 1;
#endif
} // namespace qz_test

#endif
