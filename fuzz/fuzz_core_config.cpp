// Configuration reader over arbitrary file contents: the input becomes a
// configuration file that is searched for a few keys, and for one whose section
// and name come from the input itself. The search of the process's in-memory
// copy must find exactly what a search of the file as a stream finds.
#include "qz/qztrace.h"
#include "runtime/qzini_internal.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

namespace {

const std::string &scratchDir() {
    static const std::string dir = [] {
        std::string pattern = "/tmp/qzfuzzcfg.XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        setenv("QZ_FUZZ_CFG_DIR", pattern.c_str(), 1);
        return pattern;
    }();
    return dir;
}

void check(const char *envVar, const char *section, const char *key, const char *file) {
    char value[QZ_INI_VALUE_MAX + 1 + 16];
    std::memset(value, 0x5A, sizeof value);
    const int16_t found = QZ_ReadIniValue(envVar, section, key, file, value);
    for (size_t i = QZ_INI_VALUE_MAX + 1; i < sizeof value; ++i) {
        if (value[i] != 0x5A) std::abort(); // written past the caller's buffer
    }
    const size_t length = strnlen(value, QZ_INI_VALUE_MAX + 1);
    if (length > QZ_INI_VALUE_MAX) std::abort(); // not terminated in bounds
    if (found == 0 && length != 0) std::abort(); // not found must leave the empty text
    if (found != 0 && length != 0 && std::strchr(" \t\r\n", value[length - 1]) != nullptr) std::abort();
}

// The in-memory search and the stream search agree on every key.
void compare(const std::string &text, const char *section, const char *key) {
    std::string inText;
    std::string inStream;
    const bool a = qz::ini::FindInText(text, section, key, inText);
    FILE *stream = fmemopen(const_cast<char *>(text.data()), text.size(), "r");
    if (stream == nullptr) return;
    const bool b = qz::ini::FindInStream(stream, section, key, inStream);
    std::fclose(stream);
    if (a != b || inText != inStream) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string path = scratchDir() + "/qzcfg-fuzz.ini";
    FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    qz::ini::ForgetCopies(); // the file was rewritten in place: read it again

    check(nullptr, "Trace", "Trace", path.c_str());
    check(nullptr, "Trace", "TraceFile", path.c_str());
    check(nullptr, "", "A", path.c_str());
    check(nullptr, nullptr, "", path.c_str());
    // Found through the directory variable: the name alone is not in the current directory.
    check("QZ_FUZZ_CFG_DIR", "Web", "SSP_BASE_URL", "qzcfg-fuzz.ini");

    // Section and key taken from the input's first line: "section|key".
    const std::string text(reinterpret_cast<const char *>(data), size);
    const std::string first = text.substr(0, text.find('\n'));
    const size_t bar = first.find('|');
    if (bar != std::string::npos) {
        const std::string section = first.substr(0, bar);
        const std::string key = first.substr(bar + 1);
        check(nullptr, section.c_str(), key.c_str(), path.c_str());
        if (!text.empty()) compare(text, section.c_str(), key.c_str());
    }
    if (!text.empty()) {
        compare(text, "Trace", "TraceFile");
        compare(text, "", "A");
    }
    return 0;
}
