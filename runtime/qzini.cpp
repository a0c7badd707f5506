// Configuration file reader: one key of one section of an INI-style text file.
//
// Lines are read at most 512 characters at a time (a longer line is read as
// several lines), so a value never exceeds QZ_INI_VALUE_MAX characters and the
// caller's QZ_INI_VALUE_MAX + 1 byte buffer always holds it.

#include "qz/qztrace.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace {

constexpr size_t kNameMax = 65; // section and key names are compared on this many characters

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

struct FileCloser {
    void operator()(FILE *f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

File openConfig(const char *envVar, const char *fileName) {
    std::string alternative;
    if (envVar != nullptr) {
        if (const char *dir = std::getenv(envVar); dir != nullptr) {
            alternative = trimTrailing(dir);
            alternative += '/';
            alternative += fileName;
        }
    }
    File file(std::fopen(fileName, "r"));
    if (!file && !alternative.empty()) file.reset(std::fopen(alternative.c_str(), "r"));
    return file;
}

// Searches the open file; on success `value` holds the raw rest of the key's line.
bool findValue(FILE *file, const std::string &section, const std::string &key, std::string &value) {
    char line[QZ_INI_VALUE_MAX + 1];
    bool open = section.empty(); // without a section, the lines before the first header count
    while (std::fgets(line, sizeof line, file) != nullptr) {
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

extern "C" int16_t QZ_ReadIniValue(const char *envVar, const char *section, const char *key,
                                   const char *fileName, char *value) {
    if (value == nullptr) return 0;
    value[0] = '\0';
    if (key == nullptr || fileName == nullptr) return 0;

    const File file = openConfig(envVar, fileName);
    if (!file) return 0;
    std::string found;
    const bool ok = findValue(file.get(), upperName(section), upperName(key), found);
    if (!ok) return 0;

    const std::string_view text = trimTrailing(found);
    const size_t n = text.size() < QZ_INI_VALUE_MAX ? text.size() : QZ_INI_VALUE_MAX;
    std::memcpy(value, text.data(), n);
    value[n] = '\0';
    return 1;
}
