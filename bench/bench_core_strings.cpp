// 64 MiB appended in 1 KiB pieces to a dynamic string and to a record buffer,
// against std::string doing the same in the same run.
#include "qz/qzcontainer.h"
#include "qz/qzcstr.h"
#include "qz/qzpgmmem.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr size_t kTotal = 64u << 20;
constexpr size_t kPiece = 1024;
constexpr int kRepeats = 5;

using Clock = std::chrono::steady_clock;

template <class Body>
double bestMs(Body body) {
    double best = 1e300;
    for (int r = 0; r < kRepeats; ++r) {
        const auto start = Clock::now();
        body();
        const std::chrono::duration<double, std::milli> took = Clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

char g_piece[kPiece];
volatile size_t g_sink = 0; // keeps the results alive

} // namespace

int main() {
    std::memset(g_piece, 'x', sizeof g_piece);

    const double peer = bestMs([] {
        std::string s;
        for (size_t done = 0; done < kTotal; done += kPiece) s.append(g_piece, kPiece);
        g_sink = g_sink + s.size();
    });
    const double cstr = bestMs([] {
        QZ_CStr s;
        QZ_CStr_Init(&s);
        for (size_t done = 0; done < kTotal; done += kPiece) QZ_CStr_Append(&s, g_piece, kPiece);
        g_sink = g_sink + s.length;
        QZ_CStr_Free(&s);
    });
    const double buffer = bestMs([] {
        QZ_Buffer b;
        QZ_Buffer_Init(&b, 5120, 1024);
        for (size_t done = 0; done < kTotal; done += kPiece) {
            std::memcpy(QZ_Buffer_Extend(&b, kPiece), g_piece, kPiece);
        }
        g_sink = g_sink + b.used;
        QZ_Buffer_Free(&b);
    });
    std::printf("64 MiB in 1 KiB pieces (best of %d)\n", kRepeats);
    std::printf("  std::string  %8.1f ms\n", peer);
    std::printf("  QZ_CStr      %8.1f ms   ratio to std::string %.2f\n", cstr, cstr / peer);
    std::printf("  QZ_Buffer    %8.1f ms   ratio to std::string %.2f\n", buffer, buffer / peer);
    QZ_MemPool_delete(QZ_GetDefaultPool());
    return 0;
}
