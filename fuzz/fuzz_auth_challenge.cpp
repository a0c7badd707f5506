// Fuzzes the splitting of WWW-Authenticate challenges and the whole
// Authorization computation over them: the walk must always move forward and
// stay inside the text, and the output inside its maximum and on one line.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "qz/qzhttpauth.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    const char *challenges = text.c_str();
    const size_t length = std::strlen(challenges);

    size_t steps = 0;
    for (const char *c = challenges; c != nullptr; c = QZ_HTTP_AuthNextChallenge(c)) {
        const char *next = QZ_HTTP_AuthNextChallenge(c);
        if (next != nullptr && (next <= c || next > challenges + length)) {
            std::abort();
        }
        if (++steps > length + 1) {
            std::abort();  // no forward progress
        }
    }

    QZ_List list;
    QZ_HTTP_AuthList_Init(&list);
    QZ_HTTP_AuthList_Add(&list, "basic", "r", "user", "password");
    QZ_HTTP_AuthList_Add(&list, "digest", "r", "user", "password");
    QZ_HTTP_AuthList_Add(&list, "digest", "", "user", "password");
    const size_t maximum = size > 0 ? (data[0] * 8u) % 2048 : 0;
    char *output = static_cast<char *>(std::malloc(maximum + 1));
    output[0] = '\0';
    QZ_HTTP_AuthorizationBody(&list, challenges, "/uri", "POST", data, size, output, maximum);
    if (std::strlen(output) > maximum) {
        std::abort();
    }
    // The text goes into a request line: it never holds a line break.
    if (std::strpbrk(output, "\r\n") != nullptr) {
        std::abort();
    }
    std::free(output);
    QZ_HTTP_AuthList_Free(&list);
    return 0;
}
