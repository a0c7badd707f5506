// Reading a large document node by node, side by side with libxml2's
// xmlTextReader doing the same walk (name and value of every node), in the
// forms generated programs use:
//   - pointer forms (UTF-8 inside the node) against libxml2's const getters;
//   - buffer forms, UTF-8 node encoding, against libxml2 copying name and
//     value into buffers of the same sizes;
//   - buffer forms, ANSI node encoding, against libxml2 copying and
//     converting name and value to Windows-1252 into those buffers.
// Each pair of runs alternates the reader and its peer (ABAB), every run in
// its own child process (CPU time and peak memory of its own); the report is
// the median ratio and its spread (bench_abab.h). Then, for information: peak
// memory on a document ten times larger, and one long text node against raw
// expat.
//
//   bench_xmlreader [megabytes=50] [runs=7] [big megabytes=500] [text megabytes=100]

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

#include "bench/bench_abab.h"
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

// ---- the walks -----------------------------------------------------------------

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

// The buffers of the copy-out forms: 255 and 4095 characters and a terminator.
constexpr int32_t kNameMax = 255;
constexpr int32_t kValueMax = 4095;
char g_name[kNameMax + 1];
char g_value[kValueMax + 1];

bool WalkReaderPointers(const std::string &path, Tally &t) {
    QZ_XmlReader r;
    QZ_XMLReaderInit(&r);
    QZ_XMLReaderSetNodeEncoding(&r, "UTF-8");
    if (!QZ_XMLReaderOpen(&r, path.c_str())) return false;
    while (QZ_XMLReaderRead(&r)) t.Add(XMLReaderGetElementLocalName(&r), XMLReaderGetValue(&r));
    const bool ok = QZ_XMLReaderErrorCode(&r) == 0;
    QZ_XMLReaderClear(&r);
    return ok;
}

// The buffer forms (qualified name and value), as generated programs read
// documents; "ANSI" or "UTF-8" node encoding.
bool WalkReaderBuffers(const std::string &path, const char *encoding, Tally &t) {
    QZ_XmlReader r;
    QZ_XMLReaderInit(&r);
    QZ_XMLReaderSetNodeEncoding(&r, encoding);
    if (!QZ_XMLReaderOpen(&r, path.c_str())) return false;
    while (QZ_XMLReaderRead(&r)) {
        QZ_XMLReaderGetElementName(&r, g_name, kNameMax);
        QZ_XMLReaderGetValue(&r, g_value, kValueMax);
        t.Add(g_name, g_value);
    }
    const bool ok = QZ_XMLReaderErrorCode(&r) == 0;
    QZ_XMLReaderClear(&r);
    return ok;
}

// The peer's copy-out: at most max bytes of UTF-8 and a terminator.
void CopyOut(char *out, const char *in, size_t max) {
    size_t n = 0;
    if (in != nullptr)
        for (; n < max && in[n] != '\0'; ++n) out[n] = in[n];
    out[n] = '\0';
}

// The peer's conversion to Windows-1252: what the reader's ANSI node
// encoding does (80-9F through the table, other code points below 100 as
// themselves, "?" for the rest), at most max characters and a terminator.
const uint16_t kHigh1252[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
void ToWindows1252(char *out, const char *text, size_t max) {
    const auto *in = reinterpret_cast<const unsigned char *>(text != nullptr ? text : "");
    size_t n = 0;
    while (n < max && *in != 0) {
        const unsigned c = *in;
        if (c < 0x80) {
            out[n++] = static_cast<char>(c);
            ++in;
            continue;
        }
        unsigned cp = '?';
        int length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        if (length == 2 && in[1] != 0)
            cp = (c & 0x1F) << 6 | (in[1] & 0x3F);
        else if (length == 3 && in[1] != 0 && in[2] != 0)
            cp = (c & 0x0F) << 12 | (in[1] & 0x3F) << 6 | (in[2] & 0x3F);
        for (int i = 1; i < length && in[1] != 0; ++i) ++in;
        ++in;
        char byte = '?';
        if (cp < 0x80 || (cp >= 0xA0 && cp < 0x100)) {
            byte = static_cast<char>(cp);
        } else {
            for (int i = 0; i < 32; ++i)
                if (kHigh1252[i] == cp) byte = static_cast<char>(0x80 + i);
        }
        out[n++] = byte;
    }
    out[n] = '\0';
}

bool WalkLibxml2Pointers(const std::string &path, Tally &t) {
    xmlTextReaderPtr r = xmlReaderForFile(path.c_str(), nullptr, XML_PARSE_HUGE);
    if (r == nullptr) return false;
    int rc;
    while ((rc = xmlTextReaderRead(r)) == 1)
        t.Add(reinterpret_cast<const char *>(xmlTextReaderConstLocalName(r)),
              reinterpret_cast<const char *>(xmlTextReaderConstValue(r)));
    xmlFreeTextReader(r);
    return rc == 0;
}

bool WalkLibxml2Buffers(const std::string &path, bool ansi, Tally &t) {
    xmlTextReaderPtr r = xmlReaderForFile(path.c_str(), nullptr, XML_PARSE_HUGE);
    if (r == nullptr) return false;
    int rc;
    while ((rc = xmlTextReaderRead(r)) == 1) {
        const auto *name = reinterpret_cast<const char *>(xmlTextReaderConstName(r));
        const auto *value = reinterpret_cast<const char *>(xmlTextReaderConstValue(r));
        if (ansi) {
            ToWindows1252(g_name, name, kNameMax);
            ToWindows1252(g_value, value, kValueMax);
        } else {
            CopyOut(g_name, name, kNameMax);
            CopyOut(g_value, value, kValueMax);
        }
        t.Add(g_name, g_value);
    }
    xmlFreeTextReader(r);
    return rc == 0;
}

void XMLCALL NoStart(void *, const XML_Char *, const XML_Char **) {}
void XMLCALL NoEnd(void *, const XML_Char *) {}
void XMLCALL NoText(void *, const XML_Char *, int) {}
void XMLCALL NoComment(void *, const XML_Char *) {}

bool WalkExpat(const std::string &path, Tally &t) {
    FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    XML_Parser p = XML_ParserCreateNS(nullptr, '\r');
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

// ---- measuring -------------------------------------------------------------

struct Result {
    double seconds = 0;
    long peakKb = 0;
    unsigned long nodes = 0;
    bool ok = false;
};

// Runs the walk in a child process: its CPU time (user + system; the machine
// is shared and the walks are CPU bound) and its own peak RSS.
Result Measure(const std::function<bool(Tally &)> &walk) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        Tally t;
        Result r;
        r.ok = walk(t);
        r.nodes = t.nodes;
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
    r.seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    if (!r.ok) std::printf("  walk FAILED\n");
    return r;
}

// One side of an alternation: the seconds of a measured run; the last run's
// figures stay in *last.
std::function<double()> Timed(const std::function<bool(Tally &)> &walk, Result *last = nullptr) {
    return [walk, last] {
        const Result r = Measure(walk);
        if (last != nullptr) *last = r;
        return r.seconds;
    };
}

double MedianOf(int runs, const std::function<bool(Tally &)> &walk, long *peakKb = nullptr) {
    std::vector<double> seconds;
    for (int i = 0; i < runs; ++i) {
        const Result r = Measure(walk);
        seconds.push_back(r.seconds);
        if (peakKb != nullptr) *peakKb = std::max(*peakKb, r.peakKb);
    }
    return qzbench::Median(seconds);
}

} // namespace

int main(int argc, char **argv) {
    const size_t mb = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 50;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
    const size_t bigMb = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 500;
    const size_t textMb = argc > 4 ? std::strtoul(argv[4], nullptr, 10) : 100;
    xmlInitParser();

    const std::string doc = TempPath("records");
    WriteRecords(doc, mb);
    const std::string size = std::to_string(mb) + " MB";
    std::printf("document of %s, node by node (name and value of every node), CPU seconds per walk:\n", size.c_str());
    Result reader, peer;
    qzbench::Alternate("xmlreader " + size + " walk, pointer forms, UTF-8", "libxml2 xmlTextReader const getters",
                       runs, 0, Timed([&](Tally &t) { return WalkReaderPointers(doc, t); }, &reader),
                       Timed([&](Tally &t) { return WalkLibxml2Pointers(doc, t); }, &peer));
    std::printf("  nodes: reader %lu, libxml2 %lu; peak %ld KB vs %ld KB\n", reader.nodes, peer.nodes, reader.peakKb,
                peer.peakKb);
    qzbench::Alternate("xmlreader " + size + " walk, buffer forms, UTF-8", "libxml2 xmlTextReader copying out",
                       runs, 0, Timed([&](Tally &t) { return WalkReaderBuffers(doc, "UTF-8", t); }),
                       Timed([&](Tally &t) { return WalkLibxml2Buffers(doc, false, t); }));
    qzbench::Alternate("xmlreader " + size + " walk, buffer forms, ANSI", "libxml2 xmlTextReader to Windows-1252",
                       runs, 0.9, Timed([&](Tally &t) { return WalkReaderBuffers(doc, "ANSI", t); }),
                       Timed([&](Tally &t) { return WalkLibxml2Buffers(doc, true, t); }));
    qzbench::Alternate("xmlreader " + size + " walk, pointer forms, UTF-8", "raw expat, namespaces, no-op handlers",
                       runs, 0, Timed([&](Tally &t) { return WalkReaderPointers(doc, t); }),
                       Timed([&](Tally &t) { return WalkExpat(doc, t); }));

    if (bigMb > 0) {
        const std::string big = TempPath("big");
        WriteRecords(big, bigMb);
        long smallPeak = 0;
        long bigPeak = 0;
        const double small = MedianOf(1, [&](Tally &t) { return WalkReaderPointers(doc, t); }, &smallPeak);
        const double large = MedianOf(1, [&](Tally &t) { return WalkReaderPointers(big, t); }, &bigPeak);
        std::printf("peak memory, %zu MB against %zu MB document: %ld KB vs %ld KB (%.2fx); time %.2fx (size %.1fx)\n",
                    mb, bigMb, smallPeak, bigPeak, static_cast<double>(bigPeak) / static_cast<double>(smallPeak),
                    large / small, static_cast<double>(bigMb) / static_cast<double>(mb));
        std::remove(big.c_str());
    }
    std::remove(doc.c_str());

    if (textMb > 0) {
        const std::string text = TempPath("text");
        const std::string tenth = TempPath("text10");
        WriteOneText(text, textMb);
        WriteOneText(tenth, textMb / 10 != 0 ? textMb / 10 : 1);
        const double whole = MedianOf(runs, [&](Tally &t) { return WalkReaderPointers(text, t); });
        const double part = MedianOf(runs, [&](Tally &t) { return WalkReaderPointers(tenth, t); });
        std::printf("one text node of %zu MB (ChunkText off): %.3f s, a tenth of it %.3f s: ratio %.2f (linear: 10)\n",
                    textMb, whole, part, whole / part);
        std::remove(text.c_str());
        std::remove(tenth.c_str());
    }
    xmlCleanupParser();
    return 0;
}
