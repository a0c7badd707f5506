// Helpers shared by the XML reader tests: a reader that cleans up after
// itself and a one-line transcript of a node stream.
#ifndef QZ_TESTS_TEST_XMLREADER_SUPPORT_H
#define QZ_TESTS_TEST_XMLREADER_SUPPORT_H

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "qz/qzxmlreader.h"

namespace xrtest {

struct Reader {
    QZ_XmlReader r{};
    Reader() { QZ_XMLReaderInit(&r); }
    Reader(uint32_t block, uint32_t text) { QZ_XMLReaderInitSize(&r, block, text); }
    ~Reader() { QZ_XMLReaderClear(&r); }
    Reader(const Reader &) = delete;
    Reader &operator=(const Reader &) = delete;
    QZ_XmlReader *operator->() { return &r; }
    QZ_XmlReader *get() { return &r; }
};

inline std::string Value(QZ_XmlReader *r, int32_t max = 100000) {
    std::string buffer(static_cast<size_t>(max) + 1, '\0');
    QZ_XMLReaderGetValue(r, buffer.data(), max);
    return buffer.c_str();
}

inline std::string Name(QZ_XmlReader *r) {
    char buffer[600];
    return QZ_XMLReaderGetElementName(r, buffer, 599);
}

// One entry per node, "|"-separated:
//   E:name[@att=value...][=value]  Element (value only for simple elements)
//   /name  EndTag, T:text, W:text, C:comment, D:cdata, P:target=data, !:doctype
inline std::string Describe(QZ_XmlReader *r) {
    std::string s;
    switch (QZ_XMLReaderGetNodeType(r)) {
    case QZ_XMLNODE_ELEMENT: {
        s = "E:" + Name(r);
        const int32_t n = QZ_XMLReaderGetAttributeCount(r);
        for (int16_t i = 1; i <= n; ++i) {
            char name[600];
            char value[600];
            s += std::string("@") + QZ_XMLReaderGetAttributeName(r, name, i, 599) + "=" +
                 QZ_XMLReaderGetAttributeValue(r, value, i, 599);
        }
        if (QZ_XMLReaderIsSimple(r)) s += "=" + Value(r);
        break;
    }
    case QZ_XMLNODE_ENDTAG: s = "/" + Name(r); break;
    case QZ_XMLNODE_TEXT: s = "T:" + Value(r); break;
    case QZ_XMLNODE_WHITESPACE: s = "W:" + Value(r); break;
    case QZ_XMLNODE_COMMENT: s = "C:" + Value(r); break;
    case QZ_XMLNODE_CDATA: s = "D:" + Value(r); break;
    case QZ_XMLNODE_PROCINS: s = "P:" + Name(r) + "=" + Value(r); break;
    case QZ_XMLNODE_DOCTYPE: s = "!:" + Value(r); break;
    default: s = "?"; break;
    }
    return s;
}

inline std::string Stream(QZ_XmlReader *r) {
    std::string out;
    while (QZ_XMLReaderRead(r)) {
        if (!out.empty()) out += "|";
        out += Describe(r);
    }
    return out;
}

inline std::string StreamOf(const std::string &doc) {
    Reader reader;
    QZ_XMLReaderOpenFromString(reader.get(), doc.c_str());
    return Stream(reader.get());
}

inline std::string ErrorText(QZ_XmlReader *r) {
    char buffer[300];
    return QZ_XMLReaderGetErrDescription(r, buffer, 299);
}

// A temporary file removed by the destructor.
struct TempFile {
    std::string path;
    explicit TempFile(const std::string &contents, const std::string &name = "") {
        char templ[] = "/tmp/qzxrXXXXXX";
        if (name.empty()) {
            const int fd = mkstemp(templ);
            if (fd >= 0) close(fd);
            path = templ;
        } else {
            path = name;
        }
        FILE *f = std::fopen(path.c_str(), "wb");
        if (f != nullptr) {
            std::fwrite(contents.data(), 1, contents.size(), f);
            std::fclose(f);
        }
    }
    ~TempFile() { std::remove(path.c_str()); }
    TempFile(const TempFile &) = delete;
    TempFile &operator=(const TempFile &) = delete;
};

} // namespace xrtest

#endif
