// The writer's UTF-8 output: the table of ready UTF-8 sequences and its converter, every
// output form (string buffer, caller's buffer, file, borrowed stream, caller's handlers)
// against the ANSI document converted with ansiToUTF8, the 1024-byte chunks that the caller's
// handlers see, and the collecting block of the stock handlers (growth, failures).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "qz/qzconv.h"
#include "qz/qzpgmmem.h"
#include "runtime/qzpgmmem_testing.h"
#include "test_xmlwriter_support.h"
#include "xml/qzconv_utf8table.h"

namespace {

using qzxmltest::StringWriter;

// The reference: the exported encoder over the whole text at once.
std::string referenceUtf8(const std::string &ansi) {
    std::string out(ansi.size() * 3 + 1, '\0');
    int32_t capacity = static_cast<int32_t>(out.size());
    const int32_t n = ansiToUTF8(out.data(), ansi.data(), static_cast<int32_t>(ansi.size()), &capacity);
    EXPECT_EQ(capacity, static_cast<int32_t>(ansi.size()));
    out.resize(static_cast<size_t>(n));
    return out;
}

std::string everyByte(int from = 0) {
    std::string s;
    for (int b = from; b < 256; ++b) s += static_cast<char>(b);
    return s;
}

TEST(XmlWriterUtf8Table, EveryEntryIsTheConversionOfItsByte) {
    for (int b = 0; b < 256; ++b) {
        const std::string expected = referenceUtf8(std::string(1, static_cast<char>(b)));
        const qz::conv::AnsiUtf8 &e = qz::conv::kAnsiUtf8[b];
        ASSERT_EQ(e.length, expected.size()) << "byte " << b;
        EXPECT_EQ(std::string(reinterpret_cast<const char *>(e.bytes), e.length), expected) << "byte " << b;
    }
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(qz::conv::kAnsiUtf8[0x80].bytes), 3), "\xE2\x82\xAC");
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(qz::conv::kAnsiUtf8[0xE9].bytes), 2), "\xC3\xA9");
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(qz::conv::kAnsiUtf8[0x81].bytes), 2), "\xC2\x81");
}

// The converter gives what ansiToUTF8 gives at every room, and never writes past the room.
TEST(XmlWriterUtf8Table, ConverterMatchesAnsiToUtf8AtEveryRoom) {
    std::vector<std::string> inputs = {everyByte(), "", "\x80", std::string(64, 'a')};
    for (int offset = 0; offset < 9; ++offset) // a three-byte character at every place of an 8-byte block
        inputs.push_back(std::string(static_cast<size_t>(offset), 'x') + "\x80" + std::string(20, 'y') + "\xE9z");
    std::mt19937 random(20240611);
    for (int i = 0; i < 20; ++i) {
        std::string s;
        for (int k = 0; k < 90; ++k) {
            const unsigned r = random() % 10;
            s += static_cast<char>(r < 6 ? 'a' + random() % 26 : (r < 8 ? 0x80 + random() % 32 : 0xA0 + random() % 96));
        }
        inputs.push_back(s);
    }
    constexpr unsigned char kSentinel = 0xA5;
    for (const std::string &in : inputs) {
        const auto length = static_cast<int32_t>(in.size());
        for (int32_t room = 0; room <= 3 * length + 9; ++room) {
            std::string expected(static_cast<size_t>(room) + 1, '\0');
            int32_t expectedConsumed = room;
            const int32_t expectedBytes = ansiToUTF8(expected.data(), in.data(), length, &expectedConsumed);
            std::vector<unsigned char> out(static_cast<size_t>(room) + 16, kSentinel);
            int32_t consumed = -1;
            const int32_t bytes =
                qz::conv::ansiToUtf8Fit(reinterpret_cast<char *>(out.data()), room, in.data(), length, &consumed);
            ASSERT_EQ(bytes, expectedBytes) << "room " << room;
            ASSERT_EQ(consumed, expectedConsumed) << "room " << room;
            ASSERT_EQ(std::memcmp(out.data(), expected.data(), static_cast<size_t>(bytes)), 0) << "room " << room;
            ASSERT_TRUE(std::all_of(out.begin() + room, out.end(), [](unsigned char c) { return c == kSentinel; }))
                << "written past the room " << room;
        }
    }
}

// One document that reaches every kind of output call: names, markup, escaped text with
// every byte, a long raw text whose three-byte characters fall on every block edge.
void writeSample(QZ_XmlWriter *w) {
    QZ_xmlbeginelement(w, "r\xE9sum\xE9");
    QZ_xmlattstr(w, "a\x80", everyByte(0x80).c_str());
    QZ_xmlbeginelementNS(w, "c", "p\xF6", "urn:\xE9t\xE9");
    QZ_xmltext(w, everyByte(1).c_str());
    QZ_xmlvaluestr(w, "v", "\x80 & \x9F \xFF");
    QZ_xmlcomment(w, "\xA9 2024");
    QZ_xmlcdata(w, "\xE9]]>\x80");
    QZ_xmlprocessinginstruction(w, "pi", "\xE0 la");
    std::string big;
    for (int i = 0; big.size() < 30000; ++i) big += std::string(static_cast<size_t>(i % 7), 'x') + "\x80\xE9";
    QZ_xmlraw(w, big.c_str());
    QZ_xmltext(w, big.c_str());
    QZ_xmlendelement(w);
    QZ_xmlendelement(w);
}

std::string ansiSample() {
    StringWriter s;
    writeSample(&s.w);
    return s.finish();
}

std::string slurp(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

struct Chunks {
    std::vector<std::string> writes;
    std::string all() const {
        std::string s;
        for (const std::string &w : writes) s += w;
        return s;
    }
};
Chunks *chunks = nullptr;
int chunksOpen(void **handle, const char *) {
    *handle = chunks;
    return 1;
}
int chunksWrite(void *handle, const char *bytes, uint32_t count) {
    static_cast<Chunks *>(handle)->writes.emplace_back(bytes, count);
    return 1;
}
void chunksClose(void *) {}

// Whether a chunk ends on a character boundary of well-formed UTF-8.
bool endsOnCharacter(const std::string &chunk) {
    size_t i = 0;
    while (i < chunk.size()) {
        const auto lead = static_cast<unsigned char>(chunk[i]);
        const size_t n = lead < 0x80 ? 1 : (lead >= 0xE0 ? 3 : 2);
        if (i + n > chunk.size()) return false;
        i += n;
    }
    return true;
}

TEST(XmlWriterUtf8, EveryOutputFormGetsTheConvertedAnsiDocument) {
    const std::string expected = referenceUtf8(ansiSample());
    ASSERT_GT(expected.size(), 3u * QZ_XML_FILE_BUFFER);

    { // the writer's own string buffer
        StringWriter s;
        QZ_xmlsetencoding(&s.w, "UTF-8");
        writeSample(&s.w);
        EXPECT_EQ(s.finish(), expected);
    }
    { // a caller's buffer
        QZ_XmlWriter w{};
        ASSERT_EQ(QZ_xmlinit(&w), 0);
        QZ_Buffer mem{};
        ASSERT_EQ(QZ_Buffer_Init(&mem, 16, 16), 1);
        ASSERT_EQ(QZ_xmlstartMemBuf(&w, &mem), 0);
        QZ_xmlsetencoding(&w, "utf-8");
        writeSample(&w);
        QZ_xmlend(&w);
        EXPECT_EQ(QZ_xmlgeterrcode(&w), 0);
        ASSERT_EQ(mem.used, expected.size() + 1);
        EXPECT_EQ(std::string(reinterpret_cast<char *>(mem.data), mem.used - 1), expected);
        QZ_Buffer_Free(&mem);
        QZ_xmlclear(&w);
    }
    const std::string path = ::testing::TempDir() + "/qzxmlwriter_utf8.xml";
    { // a file of the default handlers
        QZ_XmlWriter w{};
        ASSERT_EQ(QZ_xmlinit(&w), 0);
        ASSERT_EQ(QZ_xmlstart(&w, path.c_str()), 0);
        QZ_xmlsetencoding(&w, "UTF-8");
        writeSample(&w);
        QZ_xmlend(&w);
        EXPECT_EQ(QZ_xmlgeterrcode(&w), 0);
        EXPECT_EQ(slurp(path), expected);
        QZ_xmlclear(&w);
    }
    { // a stream the caller owns, with the caller's own bytes between operations
        FILE *fp = std::fopen(path.c_str(), "w");
        ASSERT_NE(fp, nullptr);
        QZ_XmlWriter w{};
        ASSERT_EQ(QZ_xmlinit(&w), 0);
        ASSERT_EQ(QZ_xmlstartOnFile(&w, fp), 0);
        QZ_xmlsetencoding(&w, "UTF-8");
        QZ_xmlraw(&w, "\xE9");
        std::fputs("|", fp);
        writeSample(&w);
        QZ_xmlend(&w);
        std::fclose(fp);
        EXPECT_EQ(slurp(path), "\xC3\xA9|" + expected);
        QZ_xmlclear(&w);
    }
    std::remove(path.c_str());
    { // the caller's handlers: the same bytes, in chunks of whole characters
        Chunks c;
        chunks = &c;
        QZ_XmlWriter w{};
        ASSERT_EQ(QZ_xmlwriterinit(&w, chunksOpen, chunksWrite, chunksClose), 0);
        QZ_xmlsetencoding(&w, "UTF-8");
        writeSample(&w);
        QZ_xmlend(&w);
        EXPECT_EQ(c.all(), expected);
        for (const std::string &chunk : c.writes) {
            ASSERT_LE(chunk.size(), 1024u);
            ASSERT_TRUE(endsOnCharacter(chunk));
        }
        QZ_xmlclear(&w);
    }
}

std::vector<size_t> chunkSizes(const std::string &raw) {
    Chunks c;
    chunks = &c;
    QZ_XmlWriter w{};
    EXPECT_EQ(QZ_xmlwriterinit(&w, chunksOpen, chunksWrite, chunksClose), 0);
    QZ_xmlsetencoding(&w, "UTF-8");
    QZ_xmlraw(&w, raw.c_str());
    QZ_xmlend(&w);
    QZ_xmlclear(&w);
    std::vector<size_t> sizes;
    for (const std::string &chunk : c.writes) sizes.push_back(chunk.size());
    return sizes;
}

TEST(XmlWriterUtf8, HandlerChunksEndBeforeTheFirstCharacterThatDoesNotFit) {
    using Sizes = std::vector<size_t>;
    std::string euros;
    for (int i = 0; i < 1000; ++i) euros += "\x80";
    EXPECT_EQ(chunkSizes(euros), (Sizes{1023, 1023, 954})); // 341 + 341 + 318 characters
    std::string accents = "a";
    for (int i = 0; i < 1000; ++i) accents += "\xE9";
    EXPECT_EQ(chunkSizes(accents), (Sizes{1023, 978})); // 512 + 489 characters
    EXPECT_EQ(chunkSizes(std::string(1024, 'x')), (Sizes{1024}));
    EXPECT_EQ(chunkSizes(std::string(1025, 'x')), (Sizes{1024, 1}));
    EXPECT_EQ(chunkSizes(""), (Sizes{0})); // still one call, of no bytes
}

// Escaped text goes out one character at a time; the string buffer still grows by the
// collecting block, not by one growth step per kilobyte of text.
TEST(XmlWriterUtf8, StringBufferGrowsByWholeBlocks) {
    std::string text;
    while (text.size() < 1000000) text += "plain words & \xE9l\xE8ves < \x80 ";
    for (const char *encoding : {"ISO-8859-1", "UTF-8"}) {
        StringWriter s;
        QZ_xmlsetencoding(&s.w, encoding);
        QZ_xmlbeginelement(&s.w, "t");
        qz_MemPool_FailAllocation(0); // counts from here
        ASSERT_EQ(QZ_xmltext(&s.w, text.c_str()), 0);
        const int64_t allocations = qz_MemPool_AllocationsCounted();
        uint32_t used = 0;
        QZ_xmlgetInternalResultingString(&s.w, &used);
        ASSERT_GT(used, 1000000u);
        EXPECT_LE(allocations, static_cast<int64_t>(used / QZ_XML_FILE_BUFFER) + 2) << encoding;
    }
}

// Every allocation of the growing string buffer may fail: the writer then stops with an
// output error, ends cleanly, and what the buffer holds is a beginning of the document.
TEST(XmlWriterUtf8, StringBufferFailuresStopWithAnOutputErrorAndKeepAPrefix) {
    std::string full;
    int64_t allocations = 0;
    {
        StringWriter s;
        QZ_xmlsetencoding(&s.w, "UTF-8");
        qz_MemPool_FailAllocation(0);
        writeSample(&s.w);
        QZ_xmlend(&s.w);
        allocations = qz_MemPool_AllocationsCounted();
        uint32_t n = 0;
        full = QZ_xmlgetInternalResultingString(&s.w, &n);
    }
    ASSERT_GT(allocations, 2);
    for (int64_t nth = 1; nth <= allocations; ++nth) {
        StringWriter s;
        QZ_xmlsetencoding(&s.w, "UTF-8");
        qz_MemPool_FailAllocation(nth);
        writeSample(&s.w);
        const int16_t error = QZ_xmlgeterrcode(&s.w);
        QZ_xmlend(&s.w);
        qz_MemPool_FailAllocation(0);
        uint32_t n = 0;
        const char *held = QZ_xmlgetInternalResultingString(&s.w, &n);
        const std::string got = held != nullptr ? std::string(held, strnlen(held, n)) : "";
        if (error == 0) { // only the terminator could not be added, which close may ignore
            EXPECT_EQ(got, full) << "allocation " << nth;
            continue;
        }
        EXPECT_TRUE(error == QZ_XML_ERR_OUTPUT || error == QZ_XML_ERR_ALLOC) << "allocation " << nth << ": " << error;
        EXPECT_LT(got.size(), full.size()) << "allocation " << nth;
        EXPECT_EQ(full.compare(0, got.size(), got), 0) << "allocation " << nth;
    }
}

TEST(XmlWriterUtf8, FailingFileWritesAreAnOutputError) {
    QZ_XmlWriter w{};
    ASSERT_EQ(QZ_xmlinit(&w), 0);
    ASSERT_EQ(QZ_xmlstart(&w, "/dev/full"), 0);
    QZ_xmlsetencoding(&w, "UTF-8");
    QZ_xmlbeginelement(&w, "r");
    EXPECT_EQ(QZ_xmltext(&w, std::string(3 * QZ_XML_FILE_BUFFER, '\xE9').c_str()), QZ_XML_ERR_OUTPUT);
    EXPECT_EQ(QZ_xmltext(&w, "more"), QZ_XML_ERR_OUTPUT);
    EXPECT_EQ(QZ_xmlend(&w), 0);
    QZ_xmlclear(&w);
}

} // namespace
