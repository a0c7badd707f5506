// Limits, refusals, failing outputs and the writer's handler contract.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "test_xmlwriter_support.h"

namespace {

using qzxmltest::expectParsedAs;
using qzxmltest::StringWriter;

std::string description(QZ_XmlWriter *w, int16_t max = 40) {
    char buffer[64];
    return QZ_xmlgeterrdescription(w, buffer, max);
}

TEST(XmlWriterLimits, NamesValuesAndUrisAtAndOverTheirLimits) {
    const std::string name511(511, 'n');
    {
        StringWriter s;
        EXPECT_EQ(QZ_xmlbeginelement(&s.w, name511.c_str()), 0);
        EXPECT_EQ(QZ_xmlattstr(&s.w, name511.c_str(), std::string(1023, 'v').c_str()), 0);
        EXPECT_EQ(QZ_xmlbeginelementNS(&s.w, "c", "p", std::string(511, 'u').c_str()), 0);
        EXPECT_EQ(s.finish(), "<" + name511 + " " + name511 + "=\"" + std::string(1023, 'v') + "\">\n\t<p:c xmlns:p=\"" +
                                  std::string(511, 'u') + "\">\n\t</p:c>\n</" + name511 + ">\n");
    }
    struct Case {
        const char *what;
        int16_t code;
        std::string text;
    };
    const std::vector<Case> cases = {{"element", 2, "Name too large"},
                                     {"attribute name", 2, "Name too large"},
                                     {"attribute value", 3, "Value too large"},
                                     {"uri", 6, "URI too large"}};
    for (const Case &c : cases) {
        StringWriter s;
        QZ_XmlWriter *w = &s.w;
        QZ_xmlbeginelement(w, "root");
        int16_t rc = 0;
        const std::string what = c.what;
        if (what == "element") rc = QZ_xmlbeginelement(w, std::string(512, 'n').c_str());
        if (what == "attribute name") rc = QZ_xmlattstr(w, std::string(512, 'n').c_str(), "v");
        if (what == "attribute value") rc = QZ_xmlattstr(w, "a", std::string(1024, 'v').c_str());
        if (what == "uri") rc = QZ_xmlbeginelementNS(w, "c", "p", std::string(512, 'u').c_str());
        EXPECT_EQ(rc, c.code) << c.what;
        EXPECT_EQ(QZ_xmlgeterrcode(w), c.code);
        EXPECT_EQ(description(w), c.text);
        // The error is sticky: nothing more is written or added.
        EXPECT_EQ(QZ_xmltext(w, "more"), c.code);
        EXPECT_EQ(QZ_xmlvaluestr(w, "v", "x"), c.code);
        EXPECT_EQ(QZ_xmlendelement(w), c.code);
        uint32_t n = 0;
        QZ_xmlgetInternalResultingString(w, &n);
        EXPECT_EQ(n, (what == "element" || what == "uri") ? 7u : 0u) << c.what; // "<root>\n" or nothing
        EXPECT_EQ(QZ_xmlend(w), 0);
        EXPECT_EQ(w->started, 0);
    }
}

TEST(XmlWriterLimits, RefusedCommentsAndInstructionsStoreNoError) {
    StringWriter s;
    QZ_XmlWriter *w = &s.w;
    QZ_xmlbeginelement(w, "r");
    EXPECT_EQ(QZ_xmlcomment(w, "a--b"), 1);
    EXPECT_EQ(QZ_xmlcomment(w, "ends-"), 1); // would close as "--->"
    EXPECT_EQ(QZ_xmlprocessinginstruction(w, "t", "x?>y"), 1);
    EXPECT_EQ(QZ_xmlgeterrcode(w), 0);
    EXPECT_EQ(QZ_xmlcomment(w, "a-b"), 0);
    EXPECT_EQ(QZ_xmlprocessinginstruction(w, "t", "x?"), 0);
    EXPECT_EQ(s.finish(), "<r>\n<!--a-b-->\n<?t x?" "?>\n</r>\n");
}

TEST(XmlWriterErrors, TextsOfEveryCodeAndTheCutCopy) {
    StringWriter s;
    QZ_XmlWriter *w = &s.w;
    EXPECT_EQ(description(w), "No Error");
    EXPECT_EQ(QZ_xmlsetallocerror(w), 5);
    EXPECT_EQ(description(w), "Allocation error");
    w->errorCode = 1;
    EXPECT_EQ(description(w, 5), "Outpu");
    w->errorCode = 4;
    EXPECT_EQ(description(w), "Too many levels");
    w->errorCode = 77;
    EXPECT_EQ(description(w), "Unknown error");
    char buffer[4] = {'#', '#', '#', '#'};
    QZ_xmlgeterrdescription(w, buffer, 0);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_STREQ(QZ_xmlgetencoding(w, buffer, 3), "ISO");
    QZ_xmlsetencoding(w, "uTf-8");
    EXPECT_STREQ(QZ_xmlgetencoding(w, buffer, 3), "UTF");
    QZ_xmlsetencoding(w, "UTF-8 ");
    EXPECT_EQ(w->utf8, 0);
    QZ_xmlsetencoding(w, "UTF8");
    EXPECT_EQ(w->utf8, 0);
    EXPECT_STREQ(QZ_xmlgetindentationchar(w, buffer, 1), "\t");
    buffer[0] = '#';
    QZ_xmlgetindentationchar(w, buffer, 0);
    EXPECT_EQ(buffer[0], '#');
    // Another start clears a stored error.
    EXPECT_EQ(QZ_xmlOpenToString(w), 0);
    EXPECT_EQ(QZ_xmlgeterrcode(w), 0);
}

// Custom handlers that record every call and fail after a number of writes.
struct Recorder {
    std::vector<std::string> writes;
    std::vector<std::string> opened;
    int closes = 0;
    int failAfter = -1;
};
Recorder *recorder = nullptr;

int recOpen(void **handle, const char *name) {
    recorder->opened.emplace_back(name);
    *handle = recorder;
    return 1;
}
int recWrite(void *handle, const char *bytes, uint32_t count) {
    auto *r = static_cast<Recorder *>(handle);
    if (r->failAfter >= 0 && static_cast<int>(r->writes.size()) >= r->failAfter) return 0;
    r->writes.emplace_back(bytes, count);
    return 1;
}
void recClose(void *handle) { ++static_cast<Recorder *>(handle)->closes; }

TEST(XmlWriterHandlers, EscapedTextGoesOutOneCharacterOrEntityPerCall) {
    Recorder r;
    recorder = &r;
    QZ_XmlWriter w{};
    ASSERT_EQ(QZ_xmlwriterinit(&w, recOpen, recWrite, recClose), 0);
    QZ_xmlsetindentation(&w, 0);
    EXPECT_EQ(QZ_xmltext(&w, "a<b"), 0); // the first output starts the writer with an empty name
    ASSERT_EQ(r.opened.size(), 1u);
    EXPECT_EQ(r.opened[0], "");
    EXPECT_EQ(r.writes, (std::vector<std::string>{"a", "&lt;", "b"}));
    r.writes.clear();
    QZ_xmlbeginelement(&w, "e");
    QZ_xmlendelement(&w);
    // Indentation of depth 0 is still one write of no bytes.
    EXPECT_EQ(r.writes, (std::vector<std::string>{"", "<", "e", ">\n", "", "</", "e", ">\n"}));
    r.writes.clear();
    QZ_xmlsetencoding(&w, "UTF-8");
    QZ_xmltext(&w, "\xE9&");
    EXPECT_EQ(r.writes, (std::vector<std::string>{"\xC3\xA9", "&amp;"}));
    EXPECT_EQ(QZ_xmlend(&w), 0);
    EXPECT_EQ(r.closes, 1);
    QZ_xmlclear(&w);
}

TEST(XmlWriterHandlers, FailingWriteStopsTheWriterAndEndStillEnds) {
    Recorder r;
    recorder = &r;
    QZ_XmlWriter w{};
    ASSERT_EQ(QZ_xmlwriterinit(&w, recOpen, recWrite, recClose), 0);
    ASSERT_EQ(QZ_xmlstart(&w, "target"), 0);
    QZ_xmlbeginelement(&w, "a");
    QZ_xmlbeginelement(&w, "b");
    r.failAfter = static_cast<int>(r.writes.size()) + 2; // the flush of a fails after "<a"... partway
    EXPECT_EQ(QZ_xmlbeginelement(&w, "c"), 1);
    EXPECT_EQ(QZ_xmlgeterrcode(&w), 1);
    EXPECT_EQ(description(&w), "Output error");
    const size_t written = r.writes.size();
    EXPECT_EQ(QZ_xmltext(&w, "x"), 1);
    EXPECT_EQ(QZ_xmlend(&w), 0);
    EXPECT_EQ(r.writes.size(), written);
    EXPECT_EQ(r.closes, 1);
    EXPECT_EQ(w.started, 0);

    // A new start clears the error, and nothing of the old document is left.
    r.failAfter = -1;
    r.writes.clear();
    ASSERT_EQ(QZ_xmlstart(&w, "again"), 0);
    QZ_xmlvaluestr(&w, "n", "1");
    QZ_xmlend(&w);
    std::string all;
    for (const auto &s : r.writes) all += s;
    EXPECT_EQ(all, "<n>1</n>\n");
    QZ_xmlclear(&w);
}

TEST(XmlWriterHandlers, OpenFailureIsAnOutputError) {
    QZ_XmlWriter w{};
    ASSERT_EQ(QZ_xmlinit(&w), 0);
    EXPECT_EQ(QZ_xmlstart(&w, "/nonexistent-dir/x.xml"), 1);
    EXPECT_EQ(QZ_xmlgeterrcode(&w), 1);
    EXPECT_EQ(QZ_xmlbeginelement(&w, "a"), 1);
    QZ_xmlclear(&w);
}

std::string slurp(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TEST(XmlWriterHandlers, DefaultFileHandlersAndBorrowedStreams) {
    const std::string path = ::testing::TempDir() + "/qzxmlwriter_file.xml";
    QZ_XmlWriter w{};
    ASSERT_EQ(QZ_xmlinit(&w), 0);
    ASSERT_EQ(QZ_xmlstart(&w, path.c_str()), 0);
    QZ_xmlbeginelement(&w, "r");
    const std::string big(100000, 'x'); // more than one collected block
    QZ_xmltext(&w, big.c_str());
    QZ_xmltext(&w, "<&>");
    QZ_xmlend(&w);
    EXPECT_EQ(slurp(path), "<r>\n" + big + "&lt;&amp;&gt;</r>\n");
    expectParsedAs(slurp(path), "<r>T\"" + big + "<&>\"</r>");

    // On a stream the caller owns, bytes written between operations stay in order.
    FILE *fp = std::fopen(path.c_str(), "w");
    ASSERT_NE(fp, nullptr);
    ASSERT_EQ(QZ_xmlstartOnFile(&w, fp), 0);
    QZ_xmlbeginelement(&w, "r");
    QZ_xmltext(&w, "a");
    std::fputs("<!--direct-->", fp);
    QZ_xmltext(&w, "b");
    QZ_xmlend(&w); // flushes, does not close
    EXPECT_EQ(std::fputs("tail", fp) >= 0, true);
    std::fclose(fp);
    EXPECT_EQ(slurp(path), "<r>\na<!--direct-->b</r>\ntail");
    std::remove(path.c_str());
    QZ_xmlclear(&w);
}

TEST(XmlWriterStrings, StringBufferAndMemoryBuffers) {
    StringWriter s;
    QZ_XmlWriter *w = &s.w;
    QZ_xmlvaluestr(w, "a", "1");
    char out[8];
    EXPECT_STREQ(QZ_xmlgetResultingString(w, out, 7), ""); // a value element waits for the next event
    QZ_xmlraw(w, "");
    EXPECT_STREQ(QZ_xmlgetResultingString(w, out, 3), "<a>");
    EXPECT_STREQ(QZ_xmlgetResultingString(w, out, 7), "<a>1</a");
    QZ_xmlend(w);
    uint32_t n = 0;
    EXPECT_STREQ(QZ_xmlgetInternalResultingString(w, &n), "<a>1</a>\n");
    EXPECT_EQ(n, 10u); // the text and its terminator

    // A second string document starts clean.
    ASSERT_EQ(QZ_xmlOpenToString(w), 0);
    QZ_xmlvaluestr(w, "b", "2");
    EXPECT_EQ(s.finish(), "<b>2</b>\n");

    QZ_Buffer mem{};
    ASSERT_EQ(QZ_Buffer_Init(&mem, 16, 16), 1);
    ASSERT_EQ(QZ_xmlstartMemBuf(w, &mem), 0);
    QZ_xmlvaluestr(w, "c", std::string(100, 'z').c_str());
    QZ_xmlend(w);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(mem.data)), "<c>" + std::string(100, 'z') + "</c>\n");
    EXPECT_EQ(mem.used, 109u);
    QZ_Buffer_Free(&mem);

    QZ_XmlWriter none{};
    ASSERT_EQ(QZ_xmlinit(&none), 0);
    EXPECT_EQ(QZ_xmlgetInternalResultingString(&none, &n), nullptr);
    EXPECT_EQ(n, 0u);
    EXPECT_STREQ(QZ_xmlgetResultingString(&none, out, 7), "");
    QZ_xmlclear(&none);

    QZ_XmlWriter *made = QZ_xmlwritercreate();
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(QZ_xmlgetindentation(made), 1);
    EXPECT_EQ(QZ_xmlwriterdestroy(made), 0);
}

} // namespace
