// Random documents read through the XML reader with every option.
//
// The first three bytes choose the options, the rest is the document. Every
// node is looked at through all getters, in both node encodings. External
// entities are followed only for documents that cannot name anything outside
// a private directory (no "/", "\\" or ":"), which holds two entity files.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "qz/qzxmlreader.h"

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

void LookAtNode(QZ_XmlReader *r) {
    char buffer[64];
    QZ_XMLReaderGetNodeType(r);
    QZ_XMLReaderIsSimple(r);
    QZ_XMLReaderGetEOF(r);
    QZ_XMLReaderGetElementName(r, buffer, 63);
    QZ_XMLReaderGetElementLocalName(r, buffer, 5);
    QZ_XMLReaderGetElementPrefix(r, buffer, 63);
    QZ_XMLReaderGetElementURI(r, buffer, 0);
    (void)XMLReaderGetElementLocalName(r);
    (void)XMLReaderGetElementPrefix(r);
    (void)XMLReaderGetElementURI(r);
    QZ_XMLReaderGetLengthName(r);
    QZ_XMLReaderGetValue(r, buffer, 63);
    QZ_XMLReaderGetValue(r, buffer, 1);
    // Whole values too: the buffer forms copy long ASCII runs word by word.
    static char whole[80000];
    QZ_XMLReaderGetValue(r, whole, sizeof whole - 1);
    (void)XMLReaderGetValue(r);
    const int32_t count = QZ_XMLReaderGetAttributeCount(r);
    for (int16_t i = 0; i <= count + 1 && i < 50; ++i) {
        QZ_XMLReaderGetAttributeName(r, buffer, i, 63);
        QZ_XMLReaderGetAttributeValue(r, buffer, i, 63);
        QZ_XMLReaderGetAttributeURI(r, buffer, i, 63);
        QZ_XMLReaderGetLengthAttName(r, i);
        QZ_XMLReaderGetAttEntityValue(r, buffer, i, 63);
        QZ_XMLReaderGetAttEntityNotation(r, buffer, i, 63);
        QZ_XMLReaderGetAttEntityNotationLength(r, i);
        (void)XMLReaderGetAttributeLocalName(r, i);
        (void)XMLReaderGetAttributePrefix(r, i);
    }
    QZ_XMLReaderGetAttIndex(r, "a");
    QZ_XMLReaderGetAttributeValueByName(r, buffer, "p:a", 63);
    QZ_XMLReaderGetAttEntityValueByName(r, buffer, "a", 63);
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
            char raw[128];
            QZ_XMLReaderReadRawXMLBuf(&reader, raw, 127);
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
    char text[100];
    QZ_XMLReaderGetErrDescription(&reader, text, 99);
    QZ_XMLReaderClose(&reader);
    QZ_XMLReaderClear(&reader);
    return 0;
}
