// Fuzzes the received-cookie parser, the lookup and the Set-Cookie lines.
//
// The input up to its first zero byte is the HTTP_COOKIE text; what follows
// it, when there is something, sets one more cookie on the response: four
// bytes of expiry day, three of time, one of the secure flag, then name,
// value, path and domain separated by zero bytes. Every received cookie is
// copied to the response, the response is sent into memory, and then:
// - the headers hold exactly one "Set-Cookie: " line per cookie, in order,
//   with no carriage return and no line feed inside a line;
// - each line carries its cookie's name and form-encoded value;
// - the "name=value" parts of the received cookies' lines, sent back as a
//   Cookie header, parse to the same names and values (when nothing in the
//   names stands in the way: a ";" or a line break in a name, or a value whose
//   encoding is longer than a received value may be).

#include "qz/qzcookie.h"
#include "qz/qzhttp.h"
#include "qz/qzhttprequest.h"
#include "qz/qzurl.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

[[noreturn]] void Fail(const char *what, std::string_view output) {
    std::fprintf(stderr, "fuzz_cookie invariant failed: %s\noutput:\n%.2000s\n", what, std::string(output).c_str());
    std::abort();
}

struct Pair {
    std::string name;
    std::string value;
};

std::vector<Pair> Pairs(QZ_List *list) {
    std::vector<Pair> pairs;
    QZ_ListNode *node = list->first;
    for (uint32_t i = 0; i < list->count && node != nullptr; ++i, node = node->next) {
        const auto *c = static_cast<const QZ_HTTP_Cookie *>(node->data);
        pairs.push_back({std::string(c->name.data, c->name.length), std::string(c->value.data, c->value.length)});
    }
    if (pairs.size() != list->count) Fail("the list holds fewer records than its count", "");
    return pairs;
}

std::string FormEncoded(const std::string &value) {
    QZ_CStr encoded;
    QZ_CStr_Init(&encoded);
    QZ_HTTP_EncodeFormValue(&encoded, value.c_str());
    std::string text(encoded.data, encoded.length);
    QZ_CStr_Free(&encoded);
    return text;
}

std::string Field(std::string_view &rest) {
    const size_t zero = rest.find('\0');
    const std::string field(rest.substr(0, zero));
    rest = zero == std::string_view::npos ? std::string_view() : rest.substr(zero + 1);
    return field;
}

int32_t Number(std::string_view &rest, size_t bytes) {
    uint32_t n = 0;
    for (size_t i = 0; i < bytes && !rest.empty(); ++i) {
        n = n << 8 | static_cast<unsigned char>(rest.front());
        rest.remove_prefix(1);
    }
    return static_cast<int32_t>(n);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    const size_t split = input.find('\0');
    const std::string header(input.substr(0, split));
    static auto request = std::make_unique<QZ_HTTP_SrvReq>();
    QZ_HTTP_SrvReq_Init(request.get());
    QZ_HTTP_SrvReq_ParseCookies(request.get(), header.c_str());
    const std::vector<Pair> received = Pairs(&request->cookies);

    char *out = nullptr;
    size_t outSize = 0;
    FILE *stream = open_memstream(&out, &outSize);
    QZ_HTTP_Response response{};
    QZ_HTTP_Response_Init(&response, "text/html");
    QZ_HTTP_Response_SetCtrlBlock(&response, stream);
    QZ_HTTP_CookieList_Copy(&response.cookies, &request->cookies);
    if (split != std::string_view::npos) {
        std::string_view rest = input.substr(split + 1);
        const int32_t day = Number(rest, 4);
        const int32_t time = Number(rest, 3);
        const auto secure = static_cast<int16_t>(Number(rest, 1));
        const std::string name = Field(rest), value = Field(rest), path = Field(rest), domain = Field(rest);
        QZ_HTTP_Response_SetCookie(&response, name.c_str(), value.c_str(), path.c_str(), day, time,
                                   domain.c_str(), secure);
    }
    const std::vector<Pair> sent = Pairs(&response.cookies);
    char buffer[64];
    QZ_HTTP_GetCookie(&response, request.get(), buffer, header.substr(0, header.find('=')).c_str(), 63);
    QZ_HTTP_Response_Write(&response, "body");
    QZ_HTTP_Response_End(&response);
    std::fclose(stream);
    const std::string output(out, outSize);
    std::free(out);

    // The header block: the status and content type lines, the cookies' lines, a blank line.
    const std::string start = "Status: 200 OK\nContent-type: text/html\r\n";
    const size_t headEnd = output.find("\n\n");
    if (output.compare(0, start.size(), start) != 0 || headEnd == std::string::npos ||
        output.substr(headEnd + 2) != "body")
        Fail("the response is not the headers and the body", output);
    std::vector<std::string> lines;
    for (size_t at = start.size(); at <= headEnd; ) {
        const size_t end = output.find('\n', at);
        lines.push_back(output.substr(at, end - at));
        at = end + 1;
    }
    if (lines.size() != sent.size()) Fail("not one Set-Cookie line per cookie", output);
    std::string back;  // the received cookies as a browser sends them back
    bool comparable = true;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string &line = lines[i];
        if (line.find('\r') != std::string::npos) Fail("a carriage return inside a Set-Cookie line", output);
        if (line.compare(0, 12, "Set-Cookie: ") != 0) Fail("a header line that is not a Set-Cookie line", output);
        const Pair &cookie = sent[i];
        if (cookie.name.find_first_of("\r\n") != std::string::npos) {
            comparable = comparable && i >= received.size();
            continue;
        }
        const std::string pair = cookie.name + "=" + FormEncoded(cookie.value) + ";";
        if (line.compare(12, pair.size(), pair) != 0) Fail("a Set-Cookie line without its name and value", output);
        if (i < received.size()) {
            if (!back.empty()) back += "; ";
            back += pair.substr(0, pair.size() - 1);
            if (cookie.name.find(';') != std::string::npos || pair.size() - cookie.name.size() - 2 > QZ_HTTP_COOKIE_TEXT_MAX)
                comparable = false;
        }
    }
    if (comparable && !received.empty()) {
        QZ_HTTP_SrvReq_Free(request.get());
        QZ_HTTP_SrvReq_Init(request.get());
        QZ_HTTP_SrvReq_ParseCookies(request.get(), back.c_str());
        const std::vector<Pair> again = Pairs(&request->cookies);
        bool same = again.size() == received.size();
        for (size_t i = 0; same && i < again.size(); ++i)
            same = again[i].name == received[i].name && again[i].value == received[i].value;
        if (!same) Fail("the cookies sent back do not parse to the cookies received", output + "\nsent back: " + back);
    }
    QZ_HTTP_SrvReq_Free(request.get());
    return 0;
}
