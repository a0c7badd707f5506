// The writer against libxml2's xmlTextWriter, both writing the same document
// (nested elements with attributes and escaped text, indented) to a file.
// Usage: bench_xmlwriter [megabytes=50] [rounds=5] [directory=/tmp]
// Prints the best time of each over the rounds (alternating) and the ratio.
#include <libxml/xmlwriter.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "qz/qzxml.h"

namespace {

const char *const kTexts[] = {
    "plain text without anything to escape in it",
    "price < 100 & size > 5",
    "a longer paragraph of ordinary words that goes on for a while, as descriptions do",
    "R&D <draft> & review",
};
const char *const kKinds[] = {"name", "note", "description", "tag"};

// The document: <catalog> with groups of records, each record holding fields.
template <typename Sink>
void writeDocument(Sink &out, long records) {
    out.begin("catalog");
    out.attribute("version", "1.0");
    for (long i = 0; i < records; ++i) {
        if (i % 100 == 0) {
            if (i > 0) out.end();
            out.begin("group");
            out.attribute("first", std::to_string(i).c_str());
        }
        out.begin("record");
        out.attribute("id", std::to_string(i).c_str());
        out.attribute("state", (i & 1) != 0 ? "open" : "closed & done");
        for (int f = 0; f < 4; ++f) out.value("field", "kind", kKinds[f], kTexts[(i + f) % 4]);
        out.begin("detail");
        out.value("line", "n", "1", kTexts[i % 4]);
        out.end();
        out.end();
    }
    if (records > 0) out.end();
    out.end();
}

struct QzSink {
    QZ_XmlWriter *w;
    void begin(const char *n) { QZ_xmlbeginelement(w, n); }
    void attribute(const char *n, const char *v) { QZ_xmlattstr(w, n, v); }
    void value(const char *n, const char *an, const char *av, const char *text) {
        QZ_xmlvaluestr(w, n, text);
        QZ_xmlattstr(w, an, av);
    }
    void end() { QZ_xmlendelement(w); }
};

struct LibxmlSink {
    xmlTextWriterPtr w;
    static const xmlChar *x(const char *s) { return reinterpret_cast<const xmlChar *>(s); }
    void begin(const char *n) { xmlTextWriterStartElement(w, x(n)); }
    void attribute(const char *n, const char *v) { xmlTextWriterWriteAttribute(w, x(n), x(v)); }
    void value(const char *n, const char *an, const char *av, const char *text) {
        xmlTextWriterStartElement(w, x(n));
        xmlTextWriterWriteAttribute(w, x(an), x(av));
        xmlTextWriterWriteString(w, x(text));
        xmlTextWriterEndElement(w);
    }
    void end() { xmlTextWriterEndElement(w); }
};

double secondsSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double runQz(const std::string &path, long records) {
    const auto t0 = std::chrono::steady_clock::now();
    QZ_XmlWriter w{};
    QZ_xmlinit(&w);
    if (QZ_xmlstart(&w, path.c_str()) != 0) std::exit(2);
    QZ_xmlstartdocument(&w, "ISO-8859-1", 0);
    QzSink sink{&w};
    writeDocument(sink, records);
    QZ_xmlend(&w);
    const int16_t err = QZ_xmlgeterrcode(&w);
    QZ_xmlclear(&w);
    if (err != 0) std::exit(3);
    return secondsSince(t0);
}

double runLibxml(const std::string &path, long records) {
    const auto t0 = std::chrono::steady_clock::now();
    xmlTextWriterPtr w = xmlNewTextWriterFilename(path.c_str(), 0);
    if (w == nullptr) std::exit(4);
    xmlTextWriterSetIndent(w, 1);
    xmlTextWriterSetIndentString(w, LibxmlSink::x("\t"));
    xmlTextWriterStartDocument(w, "1.0", "ISO-8859-1", nullptr);
    LibxmlSink sink{w};
    writeDocument(sink, records);
    xmlTextWriterEndDocument(w);
    xmlFreeTextWriter(w);
    return secondsSince(t0);
}

} // namespace

int main(int argc, char **argv) {
    const double megabytes = argc > 1 ? std::atof(argv[1]) : 50.0;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    const std::string dir = argc > 3 ? argv[3] : "/tmp";
    const std::string qzPath = dir + "/bench_xmlwriter_qz.xml";
    const std::string xmlPath = dir + "/bench_xmlwriter_libxml2.xml";

    // Size the document from a small sample so that ours comes out at the target.
    runQz(qzPath, 1000);
    const double perRecord = static_cast<double>(std::filesystem::file_size(qzPath)) / 1000.0;
    const long records = static_cast<long>(megabytes * 1024 * 1024 / perRecord);

    double bestQz = 1e30;
    double bestXml = 1e30;
    for (int r = 0; r < rounds; ++r) {
        bestQz = std::min(bestQz, runQz(qzPath, records));
        bestXml = std::min(bestXml, runLibxml(xmlPath, records));
    }
    const auto qzSize = std::filesystem::file_size(qzPath);
    const auto xmlSize = std::filesystem::file_size(xmlPath);
    std::printf("records %ld, qz file %.1f MB, libxml2 file %.1f MB\n", records, qzSize / 1048576.0,
                xmlSize / 1048576.0);
    std::printf("qz writer        %.3f s (%.0f MB/s)\n", bestQz, qzSize / 1048576.0 / bestQz);
    std::printf("libxml2 writer   %.3f s (%.0f MB/s)\n", bestXml, xmlSize / 1048576.0 / bestXml);
    std::printf("ratio qz/libxml2 %.2fx\n", bestQz / bestXml);
    std::filesystem::remove(qzPath);
    std::filesystem::remove(xmlPath);
    return 0;
}
