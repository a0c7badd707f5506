// Reading a large document node by node: the reader against raw expat (same
// parser, empty handlers) and against libxml2's xmlTextReader doing the same
// walk (name and value of every node).
//
// Every measurement runs in its own child process so that its peak resident
// memory is its own. The documents are generated into temporary files.
//
//   bench_xmlreader [megabytes=50] [big megabytes=500] [text megabytes=100] [rounds=3]

#include <expat.h>
#include <libxml/xmlreader.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "qz/qzxmlreader.h"

namespace {

constexpr size_t kBlock = 5119; // what the reader asks for per read (block size 5120)

// ---- documents ---------------------------------------------------------------

std::string TempPath(const char *tag) {
    char templ[64];
    std::snprintf(templ, sizeof templ, "/tmp/qzbench_%s_XXXXXX", tag);
    const int fd = mkstemp(templ);
    if (fd >= 0) close(fd);
    return templ;
}

// Records with attributes, simple elements, mixed text, entities and comments.
void WriteRecords(const std::string &path, size_t megabytes) {
    FILE *f = std::fopen(path.c_str(), "wb");
    std::fputs("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<orders xmlns:x=\"urn:example:ext\">\n", f);
    const size_t target = megabytes * 1024 * 1024;
    size_t written = 0;
    char record[512];
    for (unsigned long i = 0; written < target; ++i) {
        const int n = std::snprintf(record, sizeof record,
                                    "  <order id=\"%lu\" state=\"open\" x:flag=\"y\">\n"
                                    "    <customer>Customer %lu &amp; Sons</customer>\n"
                                    "    <amount currency=\"EUR\">%lu.%02lu</amount>\n"
                                    "    <note>Deliver before noon, ring twice <b>please</b> thanks</note>\n"
                                    "    <!-- checked -->\n"
                                    "  </order>\n",
                                    i, i % 1000, i % 100000, i % 100);
        std::fwrite(record, 1, static_cast<size_t>(n), f);
        written += static_cast<size_t>(n);
    }
    std::fputs("</orders>\n", f);
    std::fclose(f);
}

void WriteOneText(const std::string &path, size_t megabytes) {
    FILE *f = std::fopen(path.c_str(), "wb");
    std::fputs("<r>", f);
    std::string line(1023, 'x');
    line += '\n';
    for (size_t i = 0; i < megabytes * 1024; ++i) std::fwrite(line.data(), 1, line.size(), f);
    std::fputs("</r>", f);
    std::fclose(f);
}

// ---- the three walks -----------------------------------------------------------

// Folds what was read into a number so that nothing is optimised away.
struct Tally {
    unsigned long nodes = 0;
    unsigned long bytes = 0;
    void Add(const char *name, const char *value) {
        ++nodes;
        if (name != nullptr) bytes += static_cast<unsigned char>(name[0]);
        if (value != nullptr) bytes += static_cast<unsigned char>(value[0]);
    }
};

bool WalkReader(const std::string &path, Tally &t) {
    QZ_XmlReader r;
    QZ_XMLReaderInit(&r);
    QZ_XMLReaderSetNodeEncoding(&r, "UTF-8");
    if (!QZ_XMLReaderOpen(&r, path.c_str())) return false;
    while (QZ_XMLReaderRead(&r)) t.Add(XMLReaderGetElementLocalName(&r), XMLReaderGetValue(&r));
    const bool ok = QZ_XMLReaderErrorCode(&r) == 0;
    QZ_XMLReaderClear(&r);
    return ok;
}

// The same walk through the buffer forms with the default ANSI node encoding,
// as generated programs read documents.
bool WalkReaderAnsiBuffers(const std::string &path, Tally &t) {
    QZ_XmlReader r;
    QZ_XMLReaderInit(&r);
    if (!QZ_XMLReaderOpen(&r, path.c_str())) return false;
    static char name[256];
    static char value[4096];
    while (QZ_XMLReaderRead(&r)) {
        QZ_XMLReaderGetElementName(&r, name, sizeof name - 1);
        QZ_XMLReaderGetValue(&r, value, sizeof value - 1);
        t.Add(name, value);
    }
    const bool ok = QZ_XMLReaderErrorCode(&r) == 0;
    QZ_XMLReaderClear(&r);
    return ok;
}

void XMLCALL NoStart(void *, const XML_Char *, const XML_Char **) {}
void XMLCALL NoEnd(void *, const XML_Char *) {}
void XMLCALL NoText(void *, const XML_Char *, int) {}
void XMLCALL NoComment(void *, const XML_Char *) {}

bool WalkExpat(const std::string &path, Tally &t, bool namespaces) {
    FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    XML_Parser p = namespaces ? XML_ParserCreateNS(nullptr, '\r') : XML_ParserCreate(nullptr);
    XML_SetElementHandler(p, NoStart, NoEnd);
    XML_SetCharacterDataHandler(p, NoText);
    XML_SetCommentHandler(p, NoComment);
    static char buffer[kBlock];
    bool ok = true;
    for (;;) {
        const size_t n = std::fread(buffer, 1, kBlock, f);
        const bool last = n < kBlock;
        if (XML_Parse(p, buffer, static_cast<int>(n), last) == XML_STATUS_ERROR) {
            ok = false;
            break;
        }
        t.bytes += n;
        if (last) break;
    }
    XML_ParserFree(p);
    std::fclose(f);
    return ok;
}

bool WalkLibxml2(const std::string &path, Tally &t) {
    xmlTextReaderPtr r = xmlReaderForFile(path.c_str(), nullptr, XML_PARSE_HUGE);
    if (r == nullptr) return false;
    int rc;
    while ((rc = xmlTextReaderRead(r)) == 1)
        t.Add(reinterpret_cast<const char *>(xmlTextReaderConstLocalName(r)),
              reinterpret_cast<const char *>(xmlTextReaderConstValue(r)));
    xmlFreeTextReader(r);
    return rc == 0;
}

// ---- measuring -------------------------------------------------------------

struct Result {
    double seconds = 0;
    long peakKb = 0;
    unsigned long nodes = 0;
    bool ok = false;
};

// Runs the walk in a child process: its time and its own peak RSS.
Result Measure(const std::function<bool(Tally &)> &walk) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        Tally t;
        const auto start = std::chrono::steady_clock::now();
        const bool ok = walk(t);
        Result r;
        r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        r.nodes = t.nodes;
        r.ok = ok;
        if (write(fds[1], &r, sizeof r) != static_cast<ssize_t>(sizeof r)) _exit(2);
        _exit(0);
    }
    close(fds[1]);
    Result r;
    if (read(fds[0], &r, sizeof r) != static_cast<ssize_t>(sizeof r)) r.ok = false;
    close(fds[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    r.peakKb = usage.ru_maxrss;
    // CPU time of the child (user + system) rather than wall time: the
    // machine is shared, and the walks are CPU bound.
    r.seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return r;
}

void Keep(Result &best, const Result &r, int round) {
    const long peak = std::max(best.peakKb, r.peakKb);
    if (round == 0 || r.seconds < best.seconds) best = r;
    best.peakKb = peak;
}

Result Best(int rounds, const std::function<bool(Tally &)> &walk) {
    Result best;
    for (int i = 0; i < rounds; ++i) {
        const Result r = Measure(walk);
        if (i == 0 || r.seconds < best.seconds) best = r;
        best.peakKb = std::max(best.peakKb, r.peakKb);
    }
    return best;
}

void Print(const char *what, const Result &r, const Result *peer, const char *peerName) {
    std::printf("  %-34s %8.3f s  peak %8ld KB  nodes %9lu%s", what, r.seconds, r.peakKb, r.nodes,
                r.ok ? "" : "  FAILED");
    if (peer != nullptr && peer->seconds > 0) std::printf("  = %.2fx %s", r.seconds / peer->seconds, peerName);
    std::printf("\n");
}

} // namespace

int main(int argc, char **argv) {
    const size_t mb = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 50;
    const size_t bigMb = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 500;
    const size_t textMb = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 100;
    const int rounds = argc > 4 ? std::atoi(argv[4]) : 3;
    xmlInitParser();

    const std::string doc = TempPath("records");
    WriteRecords(doc, mb);
    std::printf("document of %zu MB, node by node (name and value of every node), best of %d, CPU seconds:\n", mb, rounds);
    // Rounds go round the five walks, so that a busy moment hits them alike.
    Result expatNs, expatPlain, libxml, reader, ansi;
    for (int i = 0; i < rounds; ++i) {
        Keep(expatNs, Measure([&](Tally &t) { return WalkExpat(doc, t, true); }), i);
        Keep(expatPlain, Measure([&](Tally &t) { return WalkExpat(doc, t, false); }), i);
        Keep(libxml, Measure([&](Tally &t) { return WalkLibxml2(doc, t); }), i);
        Keep(reader, Measure([&](Tally &t) { return WalkReader(doc, t); }), i);
        Keep(ansi, Measure([&](Tally &t) { return WalkReaderAnsiBuffers(doc, t); }), i);
    }
    Print("raw expat, namespaces, no-op", expatNs, nullptr, "");
    Print("raw expat, no namespaces, no-op", expatPlain, nullptr, "");
    Print("libxml2 xmlTextReader", libxml, &expatNs, "raw expat (ns)");
    Print("QZ reader (UTF-8, pointer forms)", reader, &expatNs, "raw expat (ns)");
    std::printf("  %-34s %8s    %.2fx raw expat (no ns), %.2fx libxml2 reader\n", "", "",
                reader.seconds / expatPlain.seconds, reader.seconds / libxml.seconds);
    Print("QZ reader (ANSI, buffer forms)", ansi, &libxml, "libxml2 reader");

    if (bigMb > 0) {
        const std::string big = TempPath("big");
        WriteRecords(big, bigMb);
        const Result bigReader = Best(1, [&](Tally &t) { return WalkReader(big, t); });
        std::printf("peak memory, %zu MB against %zu MB document:\n", mb, bigMb);
        Print("QZ reader, small document", reader, nullptr, "");
        Print("QZ reader, big document", bigReader, nullptr, "");
        std::printf("  peak ratio big/small: %.2f; time ratio big/small: %.2f (size ratio %.1f)\n",
                    static_cast<double>(bigReader.peakKb) / static_cast<double>(reader.peakKb),
                    bigReader.seconds / reader.seconds, static_cast<double>(bigMb) / static_cast<double>(mb));
        std::remove(big.c_str());
    }
    std::remove(doc.c_str());

    if (textMb > 0) {
        const std::string text = TempPath("text");
        const std::string small = TempPath("text10");
        WriteOneText(text, textMb);
        WriteOneText(small, textMb / 10 != 0 ? textMb / 10 : 1);
        const Result one = Best(rounds, [&](Tally &t) { return WalkReader(text, t); });
        const Result tenth = Best(rounds, [&](Tally &t) { return WalkReader(small, t); });
        const Result expatText = Best(rounds, [&](Tally &t) { return WalkExpat(text, t, true); });
        std::printf("one text node of %zu MB, ChunkText off:\n", textMb);
        Print("raw expat, namespaces, no-op", expatText, nullptr, "");
        Print("QZ reader, one tenth of the text", tenth, nullptr, "");
        Print("QZ reader, whole text", one, &expatText, "raw expat (ns)");
        std::printf("  time ratio whole/tenth: %.2f (linear: 10)\n", one.seconds / tenth.seconds);
        std::remove(text.c_str());
        std::remove(small.c_str());
    }
    xmlCleanupParser();
    return 0;
}
