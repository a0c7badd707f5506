// The UTF-8 decoders on arbitrary bytes: the input sits in a block of exactly
// its size (so AddressSanitizer sees any read past the terminator), and the
// output never goes beyond maximum + 1 characters.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "qz/qzconv.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    const int32_t max = data[0];
    const char replace = static_cast<char>(data[1]);
    std::vector<char> text(data + 2, data + size);
    text.push_back('\0');
    const size_t length = std::strlen(text.data());

    static const char lineBreak[] = "\r\n";
    static const uint16_t lineBreak16[] = {'\r', '\n', 0};
    std::vector<char> ansi(static_cast<size_t>(max) + 1, '#');
    Utf8ToAnsiReplace(ansi.data(), text.data(), replace, lineBreak, max);
    if (std::memchr(ansi.data(), 0, ansi.size()) == nullptr) std::abort();
    // Each input byte yields at most one character (two with the replacement).
    if (std::strlen(ansi.data()) > 2 * length) std::abort();
    Utf8ToAnsi(ansi.data(), text.data(), max);

    std::vector<uint16_t> units(static_cast<size_t>(max) + 1, 0xAAAA);
    Utf8ToUnicodeReplace(units.data(), text.data(), max, replace, lineBreak16);
    size_t n = 0;
    while (n < units.size() && units[n] != 0) ++n;
    if (n == units.size()) std::abort();
    Utf8ToUnicode(units.data(), text.data(), max);

    // Whatever decodes from plain ANSI bytes re-encodes within three bytes each.
    std::vector<char> utf8(3 * length + 1);
    int32_t cap = static_cast<int32_t>(utf8.size());
    const int32_t written = ansiToUTF8(utf8.data(), text.data(), static_cast<int32_t>(length), &cap);
    if (cap != static_cast<int32_t>(length) || written > static_cast<int32_t>(3 * length)) std::abort();
    // ... and decodes back to the same bytes.
    utf8[static_cast<size_t>(written)] = '\0';
    std::vector<char> back(length + 1);
    Utf8ToAnsi(back.data(), utf8.data(), static_cast<int32_t>(length));
    if (std::memcmp(back.data(), text.data(), length + 1) != 0) std::abort();
    return 0;
}
