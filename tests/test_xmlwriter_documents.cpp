// Documents the writer produces, byte for byte, each also parsed by expat
// and by xmllint with the names, attributes and text that were asked for.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "test_xmlwriter_support.h"

namespace {

using qzxmltest::expectParsedAs;
using qzxmltest::StringWriter;

TEST(XmlWriterDocuments, OrderExampleByteForByte) {
    StringWriter s;
    QZ_XmlWriter *w = &s.w;
    EXPECT_EQ(QZ_xmlstartdocument(w, nullptr, 0), 0);
    EXPECT_EQ(QZ_xmlbeginelement(w, "order"), 0);
    EXPECT_EQ(QZ_xmlattint(w, "id", 7), 0);
    EXPECT_EQ(QZ_xmlvaluestr(w, "item", "a<b"), 0);
    EXPECT_EQ(QZ_xmlvaluestr(w, "note", ""), 0);
    EXPECT_EQ(QZ_xmlbeginelement(w, "lines"), 0);
    EXPECT_EQ(QZ_xmltext(w, "x"), 0);
    EXPECT_EQ(QZ_xmlendelement(w), 0);
    EXPECT_EQ(QZ_xmlendelement(w), 0);
    const std::string doc = s.finish();
    EXPECT_EQ(doc,
              "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
              "<order id=\"7\">\n"
              "\t<item>a&lt;b</item>\n"
              "\t<note/>\n"
              "\t<lines>\n"
              "x\t</lines>\n"
              "</order>\n");
    expectParsedAs(doc,
                   "<order id=\"7\">T\"\n\t\"<item>T\"a<b\"</item>T\"\n\t\"<note></note>T\"\n\t\"<lines>T\"\nx\t\"</"
                   "lines>T\"\n\"</order>",
                   true);
}

TEST(XmlWriterDocuments, LayoutOfValuesAttributesAndEscapes) {
    StringWriter s;
    QZ_XmlWriter *w = &s.w;
    QZ_xmlbeginelement(w, "r");
    QZ_xmlattstr(w, "q", "<&>'\"");
    QZ_xmlbeginelement(w, "empty");
    QZ_xmlendelement(w); // begin then end: two lines, never "/>"
    QZ_xmlvalueint(w, "n", -2147483647 - 1);
    QZ_xmlattdec(w, "d", 0.5); // still the value element's start tag
    QZ_xmlvaluedec(w, "x", 3.25);
    QZ_xmlvaluestr(w, "blank", "   ");
    QZ_xmlvaluestr(w, "t", " a&b ");
    QZ_xmlendelement(w); // closes r, enclosing the pending value element
    QZ_xmlattstr(w, "late", "1"); // nothing pending: ignored
    const std::string doc = s.finish();
    EXPECT_EQ(doc,
              "<r q=\"&lt;&amp;&gt;&apos;&quot;\">\n"
              "\t<empty>\n"
              "\t</empty>\n"
              "\t<n d=\"0.500000\">-2147483648</n>\n"
              "\t<x>3.250000</x>\n"
              "\t<blank/>\n"
              "\t<t> a&amp;b </t>\n"
              "</r>\n");
    expectParsedAs(doc, "<r q=\"<&>'\"\"><empty></empty><n d=\"0.500000\">T\"-2147483648\"</n><x>T\"3.250000\"</x>"
                        "<blank></blank><t>T\"a&b\"</t></r>");
}

// The same events through every output: the writer's string buffer and the
// caller's handlers get escaped text one entity at a time, while the file, the
// borrowed stream and the memory buffer get runs of plain text around them.
enum class Output { String, MemoryBuffer, File, BorrowedStream, Handlers };

std::string *handlerSink = nullptr;
int sinkOpen(void **handle, const char *) {
    *handle = handlerSink;
    return 1;
}
int sinkWrite(void *handle, const char *bytes, uint32_t count) {
    static_cast<std::string *>(handle)->append(bytes, count);
    return 1;
}
void sinkClose(void *) {}

template <typename Events> std::string writeThrough(Output out, Events events) {
    const std::string path = ::testing::TempDir() + "/qzxmlwriter_escape.xml";
    std::string result;
    QZ_XmlWriter w{};
    EXPECT_EQ(QZ_xmlinit(&w), 0);
    QZ_Buffer mem{};
    FILE *fp = nullptr;
    switch (out) {
    case Output::String: EXPECT_EQ(QZ_xmlOpenToString(&w), 0); break;
    case Output::MemoryBuffer:
        EXPECT_EQ(QZ_Buffer_Init(&mem, 16, 16), 1);
        EXPECT_EQ(QZ_xmlstartMemBuf(&w, &mem), 0);
        break;
    case Output::File: EXPECT_EQ(QZ_xmlstart(&w, path.c_str()), 0); break;
    case Output::BorrowedStream:
        fp = std::fopen(path.c_str(), "w");
        EXPECT_NE(fp, nullptr);
        EXPECT_EQ(QZ_xmlstartOnFile(&w, fp), 0);
        break;
    case Output::Handlers:
        handlerSink = &result;
        QZ_xmlclear(&w);
        EXPECT_EQ(QZ_xmlwriterinit(&w, sinkOpen, sinkWrite, sinkClose), 0);
        break;
    }
    events(&w);
    EXPECT_EQ(QZ_xmlend(&w), 0);
    uint32_t n = 0;
    const char *s = nullptr;
    switch (out) {
    case Output::String:
        s = QZ_xmlgetInternalResultingString(&w, &n);
        if (s != nullptr && n > 0) result.assign(s, n - 1);
        break;
    case Output::MemoryBuffer:
        if (mem.used > 0) result.assign(reinterpret_cast<const char *>(mem.data), mem.used - 1);
        QZ_Buffer_Free(&mem);
        break;
    case Output::BorrowedStream: std::fclose(fp); [[fallthrough]];
    case Output::File: {
        std::ifstream in(path, std::ios::binary);
        result.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        std::remove(path.c_str());
        break;
    }
    case Output::Handlers: break;
    }
    QZ_xmlclear(&w);
    return result;
}

TEST(XmlWriterDocuments, EveryMarkupCharacterIsEscapedOnEveryOutput) {
    struct Escape {
        const char *character, *entity;
    } escapes[] = {{"<", "&lt;"}, {"&", "&amp;"}, {">", "&gt;"}, {"'", "&apos;"}, {"\"", "&quot;"}};
    for (Output out : {Output::String, Output::MemoryBuffer, Output::File, Output::BorrowedStream, Output::Handlers}) {
        for (const char *encoding : {"ISO-8859-1", "UTF-8"}) {
            const auto where = ::testing::Message() << "output " << static_cast<int>(out) << " " << encoding;
            std::string allText, allEntities;
            for (const Escape &e : escapes) {
                const std::string plain = std::string("x") + e.character + "y";
                const std::string escaped = std::string("x") + e.entity + "y";
                allText += e.character;
                allEntities += e.entity;
                const std::string doc = writeThrough(out, [&](QZ_XmlWriter *w) {
                    QZ_xmlsetencoding(w, encoding);
                    QZ_xmlbeginelement(w, "e");
                    QZ_xmlattstr(w, "a", plain.c_str());
                    QZ_xmltext(w, plain.c_str());
                    QZ_xmlvaluestr(w, "v", e.character);
                    QZ_xmlendelement(w);
                });
                EXPECT_EQ(doc, "<e a=\"" + escaped + "\">\n" + escaped + "\t<v>" + e.entity + "</v>\n</e>\n")
                    << where << " " << e.character;
            }
            // All of them in a row, with no plain character between the entities.
            const std::string doc = writeThrough(out, [&](QZ_XmlWriter *w) {
                QZ_xmlsetencoding(w, encoding);
                QZ_xmlbeginelement(w, "e");
                QZ_xmlattstr(w, "a", allText.c_str());
                QZ_xmltext(w, (allText + allText).c_str());
                QZ_xmlendelement(w);
            });
            EXPECT_EQ(doc, "<e a=\"" + allEntities + "\">\n" + allEntities + allEntities + "</e>\n") << where;
        }
    }
}

TEST(XmlWriterDocuments, NamespacePrefixesAndDeclarations) {
    StringWriter s;
    QZ_XmlWriter *w = &s.w;
    QZ_xmlbeginelementNS(w, "root", "p", "urn:a");
    QZ_xmlattstr(w, "k", "v");
    QZ_xmlbeginelementNS(w, "child", "", "urn:a"); // reuses p
    QZ_xmlbeginelementNS(w, "x", "q", "urn:a");    // another prefix: declared again
    QZ_xmlendelement(w);
    QZ_xmlendelement(w); // the binding of q went with x: p again
    QZ_xmlvaluestrNS(w, "v", "urn:b", "1"); // no binding, no prefix: default namespace
    QZ_xmlbeginelement(w, "plain");
    QZ_xmlattstr(w, "xmlns:z", "  urn:z"); // a declaration by hand binds z
    QZ_xmlbeginelementNS(w, "in", "", "urn:z");
    QZ_xmlendelement(w);
    QZ_xmlendelement(w);
    QZ_xmlbeginelementNS(w, "after", "", "urn:z"); // z is out of scope again
    QZ_xmlendelement(w);
    QZ_xmlendelement(w);
    const std::string doc = s.finish();
    EXPECT_EQ(doc,
              "<p:root k=\"v\" xmlns:p=\"urn:a\">\n"
              "\t<p:child>\n"
              "\t\t<q:x xmlns:q=\"urn:a\">\n"
              "\t\t</q:x>\n"
              "\t</p:child>\n"
              "\t<v xmlns=\"urn:b\">1</v>\n"
              "\t<plain xmlns:z=\"urn:z\">\n"
              "\t\t<z:in>\n"
              "\t\t</z:in>\n"
              "\t</plain>\n"
              "\t<after xmlns=\"urn:z\">\n"
              "\t</after>\n"
              "</p:root>\n");
    expectParsedAs(doc, "<{urn:a}root k=\"v\"><{urn:a}child><{urn:a}x></{urn:a}x></{urn:a}child>"
                        "<{urn:b}v>T\"1\"</{urn:b}v><plain><{urn:z}in></{urn:z}in></plain>"
                        "<{urn:z}after></{urn:z}after></{urn:a}root>");
}

TEST(XmlWriterDocuments, CdataCommentsInstructionsAndDoctype) {
    StringWriter s;
    QZ_XmlWriter *w = &s.w;
    QZ_xmldoctype(w, "  doc extra", "  <!ENTITY e \"ent\">");
    QZ_xmlbeginelement(w, "doc");
    QZ_xmlcdata(w, "a]]>b]]>");
    QZ_xmlcdata(w, "<plain>");
    QZ_xmlcomment(w, " note ");
    QZ_xmlprocessinginstruction(w, "  tgt more", "   d=1");
    QZ_xmlprocessinginstruction(w, "bare", "");
    QZ_xmlentityreference(w, " e x");
    QZ_xmlraw(w, "<raw/>");
    QZ_xmlendelement(w);
    const std::string doc = s.finish();
    EXPECT_EQ(doc,
              "<!DOCTYPE doc [<!ENTITY e \"ent\">]>\n"
              "<doc>\n"
              "<![CDATA[a]]]>\n" // the root's content is at depth 0
              "<![CDATA[]>b]]]>\n"
              "<![CDATA[]>]]>\n"
              "<![CDATA[<plain>]]>\n"
              "<!-- note -->\n"
              "<?tgt d=1?>\n"
              "<?bare?>\n"
              "&e;<raw/></doc>\n");
    expectParsedAs(doc, "<doc>[T\"a]\"][T\"]>b]\"][T\"]>\"][T\"<plain>\"]C\" note \"P\"tgt|d=1\"P\"bare|\"T\"ent\""
                        "<raw></raw></doc>");
}

TEST(XmlWriterDocuments, DoctypeIdentifiers) {
    StringWriter s;
    QZ_xmldoctypepublic(&s.w, "html", "-//A//B", "b.dtd", "");
    QZ_xmldoctypesystem(&s.w, "html", "c.dtd", " ");
    QZ_xmldoctypepublic(&s.w, "html", "", nullptr, "");
    EXPECT_EQ(s.finish(), "<!DOCTYPE html PUBLIC \"-//A//B\" \"b.dtd\">\n"
                          "<!DOCTYPE html SYSTEM \"c.dtd\">\n"
                          "<!DOCTYPE html PUBLIC \"\" \"\">\n");

    StringWriter one;
    QZ_xmldoctypepublic(&one.w, "r", "-//X//Y", nullptr, "");
    QZ_xmlvaluestr(&one.w, "r", "ok");
    const std::string doc = one.finish();
    EXPECT_EQ(doc, "<!DOCTYPE r PUBLIC \"-//X//Y\" \"\">\n<r>ok</r>\n");
    expectParsedAs(doc, "<r>T\"ok\"</r>");
}

TEST(XmlWriterDocuments, Utf8ModeConvertsNamesMarkupAndText) {
    StringWriter s;
    QZ_XmlWriter *w = &s.w;
    QZ_xmlstartdocument(w, "  utf-8", 1);
    QZ_xmlbeginelement(w, "r\xE9");
    QZ_xmlattstr(w, "a", "\x80");
    QZ_xmltext(w, "\xE9&\x9F");
    QZ_xmlcomment(w, "\xE9");
    QZ_xmlendelement(w);
    const std::string doc = s.finish();
    EXPECT_EQ(doc,
              "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
              "<r\xC3\xA9 a=\"\xE2\x82\xAC\">\n"
              "\xC3\xA9&amp;\xC5\xB8<!--\xC3\xA9-->\n"
              "</r\xC3\xA9>\n");
    expectParsedAs(doc, "<r\xC3\xA9 a=\"\xE2\x82\xAC\">T\"\xC3\xA9&\xC5\xB8\"C\"\xC3\xA9\"</r\xC3\xA9>");
}

TEST(XmlWriterDocuments, Latin1ModePassesBytesThatParsersReadAsLatin1) {
    StringWriter s;
    QZ_xmlstartdocument(&s.w, "whatever", 0);
    QZ_xmlvaluestr(&s.w, "r", "\xE9");
    const std::string doc = s.finish();
    EXPECT_EQ(doc, "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<r>\xE9</r>\n");
    expectParsedAs(doc, "<r>T\"\xC3\xA9\"</r>");
}

TEST(XmlWriterDocuments, DeepNestingAndIndentationSettings) {
    constexpr int kDepth = 250; // within xmllint's default nesting limit
    StringWriter s;
    QZ_XmlWriter *w = &s.w;
    QZ_xmlsetindentation(w, 3);
    QZ_xmlsetindentationchar(w, " ");
    QZ_xmlsetindentationchar(w, ""); // changes nothing
    std::string expected;
    std::string events;
    for (int i = 0; i < kDepth; ++i) {
        QZ_xmlbeginelement(w, "d");
        expected += std::string(static_cast<size_t>(3 * i), ' ') + "<d>\n";
        events += "<d>";
    }
    QZ_xmltext(w, "deep");
    expected += "deep";
    events += "T\"deep\"";
    for (int i = kDepth - 1; i >= 0; --i) {
        expected += std::string(static_cast<size_t>(3 * i), ' ') + "</d>\n";
        events += "</d>";
    }
    const std::string doc = s.finish(); // the end closes every open element
    EXPECT_EQ(doc, expected);
    expectParsedAs(doc, events);

    // Far deeper, without indentation: expat only (xmllint stops at 256 levels).
    StringWriter deep;
    std::string deepEvents;
    QZ_xmlsetindentation(&deep.w, 0);
    for (int i = 0; i < 20000; ++i) {
        QZ_xmlbeginelement(&deep.w, "e");
        deepEvents += "<e>";
    }
    for (int i = 0; i < 20000; ++i) deepEvents += "</e>";
    EXPECT_EQ(qzxmltest::expatEvents(deep.finish()), deepEvents);

    StringWriter flat;
    QZ_xmlsetindentation(&flat.w, 0);
    QZ_xmlbeginelement(&flat.w, "a");
    QZ_xmlvaluestr(&flat.w, "b", "1");
    EXPECT_EQ(flat.finish(), "<a>\n<b>1</b>\n</a>\n");
}

} // namespace
