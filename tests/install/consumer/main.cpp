// The C++ consumer: the same public headers, included from C++, and the runtime beside the
// program's own use of the C++ standard library.
#include <qz/qz.h>

#include <cstdio>
#include <string>

int main() {
    QZ_XmlWriter *w = QZ_xmlwritercreate();
    if (w == nullptr || QZ_xmlOpenToString(w) != 0) return 1;
    QZ_xmlsetencoding(w, "UTF-8");
    QZ_xmlvaluestr(w, "city", "Z\xFCrich");
    QZ_xmlend(w);
    uint32_t count = 0;
    const std::string text = QZ_xmlgetInternalResultingString(w, &count);
    QZ_xmlwriterdestroy(w);
    if (text != "<city>Z\xC3\xBCrich</city>\n") {
        std::fprintf(stderr, "consumer (C++): unexpected \"%s\"\n", text.c_str());
        return 1;
    }
    std::printf("consumer (C++): %s", text.c_str());
    return 0;
}
