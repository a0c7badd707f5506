// The answer as the web server reads it from the program's standard output.

#include "test_cgi_child.h"

#include <gtest/gtest.h>

#include <string>

using cgitest::runChild;

TEST(CgiResponseStdout, DirectAndCachedBytesGoOutUntranslated) {
    const std::string body = std::string("line\r\n") + std::string("\0\n\r\xFF", 4);
    const auto direct = runChild("cgi_response_page", {}, "", {"direct"});
    ASSERT_EQ(direct.status, 0);
    EXPECT_EQ(direct.out, "Status: 200 OK\npragma: no-cache\nContent-type: text/html\r\n\n" + body);
    const auto cached = runChild("cgi_response_page", {}, "", {"cached"});
    EXPECT_EQ(cached.out, "Status: 200 OK\npragma: no-cache\nContent-type: text/html\r\n"
                          "Content-Length: 10\r\n\n" + body);
}

TEST(CgiResponseStdout, RedirectsToARefererTakenFromTheRequest) {
    const auto plain = runChild("cgi_response_page", {{"HTTP_REFERER", "http://a/b.htm"}}, "", {"redirect"});
    EXPECT_EQ(plain.out, "Location: http://a/b.htm\n\n");
    const auto cookies = runChild("cgi_response_page",
                                  {{"HTTP_REFERER", "c.htm"}, {"SERVER_NAME", "srv"}, {"SERVER_PORT", "8080"},
                                   {"SCRIPT_NAME", "/cgi-bin/hwendle.exe"}},
                                  "", {"cookies"});
    EXPECT_EQ(cookies.out, "Status: 200 OK\nContent-type: text/html\r\nSet-Cookie: s=1;\n\n"
                           "<head><title>Redirect w/cookies</title></head>\n"
                           "<body onLoad=\"location.replace('//srv:8080/cgi-bin/c.htm');\"></body>\n");
}
