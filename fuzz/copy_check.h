// Checks a copy-out getter, one that writes at most max characters and a
// terminator into a buffer of max + 1 bytes: it is called with several max
// sizes on a buffer filled with a canary and followed by a guard region of
// canary bytes. The guard must stay whole, the terminator must stand at or
// before max, every shorter copy must be a prefix of the longest, and a
// negative max must leave the buffer untouched.
#ifndef QZ_FUZZ_COPY_CHECK_H
#define QZ_FUZZ_COPY_CHECK_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace fuzzcheck {

constexpr unsigned char kCanary = 0xA5;
constexpr size_t kGuard = 32;

[[noreturn]] inline void CopyFailed(const char *getter, int32_t max, const char *what) {
    std::fprintf(stderr, "copy-out invariant failed: %s with max %d: %s\n", getter, static_cast<int>(max), what);
    std::abort();
}

// One call of get(buffer, max), for getters that move on (a raw read): the
// guard stays whole and the terminator stands at or before max.
template <typename Get>
void CheckOneCopy(const char *getter, int32_t max, Get get) {
    static std::vector<unsigned char> block;
    const size_t room = static_cast<size_t>(max) + 1;
    block.assign(room + kGuard, kCanary);
    char *buffer = reinterpret_cast<char *>(block.data());
    get(buffer, max);
    for (size_t i = room; i < room + kGuard; ++i)
        if (block[i] != kCanary) CopyFailed(getter, max, "wrote past the buffer");
    if (std::memchr(buffer, '\0', room) == nullptr) CopyFailed(getter, max, "no terminator within max + 1 bytes");
}

// Calls get(buffer, max) for every max of maxes (ascending, the last the
// largest), each on a fresh canary-filled buffer of max + 1 + kGuard bytes.
template <typename Get>
void CheckCopies(const char *getter, const int32_t *maxes, size_t count, Get get) {
    static std::vector<unsigned char> block;
    static std::vector<char> longest;
    const int32_t top = maxes[count - 1];
    block.resize(static_cast<size_t>(top) + 1 + kGuard);
    // The largest first, so that the others can be compared with it.
    for (size_t k = count; k-- > 0;) {
        const int32_t max = maxes[k];
        const size_t room = static_cast<size_t>(max) + 1;
        std::memset(block.data(), kCanary, room + kGuard);
        char *buffer = reinterpret_cast<char *>(block.data());
        get(buffer, max);
        for (size_t i = room; i < room + kGuard; ++i)
            if (block[i] != kCanary) CopyFailed(getter, max, "wrote past the buffer");
        const void *zero = std::memchr(buffer, '\0', room);
        if (zero == nullptr) CopyFailed(getter, max, "no terminator within max + 1 bytes");
        const size_t length = static_cast<size_t>(static_cast<const char *>(zero) - buffer);
        if (k == count - 1) {
            longest.assign(buffer, buffer + length);
        } else if (length > longest.size() || (length > 0 && std::memcmp(buffer, longest.data(), length) != 0)) {
            CopyFailed(getter, max, "a shorter copy is not a prefix of the longest");
        }
    }
    // A negative max writes nothing at all.
    std::memset(block.data(), kCanary, 1 + kGuard);
    get(reinterpret_cast<char *>(block.data()), -1);
    for (size_t i = 0; i < 1 + kGuard; ++i)
        if (block[i] != kCanary) CopyFailed(getter, -1, "a negative max wrote into the buffer");
}

} // namespace fuzzcheck

#endif
