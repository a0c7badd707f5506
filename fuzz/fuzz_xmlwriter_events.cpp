// Drives a writer with event sequences taken from the input and checks that
// every document it completes without an error parses (expat, namespace mode).
// The sequences follow the caller's rules (one root, text inside elements, the
// declaration first); the texts, values, nesting, prefixes and URIs are free.
#include <expat.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "qz/qzxml.h"

namespace {

class Input {
public:
    Input(const uint8_t *data, size_t size) : p_(data), end_(data + size) {}
    bool empty() const { return p_ == end_; }
    uint8_t byte() { return p_ != end_ ? *p_++ : 0; }
    // A text of characters that XML allows: control bytes become letters.
    std::string text() {
        const size_t n = byte() % 40;
        std::string s;
        for (size_t i = 0; i < n && !empty(); ++i) {
            uint8_t c = byte();
            if (c == 0) c = 'z';
            if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') c = static_cast<uint8_t>('a' + c % 26);
            s += static_cast<char>(c);
        }
        return s;
    }
    template <typename T, size_t N>
    const T &pick(const T (&options)[N]) {
        return options[byte() % N];
    }

private:
    const uint8_t *p_;
    const uint8_t *end_;
};

const char *const kNames[] = {"a", "item", "r\xE9sum\xE9", "x-y", "_n.1", "deep"};
const char *const kPrefixes[] = {"", "p", "q", "ns1"};
const char *const kUris[] = {"", "urn:a", "urn:b", "http://example.com/x?y=1&z=<2>"};
const char *const kTargets[] = {"pi", "go", "app-x"};
const char *const kEntities[] = {"amp", "lt", "gt", "quot", "apos"};

bool parses(const char *doc, size_t size) {
    XML_Parser p = XML_ParserCreateNS(nullptr, '|');
    const bool ok = XML_Parse(p, doc, static_cast<int>(size), 1) == XML_STATUS_OK;
    if (!ok && std::getenv("QZ_FUZZ_SHOW") != nullptr)
        std::fprintf(stderr, "%s at %lu:%lu\n%.*s\n", XML_ErrorString(XML_GetErrorCode(p)),
                     XML_GetCurrentLineNumber(p), XML_GetCurrentColumnNumber(p), static_cast<int>(size), doc);
    XML_ParserFree(p);
    return ok;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Input in(data, size);
    QZ_XmlWriter w{};
    if (QZ_xmlinit(&w) != 0 || QZ_xmlOpenToString(&w) != 0) std::abort();

    // The declaration comes first or not at all; without one the output must be UTF-8.
    const uint8_t mode = in.byte() % 3;
    if (mode == 0) QZ_xmlsetencoding(&w, "UTF-8");
    else QZ_xmlstartdocument(&w, mode == 1 ? "utf-8" : "ISO-8859-1", in.byte() & 1);

    int depth = 0; // elements open, as the caller counts them
    bool rootBegun = false;
    bool doctypeWritten = false;
    int attributes = 0; // attributes on the pending tag, for unique names
    bool pending = false;
    for (int steps = 0; steps < 400 && !in.empty(); ++steps) {
        const uint8_t op = in.byte() % 15;
        const bool inside = depth > 0;
        const bool mayOpen = inside || !rootBegun;
        switch (op) {
        case 0:
        case 1:
            if (!mayOpen) break;
            if (op == 0) QZ_xmlbeginelement(&w, in.pick(kNames));
            else QZ_xmlbeginelementNS(&w, in.pick(kNames), in.pick(kPrefixes), in.pick(kUris));
            rootBegun = true;
            ++depth;
            attributes = 0;
            pending = true;
            break;
        case 2:
            if (pending && attributes < 8) {
                const std::string name = "a" + std::to_string(attributes++);
                const std::string value = in.text();
                if (in.byte() & 1) QZ_xmlattstr(&w, name.c_str(), value.c_str());
                else QZ_xmlattint(&w, name.c_str(), static_cast<int32_t>(in.byte() * 1000003));
            }
            break;
        case 3:
            if (!mayOpen) break;
            {
                const std::string value = in.text();
                if (in.byte() & 1) QZ_xmlvaluestr(&w, in.pick(kNames), value.c_str());
                else QZ_xmlvaluestrNS(&w, in.pick(kNames), in.pick(kUris), value.c_str());
            }
            rootBegun = true;
            attributes = 0;
            pending = true;
            break;
        case 4:
            if (inside) QZ_xmltext(&w, in.text().c_str());
            pending = false;
            break;
        case 5: QZ_xmlcomment(&w, in.text().c_str()); pending = false; break;
        case 6:
            if (inside) QZ_xmlcdata(&w, in.text().c_str());
            pending = false;
            break;
        case 7: QZ_xmlprocessinginstruction(&w, in.pick(kTargets), in.text().c_str()); pending = false; break;
        case 8:
        case 9:
            if (inside) {
                QZ_xmlendelement(&w);
                --depth;
            }
            pending = false;
            break;
        case 10:
            if (inside) QZ_xmlentityreference(&w, in.pick(kEntities));
            pending = false;
            break;
        case 11:
            if (inside) QZ_xmlraw(&w, "<raw a='1'/>");
            pending = false;
            break;
        case 12:
            QZ_xmlsetindentation(&w, static_cast<int16_t>(in.byte() % 5));
            QZ_xmlsetindentationchar(&w, in.byte() & 1 ? " " : "\t");
            break;
        case 13:
            if (!doctypeWritten && !rootBegun) {
                QZ_xmldoctypepublic(&w, "a", "-//X//Y", (in.byte() & 1) ? "a.dtd" : nullptr, "<!ENTITY e 'v'>");
                doctypeWritten = true;
            }
            break;
        case 14: // now and then a name over the limit: the writer must stop cleanly
            if (in.byte() == 0xFF) QZ_xmlbeginelement(&w, std::string(512, 'n').c_str());
            break;
        }
    }
    if (!rootBegun) QZ_xmlvaluestr(&w, "root", "");
    QZ_xmlend(&w);

    uint32_t n = 0;
    const char *doc = QZ_xmlgetInternalResultingString(&w, &n);
    if (QZ_xmlgeterrcode(&w) == 0 && (doc == nullptr || n == 0 || !parses(doc, n - 1))) std::abort();
    QZ_xmlclear(&w);
    return 0;
}
