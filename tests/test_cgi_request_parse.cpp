// The CGI request in-process: form-variable decoding and the table, program
// parameters, URL decoding, browser and secure detection, the body accessors.

#include "qz/qzhttprequest.h"
#include "qz/qzpgmmem.h"
#include "qz/qzxmlreader.h"
#include "qz/qztrace.h"
#include "test_cgi_stdin.h"
#include "test_core_env.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

// A request record on the heap (it holds the two-megabyte variable table).
struct Request {
    std::unique_ptr<QZ_HTTP_SrvReq> r = std::make_unique<QZ_HTTP_SrvReq>();
    Request() { QZ_HTTP_SrvReq_Init(r.get()); }
    ~Request() { QZ_HTTP_SrvReq_Free(r.get()); }
    QZ_HTTP_SrvReq *operator->() { return r.get(); }
    QZ_HTTP_SrvReq *get() { return r.get(); }
    void parse(const std::string &body, const char *method = "POST") {
        QZ_CStr_SetText(&r->content, body.c_str());
        ParseVariables(&r->variables, r->content.data, method, static_cast<int32_t>(body.size()));
    }
    std::string var(const char *name) { return QZ_HTTP_SrvReq_GetVariable(r.get(), name); }
    std::string param() {
        char buffer[1025];
        return QZ_HTTP_SrvReq_GetParameter(r.get(), buffer, 1024);
    }
};

const char *kCgiVariables[] = {"REQUEST_METHOD", "CONTENT_LENGTH", "QUERY_STRING", "HTTPS",
                               "SERVER_PORT_SECURE", "SERVER_PORT", "HTTP_USER_AGENT",
                               "HTTP_ACCEPT", "HTTP_COOKIE", "SCRIPT_NAME", "SERVER_NAME"};

// Reads the environment only (no CONTENT_LENGTH, so standard input is never touched).
class EnvRequest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char *name : kCgiVariables) unsetenv(name);
    }
    void TearDown() override {
        for (const char *name : kCgiVariables) unsetenv(name);
    }
};

std::string readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

TEST(CgiFormVariables, PairsDuplicatesAndEmptyParts) {
    Request req;
    req.parse("Name=J%F6rg+Smith&name=X&a=&b=2&=lost&c");
    ASSERT_EQ(req->variables.count, 2u);
    // The duplicate replaces the value, matched without case; the first form of the name stays.
    EXPECT_STREQ(req->variables.names[0], "Name");
    EXPECT_EQ(req.var("NAME"), "X");
    EXPECT_EQ(req.var("b"), "2");
    EXPECT_EQ(req.var("a"), "");
    EXPECT_EQ(req.var("absent"), "");
}

// A duplicated variable is traced at the default level: an encoded line feed in
// its value must not write a line of its own that passes for another process's.
TEST(CgiFormVariables, EncodedLineFeedsCannotForgeTraceRecords) {
    qztest::TraceCapture trace(0);
    Request req;
    req.parse("a=1&A=x%0A00000000001+forged%0D%0Aagain%0Dend");
    EXPECT_EQ(req.var("a"), "x\n00000000001 forged\nagain\rend");
    EXPECT_EQ(trace.messages(),
              std::vector<std::string>{"1 DUPLICATED ->A=x\\n00000000001 forged\\nagain\\rend"});
}

TEST(CgiFormVariables, AmpersandInNameAndEqualsInValueAreOrdinary) {
    Request req;
    req.parse("a&b=1&x=b=c");
    EXPECT_EQ(req.var("a&b"), "1");
    EXPECT_EQ(req.var("x"), "b=c");
}

TEST(CgiFormVariables, EscapesInValues) {
    Request req;
    req.parse("crlf=1%0D%0A2&cr=1%0D2&bell=1%072&del=1%7F2&nbsp=1%A02&lower=%0d%0a&tail=x%4");
    EXPECT_EQ(req.var("crlf"), "1\n2");
    EXPECT_EQ(req.var("cr"), "1\r2");
    EXPECT_EQ(req.var("bell"), "1 2");
    EXPECT_EQ(req.var("del"), "1");
    EXPECT_EQ(req.var("nbsp"), "1 2");
    EXPECT_EQ(req.var("lower"), "\n");
    EXPECT_EQ(req.var("tail"), "x%4");
    Request lone;
    lone.parse("p=%");
    EXPECT_EQ(lone.var("p"), "%");
}

TEST(CgiFormVariables, NonHexEscapeIsBlankAndHighBytesPass) {
    Request req;
    req.parse("a=x%zzy&b=%E9t%E9&c=%4gh");
    EXPECT_EQ(req.var("a"), "x y");
    EXPECT_EQ(req.var("b"), "\xE9t\xE9");
    EXPECT_EQ(req.var("c"), " h"); // "%4g" is the byte 4, written as a blank
}

TEST(CgiFormVariables, OnlyPostBodiesAreParsed) {
    Request get;
    get.parse("a=1&b=2", "GET");
    EXPECT_EQ(get->variables.count, 0u);
    Request lower;
    lower.parse("a=1", "post");
    EXPECT_EQ(lower.var("a"), "1");
}

TEST(CgiFormVariables, LongNamesAreCutAndComparedOn255Characters) {
    Request req;
    const std::string longName(300, 'n');
    req.parse(longName + "=1&" + std::string(255, 'N') + "x=2");
    ASSERT_EQ(req->variables.count, 1u);
    EXPECT_EQ(std::string(req->variables.names[0]), std::string(255, 'n'));
    EXPECT_EQ(req.var(longName.c_str()), "2");
}

TEST(CgiFormVariables, TableDropsSurplusAndUpdateReplaces) {
    Request req;
    std::string body;
    for (int i = 0; i < 9000; ++i) body += "k" + std::to_string(i) + "=" + std::to_string(i) + "&";
    req.parse(body);
    ASSERT_EQ(req->variables.count, 8192u);
    EXPECT_EQ(req.var("K8191"), "8191");
    EXPECT_EQ(req.var("k8192"), "");
    QZ_HTTP_SrvReq_UpdateVariable(req.get(), "k5", "five");
    QZ_HTTP_SrvReq_UpdateVariable(req.get(), "new", "dropped: the table is full");
    QZ_HTTP_SrvReq_UpdateVariable(req.get(), "k6", "");
    EXPECT_EQ(req.var("k5"), "five");
    EXPECT_EQ(req.var("new"), "");
    EXPECT_EQ(req.var("k6"), "6");

    Request small;
    QZ_HTTP_SrvReq_UpdateVariable(small.get(), "sCallerURL", "http://x/");
    EXPECT_EQ(small.var("scallerurl"), "http://x/");
}

// A table is set up without clearing its index (a GET never needs it): memory
// left over from something else must read as an empty table, and the first
// variable prepares the index.
TEST(CgiFormVariables, TableOverLeftoverMemoryStartsEmpty) {
    auto table = std::make_unique<QZ_HTTP_VarTable>();
    std::memset(static_cast<void *>(table.get()), 0xA5, sizeof *table);
    QZ_HTTP_VarTable_Init(table.get());
    EXPECT_EQ(QZ_HTTP_VarTable_Find(table.get(), "anything"), 0u);
    ParseVariables(table.get(), "a=1&b=2&A=3", "POST", 11);
    ASSERT_EQ(table->count, 2u);
    EXPECT_EQ(QZ_HTTP_VarTable_Find(table.get(), "B"), 1u);
    EXPECT_STREQ(table->values[0], "3");
    EXPECT_EQ(QZ_HTTP_VarTable_Find(table.get(), "c"), 2u);
    // Parsing again starts from an empty table, the index prepared once more.
    ParseVariables(table.get(), "c=4", "POST", 3);
    EXPECT_EQ(table->count, 1u);
    EXPECT_EQ(QZ_HTTP_VarTable_Find(table.get(), "a"), 1u);
    EXPECT_EQ(QZ_HTTP_VarTable_Find(table.get(), "C"), 0u);
    ParseVariables(table.get(), "", "POST", 0);
}

TEST(CgiFormVariables, ParsingTwiceReleasesTheFirstValues) {
    QZ_MemPool *pool = QZ_GetDefaultPool();
    const uint32_t before = pool->count;
    {
        Request req;
        req.parse("a=1&b=2");
        req.parse("c=3");
        EXPECT_EQ(req.var("a"), "");
        EXPECT_EQ(req.var("c"), "3");
    }
    EXPECT_EQ(pool->count, before);
}

TEST(CgiUrlDecode, EscapesPlusAndTheEndOfText) {
    char out[QZ_URL_DECODE_MAX + 1];
    EXPECT_STREQ(QZ_UrlDecode(out, "a%20b+c%41"), "a b cA");
    EXPECT_STREQ(QZ_UrlDecode(out, "100%"), "100%");
    EXPECT_STREQ(QZ_UrlDecode(out, "%zz"), "%zz");
    EXPECT_STREQ(QZ_UrlDecode(out, "x%4"), "x\x04");
    EXPECT_STREQ(QZ_UrlDecode(out, "%4gh"), "\x04h"); // both characters after "%" are consumed
    const std::string longText(5000, 'a');
    EXPECT_EQ(std::string(QZ_UrlDecode(out, longText.c_str())).size(), size_t{QZ_URL_DECODE_MAX});
}

TEST_F(EnvRequest, ProgramParametersAreTakenOneByOne) {
    setenv("QUERY_STRING", "12,abc%20def,+x", 1);
    Request req;
    QZ_HTTP_SrvReq_Read(req.get(), 0);
    EXPECT_EQ(req.param(), "12");
    char text[QZ_URL_DECODE_MAX + 1];
    EXPECT_STREQ(QZ_HTTP_SrvReq_Get_QueryString(req.get(), text, 100), "12"); // cut at the taken comma
    EXPECT_EQ(req.param(), "abc def");
    EXPECT_EQ(req.param(), " x");
    EXPECT_EQ(req.param(), "");
    EXPECT_EQ(req.param(), "");
    QZ_HTTP_SrvReq_Set_QueryString(req.get(), "7,8");
    EXPECT_EQ(req.param(), "7");
    char small[4];
    QZ_HTTP_SrvReq_Set_QueryString(req.get(), "abcdef");
    EXPECT_STREQ(QZ_HTTP_SrvReq_GetParameter(req.get(), small, 3), "abc");
}

TEST_F(EnvRequest, GetQueryIsNeverParsedAsVariables) {
    setenv("QUERY_STRING", "a=1&b=2", 1);
    setenv("REQUEST_METHOD", "GET", 1);
    Request req;
    QZ_HTTP_SrvReq_Read(req.get(), 0);
    EXPECT_EQ(req->variables.count, 0u);
    EXPECT_EQ(req.param(), "a=1&b=2");
}

TEST_F(EnvRequest, SecureFlagRules) {
    struct Case {
        const char *https;
        const char *portSecure;
        int16_t expected;
    } cases[] = {{"on", nullptr, 1},  {"ON", "0", 1},     {"off", "1", 0},   {"OFF", nullptr, 0},
                 {"On", "1", 1},      {"On", nullptr, -1}, {nullptr, "0", 0}, {nullptr, "", -1},
                 {nullptr, "00", 1} /* byte-wise, "00" is greater than "0" */};
    for (const Case &c : cases) {
        unsetenv("HTTPS");
        unsetenv("SERVER_PORT_SECURE");
        if (c.https != nullptr) setenv("HTTPS", c.https, 1);
        if (c.portSecure != nullptr) setenv("SERVER_PORT_SECURE", c.portSecure, 1);
        Request req;
        QZ_HTTP_SrvReq_Read(req.get(), 0);
        EXPECT_EQ(QZ_HTTP_SrvReq_Get_Secure(req.get()), c.expected)
            << (c.https ? c.https : "-") << " " << (c.portSecure ? c.portSecure : "-");
    }
}

TEST_F(EnvRequest, PortAndNumbersOutOfRange) {
    Request absent;
    QZ_HTTP_SrvReq_Read(absent.get(), 0);
    EXPECT_EQ(absent->serverPort, -1);
    setenv("SERVER_PORT", "8080", 1);
    setenv("CONTENT_LENGTH", "-5", 1); // not positive: no body is read
    Request req;
    QZ_HTTP_SrvReq_Read(req.get(), 0);
    EXPECT_EQ(QZ_HTTP_SrvReq_Get_Port(req.get()), 8080);
    EXPECT_EQ(req->contentLength, -5);
    setenv("SERVER_PORT", "99999999999999999999", 1);
    setenv("CONTENT_LENGTH", "-99999999999999999999", 1);
    Request big;
    QZ_HTTP_SrvReq_Read(big.get(), 0);
    EXPECT_EQ(big->serverPort, INT32_MAX);
    EXPECT_EQ(big->contentLength, INT32_MIN);
    setenv("SERVER_PORT", "nan", 1);
    setenv("CONTENT_LENGTH", "inf", 1);
    Request words;
    QZ_HTTP_SrvReq_Read(words.get(), 0);
    EXPECT_EQ(words->serverPort, 0);
    EXPECT_EQ(words->contentLength, 0);
}

TEST_F(EnvRequest, BrowserKindVersionAndMarkup) {
    struct Case {
        const char *agent;
        int16_t kind;
        const char *version;
    } cases[] = {
        {"Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 5.0)", QZBROWSER_IE, " 5.5"},
        {"Mozilla/5.0 (X11; Linux)", QZBROWSER_MOZILLA, "5.0"},
        {"Mozilla/4.0 (compatible; Opera/7.0 x)", QZBROWSER_OPERA, "7.0"},
        {"Opera", QZBROWSER_OPERA, ""},
        {"UP.Browser/4.1-x", QZBROWSER_UP, "4.1"},
        {"UP.Browser/4.1", QZBROWSER_UP, ""},
        {"Lynx/2.8", QZBROWSER_OTHER, ""},
    };
    for (const Case &c : cases) {
        setenv("HTTP_USER_AGENT", c.agent, 1);
        Request req;
        QZ_HTTP_SrvReq_Read(req.get(), 0);
        EXPECT_EQ(QZ_HTTP_SrvReq_Get_BrowserKind(req.get()), c.kind) << c.agent;
        EXPECT_STREQ(QZ_HTTP_SrvReq_Get_BrowserVersion(req.get()), c.version) << c.agent;
    }
    setenv("HTTP_ACCEPT", "text/vnd.wap.wml", 1);
    Request wap;
    QZ_HTTP_SrvReq_Read(wap.get(), 0);
    EXPECT_EQ(QZ_HTTP_SrvReq_Get_DeviceMarkup(wap.get()), 1);
    setenv("HTTP_ACCEPT", "text/html, WAP", 1);
    Request html;
    QZ_HTTP_SrvReq_Read(html.get(), 0);
    EXPECT_EQ(QZ_HTTP_SrvReq_Get_DeviceMarkup(html.get()), 0);
}

TEST_F(EnvRequest, ScriptDirAndHeaders) {
    setenv("SCRIPT_NAME", "/cgi-bin/app/hwendle.exe", 1);
    setenv("HTTP_ACCEPT", "text/html", 1);
    Request req;
    QZ_HTTP_SrvReq_Read(req.get(), 0);
    char dir[64];
    EXPECT_STREQ(QZ_HTTP_SrvReq_Get_ScriptDir(req.get(), dir, 63), "/cgi-bin/app/");
    EXPECT_STREQ(QZ_HTTP_SrvReq_Get_ScriptDir(req.get(), dir, 4), "/cgi");
    EXPECT_STREQ(qz_HTTP_SrvReq_Get_Header(req.get(), "HTTP_ACCEPT"), "text/html");
    EXPECT_STREQ(qz_HTTP_SrvReq_Get_Header(req.get(), "HTTP_NOT_THERE"), "");
    setenv("SCRIPT_NAME", "hwendle.exe", 1);
    Request flat;
    QZ_HTTP_SrvReq_Read(flat.get(), 0);
    EXPECT_STREQ(QZ_HTTP_SrvReq_Get_ScriptDir(flat.get(), dir, 63), "");
}

TEST(CgiRequestBody, ReadContentSlicesTheBody) {
    Request req;
    req->contentLength = 10;
    QZ_CStr_SetText(&req->content, "abcdef");
    char buffer[8] = {};
    uint32_t got = 99;
    EXPECT_EQ(qz_HTTP_SrvReq_ReadContent(req.get(), buffer, 4, 0, &got), 1);
    EXPECT_EQ(std::string(buffer, got), "abcd");
    EXPECT_EQ(qz_HTTP_SrvReq_ReadContent(req.get(), buffer, 4, 4, &got), 1);
    EXPECT_EQ(std::string(buffer, got), "ef");
    EXPECT_EQ(qz_HTTP_SrvReq_ReadContent(req.get(), buffer, 4, 6, &got), 1);
    EXPECT_EQ(got, 0u);
    // CONTENT_LENGTH claimed 10 bytes, 6 arrived: offsets past what arrived are refused.
    EXPECT_EQ(qz_HTTP_SrvReq_ReadContent(req.get(), buffer, 4, 9, &got), 0);
    EXPECT_EQ(got, 0u);
    Request none;
    EXPECT_EQ(qz_HTTP_SrvReq_ReadContent(none.get(), buffer, 4, 0, &got), 0);
    EXPECT_STREQ(qz_HTTP_SrvReq_ToString(none.get()), "");
}

// Fewer bytes arrive than CONTENT_LENGTH claims: the parser still gets the
// claimed length (the content ends at what arrived), so its trace block reads
// the same whether the body is whole, short or missing.
TEST_F(EnvRequest, ShortBodyIsParsedWithTheClaimedLength) {
    setenv("REQUEST_METHOD", "POST", 1);
    setenv("CONTENT_LENGTH", "100", 1);
    for (const std::string &body : {std::string("a=1&b=2"), std::string()}) {
        qztest::TraceCapture trace(4);
        cgitest::StdinFrom input(body);
        Request req;
        QZ_HTTP_SrvReq_Read(req.get(), 0);
        EXPECT_EQ(req->contentLength, 100);
        EXPECT_EQ(req->content.length, body.size());
        EXPECT_EQ(req.var("b"), body.empty() ? "" : "2");
        std::vector<std::string> expected = {"ParseVariables", "Number of bytes to parsed 100.", ">>Variables in form"};
        if (!body.empty()) {
            expected.emplace_back("1 NEW->a=1");
            expected.emplace_back("2 NEW->b=2");
        }
        expected.emplace_back("<<End of variables in form.");
        EXPECT_EQ(trace.messages(), expected) << "body '" << body << "'";
    }
}

TEST(CgiRequestBody, ToFileWritesTheTextAndKeepsErrno) {
    Request req;
    req->contentLength = 5;
    QZ_CStr_SetText(&req->content, "a=1\n2");
    const std::string path = std::string(QZ_BINARY_DIR) + "/cgi_body_out.txt";
    EXPECT_EQ(qz_HTTP_SrvReq_ToFile(req.get(), path.c_str()), 0);
    EXPECT_EQ(readFile(path), "a=1\n2");
    EXPECT_EQ(req->lastFileError, 0);
    std::remove(path.c_str());
    EXPECT_EQ(qz_HTTP_SrvReq_ToFile(req.get(), "/nonexistent-dir/x.txt"), ENOENT);
    EXPECT_EQ(req->lastFileError, ENOENT);
}

TEST(CgiFormatting, SharedBufferAndColours) {
    EXPECT_STREQ(QZ_FormatInt(-12), "-12");
    EXPECT_STREQ(QZ_FormatLong(INT32_MIN), "-2147483648");
    EXPECT_STREQ(QZ_FormatDouble(2.5, 10, 3), "2.500");
    EXPECT_EQ(std::string(QZ_FormatDouble(1e300, 10, 2)).size(), 304u); // fits the shared buffer
    char colour[10];
    EXPECT_STREQ(QZ_FormatColor(colour, 16777215), "#FFFFFF");
    EXPECT_STREQ(QZ_FormatColor(colour, -1), "#FFFFFFFF");
    EXPECT_EQ(QZ_RGB(1, 2, 3), 65536 + 512 + 3);
    EXPECT_EQ(QZ_RGB(INT32_MAX, INT32_MAX, INT32_MAX), QZ_RGB(INT32_MAX, INT32_MAX, INT32_MAX));
}

TEST(CgiRequestBody, XmlReaderReadsTheBodyInSlices) {
    Request req;
    std::string body = "<order id=\"1\">";
    for (int i = 0; i < 2000; ++i) body += "<line/>"; // longer than one read block
    body += "</order>";
    req->contentLength = static_cast<int32_t>(body.size());
    QZ_CStr_SetText(&req->content, body.c_str());
    QZ_XmlReader reader;
    QZ_XMLReaderInit(&reader);
    ASSERT_EQ(QZ_XMLReader_OpenRequest(&reader, req.get()), 1);
    int elements = 0;
    std::string first;
    while (QZ_XMLReaderRead(&reader) != 0) {
        const char *name = XMLReaderGetElementLocalName(&reader);
        if (name != nullptr && *name != '\0') {
            if (first.empty()) first = name;
            ++elements;
        }
    }
    EXPECT_EQ(first, "order");
    EXPECT_GE(elements, 2001);
    QZ_XMLReaderClose(&reader);
    QZ_XMLReaderClear(&reader);
}
