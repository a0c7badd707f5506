// Formatting of trace messages: printf conversions one at a time, so that the
// values can be escaped while the format's own text is kept.
//
// Values come from requests, documents and servers; a line feed inside one
// would otherwise start a line that reads like a record of another process.

#include "runtime/qztrace_internal.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <sys/types.h>

namespace qz::trace {

namespace {

constexpr char kHex[] = "0123456789abcdef";

bool isDigit(char c) { return c >= '0' && c <= '9'; }

enum class Length { None, Char, Short, Long, LongLong, Max, Size, Diff, LongDouble };

// One conversion of a format, as far as it could be read.
struct Conversion {
    std::string directive;   // "%", flags, width and precision as numbers, length
    Length length = Length::None;
    char kind = '\0';        // the conversion character
    bool plain = true;       // no flags, width, precision or length: "%s" and the like
    int precision = -1;      // -1: none
    const char *end = nullptr; // the format after the conversion
};

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
// Formats one value with its own conversion (flags, width, precision) and appends it escaped.
template <typename T>
void appendValue(std::string &out, const std::string &directive, T value) {
    char small[128];
    const int needed = std::snprintf(small, sizeof small, directive.c_str(), value);
    if (needed < 0) return;
    if (static_cast<size_t>(needed) < sizeof small) {
        AppendEscaped(out, std::string_view(small, static_cast<size_t>(needed)));
        return;
    }
    std::string big(static_cast<size_t>(needed) + 1, '\0');
    std::snprintf(big.data(), big.size(), directive.c_str(), value);
    big.resize(static_cast<size_t>(needed));
    AppendEscaped(out, big);
}

// A conversion that takes no value ("%m").
void appendNoValue(std::string &out, const std::string &directive) {
    char text[256];
    const int needed = std::snprintf(text, sizeof text, directive.c_str(), 0);
    if (needed > 0) AppendEscaped(out, std::string_view(text, std::min(static_cast<size_t>(needed), sizeof text - 1)));
}
#pragma GCC diagnostic pop

// Reads the length modifier at p into c; returns the position after it.
const char *readLength(const char *p, Conversion &c) {
    const char *start = p;
    switch (*p) {
    case 'h':
        c.length = p[1] == 'h' ? Length::Char : Length::Short;
        p += p[1] == 'h' ? 2 : 1;
        break;
    case 'l':
        c.length = p[1] == 'l' ? Length::LongLong : Length::Long;
        p += p[1] == 'l' ? 2 : 1;
        break;
    case 'q': c.length = Length::LongLong; ++p; break;
    case 'j': c.length = Length::Max; ++p; break;
    case 'z':
    case 'Z': c.length = Length::Size; ++p; break;
    case 't': c.length = Length::Diff; ++p; break;
    case 'L': c.length = Length::LongDouble; ++p; break;
    default: break;
    }
    c.directive.append(start, static_cast<size_t>(p - start));
    return p;
}

// Formats the whole message with vsnprintf and escapes all of it: the way out
// for a format this reader does not take apart (numbered arguments, unknown
// conversions), which is never the runtime's own.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
std::string escapeWhole(const char *format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string out;
    if (needed <= 0) return out;
    std::string text(static_cast<size_t>(needed) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<size_t>(needed));
    AppendEscaped(out, text);
    return out;
}
#pragma GCC diagnostic pop

} // namespace

void AppendEscaped(std::string &out, std::string_view text) {
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c != 0x7F) continue;
        out.append(text.substr(start, i - start));
        start = i + 1;
        switch (c) {
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
            break;
        }
    }
    out.append(text.substr(start));
}

std::string FormatEscaped(const char *format, va_list args) {
    std::string out;
    if (format == nullptr) return out;
    va_list ap;
    va_copy(ap, args);
    const char *p = format;
    bool takenApart = true;
    while (*p != '\0' && takenApart) {
        const char *percent = std::strchr(p, '%');
        if (percent == nullptr) {
            out.append(p);
            break;
        }
        out.append(p, static_cast<size_t>(percent - p));
        const char *q = percent + 1;
        if (*q == '%') {
            out += '%';
            p = q + 1;
            continue;
        }
        Conversion c;
        c.directive = "%";
        while (*q != '\0' && std::strchr("-+ #0'I", *q) != nullptr) {
            c.directive += *q++;
            c.plain = false;
        }
        if (*q == '*') {
            c.directive += std::to_string(va_arg(ap, int)); // a negative width reads as "-" and the width
            c.plain = false;
            ++q;
        } else {
            while (isDigit(*q)) {
                c.directive += *q++;
                c.plain = false;
            }
            if (*q == '$') { // numbered arguments
                takenApart = false;
                break;
            }
        }
        if (*q == '.') {
            ++q;
            if (*q == '*') {
                const int precision = va_arg(ap, int);
                ++q;
                if (precision >= 0) { // a negative precision counts as none
                    c.directive += '.';
                    c.directive += std::to_string(precision);
                    c.precision = precision;
                }
            } else {
                int precision = 0;
                while (isDigit(*q)) precision = precision * 10 + (*q++ - '0');
                c.directive += '.';
                c.directive += std::to_string(precision);
                c.precision = precision;
            }
        }
        q = readLength(q, c);
        if (c.length != Length::None) c.plain = false;
        c.kind = *q;
        if (c.kind == '\0') { // a lone "%" at the end stands for itself
            out += '%';
            break;
        }
        c.directive += c.kind;
        p = q + 1;
        switch (c.kind) {
        case 'd':
        case 'i':
            switch (c.length) {
            case Length::Long: appendValue(out, c.directive, va_arg(ap, long)); break;
            case Length::LongLong: appendValue(out, c.directive, va_arg(ap, long long)); break;
            case Length::Max: appendValue(out, c.directive, va_arg(ap, intmax_t)); break;
            case Length::Size: appendValue(out, c.directive, va_arg(ap, ssize_t)); break;
            case Length::Diff: appendValue(out, c.directive, va_arg(ap, ptrdiff_t)); break;
            default: appendValue(out, c.directive, va_arg(ap, int)); break;
            }
            break;
        case 'u':
        case 'o':
        case 'x':
        case 'X':
            switch (c.length) {
            case Length::Long: appendValue(out, c.directive, va_arg(ap, unsigned long)); break;
            case Length::LongLong: appendValue(out, c.directive, va_arg(ap, unsigned long long)); break;
            case Length::Max: appendValue(out, c.directive, va_arg(ap, uintmax_t)); break;
            case Length::Size: appendValue(out, c.directive, va_arg(ap, size_t)); break;
            case Length::Diff: appendValue(out, c.directive, va_arg(ap, ptrdiff_t)); break;
            default: appendValue(out, c.directive, va_arg(ap, unsigned int)); break;
            }
            break;
        case 'c':
            if (c.length == Length::Long)
                appendValue(out, c.directive, va_arg(ap, wint_t));
            else
                appendValue(out, c.directive, va_arg(ap, int));
            break;
        case 's':
            if (c.length == Length::Long) {
                appendValue(out, c.directive, va_arg(ap, const wchar_t *));
            } else if (const char *text = va_arg(ap, const char *); text == nullptr) {
                appendValue(out, c.directive, text);
            } else if (c.plain && c.precision < 0) {
                AppendEscaped(out, text); // the common "%s": no copy through snprintf
            } else if (c.plain) {
                AppendEscaped(out, std::string_view(text, strnlen(text, static_cast<size_t>(c.precision))));
            } else {
                appendValue(out, c.directive, text);
            }
            break;
        case 'p': appendValue(out, c.directive, va_arg(ap, void *)); break;
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G':
        case 'a':
        case 'A':
            if (c.length == Length::LongDouble)
                appendValue(out, c.directive, va_arg(ap, long double));
            else
                appendValue(out, c.directive, va_arg(ap, double));
            break;
        case 'n': (void)va_arg(ap, void *); break; // nothing is stored through a trace
        case 'm': appendNoValue(out, c.directive); break;
        default: takenApart = false; break;
        }
    }
    va_end(ap);
    if (!takenApart) return escapeWhole(format, args);
    return out;
}

} // namespace qz::trace
