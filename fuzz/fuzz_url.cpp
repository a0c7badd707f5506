// Fuzzes URL splitting, the encoders and the "%XX" decoder: every span must lie
// inside the URL and every copy inside its buffer; the encoders write only
// their alphabet, escape exactly the bytes that need it, keep to the budget of
// their static buffer, and what they wrote decodes back to the input.
//
// The first byte picks the copy size, so short buffers are exercised too; when
// its top bit is set the text is preceded by enough plain letters that its end
// meets the encoders' budget, so every room left from 0 to a few characters is
// reached by bytes that need an escape.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "qz/qzcstr.h"
#include "qz/qzurl.h"

namespace {

[[noreturn]] void Fail(const char *what, std::string_view text) {
    // The end of the input: where a long one meets the budget.
    const std::string_view tail = text.substr(text.size() > 120 ? text.size() - 120 : 0);
    std::fprintf(stderr, "fuzz_url invariant failed: %s (input of %zu bytes ending \"%s\")\n", what, text.size(),
                 std::string(tail).c_str());
    std::abort();
}

void CheckSpan(const char *url, size_t length, const char *start, const char *end) {
    if (start == nullptr) {
        if (end != nullptr) {
            Fail("an absent part has an end", url);
        }
        return;
    }
    if (start < url || end < start || end > url + length) {
        Fail("a part lies outside the URL", url);
    }
}

bool IsAlnum(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// The characters each encoder copies as they are.
bool FormPlain(unsigned char c) { return IsAlnum(c) || std::strchr("_-.*", c) != nullptr; }
bool PathPlain(unsigned char c) { return IsAlnum(c) || std::strchr("_-\\/:?.*", c) != nullptr; }

bool IsUpperHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

int HexValue(char c) { return c <= '9' ? c - '0' : c - 'A' + 10; }

// The encoding of one byte: the byte itself, "+" for a form blank, or "%XX".
std::string Token(unsigned char c, bool form) {
    if (form ? FormPlain(c) : PathPlain(c)) return std::string(1, static_cast<char>(c));
    if (form && c == ' ') return "+";
    static const char kHex[] = "0123456789ABCDEF";
    return {'%', kHex[c >> 4], kHex[c & 0x0F]};
}

// The encoded text holds only plain characters, "+" (form) and escapes of two
// upper-case hexadecimal digits, and escapes only bytes that are not plain.
void CheckAlphabet(std::string_view encoded, bool form, std::string_view input) {
    for (size_t i = 0; i < encoded.size(); ++i) {
        const auto c = static_cast<unsigned char>(encoded[i]);
        if (c == '%') {
            if (i + 2 >= encoded.size() || !IsUpperHex(encoded[i + 1]) || !IsUpperHex(encoded[i + 2]))
                Fail("an escape is not % and two upper-case hexadecimal digits", input);
            const auto byte = static_cast<unsigned char>(HexValue(encoded[i + 1]) * 16 + HexValue(encoded[i + 2]));
            if (Token(byte, form).size() != 3) Fail("a plain character was escaped", input);
            i += 2;
        } else if (!(form ? FormPlain(c) || c == '+' : PathPlain(c))) {
            Fail("the encoded text holds a character outside its alphabet", input);
        }
    }
}

// What the form encoder writes into its buffer: every byte's encoding in
// turn, but an escape only while at least 4 characters of the budget remain
// (the byte is dropped otherwise), until the budget is spent.
std::string BudgetedForm(std::string_view text) {
    std::string out;
    for (const char ch : text) {
        if (out.size() == QZ_URL_STATIC_MAX) break;
        const std::string token = Token(static_cast<unsigned char>(ch), true);
        if (token.size() == 3 && QZ_URL_STATIC_MAX - out.size() < 4) continue;
        out += token;
    }
    return out;
}

// What the path encoder writes: the part before the query under the same
// budget, the blanks that end it dropped, then the "?" and the query as they
// are while the buffer has room.
std::string BudgetedPath(std::string_view text, size_t queryAt) {
    std::string out;
    size_t kept = 0;  // output length up to the last byte that is not a blank
    for (size_t i = 0; i < queryAt && out.size() < QZ_URL_STATIC_MAX; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::string token = Token(c, false);
        if (token.size() == 1 || QZ_URL_STATIC_MAX - out.size() >= 4) out += token;
        if (c != ' ') kept = out.size();
    }
    out.resize(kept);
    if (queryAt < text.size()) {
        const std::string_view query = text.substr(queryAt);
        out += query.substr(0, QZ_URL_STATIC_MAX - out.size());
    }
    return out;
}

std::string RightTrimmed(std::string_view text) {
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return std::string(text);
}

void CheckEncoders(const char *url, size_t length) {
    const std::string_view text(url, length);

    // Form encoding, budgeted.
    const std::string form = QZ_UrlEncodeForm(url);
    if (form.size() > QZ_URL_STATIC_MAX) Fail("the form encoding overran its buffer", text);
    CheckAlphabet(form, true, text);
    if (form != BudgetedForm(text)) Fail("the form encoding breaks its budget rule", text);

    // Form encoding, unbounded: the same text when the budget did not cut,
    // and decoding it gives the input back, blanks read as "+" by this decoder.
    QZ_CStr whole;
    QZ_CStr_Init(&whole);
    QZ_HTTP_EncodeFormValue(&whole, url);
    const std::string_view wholeText(whole.data, whole.length);
    if (whole.length < length || whole.length > 3 * length || std::strlen(whole.data) != whole.length)
        Fail("the unbounded form encoding has a wrong length", text);
    CheckAlphabet(wholeText, true, text);
    const bool formWhole = whole.length <= QZ_URL_STATIC_MAX - 3;  // no escape ever met the budget
    if (formWhole && form != wholeText) Fail("the two form encoders differ", text);
    if (whole.length <= QZ_URL_STATIC_MAX) {
        std::string expected(text);
        for (char &c : expected)
            if (c == ' ') c = '+';
        if (QZ_UrlDecodeHex(whole.data) != expected) Fail("the form encoding does not decode to the input", text);
    }
    QZ_CStr_Free(&whole);

    // Path encoding: the part before the query round-trips (less its ending
    // blanks), the query is copied as it is.
    const char *query = QZ_HTTP_UrlQuerySpan(url, nullptr);
    const size_t queryAt = query != nullptr ? static_cast<size_t>(query - 1 - url) : length;
    if (query != nullptr && url[queryAt] != '?') Fail("the query does not follow a \"?\"", text);
    const std::string path = QZ_UrlEncodePath(url);
    if (path.size() > QZ_URL_STATIC_MAX) Fail("the path encoding overran its buffer", text);
    if (path != BudgetedPath(text, queryAt)) Fail("the path encoding breaks its budget rule", text);
    size_t cost = 0;
    for (size_t i = 0; i < queryAt; ++i) cost += Token(static_cast<unsigned char>(url[i]), false).size();
    if (cost + (length - queryAt) <= QZ_URL_STATIC_MAX - 3) {
        const std::string head = RightTrimmed(text.substr(0, queryAt));
        const std::string_view tail = text.substr(queryAt);
        if (path.size() < tail.size() || std::string_view(path).substr(path.size() - tail.size()) != tail)
            Fail("the path encoding does not end with the query", text);
        const std::string encodedHead = path.substr(0, path.size() - tail.size());
        CheckAlphabet(encodedHead, false, text);
        if (QZ_UrlDecodeHex(encodedHead.c_str()) != head) Fail("the path encoding does not decode to the path", text);
    }

    // The decoder keeps to its buffer, and text without "%" comes back as it is.
    const std::string decoded = QZ_UrlDecodeHex(url);
    if (decoded.size() > QZ_URL_STATIC_MAX) Fail("the decoder overran its buffer", text);
    if (text.find('%') == std::string_view::npos && decoded != text.substr(0, QZ_URL_STATIC_MAX))
        Fail("the decoder changed text without escapes", text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const size_t n = size > 0 ? data[0] % 64 : 0;
    std::string text;
    if (size > 0 && (data[0] & 0x80) != 0) {
        // The end of the text meets the budget: 2040 to 2047 letters first.
        text.assign(QZ_URL_STATIC_MAX - 8 + (data[0] & 7), 'a');
        ++data;
        --size;
    }
    text.append(reinterpret_cast<const char *>(data), size);
    const char *url = text.c_str();  // stops at an embedded zero like any caller's text
    const size_t length = std::strlen(url);

    const char *end = nullptr;
    CheckSpan(url, length, QZ_HTTP_UrlProtocolSpan(url, &end), end);
    CheckSpan(url, length, QZ_HTTP_UrlHostSpan(url, &end), end);
    CheckSpan(url, length, QZ_HTTP_UrlPortSpan(url, &end), end);
    CheckSpan(url, length, QZ_HTTP_UrlPathSpan(url, &end), end);
    CheckSpan(url, length, QZ_HTTP_UrlDirectorySpan(url, &end), end);
    CheckSpan(url, length, QZ_HTTP_UrlFileSpan(url, &end), end);
    CheckSpan(url, length, QZ_HTTP_UrlQuerySpan(url, &end), end);

    // Exactly n + 1 bytes on the heap, so that the sanitizer sees any overrun.
    char *buffer = static_cast<char *>(std::malloc(n + 1));
    QZ_HTTP_UrlGetProtocol(buffer, url, n);
    QZ_HTTP_UrlGetHost(buffer, url, n);
    QZ_HTTP_UrlGetPath(buffer, url, n);
    QZ_HTTP_UrlGetDirectory(buffer, url, n);
    QZ_HTTP_UrlGetFile(buffer, url, n);
    QZ_HTTP_UrlGetQuery(buffer, url, n);
    if (std::strlen(buffer) > n) {
        Fail("a copied part is longer than its buffer", url);
    }
    std::free(buffer);
    const int16_t port = QZ_HTTP_UrlGetPort(url);
    if (port < -1) {
        Fail("a negative port other than -1", url);
    }

    CheckEncoders(url, length);
    return 0;
}
