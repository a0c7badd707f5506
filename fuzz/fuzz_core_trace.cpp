// Fuzzes the formatting of trace records: whatever a value holds, the record
// must stay on one line, without a control character, and everything but the
// control characters must come out as it went in.
#include "runtime/qztrace_internal.h"

#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

std::string formatted(const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = qz::trace::FormatEscaped(format, args);
    va_end(args);
    return text;
}

void expectOneLine(const std::string &record) {
    for (const char c : record) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) std::abort();
    }
}

// The value as it must appear: control characters as their escapes.
std::string expected(const std::string &value) {
    std::string out;
    static const char hex[] = "0123456789abcdef";
    for (const char c : value) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\t') out += "\\t";
        else if (u < 0x20 || u == 0x7F) {
            out += "\\x";
            out += hex[u >> 4];
            out += hex[u & 15];
        } else out += c;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string value(reinterpret_cast<const char *>(data), size);
    const std::string text = value.substr(0, value.find('\0')); // what "%s" sees
    const std::string record = formatted("v=%s|", text.c_str());
    expectOneLine(record);
    if (record != "v=" + expected(text) + "|") std::abort();
    const int precision = size > 0 ? data[0] % 64 : 0;
    const std::string cut = formatted("%.*s%c%-8.3s", precision, value.data(), size > 1 ? data[1] : 'x', text.c_str());
    expectOneLine(cut);
    return 0;
}
