/* Small text helpers shared by the runtime, http and xml modules: internal
   to the library, C++ only, never installed with the public headers. */
#ifndef QZ_RUNTIME_QZTEXT_INTERNAL_H
#define QZ_RUNTIME_QZTEXT_INTERNAL_H

#include <charconv>
#include <cstddef>
#include <cstring>
#include <string_view>

namespace qz {

/* The text, or the empty text for a null pointer. */
inline const char *OrEmpty(const char *text) { return text != nullptr ? text : ""; }

/* Copies at most n characters of text into buffer (which holds n + 1 bytes)
   and ends them with a zero; the bytes after that zero are left alone.
   Nothing is written when buffer is null. The text may lie inside the buffer
   itself. Returns buffer. */
inline char *CopyToBuffer(char *buffer, size_t n, std::string_view text)
{
    if (buffer == nullptr)
        return buffer;
    const size_t length = text.size() < n ? text.size() : n;
    if (length != 0)
        std::memmove(buffer, text.data(), length);
    buffer[length] = '\0';
    return buffer;
}

/* Room for the decimal digits and sign of any whole number up to 64 bits. */
using DecimalDigits = char[24];

/* A whole number as "%d" / "%ld" write it, into the caller's room, without
   the format machinery. */
template <typename Integer>
std::string_view DecimalText(DecimalDigits &room, Integer value)
{
    const auto end = std::to_chars(room, room + sizeof room, value).ptr;
    return std::string_view(room, static_cast<size_t>(end - room));
}

} // namespace qz

#endif
