// Configuration reader: one key of one section of an INI-style text file.
//
// Lines are read at most 512 characters at a time (a longer line is read as
// several lines), so a value never exceeds QZ_INI_VALUE_MAX characters and the
// caller's QZ_INI_VALUE_MAX + 1 byte buffer always holds it. The file itself is
// read once per process and searched in memory afterwards (qzini_copy.cpp).

#include "qz/qztrace.h"
#include "runtime/qzini_internal.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

namespace {

constexpr size_t kNameMax = 65; // section and key names are compared on this many characters
constexpr size_t kLineMax = QZ_INI_VALUE_MAX;

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isTrailing(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view trimTrailing(std::string_view text) {
    while (!text.empty() && isTrailing(text.back())) text.remove_suffix(1);
    return text;
}

const char *skipBlanks(const char *p) {
    while (isBlank(*p)) ++p;
    return p;
}

std::string upperName(const char *name) {
    std::string result;
    if (name == nullptr) return result;
    for (size_t i = 0; i < kNameMax && name[i] != '\0'; ++i) {
        result += static_cast<char>(std::toupper(static_cast<unsigned char>(name[i])));
    }
    return result;
}

// Whether `line` starts with `upper` when upper-cased.
bool startsWithUpper(const char *line, const std::string &upper) {
    for (size_t i = 0; i < upper.size(); ++i) {
        if (line[i] == '\0') return false;
        if (std::toupper(static_cast<unsigned char>(line[i])) != static_cast<unsigned char>(upper[i])) {
            return false;
        }
    }
    return true;
}

using Line = char[kLineMax + 1];

// The lines of a stream, as fgets gives them.
class StreamLines {
public:
    explicit StreamLines(FILE *stream) : stream_(stream) {}
    bool next(Line &line) { return std::fgets(line, sizeof line, stream_) != nullptr; }

private:
    FILE *stream_;
};

// The same pieces from a text in memory: up to 512 characters, ending after a
// line feed; a zero byte inside ends the piece's text as it does for fgets.
class TextLines {
public:
    explicit TextLines(std::string_view text) : rest_(text) {}
    bool next(Line &line) {
        if (rest_.empty()) return false;
        size_t n = std::min(rest_.size(), kLineMax);
        if (const size_t lf = rest_.substr(0, n).find('\n'); lf != std::string_view::npos) n = lf + 1;
        std::memcpy(line, rest_.data(), n);
        line[n] = '\0';
        rest_.remove_prefix(n);
        return true;
    }

private:
    std::string_view rest_;
};

// Searches the lines; on success `value` holds the raw rest of the key's line.
template <typename Lines>
bool findValue(Lines &lines, const std::string &section, const std::string &key, std::string &value) {
    Line line;
    bool open = section.empty(); // without a section, the lines before the first header count
    while (lines.next(line)) {
        const char *p = skipBlanks(line);
        if (*p == '\0' || *p == '\n' || *p == '\r' || *p == ';') continue;
        if (*p == '[') {
            if (open) return false; // the next header ends the wanted section
            ++p;
            if (startsWithUpper(p, section) && p[section.size()] == ']') open = true;
            continue;
        }
        if (!open || !startsWithUpper(p, key)) continue;
        p = skipBlanks(p + key.size());
        if (*p != '=') continue;
        p = skipBlanks(p + 1);
        value = p;
        return true;
    }
    return false;
}

} // namespace

namespace qz::ini {

bool FindInText(std::string_view text, const char *section, const char *key, std::string &value) {
    TextLines lines(text);
    return findValue(lines, upperName(section), upperName(key), value);
}

bool FindInStream(FILE *stream, const char *section, const char *key, std::string &value) {
    StreamLines lines(stream);
    return findValue(lines, upperName(section), upperName(key), value);
}

} // namespace qz::ini

extern "C" int16_t QZ_ReadIniValue(const char *envVar, const char *section, const char *key,
                                   const char *fileName, char *value) {
    if (value == nullptr) return 0;
    value[0] = '\0';
    if (key == nullptr || fileName == nullptr) return 0;

    const qz::ini::Source source = qz::ini::Open(envVar, fileName);
    std::string found;
    bool ok = false;
    if (source.kind == qz::ini::Source::Kind::Text) {
        ok = qz::ini::FindInText(*source.text, section, key, found);
    } else if (source.kind == qz::ini::Source::Kind::Stream) {
        ok = qz::ini::FindInStream(source.stream, section, key, found);
        std::fclose(source.stream);
    }
    if (!ok) return 0;

    const std::string_view text = trimTrailing(found);
    const size_t n = text.size() < QZ_INI_VALUE_MAX ? text.size() : QZ_INI_VALUE_MAX;
    std::memcpy(value, text.data(), n);
    value[n] = '\0';
    return 1;
}
