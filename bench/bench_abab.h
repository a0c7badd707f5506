// Side-by-side measurement shared by the benchmarks: the project's form and its
// peer run alternately (ABAB ...), each pair gives one ratio, and the report is
// the median ratio with its spread (lowest and highest), never the best run.
//
// Every benchmark prints one machine-readable line per comparison,
//   RESULT|<what>|<peer>|<ours median s>|<peer median s>|<ratio median>|<ratio min>|<ratio max>|<runs>|<goal>
// which bench/run.sh gathers into one table. Figures are always costs (seconds, or seconds per
// request for a throughput), so that a ratio below 1 means the project is ahead of its peer.
#ifndef QZ_BENCH_ABAB_H
#define QZ_BENCH_ABAB_H

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace qzbench {

inline double Median(std::vector<double> v) {
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

// Seconds of wall-clock time (steady) and of this process's CPU time.
inline double WallSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}
inline double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Prints the detail line and the RESULT line for paired samples (ours[i] beside peer[i]).
// goal <= 0 means "no goal, for information".
inline void Report(const std::string &what, const std::string &peer, const std::vector<double> &ours,
                   const std::vector<double> &theirs, double goal) {
    std::vector<double> ratios;
    for (size_t i = 0; i < ours.size() && i < theirs.size(); ++i)
        if (theirs[i] > 0) ratios.push_back(ours[i] / theirs[i]);
    const double rmed = Median(ratios);
    const double rmin = ratios.empty() ? 0 : *std::min_element(ratios.begin(), ratios.end());
    const double rmax = ratios.empty() ? 0 : *std::max_element(ratios.begin(), ratios.end());
    std::printf("%s vs %s: %zu alternating runs, medians %.4f s vs %.4f s, ratio %.2fx (%.2f-%.2f)%s\n",
                what.c_str(), peer.c_str(), ratios.size(), Median(ours), Median(theirs), rmed, rmin, rmax,
                goal > 0 ? (rmed <= goal ? "  goal met" : "  GOAL MISSED") : "");
    std::printf("RESULT|%s|%s|%.6f|%.6f|%.3f|%.3f|%.3f|%zu|%.2f\n", what.c_str(), peer.c_str(), Median(ours),
                Median(theirs), rmed, rmin, rmax, ratios.size(), goal);
    std::fflush(stdout);
}

// Runs ours() and peer() alternately `runs` times; each returns the seconds it measured
// for itself (so that set-up can stay outside the timed part).
inline void Alternate(const std::string &what, const std::string &peer, int runs, double goal,
                      const std::function<double()> &ours, const std::function<double()> &theirs) {
    std::vector<double> a, b;
    for (int i = 0; i < runs; ++i) {
        a.push_back(ours());
        b.push_back(theirs());
    }
    Report(what, peer, a, b, goal);
}

}  // namespace qzbench

#endif
