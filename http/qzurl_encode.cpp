// URL encoders (form and path style) and the "%XX" decoder.
//
// Two of them write into shared static buffers of QZ_URL_STATIC_MAX characters
// with a budget: a copied character costs 1, an escape 3, and an escape is only
// written while at least 4 characters of the budget remain, so a byte that
// needs one near the end is dropped while plain characters after it still fit.

#include "qz/qzurl.h"

#include <cstring>

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

bool IsAsciiAlnum(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

bool IsFormSafe(unsigned char c) {
    return IsAsciiAlnum(c) || c == '_' || c == '-' || c == '.' || c == '*';
}

bool IsPathSafe(unsigned char c) {
    return IsAsciiAlnum(c) || c == '_' || c == '-' || c == '\\' || c == '/' || c == ':' ||
           c == '?' || c == '.' || c == '*';
}

// The form encoding of one byte into out (at least 3 bytes); returns its length.
size_t EncodeFormByte(unsigned char c, char *out) {
    if (IsFormSafe(c)) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    if (c == ' ') {
        out[0] = '+';
        return 1;
    }
    out[0] = '%';
    out[1] = kHexDigits[c >> 4];
    out[2] = kHexDigits[c & 0x0F];
    return 3;
}

int HexValue(unsigned char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

char g_formBuffer[QZ_URL_STATIC_MAX + 1];
char g_pathBuffer[QZ_URL_STATIC_MAX + 1];
char g_decodeBuffer[QZ_URL_STATIC_MAX + 1];

}  // namespace

extern "C" {

char *QZ_HTTP_EncodeFormValue(QZ_CStr *string, const char *text) {
    if (string == nullptr) {
        return nullptr;
    }
    QZ_CStr_Set(string, "", 0);
    if (text == nullptr) {
        return QZ_CStr_Data(string);
    }
    // Measure first so that the string grows once, not in many small steps.
    uint64_t encodedLength = 0;
    for (const unsigned char *c = reinterpret_cast<const unsigned char *>(text); *c != 0; ++c) {
        encodedLength += (IsFormSafe(*c) || *c == ' ') ? 1 : 3;
    }
    if (encodedLength > UINT32_MAX - 1) {
        return QZ_CStr_Data(string);
    }
    QZ_CStr_Reserve(string, static_cast<uint32_t>(encodedLength));

    char chunk[256];
    size_t used = 0;
    for (const unsigned char *c = reinterpret_cast<const unsigned char *>(text); *c != 0; ++c) {
        if (used + 3 > sizeof chunk) {
            QZ_CStr_Append(string, chunk, static_cast<uint32_t>(used));
            used = 0;
        }
        used += EncodeFormByte(*c, chunk + used);
    }
    if (used > 0) {
        QZ_CStr_Append(string, chunk, static_cast<uint32_t>(used));
    }
    return QZ_CStr_Data(string);
}

const char *QZ_UrlEncodeForm(const char *text) {
    char *out = g_formBuffer;
    size_t remaining = QZ_URL_STATIC_MAX;
    if (text != nullptr) {
        for (const unsigned char *c = reinterpret_cast<const unsigned char *>(text);
             *c != 0 && remaining > 0; ++c) {
            char piece[3];
            const size_t length = EncodeFormByte(*c, piece);
            if (length == 3 && remaining < 4) {
                continue;  // no room for the escape: drop this byte, keep walking
            }
            std::memcpy(out, piece, length);
            out += length;
            remaining -= length;
        }
    }
    *out = '\0';
    return g_formBuffer;
}

const char *QZ_UrlEncodePath(const char *text) {
    char *out = g_pathBuffer;
    char *const limit = g_pathBuffer + QZ_URL_STATIC_MAX;
    if (text == nullptr) {
        *out = '\0';
        return g_pathBuffer;
    }
    // The query (after the "?" that the URL splitting finds) is copied as is.
    const char *query = QZ_HTTP_UrlQuerySpan(text, nullptr);
    const char *encodedEnd = query != nullptr ? query - 1 : text + std::strlen(text);

    size_t remaining = QZ_URL_STATIC_MAX;
    char *trimmedEnd = out;  // end of the output of the last byte that is not a blank
    for (const unsigned char *c = reinterpret_cast<const unsigned char *>(text);
         reinterpret_cast<const char *>(c) < encodedEnd && remaining > 0; ++c) {
        if (IsPathSafe(*c)) {
            *out++ = static_cast<char>(*c);
            remaining -= 1;
        } else if (remaining >= 4) {
            *out++ = '%';
            *out++ = kHexDigits[*c >> 4];
            *out++ = kHexDigits[*c & 0x0F];
            remaining -= 3;
        }
        if (*c != ' ') {
            trimmedEnd = out;
        }
    }
    // Blanks at the end of the encoded part vanish; blanks inside stay as %20.
    out = trimmedEnd;
    if (query != nullptr) {
        for (const char *c = query - 1; *c != '\0' && out < limit; ++c) {
            *out++ = *c;
        }
    }
    *out = '\0';
    return g_pathBuffer;
}

const char *QZ_UrlDecodeHex(const char *text) {
    char *out = g_decodeBuffer;
    char *const limit = g_decodeBuffer + QZ_URL_STATIC_MAX;
    if (text != nullptr) {
        const unsigned char *c = reinterpret_cast<const unsigned char *>(text);
        while (*c != 0 && out < limit) {
            const int high = c[0] == '%' ? HexValue(c[1]) : -1;
            if (high < 0) {
                *out++ = static_cast<char>(*c++);
                continue;
            }
            const int low = HexValue(c[2]);
            *out++ = static_cast<char>(low < 0 ? high : high * 16 + low);
            // The two characters after the "%" are consumed even when only the
            // first is a digit; the terminating zero never is.
            c += (c[2] != 0) ? 3 : 2;
        }
    }
    *out = '\0';
    return g_decodeBuffer;
}

}  // extern "C"
