// Base64 (RFC 4648 alphabet, "=" padding, no line breaks) for Basic credentials.

#include "qz/qzhttpauth.h"
#include "http/qzhttp_internal.h"

#include <string_view>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Value of an alphabet character, 64 for the pad "=", -1 for anything else.
int DecodeValue(unsigned char c) {
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    if (c == '+') {
        return 62;
    }
    if (c == '/') {
        return 63;
    }
    if (c == '=') {
        return 64;
    }
    return -1;
}

// Appends the bytes of one group of 2 to 4 characters; values are 0..64.
void AppendGroup(QZ_CStr *output, const int *values, int count) {
    if (count < 2) {
        return;  // a lone character holds no complete byte
    }
    int bytes = count - 1;  // an incomplete group holds count - 1 bytes
    if (count == 4) {
        bytes = values[2] == 64 ? 1 : (values[3] == 64 ? 2 : 3);
    } else if (count == 3 && values[2] == 64) {
        bytes = 1;
    }
    uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) {
        const int v = (i < count && values[i] != 64) ? values[i] : 0;
        bits = (bits << 6) | static_cast<uint32_t>(v);
    }
    const char out[3] = {static_cast<char>(bits >> 16), static_cast<char>((bits >> 8) & 0xFF),
                         static_cast<char>(bits & 0xFF)};
    // Three bytes at a time: the block grows geometrically, not by 128 bytes.
    qz::http::appendFast(output, std::string_view(out, static_cast<size_t>(bytes)));
}

}  // namespace

extern "C" {

QZ_CStr *QZ_Base64Encode(QZ_CStr *output, const QZ_CStr *input) {
    if (output == nullptr) {
        return output;
    }
    QZ_CStr_Set(output, "", 0);
    if (input == nullptr || input->length == 0) {
        return output;
    }
    const auto *data = reinterpret_cast<const unsigned char *>(input->data);
    const uint32_t length = input->length;
    const uint64_t encodedLength = (static_cast<uint64_t>(length) + 2) / 3 * 4;
    if (encodedLength > UINT32_MAX - 1) {
        return output;
    }
    QZ_CStr_Reserve(output, static_cast<uint32_t>(encodedLength));

    char chunk[256];
    uint32_t used = 0;
    for (uint32_t i = 0; i < length; i += 3) {
        const uint32_t remaining = length - i;
        const uint32_t b0 = data[i];
        const uint32_t b1 = remaining > 1 ? data[i + 1] : 0;
        const uint32_t b2 = remaining > 2 ? data[i + 2] : 0;
        const uint32_t bits = (b0 << 16) | (b1 << 8) | b2;
        chunk[used++] = kAlphabet[(bits >> 18) & 0x3F];
        chunk[used++] = kAlphabet[(bits >> 12) & 0x3F];
        chunk[used++] = remaining > 1 ? kAlphabet[(bits >> 6) & 0x3F] : '=';
        chunk[used++] = remaining > 2 ? kAlphabet[bits & 0x3F] : '=';
        if (used + 4 > sizeof chunk) {
            QZ_CStr_Append(output, chunk, used);
            used = 0;
        }
    }
    if (used > 0) {
        QZ_CStr_Append(output, chunk, used);
    }
    return output;
}

QZ_CStr *QZ_Base64Decode(QZ_CStr *output, const char *text) {
    if (output == nullptr) {
        return output;
    }
    QZ_CStr_Set(output, "", 0);
    if (text == nullptr) {
        return output;
    }
    int values[4];
    int count = 0;
    for (const unsigned char *c = reinterpret_cast<const unsigned char *>(text); *c != 0; ++c) {
        const int v = DecodeValue(*c);
        if (v < 0) {
            continue;  // white space and foreign characters are skipped
        }
        values[count++] = v;
        if (count == 4) {
            AppendGroup(output, values, count);
            count = 0;
        }
    }
    AppendGroup(output, values, count);
    return output;
}

}  // extern "C"
