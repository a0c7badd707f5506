// Drives a writer with event sequences taken from the input and checks that
// every document it completes without an error parses (expat, namespace mode).
// The sequences follow the caller's rules (one root, text inside elements, the
// declaration first); the texts, values, nesting, prefixes and URIs are free.
//
// The same events also go to a writer with the caller's own handlers, which must
// receive the same bytes (in UTF-8 mode in chunks of at most 1024 bytes that end
// on a character), and, in UTF-8 mode without a declaration, to a writer in ANSI
// mode whose document converted with ansiToUTF8 must be the UTF-8 one.
#include <expat.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "qz/qzconv.h"
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

// The caller's handlers: every call recorded into one text, every chunk checked.
struct Recorded {
    std::string bytes;
    bool utf8 = false;
};
int recordOpen(void **, const char *) { return 1; }
int recordWrite(void *handle, const char *bytes, uint32_t count) {
    auto *r = static_cast<Recorded *>(handle);
    if (r->utf8) {
        if (count > 1024) std::abort();
        for (uint32_t i = 0; i < count;) { // whole characters only
            const auto lead = static_cast<unsigned char>(bytes[i]);
            i += lead < 0x80 ? 1 : (lead >= 0xE0 ? 3 : 2);
            if (i > count) std::abort();
        }
    }
    r->bytes.append(bytes, count);
    return 1;
}
void recordClose(void *) {}

std::string resultOf(QZ_XmlWriter *w) {
    uint32_t n = 0;
    const char *doc = QZ_xmlgetInternalResultingString(w, &n);
    return doc != nullptr && n > 0 ? std::string(doc, n - 1) : std::string();
}

std::string utf8Of(const std::string &ansi) {
    std::string out(ansi.size() * 3, '\0');
    int32_t capacity = static_cast<int32_t>(out.size());
    out.resize(static_cast<size_t>(ansiToUTF8(out.data(), ansi.data(), static_cast<int32_t>(ansi.size()), &capacity)));
    return out;
}

// The writers that get every event.
struct Writers {
    QZ_XmlWriter main{};     // into its string buffer
    QZ_XmlWriter handlers{}; // the caller's handlers
    QZ_XmlWriter ansi{};     // ANSI mode, for the UTF-8 comparison
    Recorded recorded;
    bool withAnsi = false;
    template <typename Event>
    void each(Event event) {
        event(&main);
        event(&handlers);
        if (withAnsi) event(&ansi);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Input in(data, size);
    Writers ws;
    if (QZ_xmlinit(&ws.main) != 0 || QZ_xmlOpenToString(&ws.main) != 0) std::abort();
    if (QZ_xmlwriterinit(&ws.handlers, recordOpen, recordWrite, recordClose) != 0) std::abort();
    if (QZ_xmlinit(&ws.ansi) != 0 || QZ_xmlOpenToString(&ws.ansi) != 0) std::abort();
    QZ_xmlstart(&ws.handlers, "");
    QZ_xmlsethandler(&ws.handlers, &ws.recorded);

    // The declaration comes first or not at all; without one the output must be UTF-8.
    const uint8_t mode = in.byte() % 3;
    ws.withAnsi = mode == 0;
    ws.recorded.utf8 = mode != 2;
    if (mode == 0) {
        QZ_xmlsetencoding(&ws.main, "UTF-8");
        QZ_xmlsetencoding(&ws.handlers, "UTF-8");
    } else {
        const QZ_Flag standalone = in.byte() & 1;
        const char *encoding = mode == 1 ? "utf-8" : "ISO-8859-1";
        QZ_xmlstartdocument(&ws.main, encoding, standalone);
        QZ_xmlstartdocument(&ws.handlers, encoding, standalone);
    }

    int depth = 0; // elements open, as the caller counts them
    bool rootBegun = false;
    bool doctypeWritten = false;
    int attributes = 0; // attributes on the pending tag, for unique names
    bool pending = false;
    int longTexts = 0;
    for (int steps = 0; steps < 400 && !in.empty(); ++steps) {
        const uint8_t op = in.byte() % 16;
        const bool inside = depth > 0;
        const bool mayOpen = inside || !rootBegun;
        switch (op) {
        case 0:
        case 1: {
            if (!mayOpen) break;
            const char *name = in.pick(kNames);
            if (op == 0) {
                ws.each([&](QZ_XmlWriter *w) { QZ_xmlbeginelement(w, name); });
            } else {
                const char *prefix = in.pick(kPrefixes);
                const char *uri = in.pick(kUris);
                ws.each([&](QZ_XmlWriter *w) { QZ_xmlbeginelementNS(w, name, prefix, uri); });
            }
            rootBegun = true;
            ++depth;
            attributes = 0;
            pending = true;
            break;
        }
        case 2:
            if (pending && attributes < 8) {
                const std::string name = "a" + std::to_string(attributes++);
                const std::string value = in.text();
                if (in.byte() & 1) {
                    ws.each([&](QZ_XmlWriter *w) { QZ_xmlattstr(w, name.c_str(), value.c_str()); });
                } else {
                    const auto number = static_cast<int32_t>(in.byte() * 1000003);
                    ws.each([&](QZ_XmlWriter *w) { QZ_xmlattint(w, name.c_str(), number); });
                }
            }
            break;
        case 3: {
            if (!mayOpen) break;
            const std::string value = in.text();
            const char *name = in.pick(kNames);
            if (in.byte() & 1) {
                ws.each([&](QZ_XmlWriter *w) { QZ_xmlvaluestr(w, name, value.c_str()); });
            } else {
                const char *uri = in.pick(kUris);
                ws.each([&](QZ_XmlWriter *w) { QZ_xmlvaluestrNS(w, name, uri, value.c_str()); });
            }
            rootBegun = true;
            attributes = 0;
            pending = true;
            break;
        }
        case 4:
            if (inside) {
                const std::string text = in.text();
                ws.each([&](QZ_XmlWriter *w) { QZ_xmltext(w, text.c_str()); });
            }
            pending = false;
            break;
        case 5: {
            const std::string text = in.text();
            ws.each([&](QZ_XmlWriter *w) { QZ_xmlcomment(w, text.c_str()); });
            pending = false;
            break;
        }
        case 6:
            if (inside) {
                const std::string text = in.text();
                ws.each([&](QZ_XmlWriter *w) { QZ_xmlcdata(w, text.c_str()); });
            }
            pending = false;
            break;
        case 7: {
            const char *target = in.pick(kTargets);
            const std::string text = in.text();
            ws.each([&](QZ_XmlWriter *w) { QZ_xmlprocessinginstruction(w, target, text.c_str()); });
            pending = false;
            break;
        }
        case 8:
        case 9:
            if (inside) {
                ws.each([&](QZ_XmlWriter *w) { QZ_xmlendelement(w); });
                --depth;
            }
            pending = false;
            break;
        case 10:
            if (inside) {
                const char *entity = in.pick(kEntities);
                ws.each([&](QZ_XmlWriter *w) { QZ_xmlentityreference(w, entity); });
            }
            pending = false;
            break;
        case 11:
            if (inside) ws.each([&](QZ_XmlWriter *w) { QZ_xmlraw(w, "<raw a='1'/>"); });
            pending = false;
            break;
        case 12: {
            const auto count = static_cast<int16_t>(in.byte() % 5);
            const char *character = in.byte() & 1 ? " " : "\t";
            ws.each([&](QZ_XmlWriter *w) {
                QZ_xmlsetindentation(w, count);
                QZ_xmlsetindentationchar(w, character);
            });
            break;
        }
        case 13:
            if (!doctypeWritten && !rootBegun) {
                const char *systemId = (in.byte() & 1) ? "a.dtd" : nullptr;
                ws.each([&](QZ_XmlWriter *w) { QZ_xmldoctypepublic(w, "a", "-//X//Y", systemId, "<!ENTITY e 'v'>"); });
                doctypeWritten = true;
            }
            break;
        case 14: // now and then a name over the limit: the writer must stop cleanly
            if (in.byte() == 0xFF) {
                const std::string name(512, 'n');
                ws.each([&](QZ_XmlWriter *w) { QZ_xmlbeginelement(w, name.c_str()); });
            }
            break;
        case 15: // a long text, raw or escaped: it crosses the 1024-byte chunks and the collecting block
            if (inside && longTexts < 4) {
                ++longTexts;
                const std::string piece = in.text();
                const size_t times = 50 + in.byte() * 2u;
                std::string text;
                for (size_t i = 0; i < times; ++i) text += piece;
                if (in.byte() & 1) {
                    ws.each([&](QZ_XmlWriter *w) { QZ_xmltext(w, text.c_str()); });
                } else {
                    for (char &c : text) // raw text must not add markup (nor "]]>")
                        if (c == '<' || c == '&' || c == '>') c = '.';
                    ws.each([&](QZ_XmlWriter *w) { QZ_xmlraw(w, text.c_str()); });
                }
            }
            pending = false;
            break;
        }
    }
    if (!rootBegun) ws.each([&](QZ_XmlWriter *w) { QZ_xmlvaluestr(w, "root", ""); });
    ws.each([&](QZ_XmlWriter *w) { QZ_xmlend(w); });

    const int16_t error = QZ_xmlgeterrcode(&ws.main);
    const std::string doc = resultOf(&ws.main);
    if (error == 0 && (doc.empty() || !parses(doc.data(), doc.size()))) std::abort();
    if (QZ_xmlgeterrcode(&ws.handlers) != error) std::abort();
    if (error == 0 && ws.recorded.bytes != doc) std::abort();
    if (ws.withAnsi && error == 0 && utf8Of(resultOf(&ws.ansi)) != doc) std::abort();
    QZ_xmlclear(&ws.main);
    QZ_xmlclear(&ws.handlers);
    QZ_xmlclear(&ws.ansi);
    return 0;
}
