// The writer's table-driven ANSI-to-UTF-8 converter against the exported ansiToUTF8: the same
// bytes and the same count consumed at any room, and never a byte written past the room.
// The first two input bytes choose the room; the rest is the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "qz/qzconv.h"
#include "xml/qzconv_utf8table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    const int32_t room = (data[0] | (data[1] << 8)) % 4096;
    const char *text = reinterpret_cast<const char *>(data + 2);
    const auto length = static_cast<int32_t>(size - 2);

    std::vector<char> expected(static_cast<size_t>(room) + 1);
    int32_t expectedConsumed = room;
    const int32_t expectedBytes = ansiToUTF8(expected.data(), text, length, &expectedConsumed);

    constexpr char kSentinel = 0x5A;
    std::vector<char> out(static_cast<size_t>(room) + 8, kSentinel);
    int32_t consumed = -1;
    const int32_t bytes = qz::conv::ansiToUtf8Fit(out.data(), room, text, length, &consumed);
    if (bytes != expectedBytes || consumed != expectedConsumed) std::abort();
    if (std::memcmp(out.data(), expected.data(), static_cast<size_t>(bytes)) != 0) std::abort();
    for (size_t i = static_cast<size_t>(room); i < out.size(); ++i)
        if (out[i] != kSentinel) std::abort();
    return 0;
}
