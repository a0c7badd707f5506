// The response's exact bytes in every mode, redirects, file responses and
// the Set-Cookie lines, captured through a memory stream set as the output.

#include "qz/qzcookie.h"
#include "qz/qzdate.h"
#include "qz/qzhttp.h"
#include "qz/qzhttprequest.h"
#include "qz/qzpgmmem.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Capture {
    char *data = nullptr;
    size_t size = 0;
    FILE *stream = open_memstream(&data, &size);
    QZ_HTTP_Response r{};
    Capture() {
        QZ_HTTP_Response_Init(&r, "text/html");
        QZ_HTTP_Response_SetCtrlBlock(&r, stream);
    }
    ~Capture() {
        std::fclose(stream);
        std::free(data);
    }
    std::string end() {
        QZ_HTTP_Response_End(&r);
        std::fflush(stream);
        return std::string(data, size);
    }
};

struct Request {
    std::unique_ptr<QZ_HTTP_SrvReq> r = std::make_unique<QZ_HTTP_SrvReq>();
    Request(const char *server, int32_t port, const char *script) {
        QZ_HTTP_SrvReq_Init(r.get());
        QZ_CStr_SetText(&r->serverName, server);
        QZ_CStr_SetText(&r->scriptName, script);
        r->serverPort = port;
    }
    ~Request() { QZ_HTTP_SrvReq_Free(r.get()); }
};

void writeFile(const std::string &path, const std::string &bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

} // namespace

TEST(CgiResponse, DirectModeHeadersPrecedeTheBody) {
    Capture c;
    QZ_HTTP_Response_Write(&c.r, "hello");
    EXPECT_EQ(c.end(), "Status: 200 OK\nContent-type: text/html\r\n\nhello");

    Capture page;
    EXPECT_EQ(QZ_HTTP_Response_SetContentType(&page.r, "text/html"), 0);
    EXPECT_EQ(QZ_HTTP_Response_AddHeader(&page.r, "pragma", "no-cache"), 0);
    QZ_HTTP_Response_WriteLine(&page.r, "<html>");
    EXPECT_EQ(QZ_HTTP_Response_AddHeader(&page.r, "late", "not sent"), 0);
    EXPECT_EQ(QZ_HTTP_Response_SetContentType(&page.r, "text/plain"), 2); // output started
    EXPECT_EQ(page.end(), "Status: 200 OK\npragma: no-cache\nContent-type: text/html\r\n\n<html>\n");
}

TEST(CgiResponse, CachedModeSendsContentLengthAtTheEnd) {
    Capture c;
    QZ_HTTP_Response_SetCacheMode(&c.r, QZ_HTTP_MODE_CACHED);
    EXPECT_EQ(QZ_HTTP_Response_AddHeader(&c.r, "early", "1"), 0);
    const std::string body(1234, 'x');
    QZ_HTTP_Response_Write(&c.r, body.c_str());
    EXPECT_EQ(QZ_HTTP_Response_AddHeader(&c.r, "late", "2"), 0);
    EXPECT_EQ(QZ_HTTP_Response_SetCookie(&c.r, "n", "v", "", 0, 0, "", 0), 0);
    EXPECT_EQ(c.size, 0u); // nothing before the end
    EXPECT_EQ(c.end(), "Status: 200 OK\nearly: 1\nContent-type: text/html\r\nlate: 2\n"
                       "Content-Length: 1234\r\nSet-Cookie: n=v;\n\n" + body);

    Capture silent; // cached output with no body still gets a complete head
    QZ_HTTP_Response_SetCacheMode(&silent.r, QZ_HTTP_MODE_CACHED);
    EXPECT_EQ(silent.end(), "Status: 200 OK\nContent-type: text/html\r\nContent-Length: 0\r\n\n");
}

TEST(CgiResponse, StringModeSendsNothing) {
    Capture c;
    QZ_CStr target;
    QZ_CStr_Init(&target);
    QZ_HTTP_Response_SetOutputBuffer(&c.r, &target);
    QZ_HTTP_Response_Write(&c.r, "a<b");
    QZ_HTTP_Response_WriteHtml(&c.r, "<&\xF1\xC1\"");
    EXPECT_STREQ(QZ_HTTP_Response_GetCachedText(&c.r), "a<b&lt;&amp;&ntilde;\xC1&quot;");
    EXPECT_EQ(c.end(), "");
    EXPECT_STREQ(target.data, "a<b&lt;&amp;&ntilde;\xC1&quot;");
    QZ_CStr_Free(&target);
}

TEST(CgiResponse, StatusContentTypesAndHeaderLineEnds) {
    Capture c;
    QZ_HTTP_Response_SetStatusCode(&c.r, 404);
    EXPECT_EQ(QZ_HTTP_Response_SetContentType(&c.r, "xyz"), 1);
    EXPECT_EQ(QZ_HTTP_Response_SetContentType(&c.r, "JPG"), 0);
    QZ_HTTP_ResponseAddHeader(&c.r, "X-A", "1");
    QZ_HTTP_Response_Write(&c.r, "");
    EXPECT_EQ(c.end(), "Status: 404 \nX-A: 1\r\nContent-type: image/jpeg\r\n\n");
    Capture json;
    QZ_HTTP_Response_SetContentType(&json.r, "application/json");
    QZ_HTTP_Response_Write(&json.r, "{}");
    EXPECT_EQ(json.end(), "Status: 200 OK\nContent-type: application/json\r\n\n{}");
    EXPECT_STREQ(QZ_HTTP_LookupContentType("HTMLX"), nullptr);
    EXPECT_STREQ(QZ_HTTP_ContentTypeForExtension("tiff"), "image/tiff");
}

TEST(CgiResponse, LineBreaksFromTheRequestNeverSplitTheHead) {
    Capture c;
    QZ_HTTP_Response_AddHeader(&c.r, "X-Back", "http://a/\r\nSet-Cookie: evil=1");
    QZ_HTTP_ResponseAddHeader(&c.r, "X-\nName", "v\r");
    QZ_HTTP_Response_Write(&c.r, "b");
    EXPECT_EQ(c.end(), "Status: 200 OK\nX-Back: http://a/Set-Cookie: evil=1\nX-Name: v\r\n"
                       "Content-type: text/html\r\n\nb");
}

TEST(CgiRedirect, PlainLocationWithoutCookies) {
    Capture c;
    QZ_HTTP_Response_Redirect(nullptr, &c.r, "http://h/x.aspx?5,6");
    QZ_HTTP_Response_Write(&c.r, ""); // output has started: nothing more
    EXPECT_EQ(c.end(), "Location: http://h/x.aspx?5,6\n\n");

    Capture split;
    QZ_HTTP_Response_Redirect(nullptr, &split.r, "/a\r\nSet-Cookie: x=1\n");
    EXPECT_EQ(split.end(), "Location: /aSet-Cookie: x=1\n\n");

    Capture cached; // a cached body never follows the Location line
    QZ_HTTP_Response_SetCacheMode(&cached.r, QZ_HTTP_MODE_CACHED);
    QZ_HTTP_Response_Write(&cached.r, "partial page");
    QZ_HTTP_Response_Redirect(nullptr, &cached.r, "next.htm");
    EXPECT_EQ(cached.end(), "Location: next.htm\n\n");
}

TEST(CgiRedirect, ScriptPageWhenCookiesArePending) {
    const std::string head = "<head><title>Redirect w/cookies</title></head>\n<body onLoad=\"location.replace('";
    const std::string tail = "');\"></body>\n";
    struct Case {
        int32_t port;
        const char *url;
        const char *target;
    } cases[] = {
        {81, "next.exe?a,b", "//srv:81/cgi-bin/next.exe?a,b"},
        {80, "next.exe?a,b", "//srv/cgi-bin/next.exe?a,b"},
        {40000, "n.htm", "//srv:40000/cgi-bin/n.htm"},
        {81, "http://other:81/x/y.htm", "http://other/x/y.htm"},
        {80, "q.htm?x='+alert(1)+'&b=\"<", "//srv/cgi-bin/q.htm?x=%27+alert(1)+%27&amp;b=%22%3C"},
    };
    for (const Case &t : cases) {
        Request req("srv", t.port, "/cgi-bin/hwendle.exe");
        Capture c;
        EXPECT_EQ(QZ_HTTP_Response_SetCookie(&c.r, "sid", "a b", "/", 0, 0, "", 0), 0);
        QZ_HTTP_Response_Redirect(req.r.get(), &c.r, t.url);
        EXPECT_EQ(c.end(), "Status: 200 OK\nContent-type: text/html\r\nSet-Cookie: sid=a+b; path=/;\n\n" +
                               head + t.target + tail)
            << t.url;
    }
}

TEST(CgiResponseFiles, RespondFileTypesBytesAndMissingFiles) {
    const std::string dir = QZ_BINARY_DIR;
    std::string bytes("%PDF\0\r\n\xFF", 8);
    bytes += std::string(3000, 'z');
    writeFile(dir + "/cgi_report.PDF", bytes);
    writeFile(dir + "/cgi_data.xyz", "d");
    Capture pdf;
    EXPECT_EQ(HTTP_Response_RespondFile(&pdf.r, (dir + "/cgi_report.PDF").c_str()), 0);
    EXPECT_EQ(pdf.end(), "Status: 200 OK\nContent-type: application/pdf\r\n\n" + bytes);
    Capture other;
    EXPECT_EQ(HTTP_Response_RespondFile(&other.r, (dir + "/cgi_data.xyz").c_str()), 0);
    EXPECT_EQ(other.end(), "Status: 200 OK\nContent-type: text/html\r\n\nd");
    Capture kept;
    QZ_HTTP_Response_SetContentType(&kept.r, "text/plain");
    EXPECT_EQ(HTTP_Response_RespondFile(&kept.r, (dir + "/cgi_data.xyz").c_str()), 0);
    EXPECT_EQ(kept.end(), "Status: 200 OK\nContent-type: text/plain\r\n\nd");
    Capture missing;
    EXPECT_EQ(HTTP_Response_RespondFile(&missing.r, "/nonexistent/notes"), 1);
    EXPECT_EQ(missing.end(), "Status: 200 OK\nContent-type: text/html\r\n\n");

    Capture added;
    QZ_HTTP_ResponseAddString(&added.r, "s");
    QZ_HTTP_ResponseAddFile(&added.r, (dir + "/cgi_data.xyz").c_str());
    EXPECT_EQ(QZ_HTTP_ResponseGetLastError(&added.r), 0);
    QZ_HTTP_ResponseAddFile(&added.r, "/nonexistent/file");
    EXPECT_EQ(QZ_HTTP_ResponseGetLastError(&added.r), 2);
    EXPECT_EQ(added.end(), "Status: 200 OK\nContent-type: text/html\r\n\nsd");
}

TEST(CgiCookies, ReceivedCookiesAndLookup) {
    const uint32_t liveBefore = QZ_GetDefaultPool()->count;
    struct Case {
        const char *header;
        std::vector<std::pair<std::string, std::string>> cookies;
    } cases[] = {
        {"a=1; b=x%20y", {{"a", "1"}, {"b", "x y"}}},
        {"a=1;b=2", {{"a", "1"}, {"b", "2"}}},
        {"q=1+1==2", {{"q", "1 1==2"}}},
        {"\t x;y=1;z", {{"x;y", "1"}}},
        {"novalue", {}},
        {"", {}},
    };
    for (const Case &t : cases) {
        Request req("", 0, "");
        QZ_HTTP_SrvReq_ParseCookies(req.r.get(), t.header);
        ASSERT_EQ(req.r->cookies.count, t.cookies.size()) << t.header;
        QZ_ListNode *node = req.r->cookies.first;
        for (const auto &[name, value] : t.cookies) {
            const auto *cookie = static_cast<const QZ_HTTP_Cookie *>(node->data);
            EXPECT_EQ(cookie->name.data, name);
            EXPECT_EQ(cookie->value.data, value);
            // A received cookie carries only its name and value.
            EXPECT_EQ(cookie->expiryDate, 0);
            EXPECT_EQ(cookie->expiryTime, 0);
            EXPECT_EQ(cookie->path.length + cookie->domain.length, 0u);
            EXPECT_EQ(cookie->secure, 0);
            node = node->next;
        }
    }
    Request req("", 0, "");
    QZ_HTTP_SrvReq_ParseCookies(req.r.get(), "a=first; a=second; b=2");
    Capture c;
    char buffer[16];
    EXPECT_STREQ(QZ_HTTP_GetCookie(&c.r, req.r.get(), buffer, "a", 15), "first");
    EXPECT_STREQ(QZ_HTTP_GetCookie(&c.r, req.r.get(), buffer, "a ", 15), "first");
    EXPECT_EQ(QZ_HTTP_GetCookie(&c.r, req.r.get(), buffer, "A", 15), QZ_EmptyString);
    EXPECT_EQ(QZ_HTTP_Response_SetCookie(&c.r, "a", "mine", "", 0, 0, "", 0), 0);
    EXPECT_STREQ(QZ_HTTP_GetCookie(&c.r, req.r.get(), buffer, "a", 15), "mine");
    EXPECT_STREQ(QZ_HTTP_GetCookie(&c.r, req.r.get(), buffer, "a", 2), "mi");
    EXPECT_EQ(QZ_HTTP_Response_CookieCount(&c.r), 1u); // the request's cookies are not the response's
    EXPECT_EQ(QZ_HTTP_Response_CookieCount(nullptr), 0u);
    EXPECT_EQ(c.end(), ""); // direct mode with nothing written: no head goes out, so no cookie either
    QZ_HTTP_SrvReq_Free(req.r.get());
    QZ_HTTP_SrvReq_Init(req.r.get());
    EXPECT_EQ(QZ_GetDefaultPool()->count, liveBefore); // records, strings and nodes released
}

TEST(CgiCookies, SetCookieLines) {
    QZ_CStr line;
    QZ_CStr_Init(&line);
    QZ_HTTP_Cookie cookie{};
    QZ_CStr_SetText(&cookie.name, "sid");
    QZ_CStr_SetText(&cookie.value, "a b");
    QZ_CStr_SetText(&cookie.path, "/");
    cookie.expiryDate = 2461382;
    cookie.expiryTime = 37230;
    cookie.secure = 1;
    QZ_HTTP_Cookie_AppendSetCookieLine(&line, &cookie);
    EXPECT_STREQ(line.data, "Set-Cookie: sid=a+b; expires=Mon, 07-Dec-2026 10:20:30 GMT; path=/; secure\n");
    QZ_CStr_Free(&line);

    // The expiry is written when either half is set; the empty date is the first
    // of January of year 1 and has no day name.
    struct Expiry {
        int32_t date, time;
        const char *line;
    } expiries[] = {
        {2461382, 0, "Set-Cookie: sid=a+b; expires=Mon, 07-Dec-2026 00:00:00 GMT; path=/;\n"},
        {0, 37230, "Set-Cookie: sid=a+b; expires=, 01-Jan-0001 10:20:30 GMT; path=/;\n"},
        {2461383, 86399, "Set-Cookie: sid=a+b; expires=Tue, 08-Dec-2026 23:59:59 GMT; path=/;\n"},
        {0, 0, "Set-Cookie: sid=a+b; path=/;\n"},
    };
    cookie.secure = 0;
    for (const Expiry &e : expiries) {
        cookie.expiryDate = e.date;
        cookie.expiryTime = e.time;
        QZ_HTTP_Cookie_AppendSetCookieLine(&line, &cookie);
        EXPECT_STREQ(line.data, e.line) << e.date << " " << e.time;
        QZ_CStr_Free(&line);
    }

    QZ_CStr_SetText(&cookie.domain, "ex.org\r\nX: 1");
    cookie.expiryDate = 0;
    cookie.expiryTime = 0;
    cookie.secure = 0;
    const std::string longValue(3000, '&'); // encoded whole, never cut
    QZ_CStr_SetText(&cookie.value, longValue.c_str());
    QZ_HTTP_Cookie_AppendSetCookieLine(&line, &cookie);
    std::string encoded;
    for (int i = 0; i < 3000; ++i) encoded += "%26";
    EXPECT_EQ(std::string(line.data), "Set-Cookie: sid=" + encoded + "; path=/; domain=ex.orgX: 1;\n");
    QZ_CStr_Free(&line);
    QZ_CStr_Free(&cookie.name);
    QZ_CStr_Free(&cookie.value);
    QZ_CStr_Free(&cookie.path);
    QZ_CStr_Free(&cookie.domain);
}

TEST(CgiCookies, ListCopyAddsEveryCookieWithAllItsFields) {
    const uint32_t liveBefore = QZ_GetDefaultPool()->count;
    QZ_List source, target;
    QZ_List_Init(&source);
    QZ_List_Init(&target);
    QZ_HTTP_CookieList_Add(&source, "a", "1", "/p", 2461382, 37230, "ex.org", 1);
    QZ_HTTP_CookieList_Add(&source, "b", "x y", "", 0, 0, "", 0);
    QZ_HTTP_CookieList_Add(&target, "kept", "0", "", 0, 0, "", 0);
    QZ_HTTP_CookieList_Copy(&target, &source);
    QZ_HTTP_CookieList_Copy(&source, &source); // onto itself: nothing
    QZ_HTTP_CookieList_Copy(&target, nullptr);
    ASSERT_EQ(source.count, 2u);
    ASSERT_EQ(target.count, 3u);
    QZ_CStr lines;
    QZ_CStr_Init(&lines);
    QZ_ListNode *node = target.first;
    for (uint32_t i = 0; i < target.count; ++i, node = node->next)
        QZ_HTTP_Cookie_AppendSetCookieLine(&lines, static_cast<const QZ_HTTP_Cookie *>(node->data));
    EXPECT_STREQ(lines.data, "Set-Cookie: kept=0;\n"
                             "Set-Cookie: a=1; expires=Mon, 07-Dec-2026 10:20:30 GMT; path=/p; domain=ex.org; secure\n"
                             "Set-Cookie: b=x+y;\n");
    QZ_CStr_Free(&lines);
    QZ_HTTP_CookieList_Free(&source);
    QZ_HTTP_CookieList_Free(&target);
    EXPECT_EQ(QZ_GetDefaultPool()->count, liveBefore);
}

// tests/test_cgi_format_list.c: a C caller of the parameter list.
extern "C" const char *qztest_FormatLongsFromC(char *buffer, size_t size);

TEST(CgiProgramUrls, ParameterListsAndProgramNames) {
    char buffer[64];
    EXPECT_STREQ(QZ_HTTP_FormatParameterList(buffer, 63, "", "2224", 5L, -6L, 7L, "a b&c"), "5,-6,7,a+b%26c");
    // Code "2" takes a C long, read whole from a C caller.
    EXPECT_STREQ(qztest_FormatLongsFromC(buffer, 63), "?3000000000,-3000000000,2147483647,x");
    QZ_DateTime when{2461382, 37230};
    EXPECT_STREQ(QZ_HTTP_FormatParameterList(buffer, 63, "?", "1356x", 1, 2.5, when, int32_t{2461382}),
                 "?1,2.50000,20261207102030,20261207,");
    EXPECT_STREQ(QZ_HTTP_FormatParameterList(buffer, 63, "", "1112", 0, INT32_MIN, INT32_MAX, INT64_MIN),
                 "0,-2147483648,2147483647,-9223372036854775808");
    EXPECT_STREQ(QZ_HTTP_FormatParameterList(buffer, 9, "", "11", 12345, -6789), "12345,-67");
    EXPECT_STREQ(QZ_HTTP_FormatParameterList(buffer, 5, "", "44", "abc", "def"), "abc,d");
    EXPECT_STREQ(QZ_HTTP_FormatParameterList(buffer, 63, "", "7", int32_t{0}, "x y"), "x+y");
    QZ_CStr url;
    QZ_CStr_Init(&url);
    EXPECT_STREQ(QZ_HTTP_BuildProgramURL(&url, "page.htm", ""), "page.htm");
    EXPECT_STREQ(QZ_HTTP_BuildProgramURL(&url, "hwendle.exe", ""), "hwendle.exe?");
    EXPECT_STREQ(QZ_HTTP_BuildProgramURL(&url, "hwendle.exe", "1,2"), "hwendle.exe?1,2");
    QZ_CStr_Free(&url);
}
