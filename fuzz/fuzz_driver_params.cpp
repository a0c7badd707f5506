// Numeric program parameters come from the query string: any text must
// convert without undefined behaviour, and agree with the C library's
// decimal conversion wherever that one is defined.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "driver/qzdata_backend.h"
#include "driver/qzmdl.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);
    text = text.c_str();  // a parameter ends at its first zero byte
    int32_t value = QZ_ParameterToLong(text.c_str());

    // The reference: strtod on texts without a hexadecimal form.
    if (text.find_first_of("xXpP") == std::string::npos) {
        double reference = std::strtod(text.c_str(), nullptr);
        if (std::isfinite(reference) && reference > -2147483648.0 && reference < 2147483647.0 &&
            value != static_cast<int32_t>(reference))
            std::abort();
    }
    (void)qz::db::ConnectionAttribute(text, "DATABASE");
    return 0;
}
