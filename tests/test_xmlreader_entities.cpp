// External entities, untrusted inputs, entity amplification and errors.

#include <expat.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "qz/qzhttprequest.h"
#include "test_xmlreader_support.h"

using xrtest::Reader;
using xrtest::TempFile;

namespace {

// A directory with a document whose DTD, in a subdirectory, declares an
// entity relative to itself.
struct EntityTree {
    std::string dir;
    std::unique_ptr<TempFile> doc, dtd, inner;
    EntityTree() {
        char templ[] = "/tmp/qzxrentXXXXXX";
        dir = mkdtemp(templ);
        mkdir((dir + "/sub").c_str(), 0700);
        doc = std::make_unique<TempFile>("<!DOCTYPE r SYSTEM 'sub/d.dtd'><r>&in;</r>", dir + "/doc.xml");
        dtd = std::make_unique<TempFile>("<!ENTITY in SYSTEM 'inner.xml'>", dir + "/sub/d.dtd");
        inner = std::make_unique<TempFile>("<i>secret</i>", dir + "/sub/inner.xml");
    }
    ~EntityTree() {
        doc.reset();
        dtd.reset();
        inner.reset();
        rmdir((dir + "/sub").c_str());
        rmdir(dir.c_str());
    }
};

std::string ReadFile(QZ_XmlReader *r, const std::string &path) {
    QZ_XMLReaderOpen(r, path.c_str());
    return xrtest::Stream(r);
}

} // namespace

TEST(XmlReaderEntities, RelativeToTheDocumentAndToTheEntity) {
    EntityTree tree;
    Reader reader;
    EXPECT_EQ(ReadFile(reader.get(), tree.dir + "/doc.xml"), "!:r|E:r|E:i=secret|/r");
    EXPECT_EQ(QZ_XMLReaderErrorCode(reader.get()), 0);

    TempFile text("<!DOCTYPE r [<!ENTITY t SYSTEM 'sub/inner.xml'>]><r>a&t;b</r>", tree.dir + "/text.xml");
    Reader textReader;
    EXPECT_EQ(ReadFile(textReader.get(), tree.dir + "/text.xml"), "!:r|E:r|T:a|E:i=secret|T:b|/r");
}

TEST(XmlReaderEntities, DisabledEntitiesAreSkipped) {
    EntityTree tree;
    Reader reader;
    QZ_XMLReaderSetExtEntEnabled(reader.get(), 0);
    EXPECT_EQ(ReadFile(reader.get(), tree.dir + "/doc.xml"), "!:r|E:r=");
    EXPECT_EQ(QZ_XMLReaderErrorCode(reader.get()), 0);
}

TEST(XmlReaderEntities, MissingEntityFailsTheDocument) {
    TempFile doc("<!DOCTYPE r [<!ENTITY e SYSTEM 'no-such-file.xml'>]><r>&e;</r>");
    Reader reader;
    EXPECT_EQ(ReadFile(reader.get(), doc.path), "");
    EXPECT_EQ(QZ_XMLReaderErrorCode(reader.get()), XML_ERROR_EXTERNAL_ENTITY_HANDLING);
    EXPECT_EQ(xrtest::ErrorText(reader.get()), "error in processing external entity reference");
    EXPECT_TRUE(QZ_XMLReaderGetEOF(reader.get()));
}

TEST(XmlReaderEntities, LoneCarriageReturnAtTheEndOfAnEntity) {
    char templ[] = "/tmp/qzxrcrXXXXXX";
    const std::string dir = mkdtemp(templ);
    {
        TempFile doc("<!DOCTYPE r [<!ENTITY e SYSTEM 'e.txt'>]><r>[&e;]</r>", dir + "/doc.xml");
        TempFile ent("a\r\nb\r", dir + "/e.txt");
        Reader reader;
        QZ_XMLReaderSetLinesNormalization(reader.get(), 0);
        QZ_XMLReaderSetRmWhite(reader.get(), 0);
        EXPECT_EQ(ReadFile(reader.get(), dir + "/doc.xml"), "!:r|E:r=[a\r\nb\r]");
        Reader normalised;
        QZ_XMLReaderSetRmWhite(normalised.get(), 0);
        EXPECT_EQ(ReadFile(normalised.get(), dir + "/doc.xml"), "!:r|E:r=[a\nb\n]");
    }
    rmdir(dir.c_str());
}

// Documents from outside the program must not make the reader read local
// files: the request body and a client's answer start with ExtEntEnabled off.
TEST(XmlReaderEntities, UntrustedInputsDoNotFollowEntities) {
    EntityTree tree;
    const std::string doc = "<!DOCTYPE r [<!ENTITY e SYSTEM '" + tree.dir + "/sub/inner.xml'>]><r>&e;</r>";

    auto request = std::make_unique<QZ_HTTP_SrvReq>();
    QZ_HTTP_SrvReq_Init(request.get());
    QZ_CStr_SetText(&request->content, doc.c_str());
    request->contentLength = static_cast<int32_t>(doc.size());
    {
        Reader reader;
        ASSERT_TRUE(QZ_XMLReader_OpenRequest(reader.get(), request.get()));
        EXPECT_EQ(QZ_XMLReaderGetExtEntEnabled(reader.get()), 0);
        EXPECT_EQ(xrtest::Stream(reader.get()), "!:r|E:r=");
        EXPECT_EQ(QZ_XMLReaderErrorCode(reader.get()), 0);
    }
    {
        // A program that turns them on after opening gets entities from the
        // network only: a document that came from outside never makes the
        // reader read a local file.
        Reader reader;
        ASSERT_TRUE(QZ_XMLReader_OpenRequest(reader.get(), request.get()));
        QZ_XMLReaderSetExtEntEnabled(reader.get(), 1);
        EXPECT_EQ(xrtest::Stream(reader.get()), "");
        EXPECT_EQ(QZ_XMLReaderErrorCode(reader.get()), XML_ERROR_EXTERNAL_ENTITY_HANDLING);
    }
    QZ_HTTP_SrvReq_Free(request.get());

    // Any other opener keeps the default (on), and the untrusted opener is
    // available to every other module that reads outside documents.
    Reader trusted;
    QZ_XMLReaderOpenFromString(trusted.get(), doc.c_str());
    EXPECT_EQ(QZ_XMLReaderGetExtEntEnabled(trusted.get()), 1);
    EXPECT_EQ(xrtest::Stream(trusted.get()), "!:r|E:r|E:i=secret|/r");
}

TEST(XmlReaderEntities, EntityAmplificationEndsWithExpatsError) {
    std::string doc = "<!DOCTYPE lolz [<!ENTITY lol 'lol'>";
    doc += "<!ENTITY lol1 '&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;'>";
    for (int i = 2; i <= 9; ++i) {
        doc += "<!ENTITY lol" + std::to_string(i) + " '";
        for (int j = 0; j < 10; ++j) doc += "&lol" + std::to_string(i - 1) + ";";
        doc += "'>";
    }
    doc += "]><lolz>&lol9;</lolz>";

    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    const auto start = std::chrono::steady_clock::now();
    Reader reader;
    QZ_XMLReaderOpenFromString(reader.get(), doc.c_str());
    int nodes = 0;
    while (QZ_XMLReaderRead(reader.get())) ++nodes;
    const auto seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage after{};
    getrusage(RUSAGE_SELF, &after);

    EXPECT_EQ(QZ_XMLReaderErrorCode(reader.get()), XML_ERROR_AMPLIFICATION_LIMIT_BREACH);
    EXPECT_LT(nodes, 3);
    EXPECT_LT(seconds, 5.0);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 200 * 1024); // kilobytes
}

TEST(XmlReaderEntities, ParseErrorsAndWhereTheyAre) {
    Reader reader;
    QZ_XMLReaderOpenFromString(reader.get(), "<r>\n  <a></b>\n</r>");
    // The whole document is one block: the error is known before the first node.
    EXPECT_FALSE(QZ_XMLReaderRead(reader.get()));
    EXPECT_EQ(QZ_XMLReaderErrorCode(reader.get()), XML_ERROR_TAG_MISMATCH);
    EXPECT_EQ(xrtest::ErrorText(reader.get()), "mismatched tag");
    EXPECT_EQ(QZ_XMLReaderErrorLineNumber(reader.get()), 2);
    EXPECT_EQ(QZ_XMLReaderErrorLinePos(reader.get()), 7);
    char buffer[8];
    EXPECT_STREQ(QZ_XMLReaderGetErrDescription(reader.get(), buffer, 4), "mism");
    // The error survives opening and closing; only a new initialisation clears it.
    QZ_XMLReaderOpenFromString(reader.get(), "<ok/>");
    EXPECT_FALSE(QZ_XMLReaderRead(reader.get()));
    QZ_XMLReaderClose(reader.get());
    EXPECT_EQ(QZ_XMLReaderErrorLineNumber(reader.get()), 0);
    EXPECT_EQ(QZ_XMLReaderErrorCode(reader.get()), XML_ERROR_TAG_MISMATCH);

    // A truncated document is reported, also when it ends at a block boundary.
    for (uint32_t block : {5u, 6u, 7u, 5120u}) {
        Reader truncated(block, 8);
        QZ_XMLReaderOpenFromString(truncated.get(), "<r><a>");
        while (QZ_XMLReaderRead(truncated.get())) {
        }
        EXPECT_EQ(QZ_XMLReaderErrorCode(truncated.get()), XML_ERROR_NO_ELEMENTS) << block;
    }

    Reader table;
    char text[80];
    XMLReaderSetAllocError(table.get());
    EXPECT_STREQ(QZ_XMLReaderGetErrDescription(table.get(), text, 79), "Internal error - Buffer allocation error");
    table->errorCode = 5;
    EXPECT_STREQ(QZ_XMLReaderGetErrDescription(table.get(), text, 79),
                 "Internal error - Unable to expand name sapaces buffer");
    table->errorCode = 12;
    EXPECT_STREQ(QZ_XMLReaderGetErrDescription(table.get(), text, 79), "Internal error");
    table->errorCode = -1;
    EXPECT_STREQ(QZ_XMLReaderGetErrDescription(table.get(), text, 79), "Internal error");
    table->errorCode = 0;
    EXPECT_STREQ(QZ_XMLReaderGetErrDescription(table.get(), text, 79), "No Error");
}

TEST(XmlReaderEntities, CallbackInputsAndTheirEnd) {
    // A source that reports its end as a failed read of nothing (as an HTTP
    // client's answer does) ends the document when it has delivered data.
    struct Source {
        std::string text;
        size_t at = 0;
        bool closed = false;
    };
    auto read = [](void *handle, char *buffer, uint32_t wanted, uint32_t *delivered) -> QZ_Flag {
        auto *s = static_cast<Source *>(handle);
        const size_t n = std::min<size_t>(wanted, s->text.size() - s->at);
        std::memcpy(buffer, s->text.data() + s->at, n);
        s->at += n;
        *delivered = static_cast<uint32_t>(n);
        return n != 0 ? 1 : 0;
    };
    auto close = [](void *handle) -> QZ_Flag {
        static_cast<Source *>(handle)->closed = true;
        return 1;
    };
    Source exact{"<r>abc</r>"}; // 10 bytes: a multiple of the 5 asked for
    Reader reader(6, 8);
    ASSERT_TRUE(QZ_XMLReaderParametricOpen(reader.get(), &exact, read, close, ""));
    EXPECT_EQ(xrtest::Stream(reader.get()), "E:r=abc");
    EXPECT_EQ(QZ_XMLReaderErrorCode(reader.get()), 0);
    QZ_XMLReaderClose(reader.get());
    EXPECT_TRUE(exact.closed);

    Source none{""};
    Reader empty;
    QZ_XMLReaderParametricOpen(empty.get(), &none, read, close, "");
    EXPECT_FALSE(QZ_XMLReaderRead(empty.get()));
    EXPECT_EQ(QZ_XMLReaderErrorCode(empty.get()), 4);
}

namespace {

// A directory of entity files e1 ... eN, each holding a reference to the
// next, and a document that declares them all and names the first.
struct EntityChain {
    std::string dir;
    std::vector<std::unique_ptr<TempFile>> files;
    explicit EntityChain(int length, const std::string &content = "end") {
        char templ[] = "/tmp/qzxrchainXXXXXX";
        dir = mkdtemp(templ);
        std::string subset;
        for (int i = 1; i <= length; ++i) {
            const std::string name = "e" + std::to_string(i);
            subset += "<!ENTITY " + name + " SYSTEM '" + name + ".xml'>";
            const std::string body = i < length ? "<l>&e" + std::to_string(i + 1) + ";</l>" : content;
            files.push_back(std::make_unique<TempFile>(body, dir + "/" + name + ".xml"));
        }
        files.push_back(std::make_unique<TempFile>("<!DOCTYPE r [" + subset + "]><r>&e1;</r>", dir + "/doc.xml"));
    }
    ~EntityChain() {
        files.clear();
        rmdir(dir.c_str());
    }
    std::string doc() const { return dir + "/doc.xml"; }
};

int16_t ReadToEnd(QZ_XmlReader *r, const std::string &path, int *nodes = nullptr) {
    QZ_XMLReaderOpen(r, path.c_str());
    int n = 0;
    while (QZ_XMLReaderRead(r)) ++n;
    if (nodes != nullptr) *nodes = n;
    return QZ_XMLReaderErrorCode(r);
}

} // namespace

// Entities that name entities: 40 levels are read, the 41st ends the
// document with the reader's own error (expat's external-entity error does
// not replace it).
TEST(XmlReaderEntities, NestingOfEntitiesIsLimited) {
    EntityChain forty(40);
    Reader reader;
    EXPECT_EQ(QZ_XMLReaderGetMaxEntityDepth(reader.get()), 40);
    int nodes = 0;
    EXPECT_EQ(ReadToEnd(reader.get(), forty.doc(), &nodes), 0);
    EXPECT_EQ(nodes, 1 + 1 + (2 * 38 + 1) + 1); // doctype, r, the l elements (the last simple), /r

    EntityChain fortyOne(41);
    Reader deeper;
    EXPECT_EQ(ReadToEnd(deeper.get(), fortyOne.doc()), QZ_XMLREADER_ERR_ENTITY_DEPTH);
    EXPECT_EQ(deeper->errorKind, QZ_XMLREADER_ERRKIND_READER);
    EXPECT_EQ(xrtest::ErrorText(deeper.get()), "External entities nested too deep");

    // A long chain stops at once.
    EntityChain long_(2000);
    const auto start = std::chrono::steady_clock::now();
    Reader chain;
    EXPECT_EQ(ReadToEnd(chain.get(), long_.doc()), QZ_XMLREADER_ERR_ENTITY_DEPTH);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 2.0);

    Reader configured;
    QZ_XMLReaderSetMaxEntityDepth(configured.get(), 3);
    EXPECT_EQ(QZ_XMLReaderGetMaxEntityDepth(configured.get()), 3);
    EntityChain three(3), four(4);
    EXPECT_EQ(ReadToEnd(configured.get(), three.doc()), 0);
    EXPECT_EQ(ReadToEnd(configured.get(), four.doc()), QZ_XMLREADER_ERR_ENTITY_DEPTH);
    Reader unlimited;
    QZ_XMLReaderSetMaxEntityDepth(unlimited.get(), 0);
    EntityChain sixty(60);
    EXPECT_EQ(ReadToEnd(unlimited.get(), sixty.doc()), 0);
}

// Every read of an entity adds its bytes; one file named again and again
// cannot add without end.
TEST(XmlReaderEntities, BytesAddedByEntitiesAreLimited) {
    char templ[] = "/tmp/qzxrbytesXXXXXX";
    const std::string dir = mkdtemp(templ);
    {
        TempFile ent(std::string(1000, 'x'), dir + "/e.txt");
        std::string refs;
        for (int i = 0; i < 100; ++i) refs += "&e;";
        TempFile doc("<!DOCTYPE r [<!ENTITY e SYSTEM 'e.txt'>]><r>" + refs + "</r>", dir + "/doc.xml");
        Reader reader;
        EXPECT_EQ(QZ_XMLReaderGetMaxEntityBytes(reader.get()), 64 * 1024 * 1024);
        EXPECT_EQ(ReadToEnd(reader.get(), doc.path), 0);

        Reader limited;
        QZ_XMLReaderSetMaxEntityBytes(limited.get(), 50000);
        EXPECT_EQ(QZ_XMLReaderGetMaxEntityBytes(limited.get()), 50000);
        EXPECT_EQ(ReadToEnd(limited.get(), doc.path), QZ_XMLREADER_ERR_ENTITY_SIZE);
        EXPECT_EQ(xrtest::ErrorText(limited.get()), "External entities too large");
        // Exactly at the limit is still allowed, and every document starts at 0.
        Reader exact;
        QZ_XmlReader *again = exact.get();
        QZ_XMLReaderSetMaxEntityBytes(again, 100000);
        EXPECT_EQ(ReadToEnd(again, doc.path), 0);
        EXPECT_EQ(ReadToEnd(again, doc.path), 0);
    }
    rmdir(dir.c_str());
}

// The mark of an external entity is removed once: a U+FEFF after it is the
// entity's first character.
TEST(XmlReaderEntities, CharacterAfterTheMarkOfAnEntity) {
    char templ[] = "/tmp/qzxrbomXXXXXX";
    const std::string dir = mkdtemp(templ);
    {
        TempFile ent("\xEF\xBB\xBF\xEF\xBB\xBFx", dir + "/e.txt");
        TempFile one("\xEF\xBB\xBFy", dir + "/one.txt");
        TempFile doc("<!DOCTYPE r [<!ENTITY e SYSTEM 'e.txt'><!ENTITY o SYSTEM 'one.txt'>]><r>[&e;|&o;]</r>",
                     dir + "/doc.xml");
        Reader reader;
        QZ_XMLReaderSetNodeEncoding(reader.get(), "UTF-8");
        QZ_XMLReaderOpen(reader.get(), doc.path.c_str());
        EXPECT_EQ(xrtest::Stream(reader.get()), "!:r|E:r=[\xEF\xBB\xBFx|y]");
        EXPECT_EQ(QZ_XMLReaderErrorCode(reader.get()), 0);
        // An encoding forced on the parser leaves the mark to the reader.
        for (const char *encoding : {"ANSI", "ISO-8859-1"}) {
            Reader forced;
            QZ_XMLReaderSetNodeEncoding(forced.get(), "UTF-8");
            QZ_XMLReaderSetDocumentEncoding(forced.get(), encoding);
            QZ_XMLReaderOpen(forced.get(), doc.path.c_str());
            EXPECT_EQ(xrtest::Stream(forced.get()), "!:r|E:r=[\xC3\xAF\xC2\xBB\xC2\xBFx|y]") << encoding;
        }
    }
    rmdir(dir.c_str());
}
