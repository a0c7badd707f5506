// The memory pool beside the system allocator: one QZ_malloc + QZ_free pair
// against one malloc + free pair, with 10 to 1,000,000 live blocks released in
// random order. Project and peer alternate (ABAB), each run on the same
// precomputed sequence of slots and sizes, and the report is the median ratio
// with its spread.
//
//   bash bench/run.sh pool
//   build/release/bench/bench_core_pool [runs]       (default 7 runs)
#include "bench/bench_abab.h"
#include "qz/qzpgmmem.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr size_t kPairs = 1000000;         // timed pairs per run
constexpr size_t kSizes[] = {24, 48, 64, 100, 160, 40, 256, 32}; // request sizes, cycled
constexpr size_t kLiveCounts[] = {10, 1000, 100000, 1000000};

// The work both sides do: which slot is released and the size that replaces it.
struct Work {
    std::vector<uint32_t> slot;
    std::vector<uint16_t> size;
};

Work makeWork(size_t live) {
    Work w;
    std::mt19937_64 rng(0x5eed + live);
    w.slot.resize(kPairs);
    w.size.resize(kPairs);
    for (size_t i = 0; i < kPairs; ++i) {
        w.slot[i] = static_cast<uint32_t>(rng() % live);
        w.size[i] = static_cast<uint16_t>(kSizes[rng() % (sizeof kSizes / sizeof kSizes[0])]);
    }
    return w;
}

// Fills `live` slots, then times the release-and-replace pairs; the fill and the
// final release stay outside the timed part.
template <class Alloc, class Release>
double timedPairs(size_t live, const Work &w, Alloc alloc, Release release) {
    std::vector<void *> ring(live);
    for (size_t i = 0; i < live; ++i) ring[i] = alloc(kSizes[i % (sizeof kSizes / sizeof kSizes[0])]);
    const double start = qzbench::WallSeconds();
    for (size_t i = 0; i < kPairs; ++i) {
        void *&p = ring[w.slot[i]];
        release(p);
        p = alloc(w.size[i]);
    }
    const double took = qzbench::WallSeconds() - start;
    for (void *p : ring) release(p);
    return took;
}

double poolRun(size_t live, const Work &w) {
    QZ_MemPool *pool = QZ_MemPool_new();
    const double took = timedPairs(
        live, w, [pool](size_t n) { return QZ_malloc(pool, n, "bench", __LINE__); },
        [pool](void *p) { QZ_free(pool, p); });
    QZ_MemPool_delete(pool);
    return took;
}

double mallocRun(size_t live, const Work &w) {
    return timedPairs(live, w, [](size_t n) { return std::malloc(n); }, [](void *p) { std::free(p); });
}

std::string liveName(size_t live) {
    std::string digits = std::to_string(live);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(static_cast<size_t>(at), ",");
    return digits;
}

} // namespace

int main(int argc, char **argv) {
    const int runs = argc > 1 ? std::max(5, std::atoi(argv[1])) : 7;
    constexpr size_t kCounts = sizeof kLiveCounts / sizeof kLiveCounts[0];
    std::vector<Work> work;
    for (size_t live : kLiveCounts) work.push_back(makeWork(live));

    // Every run measures each live count once on each side, alternating.
    std::vector<std::vector<double>> ours(kCounts), peer(kCounts);
    for (int r = 0; r < runs; ++r) {
        for (size_t k = 0; k < kCounts; ++k) {
            ours[k].push_back(poolRun(kLiveCounts[k], work[k]));
            peer[k].push_back(mallocRun(kLiveCounts[k], work[k]));
        }
    }
    for (size_t k = 0; k < kCounts; ++k) {
        std::printf("  %9s live: pool %.1f ns/pair, malloc %.1f ns/pair (medians)\n",
                    liveName(kLiveCounts[k]).c_str(), qzbench::Median(ours[k]) * 1e9 / kPairs,
                    qzbench::Median(peer[k]) * 1e9 / kPairs);
        qzbench::Report("pool pair, " + liveName(kLiveCounts[k]) + " live, random release", "malloc+free",
                        ours[k], peer[k], 3.0);
    }
    // How the cost grows with the number of live blocks. The system allocator
    // itself grows several times over from 10 to 1,000,000 live blocks (cache
    // and TLB misses), so the pool's own growth is judged against it: the
    // pool's ratio to malloc at 1,000,000 live blocks against that ratio at 10.
    std::vector<double> relativeMany, relativeFew;
    for (int r = 0; r < runs; ++r) {
        const auto i = static_cast<size_t>(r);
        relativeMany.push_back(ours[kCounts - 1][i] / peer[kCounts - 1][i]);
        relativeFew.push_back(ours[0][i] / peer[0][i]);
    }
    qzbench::Report("pool/malloc at 1,000,000 live vs at 10 live", "pool/malloc at 10 live", relativeMany,
                    relativeFew, 2.0);
    // For information, the absolute growth of both.
    qzbench::Report("pool pair, 1,000,000 live vs 10 live", "pool pair, 10 live", ours[kCounts - 1], ours[0],
                    0.0);
    qzbench::Report("malloc pair, 1,000,000 live vs 10 live", "malloc pair, 10 live", peer[kCounts - 1],
                    peer[0], 0.0);
    return 0;
}
