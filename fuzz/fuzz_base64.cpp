// Fuzzes the Base64 encoder and decoder: any bytes encode to the padded
// alphabet at four characters per three bytes and decode back to themselves;
// any text decodes, within its string's block, to at most three bytes per four
// alphabet characters, and what it decodes to survives a second round trip.
//
// The input is used twice: as the bytes to encode, and (zero-terminated, in a
// heap block of exactly its size) as the text to decode.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "qz/qzcstr.h"
#include "qz/qzhttpauth.h"

namespace {

[[noreturn]] void Fail(const char *what, size_t size) {
    std::fprintf(stderr, "fuzz_base64 invariant failed: %s (input of %zu bytes)\n", what, size);
    std::abort();
}

bool InAlphabet(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
}

// The string's text lies inside its block and is terminated right after it.
void CheckString(const QZ_CStr &s, size_t size) {
    if (s.data == nullptr) Fail("a string without text", size);
    if (s.capacity == 0 ? s.length != 0 : s.length > s.capacity) Fail("a string longer than its block", size);
    if (s.data[s.length] != '\0') Fail("a string without its terminator", size);
}

std::string_view View(const QZ_CStr &s) { return {s.data, s.length}; }

void CheckEncoding(std::string_view encoded, size_t bytes, size_t size) {
    if (encoded.size() != (bytes + 2) / 3 * 4) Fail("the encoding has a wrong length", size);
    const size_t pads = bytes % 3 == 0 ? 0 : 3 - bytes % 3;
    for (size_t i = 0; i < encoded.size(); ++i) {
        const auto c = static_cast<unsigned char>(encoded[i]);
        const bool padding = i >= encoded.size() - pads;
        if (padding ? c != '=' : !InAlphabet(c)) Fail("the encoding has a wrong character or padding", size);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);

    // Encode, decode: the bytes come back, zeros included.
    QZ_CStr input;
    QZ_CStr_Init(&input);
    QZ_CStr_Set(&input, bytes.data(), static_cast<uint32_t>(bytes.size()));
    QZ_CStr encoded;
    QZ_CStr_Init(&encoded);
    QZ_Base64Encode(&encoded, &input);
    CheckString(encoded, size);
    CheckEncoding(View(encoded), size, size);
    QZ_CStr decoded;
    QZ_CStr_Init(&decoded);
    QZ_Base64Decode(&decoded, encoded.data);
    CheckString(decoded, size);
    if (View(decoded) != bytes) Fail("decoding the encoding does not give the bytes back", size);

    // Arbitrary text: at most three bytes per four alphabet characters (a
    // lone trailing character holds none), and its bytes round-trip.
    char *text = static_cast<char *>(std::malloc(size + 1));
    std::memcpy(text, data, size);
    text[size] = '\0';
    size_t symbols = 0;
    for (const char *c = text; *c != '\0'; ++c)
        if (InAlphabet(static_cast<unsigned char>(*c)) || *c == '=') ++symbols;
    QZ_Base64Decode(&decoded, text);
    CheckString(decoded, size);
    const size_t rest = symbols % 4;
    if (decoded.length > symbols / 4 * 3 + (rest > 1 ? rest - 1 : 0))
        Fail("decoding gives more bytes than the text holds", size);
    QZ_Base64Encode(&encoded, &decoded);
    CheckString(encoded, size);
    CheckEncoding(View(encoded), decoded.length, size);
    QZ_CStr again;
    QZ_CStr_Init(&again);
    QZ_Base64Decode(&again, encoded.data);
    if (View(again) != View(decoded)) Fail("decoded bytes do not survive a second round trip", size);
    std::free(text);

    QZ_CStr_Free(&again);
    QZ_CStr_Free(&decoded);
    QZ_CStr_Free(&encoded);
    QZ_CStr_Free(&input);
    return 0;
}
