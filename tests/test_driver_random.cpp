// The request's seeding of rand(): whatever the persistent mode skips, every
// request draws the numbers srand(seed) gives a fresh process.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "driver/qzmdl_random.h"

namespace {

std::vector<int> draw(int n) {
    std::vector<int> out;
    for (int i = 0; i < n; ++i) out.push_back(std::rand());
    return out;
}

// The numbers a generator of `bytes` state seeded with `seed` gives, from a
// state buffer of the test's own (the current state is put back afterwards).
std::vector<int> reference(unsigned seed, size_t bytes, int n) {
    static char buffer[256];
    char *previous = initstate(seed, buffer, bytes);
    std::vector<int> out = draw(n);
    setstate(previous);
    return out;
}

// One test: the generator is process-wide, so the steps run in this order.
TEST(DriverRandom, EveryRequestDrawsWhatAFreshSeedingGives) {
    const unsigned seed = 1765238400u;
    // The process's default generator, which the persistent mode replaces by
    // a buffer of its own, gives the same numbers.
    std::srand(seed);
    const std::vector<int> plain = draw(8);
    const std::vector<int> fresh = reference(seed, 128, 8);
    const std::vector<int> next = reference(seed + 1, 128, 8);
    ASSERT_NE(fresh, next);
    EXPECT_EQ(plain, fresh);

    // First request, then requests in the same second with and without draws.
    QzmdlSeedRandom(seed, true);
    EXPECT_EQ(draw(8), fresh);
    QzmdlSeedRandom(seed, true);
    EXPECT_EQ(draw(8), fresh);
    QzmdlSeedRandom(seed, true);
    QzmdlSeedRandom(seed, true);  // nothing drawn between: the seeding is skipped
    EXPECT_EQ(draw(8), fresh);
    QzmdlSeedRandom(seed, true);
    EXPECT_EQ(draw(1)[0], fresh[0]);  // a single draw is seen as well
    QzmdlSeedRandom(seed, true);
    EXPECT_EQ(draw(8), fresh);
    // The next second.
    QzmdlSeedRandom(seed + 1, true);
    EXPECT_EQ(draw(8), next);
    QzmdlSeedRandom(seed, true);
    EXPECT_EQ(draw(8), fresh);

    // A program that keeps a generator of its own (here a larger one) has
    // that one seeded, as srand() would.
    static char own[256];
    char *ours = initstate(7, own, sizeof own);
    const std::vector<int> ownFresh = reference(seed, sizeof own, 8);
    QzmdlSeedRandom(seed, true);
    EXPECT_EQ(draw(8), ownFresh);
    QzmdlSeedRandom(seed, true);
    EXPECT_EQ(draw(8), ownFresh);
    setstate(ours);
    QzmdlSeedRandom(seed, true);
    EXPECT_EQ(draw(8), fresh);

    // One request per process: the plain seeding of the current generator.
    QzmdlSeedRandom(seed + 1, false);
    EXPECT_EQ(draw(8), next);
}

}  // namespace
