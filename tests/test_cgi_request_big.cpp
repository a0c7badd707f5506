// Whole requests as the web server hands them over (a child process with its
// environment and standard input), and large inputs with bounded time and memory.

#include "support/qz_test_timing.h"
#include "test_cgi_child.h"

#include "qz/qzhttprequest.h"
#include "qz/qzpgmmem.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

using cgitest::reportNumber;
using cgitest::runChild;

TEST(CgiRequestChild, PostBodyParametersAndCookies) {
    const std::string body = "Name=J%F6rg+Smith&name=X&a=&b=2";
    const auto result = runChild("cgi_request_dump",
                                 {{"REQUEST_METHOD", "POST"},
                                  {"CONTENT_LENGTH", std::to_string(body.size())},
                                  {"QUERY_STRING", "5,6,7,abc"},
                                  {"HTTP_COOKIE", "a=1; b=x%20y"},
                                  {"SERVER_PORT", "81"}},
                                 body);
    ASSERT_EQ(result.status, 0);
    EXPECT_NE(result.out.find("port=81 secure=-1 length=31\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("vars=2\nvar[Name]=[X]\nvar[b]=[2]\n"
                              "param=[5]\nparam=[6]\nparam=[7]\nparam=[abc]\n"
                              "cookies=2\ncookie[a]=[1]\ncookie[b]=[x y]\n"),
              std::string::npos)
        << result.out;
    EXPECT_EQ(reportNumber(result.out, "after"), 0); // everything released
}

TEST(CgiRequestChild, BinaryBodyIsReadUntranslated) {
    const std::string body("t=a%0D%0Ab\r\n\x01", 13);
    const auto result = runChild("cgi_request_dump",
                                 {{"REQUEST_METHOD", "POST"}, {"CONTENT_LENGTH", "13"}}, body, {"0"});
    EXPECT_NE(result.out.find("body=13\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("var[t]=[a\\nb\\r\\n\\x01]"), std::string::npos) << result.out;
}

TEST(CgiRequestChild, ClaimedLengthFarAboveWhatArrives) {
    const auto result = runChild("cgi_request_dump",
                                 {{"REQUEST_METHOD", "POST"}, {"CONTENT_LENGTH", "2000000000"}}, "a=1", {"0"});
    ASSERT_EQ(result.status, 0);
    EXPECT_NE(result.out.find("length=2000000000\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("body=3\nvars=1\nvar[a]=[1]\n"), std::string::npos) << result.out;
    EXPECT_LT(reportNumber(result.out, "pool"), 200 * 1000);
    const auto overflow = runChild("cgi_request_dump",
                                   {{"REQUEST_METHOD", "POST"}, {"CONTENT_LENGTH", "99999999999999999999"}},
                                   "a=1", {"0"});
    EXPECT_NE(overflow.out.find("length=2147483647\n"), std::string::npos) << overflow.out;
    EXPECT_NE(overflow.out.find("vars=1\n"), std::string::npos);
}

TEST(CgiRequestChild, TwentyThousandVariables) {
    std::string body;
    for (int i = 0; i < 20000; ++i) body += "v" + std::to_string(i) + "=" + std::to_string(i) + "&";
    for (int i = 0; i < 20000; ++i) body += "V" + std::to_string(i % 100) + "=again&"; // duplicates
    const auto result = runChild("cgi_request_dump",
                                 {{"REQUEST_METHOD", "POST"}, {"CONTENT_LENGTH", std::to_string(body.size())}},
                                 body, {"0"});
    ASSERT_EQ(result.status, 0);
    EXPECT_NE(result.out.find("vars=8192\n"), std::string::npos);
    EXPECT_NE(result.out.find("var[v0]=[again]\n"), std::string::npos);
    EXPECT_NE(result.out.find("last[v8191]=[8191]\n"), std::string::npos);
    EXPECT_LT(reportNumber(result.out, "micros"), 1000 * 1000 * qz_test::kTimeBudgetScale);
    EXPECT_LT(reportNumber(result.out, "pool"), 4 * body.size());
}

// Environment values of a megabyte cannot pass through exec, so these read in-process.
TEST(CgiRequestBig, MegabyteQueryStringAndCookieHeader) {
    std::string query;
    while (query.size() < 1000000) query += "%41b,";
    std::string cookies;
    while (cookies.size() < 1000000) cookies += "k=v%20w; ";
    setenv("QUERY_STRING", query.c_str(), 1);
    setenv("HTTP_COOKIE", cookies.c_str(), 1);
    unsetenv("CONTENT_LENGTH");
    auto request = std::make_unique<QZ_HTTP_SrvReq>();
    const double start = qz_test::CpuSeconds();
    QZ_HTTP_SrvReq_Init(request.get());
    QZ_HTTP_SrvReq_Read(request.get(), 0);
    char buffer[1025];
    std::string last;
    for (int i = 0; i < 200000; ++i) last = QZ_HTTP_SrvReq_GetParameter(request.get(), buffer, 1024);
    char whole[QZ_URL_DECODE_MAX + 1];
    QZ_HTTP_SrvReq_Set_QueryString(request.get(), query.c_str());
    EXPECT_EQ(std::string(QZ_HTTP_SrvReq_Get_QueryString(request.get(), whole, QZ_URL_DECODE_MAX)).size(),
              size_t{QZ_URL_DECODE_MAX});
    const double took = qz_test::CpuSeconds() - start;
    EXPECT_EQ(last, "Ab");
    EXPECT_EQ(request->cookies.count, 111112u);
    EXPECT_LT(took, 1.0 * qz_test::kTimeBudgetScale);
    QZ_HTTP_SrvReq_Free(request.get());
    unsetenv("QUERY_STRING");
    unsetenv("HTTP_COOKIE");
}
