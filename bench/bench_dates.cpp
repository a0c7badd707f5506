// Dates to and from text: the runtime against the C library's gmtime_r +
// strftime and strptime + timegm, on the same day numbers and texts.
//
// Run without options, the program measures side by side: each run times a
// loop of kCalls calls on one side, then the same loop on the other (ABAB),
// and the report is the median ratio with its spread (no goal, for
// information). Both sides go over the same precomputed day numbers, date
// texts and time texts, and their results are compared before any timing, so
// that a side which gets the answer wrong cannot look fast.
//
//   bash bench/run.sh dates
//   build/release/bench/bench_dates [runs]            (default 7 runs, at least 5)
//   build/release/bench/bench_dates --benchmark_...   (the Google Benchmark cases)
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "bench/bench_abab.h"
#include "qz/qzdate.h"

namespace {

constexpr int32_t kJulianDayOfEpoch = 2440588; // 1970-01-01
constexpr int32_t kFirst = 2451545;            // 2000-01-01
constexpr int32_t kSpan = 20000;               // about 55 years of days
constexpr int kCalls = 1000000;                // calls per timed loop

// ---- the Google Benchmark cases (one call per iteration) ----

void BM_QzFormatDate(benchmark::State &state)
{
    char buffer[16];
    int32_t n = 0;
    for (auto _ : state) {
        QZ_FormatDate(buffer, sizeof buffer - 1, kFirst + n, 0, "-");
        benchmark::DoNotOptimize(buffer);
        n = (n + 1) % kSpan;
    }
}
BENCHMARK(BM_QzFormatDate);

void BM_LibcGmtimeStrftime(benchmark::State &state)
{
    char buffer[16];
    int32_t n = 0;
    for (auto _ : state) {
        const std::time_t when = static_cast<std::time_t>(kFirst + n - kJulianDayOfEpoch) * 86400;
        std::tm tm{};
        gmtime_r(&when, &tm);
        std::strftime(buffer, sizeof buffer, "%Y-%m-%d", &tm);
        benchmark::DoNotOptimize(buffer);
        n = (n + 1) % kSpan;
    }
}
BENCHMARK(BM_LibcGmtimeStrftime);

void BM_QzParseDate(benchmark::State &state)
{
    for (auto _ : state) {
        int32_t date = QZ_ParseDate("2026-12-07", 0);
        benchmark::DoNotOptimize(date);
    }
}
BENCHMARK(BM_QzParseDate);

void BM_LibcStrptimeTimegm(benchmark::State &state)
{
    for (auto _ : state) {
        std::tm tm{};
        strptime("2026-12-07", "%Y-%m-%d", &tm);
        int64_t date = timegm(&tm) / 86400 + kJulianDayOfEpoch;
        benchmark::DoNotOptimize(date);
    }
}
BENCHMARK(BM_LibcStrptimeTimegm);

void BM_QzParseTime(benchmark::State &state)
{
    for (auto _ : state) {
        int32_t time = QZ_ParseTime("10:20:30");
        benchmark::DoNotOptimize(time);
    }
}
BENCHMARK(BM_QzParseTime);

void BM_LibcStrptimeTime(benchmark::State &state)
{
    for (auto _ : state) {
        std::tm tm{};
        strptime("10:20:30", "%H:%M:%S", &tm);
        int32_t time = tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec;
        benchmark::DoNotOptimize(time);
    }
}
BENCHMARK(BM_LibcStrptimeTime);

// ---- the side-by-side measurement ----

// One call of each side; the loops below and the agreement check share them.
inline void qzFormat(char *buffer, int32_t day) { QZ_FormatDate(buffer, 15, day, 0, "-"); }
inline void libcFormat(char *buffer, int32_t day)
{
    const std::time_t when = static_cast<std::time_t>(day - kJulianDayOfEpoch) * 86400;
    std::tm tm{};
    gmtime_r(&when, &tm);
    std::strftime(buffer, 16, "%Y-%m-%d", &tm);
}
inline int64_t qzParseDate(const char *text) { return QZ_ParseDate(text, 0); }
inline int64_t libcParseDate(const char *text)
{
    std::tm tm{};
    if (strptime(text, "%Y-%m-%d", &tm) == nullptr) return -1;
    return timegm(&tm) / 86400 + kJulianDayOfEpoch;
}
inline int64_t qzParseTime(const char *text) { return QZ_ParseTime(text); }
inline int64_t libcParseTime(const char *text)
{
    std::tm tm{};
    if (strptime(text, "%H:%M:%S", &tm) == nullptr) return -1;
    return tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec;
}

struct Texts {
    std::vector<std::string> dates; // "YYYY-MM-DD" of every day of the span
    std::vector<std::string> times; // "HH:MM:SS" spread over the day
};

Texts makeTexts()
{
    Texts t;
    char buffer[16];
    for (int32_t n = 0; n < kSpan; ++n) {
        libcFormat(buffer, kFirst + n);
        t.dates.emplace_back(buffer);
    }
    for (int32_t n = 0; n < kSpan; ++n) {
        const int32_t second = (n * 7919) % 86400;
        std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", second / 3600, second / 60 % 60, second % 60);
        t.times.emplace_back(buffer);
    }
    return t;
}

volatile int64_t g_sink = 0; // keeps the results alive

template <void (*Format)(char *, int32_t)>
double formatLoop()
{
    char buffer[16];
    int64_t sum = 0;
    const double start = qzbench::WallSeconds();
    for (int i = 0; i < kCalls; ++i) {
        Format(buffer, kFirst + i % kSpan);
        sum += buffer[9];
    }
    const double took = qzbench::WallSeconds() - start;
    g_sink = g_sink + sum;
    return took;
}

template <int64_t (*Parse)(const char *)>
double parseLoop(const std::vector<std::string> &texts)
{
    int64_t sum = 0;
    const double start = qzbench::WallSeconds();
    for (int i = 0; i < kCalls; ++i) sum += Parse(texts[static_cast<size_t>(i % kSpan)].c_str());
    const double took = qzbench::WallSeconds() - start;
    g_sink = g_sink + sum;
    return took;
}

// Both sides give the same answer for every input of the loops.
bool sidesAgree(const Texts &t)
{
    char ours[16], theirs[16];
    for (int32_t n = 0; n < kSpan; ++n) {
        std::memset(ours, 0, sizeof ours);
        qzFormat(ours, kFirst + n);
        libcFormat(theirs, kFirst + n);
        if (std::strcmp(ours, theirs) != 0) {
            std::fprintf(stderr, "day %d: QZ_FormatDate gives '%s', strftime '%s'\n", kFirst + n, ours, theirs);
            return false;
        }
        const char *date = t.dates[static_cast<size_t>(n)].c_str();
        if (qzParseDate(date) != libcParseDate(date)) {
            std::fprintf(stderr, "'%s': QZ_ParseDate gives %lld, strptime %lld\n", date,
                         static_cast<long long>(qzParseDate(date)), static_cast<long long>(libcParseDate(date)));
            return false;
        }
        const char *time = t.times[static_cast<size_t>(n)].c_str();
        if (qzParseTime(time) != libcParseTime(time)) {
            std::fprintf(stderr, "'%s': QZ_ParseTime gives %lld, strptime %lld\n", time,
                         static_cast<long long>(qzParseTime(time)), static_cast<long long>(libcParseTime(time)));
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && std::strncmp(argv[1], "--benchmark", 11) == 0) {
        benchmark::Initialize(&argc, argv);
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
        return 0;
    }
    const int runs = argc > 1 ? std::max(5, std::atoi(argv[1])) : 7;
    const Texts texts = makeTexts();
    if (!sidesAgree(texts)) return 1;
    const std::string calls = std::to_string(kCalls / 1000) + "k calls";

    qzbench::Alternate("QZ_FormatDate YYYY-MM-DD, " + calls, "gmtime_r + strftime", runs, 0,
                       formatLoop<qzFormat>, formatLoop<libcFormat>);
    qzbench::Alternate("QZ_ParseDate YYYY-MM-DD, " + calls, "strptime + timegm", runs, 0,
                       [&] { return parseLoop<qzParseDate>(texts.dates); },
                       [&] { return parseLoop<libcParseDate>(texts.dates); });
    qzbench::Alternate("QZ_ParseTime HH:MM:SS, " + calls, "strptime %H:%M:%S", runs, 0,
                       [&] { return parseLoop<qzParseTime>(texts.times); },
                       [&] { return parseLoop<libcParseTime>(texts.times); });
    return 0;
}
