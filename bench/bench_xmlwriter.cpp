// The writer against libxml2's xmlTextWriter, both writing the same document (nested
// elements with attributes, escaped text with accented letters, indented with one TAB per
// level) to a file, in the writer's two modes:
//   - ANSI: our bytes pass unchanged under the ISO-8859-1 declaration; libxml2 writes
//     ISO-8859-1 (its own built-in encoder, the nearest it has to Windows-1252 that needs no
//     iconv). The texts keep to Latin-1, so both files hold the same characters.
//   - UTF-8: our ANSI input converted to UTF-8 on the way out; libxml2 writes UTF-8.
// libxml2 takes UTF-8 input whatever it writes, so it gets the UTF-8 form of the same texts,
// converted once before any timing. Runs alternate (ours, libxml2, ours, ...). Each mode is
// also measured into memory (our string buffer against libxml2's xmlBuffer), for information.
//   bench_xmlwriter [megabytes=50] [runs=7] [directory=/tmp]
#include <libxml/xmlwriter.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_abab.h"
#include "qz/qzconv.h"
#include "qz/qzxml.h"

namespace {

// ANSI (Windows-1252 = Latin-1 here) texts: a realistic share of accented letters.
const char *const kAnsiTexts[] = {
    "plain text without anything to escape in it",
    "price < 100 & size > 5, d\xE9j\xE0 vu",
    "a longer paragraph of ordinary words that goes on for a while, as descriptions do: "
    "M\xFCller & S\xF6hne, Stra\xDF" "e 5, 8001 Z\xFCrich",
    "R&D <draft> & r\xE9vision, ni\xF1o, \xC5ngstr\xF6m",
};
const char *const kKinds[] = {"name", "note", "description", "tag"};

std::string Utf8Of(const char *ansi) {
    std::string out;
    const auto length = static_cast<int32_t>(std::char_traits<char>::length(ansi));
    out.resize(static_cast<size_t>(length) * 3);
    int32_t capacity = static_cast<int32_t>(out.size());
    out.resize(static_cast<size_t>(ansiToUTF8(out.data(), ansi, length, &capacity)));
    return out;
}

// The document: <catalog> with groups of records, each record holding fields.
template <typename Sink>
void WriteDocument(Sink &out, const char *const *texts, long records) {
    char number[32];
    out.begin("catalog");
    out.attribute("version", "1.0");
    for (long i = 0; i < records; ++i) {
        if (i % 100 == 0) {
            if (i > 0) out.end();
            out.begin("group");
            std::snprintf(number, sizeof number, "%ld", i);
            out.attribute("first", number);
        }
        out.begin("record");
        std::snprintf(number, sizeof number, "%ld", i);
        out.attribute("id", number);
        out.attribute("state", (i & 1) != 0 ? "open" : "closed & done");
        for (int f = 0; f < 4; ++f) out.value("field", "kind", kKinds[f], texts[(i + f) % 4]);
        out.begin("detail");
        out.value("line", "n", "1", texts[i % 4]);
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

struct Mode {
    const char *name;     // what the RESULT lines call it
    const char *encoding; // the declared (and written) encoding
    double goal;          // for the file; the memory form is for information
};

double RunQz(const std::string &path, const Mode &mode, long records) {
    const double t0 = qzbench::WallSeconds();
    QZ_XmlWriter w{};
    QZ_xmlinit(&w);
    if (QZ_xmlstart(&w, path.c_str()) != 0) std::exit(2);
    QZ_xmlstartdocument(&w, mode.encoding, 0);
    QzSink sink{&w};
    WriteDocument(sink, kAnsiTexts, records);
    QZ_xmlend(&w);
    const int16_t err = QZ_xmlgeterrcode(&w);
    QZ_xmlclear(&w);
    if (err != 0) std::exit(3);
    return qzbench::WallSeconds() - t0;
}

double RunQzMemory(const Mode &mode, long records) {
    const double t0 = qzbench::WallSeconds();
    QZ_XmlWriter w{};
    QZ_xmlinit(&w);
    if (QZ_xmlOpenToString(&w) != 0) std::exit(5);
    QZ_xmlstartdocument(&w, mode.encoding, 0);
    QzSink sink{&w};
    WriteDocument(sink, kAnsiTexts, records);
    QZ_xmlend(&w);
    uint32_t bytes = 0;
    const bool ok = QZ_xmlgetInternalResultingString(&w, &bytes) != nullptr && bytes > 0;
    const int16_t err = QZ_xmlgeterrcode(&w);
    QZ_xmlclear(&w);
    if (!ok || err != 0) std::exit(6);
    return qzbench::WallSeconds() - t0;
}

double RunLibxmlMemory(const Mode &mode, const char *const *utf8Texts, long records) {
    const double t0 = qzbench::WallSeconds();
    xmlBufferPtr buffer = xmlBufferCreate();
    xmlTextWriterPtr w = xmlNewTextWriterMemory(buffer, 0);
    if (w == nullptr) std::exit(7);
    xmlTextWriterSetIndent(w, 1);
    xmlTextWriterSetIndentString(w, LibxmlSink::x("\t"));
    xmlTextWriterStartDocument(w, "1.0", mode.encoding, nullptr);
    LibxmlSink sink{w};
    WriteDocument(sink, utf8Texts, records);
    xmlTextWriterEndDocument(w);
    xmlFreeTextWriter(w);
    if (xmlBufferLength(buffer) <= 0) std::exit(8);
    xmlBufferFree(buffer);
    return qzbench::WallSeconds() - t0;
}

double RunLibxml(const std::string &path, const Mode &mode, const char *const *utf8Texts, long records) {
    const double t0 = qzbench::WallSeconds();
    xmlTextWriterPtr w = xmlNewTextWriterFilename(path.c_str(), 0);
    if (w == nullptr) std::exit(4);
    xmlTextWriterSetIndent(w, 1);
    xmlTextWriterSetIndentString(w, LibxmlSink::x("\t"));
    xmlTextWriterStartDocument(w, "1.0", mode.encoding, nullptr);
    LibxmlSink sink{w};
    WriteDocument(sink, utf8Texts, records);
    xmlTextWriterEndDocument(w);
    xmlFreeTextWriter(w);
    return qzbench::WallSeconds() - t0;
}

} // namespace

int main(int argc, char **argv) {
    const double megabytes = argc > 1 ? std::atof(argv[1]) : 50.0;
    const int runs = argc > 2 ? std::max(5, std::atoi(argv[2])) : 7;
    const std::string dir = argc > 3 ? argv[3] : "/tmp";
    const std::string qzPath = dir + "/bench_xmlwriter_qz.xml";
    const std::string xmlPath = dir + "/bench_xmlwriter_libxml2.xml";

    std::vector<std::string> utf8Storage;
    for (const char *t : kAnsiTexts) utf8Storage.push_back(Utf8Of(t));
    const char *utf8Texts[4];
    for (size_t i = 0; i < 4; ++i) utf8Texts[i] = utf8Storage[i].c_str();

    const Mode modes[] = {
        {"xmlwriter ANSI (ISO-8859-1)", "ISO-8859-1", 0.9},
        {"xmlwriter UTF-8 (ANSI input converted)", "UTF-8", 0.9},
    };
    for (const Mode &mode : modes) {
        // Size the document from a small sample so that ours comes out at the target.
        RunQz(qzPath, mode, 1000);
        const double perRecord = static_cast<double>(std::filesystem::file_size(qzPath)) / 1000.0;
        const long records = static_cast<long>(megabytes * 1024 * 1024 / perRecord);
        const std::string peer = std::string("libxml2 xmlTextWriter ") + mode.encoding;
        char size[32];
        std::snprintf(size, sizeof size, ", %.0f MB", megabytes);
        qzbench::Alternate(
            mode.name + std::string(size) + " file", peer, runs, mode.goal,
            [&] { return RunQz(qzPath, mode, records); },
            [&] { return RunLibxml(xmlPath, mode, utf8Texts, records); });
        std::printf("  %ld records, files: ours %.1f MB, libxml2 %.1f MB\n", records,
                    static_cast<double>(std::filesystem::file_size(qzPath)) / 1048576.0,
                    static_cast<double>(std::filesystem::file_size(xmlPath)) / 1048576.0);
        qzbench::Alternate(
            mode.name + std::string(size) + " in memory", peer + " to xmlBuffer", runs, 0,
            [&] { return RunQzMemory(mode, records); },
            [&] { return RunLibxmlMemory(mode, utf8Texts, records); });
    }
    std::filesystem::remove(qzPath);
    std::filesystem::remove(xmlPath);
    return 0;
}
