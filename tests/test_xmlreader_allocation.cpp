// Allocation failure: a document written with the writer and read back with
// the reader, with one pool allocation after another made to fail. Every run
// must end with the writer's or the reader's own error, or with the full
// result, and give every block back to the pool (the sanitizer build finds
// what a crash or a leak would leave).

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "qz/qzpgmmem.h"
#include "qz/qzxml.h"
#include "runtime/qzpgmmem_testing.h"
#include "test_xmlreader_support.h"

namespace {

struct Outcome {
    int16_t writerError = 0;
    int16_t readerError = 0;
    std::string transcript;
};

// An external entity file next to the document, for the reader to fetch.
std::string EntityDirectory() {
    static std::string dir;
    if (dir.empty()) {
        char templ[] = "/tmp/qzxrallocXXXXXX";
        dir = mkdtemp(templ);
        FILE *f = std::fopen((dir + "/e.xml").c_str(), "wb");
        std::fputs("<ent n='1'>entity text</ent>", f);
        std::fclose(f);
    }
    return dir;
}

std::string WriteDocument(int16_t &error) {
    QZ_XmlWriter *w = QZ_xmlwritercreate();
    if (w == nullptr) {
        error = -1;
        return {};
    }
    std::string doc;
    error = QZ_xmlOpenToString(w);
    if (error == 0) {
        QZ_xmlstartdocument(w, "UTF-8", 0);
        QZ_xmldoctype(w, "r",
                      ("<!ENTITY e SYSTEM '" + EntityDirectory() +
                       "/e.xml'><!NOTATION n SYSTEM 'v'><!ENTITY u SYSTEM 'x.bin' NDATA n>")
                          .c_str());
        QZ_xmlbeginelement(w, "r");
        QZ_xmlattstr(w, "xmlns:p", "urn:example:p");
        QZ_xmlattstr(w, "xmlns", "urn:example:default");
        QZ_xmlattstr(w, "p:a", "one & <two>");
        QZ_xmlattstr(w, "pic", "u");
        for (int i = 0; i < 40; ++i) {
            QZ_xmlbeginelement(w, "p:item");
            QZ_xmlattint(w, "n", i);
            QZ_xmlvaluestr(w, "name", "caf\xC3\xA9 & cr\xC3\xA8me");
            QZ_xmltext(w, "mixed text\nwith lines");
            QZ_xmlcomment(w, "a comment");
            QZ_xmlcdata(w, "<raw> & data");
            QZ_xmlprocessinginstruction(w, "pi", "some data");
            QZ_xmlentityreference(w, "e");
            QZ_xmlendelement(w);
        }
        QZ_xmlvaluestr(w, "tail", std::string(6000, 't').c_str());
        QZ_xmlendelement(w);
        QZ_xmlend(w);
        error = QZ_xmlgeterrcode(w);
        uint32_t n = 0;
        const char *s = QZ_xmlgetInternalResultingString(w, &n);
        if (error == 0 && s != nullptr && n > 0) doc.assign(s, n - 1);
    }
    QZ_xmlwriterdestroy(w);
    return doc;
}

Outcome RoundTrip() {
    Outcome out;
    const std::string doc = WriteDocument(out.writerError);
    if (out.writerError != 0) return out;
    QZ_XmlReader *r = QZ_XMLReaderCreate();
    if (r == nullptr) {
        out.readerError = -1;
        return out;
    }
    if (QZ_XMLReaderErrorCode(r) == 0) {
        QZ_XMLReaderSetProxyHost(r, "proxy");
        QZ_XMLReaderOpenFromString(r, doc.c_str());
        int reads = 0;
        char buffer[200];
        while (QZ_XMLReaderRead(r)) {
            out.transcript += xrtest::Describe(r) + "|";
            QZ_XMLReaderGetAttEntityValueByName(r, buffer, "pic", 199);
            out.transcript += buffer;
            if (++reads == 20) out.transcript += QZ_XMLReaderReadRawXMLBuf(r, buffer, 199);
            if (reads == 30) QZ_XMLReaderSkip(r);
        }
        out.readerError = QZ_XMLReaderErrorCode(r);
    } else {
        out.readerError = QZ_XMLReaderErrorCode(r);
    }
    QZ_XMLReaderDestroy(r);
    return out;
}

} // namespace

TEST(XmlReaderAllocation, EveryFailureEndsWithAnErrorAndNoLeak) {
    QZ_MemPool *pool = QZ_GetDefaultPool();
    const uint32_t before = pool->count;
    qz_MemPool_FailAllocation(0);
    const Outcome clean = RoundTrip();
    ASSERT_EQ(clean.writerError, 0);
    ASSERT_EQ(clean.readerError, 0);
    ASSERT_NE(clean.transcript.find("E:ent@n=1=entity text"), std::string::npos) << clean.transcript;
    ASSERT_NE(clean.transcript.find("x.bin"), std::string::npos);
    const uint32_t after = pool->count;
    EXPECT_EQ(after, before);

    qz_MemPool_FailAllocation(0);
    RoundTrip();
    const int64_t allocations = qz_MemPool_AllocationsCounted();
    ASSERT_GT(allocations, 10);
    int writerFailures = 0, readerFailures = 0, clean_ = 0;
    for (int64_t n = 1; n <= allocations; ++n) {
        qz_MemPool_FailAllocation(n);
        const Outcome o = RoundTrip();
        qz_MemPool_FailAllocation(0);
        EXPECT_EQ(pool->count, before) << "allocation " << n << " left blocks behind";
        if (o.writerError != 0) {
            ++writerFailures;
        } else if (o.readerError != 0) {
            ++readerFailures;
            // A failure is the reader's own error (or the parser's, for an
            // entity that could not be read), never a silently short result.
            EXPECT_TRUE(o.readerError == -1 || o.readerError == QZ_XMLREADER_ERR_ALLOC ||
                        o.readerError == QZ_XMLREADER_ERR_QUEUE_CREATE ||
                        o.readerError == QZ_XMLREADER_ERR_NS_CREATE ||
                        o.readerError == QZ_XMLREADER_ERR_NS_EXPAND || o.readerError == QZ_XMLREADER_ERR_INPUT ||
                        o.readerError == 21 /* external entity */)
                << "allocation " << n << " error " << o.readerError;
        } else {
            ++clean_;
            EXPECT_EQ(o.transcript, clean.transcript) << "allocation " << n << " failed without an error";
        }
    }
    std::printf("%lld allocations: %d writer errors, %d reader errors, %d clean\n",
                static_cast<long long>(allocations), writerFailures, readerFailures, clean_);
    EXPECT_GT(writerFailures, 0);
    EXPECT_GT(readerFailures, 0);
}
