// Dates to and from text: the runtime against the C library's gmtime_r +
// strftime and strptime + timegm, on the same day numbers and texts.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <ctime>

#include "qz/qzdate.h"

namespace {

constexpr int32_t kJulianDayOfEpoch = 2440588; // 1970-01-01
constexpr int32_t kFirst = 2451545;            // 2000-01-01
constexpr int32_t kSpan = 20000;               // about 55 years of days

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

} // namespace

BENCHMARK_MAIN();
