// URL splitting: the parts the HTTP client, the response and the XML reader
// take out of a URL.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "qz/qzurl.h"

namespace {

struct Parts {
    std::string scheme, host, path, directory, file, query;
    int port;
};

Parts Split(const char *url, size_t n = 255) {
    char buffer[256];
    Parts p;
    p.scheme = QZ_HTTP_UrlGetProtocol(buffer, url, n);
    p.host = QZ_HTTP_UrlGetHost(buffer, url, n);
    p.path = QZ_HTTP_UrlGetPath(buffer, url, n);
    p.directory = QZ_HTTP_UrlGetDirectory(buffer, url, n);
    p.file = QZ_HTTP_UrlGetFile(buffer, url, n);
    p.query = QZ_HTTP_UrlGetQuery(buffer, url, n);
    p.port = QZ_HTTP_UrlGetPort(url);
    return p;
}

TEST(UrlSplit, FullUrlWithPortDirectoryFileAndQuery) {
    const Parts p = Split("http://srv2:81/new/a.htm?x=1");
    EXPECT_EQ(p.scheme, "http");
    EXPECT_EQ(p.host, "srv2");
    EXPECT_EQ(p.port, 81);
    EXPECT_EQ(p.path, "/new/a.htm?x=1");
    EXPECT_EQ(p.directory, "/new/");
    EXPECT_EQ(p.file, "a.htm");
    EXPECT_EQ(p.query, "x=1");
}

TEST(UrlSplit, FileDirectlyUnderRoot) {
    const Parts p = Split("http://srv2:81/new?x=1");
    EXPECT_EQ(p.host, "srv2");
    EXPECT_EQ(p.port, 81);
    EXPECT_EQ(p.path, "/new?x=1");
    EXPECT_EQ(p.directory, "/");
    EXPECT_EQ(p.file, "new");
    EXPECT_EQ(p.query, "x=1");
}

TEST(UrlSplit, HostNeedsAFollowingSlash) {
    const Parts bare = Split("http://srv2");
    EXPECT_EQ(bare.host, "");
    EXPECT_EQ(bare.path, "");
    EXPECT_EQ(bare.port, -1);

    const Parts rooted = Split("http://srv2/");
    EXPECT_EQ(rooted.host, "srv2");
    EXPECT_EQ(rooted.path, "/");
    EXPECT_EQ(rooted.directory, "/");
    EXPECT_EQ(rooted.file, "");
    EXPECT_EQ(rooted.port, -1);

    // A ":" without a following "/" gives no host and no port either.
    EXPECT_EQ(Split("http://srv2:81").host, "");
    EXPECT_EQ(QZ_HTTP_UrlGetPort("http://srv2:81"), -1);
}

TEST(UrlSplit, RelativeUrls) {
    const Parts absolutePath = Split("/dir/page.htm");
    EXPECT_EQ(absolutePath.scheme, "");
    EXPECT_EQ(absolutePath.host, "dir");
    EXPECT_EQ(absolutePath.path, "/page.htm");
    EXPECT_EQ(absolutePath.file, "page.htm");

    const Parts page = Split("page.htm");
    EXPECT_EQ(page.scheme, "");
    EXPECT_EQ(page.host, "");
    EXPECT_EQ(page.path, "");
    EXPECT_EQ(page.directory, "");
    EXPECT_EQ(page.file, "page.htm");
    EXPECT_EQ(page.port, -1);
}

TEST(UrlSplit, ColonBeforeSlashIsAScheme) {
    const Parts p = Split("host:8080/x");
    EXPECT_EQ(p.scheme, "host");
    EXPECT_EQ(p.host, "8080");  // the authority starts after the scheme's ":"
    EXPECT_EQ(p.port, -1);
    EXPECT_EQ(p.path, "/x");

    // A ":" after the first "/" is no scheme.
    EXPECT_EQ(Split("a/b:c").scheme, "");
}

TEST(UrlSplit, QuestionMarkBeforeAnySlashLeavesNoDirectory) {
    const Parts p = Split("http://srv/a?b/c");
    EXPECT_EQ(p.directory, "/");
    EXPECT_EQ(p.file, "a");
    EXPECT_EQ(p.query, "b/c");
    EXPECT_EQ(p.path, "/a?b/c");
}

TEST(UrlSplit, PortDigitsAndTheirLimits) {
    EXPECT_EQ(QZ_HTTP_UrlGetPort("http://h:/x"), -1);        // no digit
    EXPECT_EQ(QZ_HTTP_UrlGetPort("http://h:0/x"), 0);
    EXPECT_EQ(QZ_HTTP_UrlGetPort("http://h:32767/x"), 32767);
    EXPECT_EQ(QZ_HTTP_UrlGetPort("http://h:32768/x"), -1);   // does not fit 16 bits
    EXPECT_EQ(QZ_HTTP_UrlGetPort("http://h:99999999999999999999/x"), -1);
    // The path begins right after the digits, even when something else follows.
    EXPECT_EQ(Split("http://h:81abc/x").path, "abc/x");
    EXPECT_EQ(Split("http://h:/x").path, "/x");
}

TEST(UrlSplit, SpansPointIntoTheUrl) {
    const char *url = "ftp://srv:21/pub/f.txt?q";
    const char *end = nullptr;
    const char *start = QZ_HTTP_UrlHostSpan(url, &end);
    ASSERT_NE(start, nullptr);
    EXPECT_EQ(std::string(start, end), "srv");
    start = QZ_HTTP_UrlPortSpan(url, &end);
    EXPECT_EQ(std::string(start, end), "21");
    start = QZ_HTTP_UrlDirectorySpan(url, &end);
    EXPECT_EQ(std::string(start, end), "/pub/");
    start = QZ_HTTP_UrlQuerySpan(url, &end);
    EXPECT_EQ(std::string(start, end), "q");

    EXPECT_EQ(QZ_HTTP_UrlQuerySpan("http://srv/x", &end), nullptr);
    EXPECT_EQ(end, nullptr);
    EXPECT_EQ(QZ_HTTP_UrlProtocolSpan("page.htm", nullptr), nullptr);
}

TEST(UrlSplit, CopiesStopAtTheBufferSize) {
    char buffer[8];
    std::memset(buffer, 'Z', sizeof buffer);
    EXPECT_STREQ(QZ_HTTP_UrlGetHost(buffer, "http://averylonghostname/x", 4), "aver");
    EXPECT_EQ(buffer[5], 'Z');  // n characters and the zero, nothing after

    // The path copy is zero-padded up to n and never beyond.
    std::memset(buffer, 'Z', sizeof buffer);
    EXPECT_STREQ(QZ_HTTP_UrlGetPath(buffer, "http://h/ab", 6), "/ab");
    for (int i = 3; i <= 6; ++i) {
        EXPECT_EQ(buffer[i], '\0') << i;
    }
    EXPECT_EQ(buffer[7], 'Z');
    EXPECT_STREQ(QZ_HTTP_UrlGetPath(buffer, "http://h/abcdefghij", 6), "/abcde");

    EXPECT_STREQ(QZ_HTTP_UrlGetFile(buffer, "http://h/abc", 0), "");
}

TEST(UrlSplit, EmptyAndNullUrls) {
    const Parts empty = Split("");
    EXPECT_EQ(empty.scheme + empty.host + empty.path + empty.file + empty.query, "");
    EXPECT_EQ(empty.port, -1);
    char buffer[4] = "xyz";
    EXPECT_STREQ(QZ_HTTP_UrlGetHost(buffer, nullptr, 3), "");
    EXPECT_EQ(QZ_HTTP_UrlGetPort(nullptr), -1);
}

}  // namespace
