// What the traces show of an exchange, and bodies that are not plain text:
// the 1024-byte blocks appear at level 2, large blocks carry the same bytes
// below it, and zero bytes end the text views but not the block reads or the
// file a body is written to.

#include "qz/qzhttpclient.h"
#include "qz/qzpgmmem.h"
#include "qz/qzxml.h"

#include "test_httpclient_server.h"
#include "test_socket_support.h"

#include <string>
#include <vector>

namespace {

using qz_test::ScriptServer;

std::vector<std::string> ClientLines(const std::vector<std::string> &all) {
    std::vector<std::string> lines;
    for (const std::string &m : all)
        if (m.rfind("QZ_HTTP", 0) == 0 || m.rfind("Start QZ_HTTP", 0) == 0 || m.rfind("Success QZ_HTTP", 0) == 0 ||
            m.rfind("Error QZ_HTTP", 0) == 0)
            lines.push_back(m);
    return lines;
}

class HttpClientLevel2 : public qz_test::TracedTest {
protected:
    HttpClientLevel2() : TracedTest(2) {}
};

TEST_F(HttpClientLevel2, ExchangeTranscript) {
    const std::string head = "HTTP/1.0 200 OK\r\nServer: s\r\n\r\n";
    const std::string body(5000, 'z');
    ScriptServer s({head + body});
    QZ_HTTP_Client c;
    QZ_HTTP_Client_Init(&c);
    QZ_HTTP_ClientSetHost(&c, "127.0.0.1");
    QZ_HTTP_ClientSetPort(&c, s.port());
    ClearTrace();
    QZ_HTTP_ClientExecute(&c, "GET", "/t");
    EXPECT_EQ(QZ_HTTP_ClientErrCode(&c), 0);
    EXPECT_EQ(std::string(QZ_HTTP_ClientToString(&c)), body);
    const std::vector<std::string> lines = ClientLines(Messages());
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ(lines[0], "Start QZ_HTTP_Request_Init_Request");
    EXPECT_EQ(lines[1], "QZ_HTTP_Request_Init_Request: Requesting Data From Server '127.0.0.1'");
    EXPECT_EQ(lines[2], "QZ_HTTP_Request_Read_Header: 1024 Header Bytes readed");
    EXPECT_EQ(lines[3], "Success QZ_HTTP_Request_Init_Request: Ret = QZHTTP_ERR_OK");
    EXPECT_EQ(lines[4], "QZ_HTTP_Read_Result: TimeOut = 60 Seconds");
    size_t chunks = 0;
    for (size_t i = 5; i + 1 < lines.size(); ++i) {
        const int n = std::stoi(lines[i].substr(std::string("QZ_HTTP_Read_Result: ").size()));
        EXPECT_GT(n, 0);
        EXPECT_LE(n, 1024);
        EXPECT_EQ(lines[i], "QZ_HTTP_Read_Result: " + std::to_string(n) + " Bytes chunk readed");
        chunks += static_cast<size_t>(n);
    }
    EXPECT_EQ(chunks, head.size() + body.size() - 1024);
    EXPECT_EQ(lines.back(), "QZ_HTTP_Read_Result: 5000 Total Bytes readed");
    QZ_HTTP_Client_Deinit(&c);
}

class HttpClientLevel0 : public qz_test::TracedTest {
protected:
    HttpClientLevel0() : TracedTest(0) {}
};

TEST_F(HttpClientLevel0, LargeBlocksCarryTheSameBytes) {
    std::string body;
    for (int i = 0; body.size() < 3 * 1024 * 1024; ++i) body += std::to_string(i) + ",";
    ScriptServer s({"HTTP/1.0 200 OK\r\n\r\n" + body});
    QZ_HTTP_Client c;
    QZ_HTTP_Client_Init(&c);
    QZ_HTTP_ClientSetHost(&c, "127.0.0.1");
    QZ_HTTP_ClientSetPort(&c, s.port());
    QZ_HTTP_ClientExecute(&c, "GET", "/");
    EXPECT_EQ(QZ_HTTP_ClientErrCode(&c), 0);
    EXPECT_EQ(std::string(QZ_HTTP_ClientToString(&c)), body);
    EXPECT_TRUE(ClientLines(Messages()).empty());
    QZ_HTTP_Client_Deinit(&c);
}

TEST_F(HttpClientLevel0, ZeroBytesEndTheTextNotTheBlocks) {
    const std::string body("ab\0cd", 5);
    ScriptServer s({"HTTP/1.0 200 OK\r\n\r\n" + body});
    QZ_HTTP_Client c;
    QZ_HTTP_Client_Init(&c);
    QZ_HTTP_ClientSetHost(&c, "127.0.0.1");
    QZ_HTTP_ClientSetPort(&c, s.port());
    QZ_HTTP_ClientExecute(&c, "GET", "/");
    EXPECT_EQ(QZ_HTTP_ClientErrCode(&c), 0);
    EXPECT_STREQ(QZ_HTTP_ClientToString(&c), "ab");
    // The file gets every byte: a binary download is not cut at a zero.
    QZ_HTTP_ClientToFile(&c, "out.txt");
    EXPECT_EQ(QZ_HTTP_ClientErrCode(&c), 0);
    std::ifstream in("out.txt", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), body);
    std::remove("out.txt");
    QZ_HTTP_ClientToFile(&c, "/nonexistent-dir/out.txt");
    EXPECT_EQ(QZ_HTTP_ClientErrCode(&c), ENOENT);

    // The reader's input callback serves the body in slices, zero bytes too.
    QZ_HTTP_ClientXmlInput input{0, c.request};
    std::string sliced;
    char slice[3];
    uint32_t given = 0;
    while (qz_HTTP_Client_XMLRdrInput(&input, slice, 2, &given) != 0) {
        EXPECT_LE(given, 2u);
        sliced.append(slice, given);
    }
    EXPECT_EQ(given, 0u);
    EXPECT_EQ(sliced, body);

    // The block reads of a fetched document deliver every byte.
    ScriptServer doc({"HTTP/1.0 200 OK\r\n\r\n" + body});
    QZ_HTTP_Request *r = QZ_HTTP_Request_Init();
    const std::string url = "http://127.0.0.1:" + std::to_string(doc.port()) + "/d";
    ASSERT_EQ(QZ_HTTP_Request_Open_Url(r, "GET", url.c_str(), "", 0, nullptr), 0);
    char buffer[65];
    uint32_t count = 0;
    EXPECT_EQ(QZ_HTTP_Request_Read_Buf(r, buffer, 64, &count), 1);
    EXPECT_EQ(std::string(buffer, count), body);
    QZ_HTTP_Request_Close(r);
    QZ_HTTP_Request_Free(r);
    QZ_free(nullptr, r);
    QZ_HTTP_Client_Deinit(&c);
}

TEST_F(HttpClientLevel0, XmlWriterFillsTheRequestBody) {
    ScriptServer s({"HTTP/1.0 200 OK\r\n\r\nfine"});
    QZ_HTTP_Client c;
    QZ_HTTP_Client_Init(&c);
    QZ_HTTP_ClientSetHost(&c, "127.0.0.1");
    QZ_HTTP_ClientSetPort(&c, s.port());
    QZ_XmlWriter *w = QZ_xmlwritercreate();
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(QZ_xmlOpenToHttpClient(w, &c), 0);
    QZ_xmlvaluestr(w, "a", "1");
    QZ_xmlend(w);
    const std::string xml = c.request->content.data;
    EXPECT_NE(xml.find("<a>1</a>"), std::string::npos);
    QZ_HTTP_ClientExecute(&c, "POST", "/x");
    ASSERT_EQ(s.requests().size(), 1u);
    const std::string sent = s.requests()[0];
    EXPECT_EQ(sent.substr(sent.size() - xml.size()), xml);
    EXPECT_NE(sent.find("Content-length: " + std::to_string(xml.size()) + "\r\n"), std::string::npos);
    QZ_xmlwriterdestroy(w);
    QZ_HTTP_Client_Deinit(&c);
}

}  // namespace

namespace {

TEST_F(HttpClientLevel0, ConfiguredProxyIsTheDefault) {
    const auto proxyOf = [](const char *section) {
        std::ofstream("qzcfg.ini") << "[Trace]\nTrace=0\n" << section;
        QZ_CStr host;
        QZ_CStr_Init(&host);
        int32_t port = -5;
        QZ_HTTP_GetSystemProxy(&host, &port);
        const std::string result = std::string(host.data) + "|" + std::to_string(port);
        QZ_CStr_Free(&host);
        return result;
    };
    EXPECT_EQ(proxyOf("[Proxy]\nProxyEnable=1\nProxyServer=px1:3128\n"), "px1|3128");
    EXPECT_EQ(proxyOf("[Proxy]\nProxyEnable=1\nProxyServer=px1\n"), "px1|80");
    EXPECT_EQ(proxyOf("[Proxy]\nProxyEnable=0\nProxyServer=px1:3128\n"), "|0");
    EXPECT_EQ(proxyOf("[Proxy]\nProxyServer=px1:3128\n"), "|0");
    EXPECT_EQ(proxyOf("[Proxy]\nProxyEnable=1\nProxyServer=http=a:1;https=b:2\n"), "http=a:1;https=b|2");

    std::ofstream("qzcfg.ini") << "[Proxy]\nProxyEnable=1\nProxyServer=px2:8080\n";
    QZ_HTTP_Client c;
    QZ_HTTP_Client_Init(&c);
    char host[16];
    EXPECT_STREQ(QZ_HTTP_ClientGetProxyHost(&c, host, 15), "px2");
    EXPECT_EQ(QZ_HTTP_ClientGetProxyPort(&c), 8080);
    QZ_HTTP_Client_Deinit(&c);
}

}  // namespace
