// Command lines split into the program and its parameters, and values
// escaped for a command line: bounded outputs whatever the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "qz/qzshell.h"
#include "qz/qzstatic.h"

namespace {

constexpr size_t kMaximum = 16;

void CheckBound(const char *buffer, size_t maximum)
{
    if (buffer[maximum + 1] != '#' || std::strlen(buffer) > maximum)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    const char *end = text.c_str() + std::strlen(text.c_str());
    char token[kMaximum + 2];
    std::memset(token, '#', sizeof token);
    const char *p = QZ_ShellFirstToken(text.c_str(), token, kMaximum);
    CheckBound(token, kMaximum);
    while (p != nullptr) {
        if (p < text.c_str() || p > end)
            std::abort();
        std::memset(token, '#', sizeof token);
        const char *next = QZ_ShellNextToken(p, token, kMaximum);
        CheckBound(token, kMaximum);
        if (next != nullptr && next <= p)
            std::abort(); // every token moves forward
        p = next;
    }
    char escaped[kMaximum + 2];
    std::memset(escaped, '#', sizeof escaped);
    QZ_EscapeQuotes(escaped, text.c_str(), kMaximum);
    CheckBound(escaped, kMaximum);
    return 0;
}
