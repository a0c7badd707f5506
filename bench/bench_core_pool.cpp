// Release cost of the memory pool with few and with many live blocks. The peer
// is the system allocator doing the same work in the same run; the figure that
// matters is the pool's own ratio between 100,000 and 10 live blocks (an index
// by address keeps it near 1, a list walk would make it grow with the count).
#include "qz/qzpgmmem.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kRounds = 200000;
constexpr int kRepeats = 5;

using Clock = std::chrono::steady_clock;

// Nanoseconds per allocate-and-release pair against `live` resident blocks,
// the released block being the oldest one each time (the far end of the list).
template <class Alloc, class Release>
double perPair(size_t live, Alloc alloc, Release release) {
    std::vector<void *> ring(live);
    for (auto &p : ring) p = alloc(48);
    double best = 1e300;
    for (int r = 0; r < kRepeats; ++r) {
        size_t oldest = 0;
        const auto start = Clock::now();
        for (int i = 0; i < kRounds; ++i) {
            release(ring[oldest]);
            ring[oldest] = alloc(48);
            oldest = (oldest + 1) % live;
        }
        const std::chrono::duration<double, std::nano> took = Clock::now() - start;
        best = std::min(best, took.count() / kRounds);
    }
    for (void *p : ring) release(p);
    return best;
}

double poolPair(size_t live) {
    QZ_MemPool *pool = QZ_MemPool_new();
    const double ns = perPair(
        live, [pool](size_t n) { return QZ_malloc(pool, n, "bench", __LINE__); },
        [pool](void *p) { QZ_free(pool, p); });
    QZ_MemPool_delete(pool);
    return ns;
}

// Nanoseconds per resize, cycling through `live` blocks.
template <class Alloc, class Resize, class Release>
double perResize(size_t live, Alloc alloc, Resize resize, Release release) {
    std::vector<void *> blocks(live);
    for (auto &p : blocks) p = alloc(32);
    double best = 1e300;
    for (int r = 0; r < kRepeats; ++r) {
        const auto start = Clock::now();
        for (int i = 0; i < kRounds; ++i) {
            void *&p = blocks[static_cast<size_t>(i) % live];
            p = resize(p, (i & 1) != 0 ? 32 : 40);
        }
        const std::chrono::duration<double, std::nano> took = Clock::now() - start;
        best = std::min(best, took.count() / kRounds);
    }
    for (void *p : blocks) release(p);
    return best;
}

double poolResize(size_t live) {
    QZ_MemPool *pool = QZ_MemPool_new();
    const double ns = perResize(
        live, [pool](size_t n) { return QZ_malloc(pool, n, "bench", __LINE__); },
        [pool](void *p, size_t n) { return QZ_realloc(pool, p, n); }, [pool](void *p) { QZ_free(pool, p); });
    QZ_MemPool_delete(pool);
    return ns;
}

double systemResize(size_t live) {
    return perResize(
        live, [](size_t n) { return std::malloc(n); }, [](void *p, size_t n) { return std::realloc(p, n); },
        [](void *p) { std::free(p); });
}

double systemPair(size_t live) {
    return perPair(live, [](size_t n) { return std::malloc(n); }, [](void *p) { std::free(p); });
}

} // namespace

int main() {
    const size_t few = 10;
    const size_t many = 100000;
    const double poolFew = poolPair(few);
    const double poolMany = poolPair(many);
    const double sysFew = systemPair(few);
    const double sysMany = systemPair(many);
    const double resizeFew = poolResize(few);
    const double resizeMany = poolResize(many);
    const double sysResizeFew = systemResize(few);
    const double sysResizeMany = systemResize(many);
    std::printf("alloc+release pair, oldest block released (best of %d x %d rounds)\n", kRepeats, kRounds);
    std::printf("  pool     %6zu live: %8.1f ns   %6zu live: %8.1f ns   ratio %.2f\n", few, poolFew, many,
                poolMany, poolMany / poolFew);
    std::printf("  malloc   %6zu live: %8.1f ns   %6zu live: %8.1f ns   ratio %.2f\n", few, sysFew, many, sysMany,
                sysMany / sysFew);
    std::printf("  pool / malloc: %.2f at %zu live, %.2f at %zu live\n", poolFew / sysFew, few,
                poolMany / sysMany, many);
    std::printf("resize\n  pool     %6zu live: %8.1f ns   %6zu live: %8.1f ns   ratio %.2f\n", few, resizeFew,
                many, resizeMany, resizeMany / resizeFew);
    std::printf("  realloc  %6zu live: %8.1f ns   %6zu live: %8.1f ns   ratio %.2f\n", few, sysResizeFew, many,
                sysResizeMany, sysResizeMany / sysResizeFew);
    return 0;
}
