// 64 MiB appended in 1 KiB pieces to a dynamic string (QZ_CStr) and to a record
// buffer (QZ_Buffer), each against std::string doing the same in the same run.
// Project and peer alternate (ABAB); every run builds the whole 64 MiB and
// releases it inside the timed part, on both sides, and the report is the
// median ratio with its spread (goal: at most 2x std::string).
//
//   bash bench/run.sh strings
//   build/release/bench/bench_core_strings [runs]     (default 7 runs, at least 5)
#include "bench/bench_abab.h"
#include "qz/qzcontainer.h"
#include "qz/qzcstr.h"
#include "qz/qzpgmmem.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr size_t kTotal = 64u << 20;
constexpr size_t kPiece = 1024;
constexpr double kGoal = 2.0;

char g_piece[kPiece];
volatile size_t g_sink = 0; // keeps the results alive

template <class Body>
double timed(Body body) {
    const double start = qzbench::WallSeconds();
    body();
    return qzbench::WallSeconds() - start;
}

double stdStringRun() {
    return timed([] {
        std::string s;
        for (size_t done = 0; done < kTotal; done += kPiece) s.append(g_piece, kPiece);
        g_sink = g_sink + s.size();
    });
}

double cstrRun() {
    return timed([] {
        QZ_CStr s;
        QZ_CStr_Init(&s);
        for (size_t done = 0; done < kTotal; done += kPiece) QZ_CStr_Append(&s, g_piece, kPiece);
        g_sink = g_sink + s.length;
        QZ_CStr_Free(&s);
    });
}

double bufferRun() {
    return timed([] {
        QZ_Buffer b;
        QZ_Buffer_Init(&b, 5120, 1024);
        for (size_t done = 0; done < kTotal; done += kPiece) {
            std::memcpy(QZ_Buffer_Extend(&b, kPiece), g_piece, kPiece);
        }
        g_sink = g_sink + b.used;
        QZ_Buffer_Free(&b);
    });
}

} // namespace

int main(int argc, char **argv) {
    const int runs = argc > 1 ? std::max(5, std::atoi(argv[1])) : 7;
    std::memset(g_piece, 'x', sizeof g_piece);
    // One of each first, so that neither side pays for the first touch of the heap.
    stdStringRun();
    cstrRun();
    bufferRun();

    qzbench::Alternate("QZ_CStr_Append 64 MiB in 1 KiB pieces", "std::string::append", runs, kGoal, cstrRun,
                       stdStringRun);
    qzbench::Alternate("QZ_Buffer_Extend 64 MiB in 1 KiB pieces", "std::string::append", runs, kGoal, bufferRun,
                       stdStringRun);
    QZ_MemPool_delete(QZ_GetDefaultPool());
    return 0;
}
