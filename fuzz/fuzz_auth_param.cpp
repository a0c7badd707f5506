// Fuzzes the reading of one challenge parameter and of the scheme token: the
// input is "<name>\n<challenge>", and the length handed on may reach past the
// text's end, which the reader must not follow.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "qz/qzhttpauth.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string input(reinterpret_cast<const char *>(data), size);
    const size_t split = input.find('\n');
    const std::string name = split == std::string::npos ? "realm" : input.substr(0, split);
    const std::string challenge = split == std::string::npos ? input : input.substr(split + 1);

    const size_t maximum = size > 0 ? data[size - 1] % 40 : 0;
    char *output = static_cast<char *>(std::malloc(maximum + 1));
    const size_t lengths[] = {challenge.size(), challenge.size() / 2, challenge.size() + 100};
    for (size_t length : lengths) {
        QZ_HTTP_AuthParam(challenge.c_str(), length, name.c_str(), output, maximum);
        if (std::strlen(output) > maximum) {
            std::abort();
        }
    }
    QZ_HTTP_AuthToken(challenge.c_str(), output, maximum);
    if (std::strlen(output) > maximum) {
        std::abort();
    }
    std::free(output);
    return 0;
}
