// Random documents read through the XML reader with every option.
//
// The first three bytes choose the options, the rest is the document. Every
// node is looked at through all getters, in both node encodings, and every
// copy-out getter is called with several sizes and must keep to each of them:
// no byte written past the buffer, the terminator at or before the size, the
// shorter copies prefixes of the longest (copy_check.h). External
// entities are followed only for documents that cannot name anything outside
// a private directory (no "/", "\\" or ":"), which holds two entity files.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "qz/qzxmlreader.h"

#include "copy_check.h"

namespace {

std::string g_base;

void MakeEntityDirectory() {
    if (!g_base.empty()) return;
    char templ[] = "/tmp/qzfuzzxrXXXXXX";
    if (mkdtemp(templ) == nullptr) return;
    g_base = std::string(templ) + "/";
    const char *files[][2] = {
        {"e.xml", "<e a='1'>ent&#13;\r\ntext<![CDATA[c]]></e>"},
        {"d.dtd", "<!ENTITY x SYSTEM 'e.xml'><!ENTITY % p '<!ENTITY y \"why\">'>%p;"},
    };
    for (auto &f : files) {
        FILE *fp = std::fopen((g_base + f[0]).c_str(), "wb");
        if (fp == nullptr) continue;
        std::fputs(f[1], fp);
        std::fclose(fp);
    }
}

struct Cursor {
    const uint8_t *data;
    size_t size;
    size_t at;
};

QZ_Flag ReadInput(void *handle, char *buffer, uint32_t wanted, uint32_t *delivered) {
    auto *c = static_cast<Cursor *>(handle);
    size_t n = c->size - c->at;
    if (n > wanted) n = wanted;
    std::memcpy(buffer, c->data + c->at, n);
    c->at += n;
    *delivered = static_cast<uint32_t>(n);
    return 1;
}

QZ_Flag CloseInput(void *) { return 1; }

// Every copy-out getter keeps to the size it is given (see copy_check.h).
constexpr int32_t kNameMaxes[] = {0, 1, 2, 5, 63, 300};
constexpr int32_t kValueMaxes[] = {0, 1, 2, 3, 63, 1000, 80000};
constexpr size_t kNames = sizeof kNameMaxes / sizeof kNameMaxes[0];
constexpr size_t kValues = sizeof kValueMaxes / sizeof kValueMaxes[0];

#define CHECK_NAME(getter, ...) \
    fuzzcheck::CheckCopies(#getter, kNameMaxes, kNames, [&](char *b, int32_t m) { getter(__VA_ARGS__, m); })

void LookAtNode(QZ_XmlReader *r) {
    char buffer[64];
    QZ_XMLReaderGetNodeType(r);
    QZ_XMLReaderIsSimple(r);
    QZ_XMLReaderGetEOF(r);
    CHECK_NAME(QZ_XMLReaderGetElementName, r, b);
    CHECK_NAME(QZ_XMLReaderGetElementLocalName, r, b);
    CHECK_NAME(QZ_XMLReaderGetElementPrefix, r, b);
    CHECK_NAME(QZ_XMLReaderGetElementURI, r, b);
    (void)XMLReaderGetElementLocalName(r);
    (void)XMLReaderGetElementPrefix(r);
    (void)XMLReaderGetElementURI(r);
    QZ_XMLReaderGetLengthName(r);
    // Whole values too: the buffer forms copy long ASCII runs word by word.
    fuzzcheck::CheckCopies("QZ_XMLReaderGetValue", kValueMaxes, kValues,
                           [&](char *b, int32_t m) { QZ_XMLReaderGetValue(r, b, m); });
    (void)XMLReaderGetValue(r);
    const int32_t count = QZ_XMLReaderGetAttributeCount(r);
    for (int16_t i = 0; i <= count + 1 && i < 50; ++i) {
        CHECK_NAME(QZ_XMLReaderGetAttributeName, r, b, i);
        CHECK_NAME(QZ_XMLReaderGetAttributeLocalName, r, b, i);
        CHECK_NAME(QZ_XMLReaderGetAttributePrefix, r, b, i);
        fuzzcheck::CheckCopies("QZ_XMLReaderGetAttributeValue", kValueMaxes, kValues,
                               [&](char *b, int32_t m) { QZ_XMLReaderGetAttributeValue(r, b, i, m); });
        CHECK_NAME(QZ_XMLReaderGetAttributeURI, r, b, i);
        QZ_XMLReaderGetLengthAttName(r, i);
        CHECK_NAME(QZ_XMLReaderGetAttEntityValue, r, b, i);
        CHECK_NAME(QZ_XMLReaderGetAttEntityNotation, r, b, i);
        QZ_XMLReaderGetAttEntityNotationLength(r, i);
        (void)XMLReaderGetAttributeLocalName(r, i);
        (void)XMLReaderGetAttributePrefix(r, i);
        (void)XMLReaderGetAttributeValue(r, i);
    }
    QZ_XMLReaderGetAttIndex(r, "a");
    CHECK_NAME(QZ_XMLReaderGetAttributeValueByName, r, b, "p:a");
    CHECK_NAME(QZ_XMLReaderGetAttEntityValueByName, r, b, "a");
    CHECK_NAME(QZ_XMLReaderGetAttEntityNotationByName, r, b, "a");
    CHECK_NAME(QZ_XMLReaderGetNameConstr, r, b);
    QZ_XMLReaderGetAttEntityValue(r, buffer, 1, 63);
    QZ_XMLReaderErrorLineNumber(r);
    QZ_XMLReaderErrorLinePos(r);
}

bool Confined(const uint8_t *data, size_t size) {
    for (size_t i = 0; i < size; ++i)
        if (data[i] == '/' || data[i] == '\\' || data[i] == ':') return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 3) return 0;
    MakeEntityDirectory();
    const uint8_t a = data[0];
    const uint8_t b = data[1];
    const uint8_t c = data[2];
    data += 3;
    size -= 3;

    static const uint32_t kBlocks[] = {2, 3, 5, 17, 64, 1000, 5120, 70000};
    QZ_XmlReader reader;
    QZ_XMLReaderInitSize(&reader, kBlocks[a & 7], (a >> 3 & 1) ? 1 : 5120);
    QZ_XMLReaderSetSimpleElements(&reader, a >> 4 & 1);
    QZ_XMLReaderSetRmWNodes(&reader, a >> 5 & 1);
    QZ_XMLReaderSetRmWhite(&reader, a >> 6 & 1);
    QZ_XMLReaderSetChunkText(&reader, a >> 7 & 1);
    QZ_XMLReaderSetLinesNormalization(&reader, static_cast<int16_t>(b % 3));
    QZ_XMLReaderSetNodeEncoding(&reader, (b >> 2 & 1) ? "UTF-8" : "ANSI");
    QZ_XMLReaderSetResConstr(&reader, b >> 3 & 1);
    if (b >> 4 & 1) QZ_XMLReaderSetDocumentEncoding(&reader, (b >> 5 & 1) ? "ANSI" : "ISO-8859-1");
    const bool entities = (b >> 6 & 1) && Confined(data, size);
    QZ_XMLReaderSetExtEntEnabled(&reader, entities ? 1 : 0);
    // Small limits now and then, so that documents reach them.
    if (c & 0x40) {
        QZ_XMLReaderSetMaxDepth(&reader, 1 + (c & 7));
        QZ_XMLReaderSetMaxEntityDepth(&reader, 1 + (c >> 3 & 1));
        QZ_XMLReaderSetMaxEntityBytes(&reader, 40);
    }

    Cursor cursor{data, size, 0};
    QZ_XMLReaderParametricOpen(&reader, &cursor, &ReadInput, &CloseInput, entities ? g_base.c_str() : "");
    if (b >> 7 & 1) QZ_XMLReaderSetNodeConstr(&reader, static_cast<int16_t>(c));
    for (int steps = 0; steps < 100000; ++steps) {
        QZ_Flag more;
        switch ((c + steps) % 7) {
        case 0: more = QZ_XMLReaderReadType(&reader, static_cast<int16_t>(c | 1), (c & 2) ? "p:a" : ""); break;
        case 1: more = QZ_XMLReaderSkip(&reader) || QZ_XMLReaderRead(&reader); break;
        case 2: {
            fuzzcheck::CheckOneCopy("QZ_XMLReaderReadRawXMLBuf", (c & 8) ? 127 : c & 7,
                                    [&](char *raw, int32_t m) { QZ_XMLReaderReadRawXMLBuf(&reader, raw, m); });
            more = QZ_XMLReaderRead(&reader);
            break;
        }
        default: more = QZ_XMLReaderRead(&reader); break;
        }
        if (!more) break;
        LookAtNode(&reader);
        QZ_XMLReaderSetNodeEncoding(&reader, (steps & 1) ? "UTF-8" : "ANSI");
        LookAtNode(&reader);
    }
    fuzzcheck::CheckCopies("QZ_XMLReaderGetErrDescription", kNameMaxes, kNames,
                           [&](char *b, int32_t m) { QZ_XMLReaderGetErrDescription(&reader, b, m); });
    QZ_XMLReaderClose(&reader);
    QZ_XMLReaderClear(&reader);
    return 0;
}
