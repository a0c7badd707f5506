// Helpers of the writer tests: a writer into its own string buffer, and two
// real parsers (expat, and xmllint in a child process) that every produced
// document must satisfy.
#pragma once

#include <expat.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include "qz/qzxml.h"

namespace qzxmltest {

// A writer producing into its string buffer.
class StringWriter {
public:
    StringWriter() {
        EXPECT_EQ(QZ_xmlinit(&w), 0);
        EXPECT_EQ(QZ_xmlOpenToString(&w), 0);
    }
    ~StringWriter() { QZ_xmlclear(&w); }
    StringWriter(const StringWriter &) = delete;
    StringWriter &operator=(const StringWriter &) = delete;
    // Ends the output and returns the document without the final zero byte.
    std::string finish() {
        EXPECT_EQ(QZ_xmlend(&w), 0);
        uint32_t n = 0;
        const char *s = QZ_xmlgetInternalResultingString(&w, &n);
        if (s == nullptr || n == 0) return {};
        EXPECT_EQ(s[n - 1], '\0');
        return std::string(s, n - 1);
    }
    QZ_XmlWriter w{};
};

// "{uri}name" from expat's "uri|name", or the plain name.
inline std::string qualified(const char *n) {
    std::string s(n);
    const size_t bar = s.find('|');
    return bar == std::string::npos ? s : "{" + s.substr(0, bar) + "}" + s.substr(bar + 1);
}

// What expat saw, one token per event: <{uri}name a="v"...>, </...>, text runs
// as T"...", C"..." comments, P"target|data", [ and ] around CDATA sections.
// Attributes keep the parser's order; namespace declarations are not
// attributes in namespace mode. Returns "ERROR: ..." when not well formed.
// With keepBlank false, text runs are trimmed of white space at both ends and
// runs of only white space are left out.
inline std::string expatEvents(const std::string &doc, bool keepBlank = false) {
    struct State {
        std::string out;
        std::string text;
        bool keepBlank;
        void flushText() {
            std::string t = text;
            if (!keepBlank) { // the writer's layout: line feeds and indentation around text
                const size_t first = t.find_first_not_of(" \t\r\n");
                t = first == std::string::npos ? "" : t.substr(first, t.find_last_not_of(" \t\r\n") - first + 1);
            }
            if (!t.empty()) out += "T\"" + t + "\"";
            text.clear();
        }
    } st{{}, {}, keepBlank};
    XML_Parser p = XML_ParserCreateNS(nullptr, '|');
    XML_SetUserData(p, &st);
    XML_SetElementHandler(
        p,
        [](void *ud, const XML_Char *name, const XML_Char **atts) {
            auto *s = static_cast<State *>(ud);
            s->flushText();
            s->out += "<" + qualified(name);
            for (int i = 0; atts[i] != nullptr; i += 2) s->out += " " + qualified(atts[i]) + "=\"" + atts[i + 1] + "\"";
            s->out += ">";
        },
        [](void *ud, const XML_Char *name) {
            auto *s = static_cast<State *>(ud);
            s->flushText();
            s->out += "</" + qualified(name) + ">";
        });
    XML_SetCharacterDataHandler(p, [](void *ud, const XML_Char *t, int len) {
        static_cast<State *>(ud)->text.append(t, static_cast<size_t>(len));
    });
    XML_SetCommentHandler(p, [](void *ud, const XML_Char *t) {
        auto *s = static_cast<State *>(ud);
        s->flushText();
        s->out += "C\"" + std::string(t) + "\"";
    });
    XML_SetProcessingInstructionHandler(p, [](void *ud, const XML_Char *target, const XML_Char *data) {
        auto *s = static_cast<State *>(ud);
        s->flushText();
        s->out += "P\"" + std::string(target) + "|" + data + "\"";
    });
    XML_SetCdataSectionHandler(
        p,
        [](void *ud) {
            auto *s = static_cast<State *>(ud);
            s->flushText();
            s->out += "[";
        },
        [](void *ud) {
            auto *s = static_cast<State *>(ud);
            s->flushText();
            s->out += "]";
        });
    const bool ok = XML_Parse(p, doc.data(), static_cast<int>(doc.size()), 1) == XML_STATUS_OK;
    std::string result = ok ? st.out
                            : "ERROR: " + std::string(XML_ErrorString(XML_GetErrorCode(p))) + " at line " +
                                  std::to_string(XML_GetCurrentLineNumber(p));
    XML_ParserFree(p);
    return result;
}

// Whether xmllint --noout accepts the document; its complaint otherwise.
inline bool xmllintAccepts(const std::string &doc, std::string *complaint) {
    char path[] = "/tmp/qzxmlwriter.XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return false;
    close(fd);
    std::ofstream(path, std::ios::binary) << doc;
    const std::string command = "xmllint --noout " + std::string(path) + " 2>&1";
    FILE *child = popen(command.c_str(), "r");
    std::string said;
    char line[512];
    while (child != nullptr && fgets(line, sizeof line, child) != nullptr) said += line;
    const int status = child != nullptr ? pclose(child) : -1;
    std::filesystem::remove(path);
    if (complaint != nullptr) *complaint = said;
    return status == 0;
}

// Both parsers accept the document and expat reports exactly these events.
inline void expectParsedAs(const std::string &doc, const std::string &events, bool keepBlank = false) {
    EXPECT_EQ(expatEvents(doc, keepBlank), events) << doc;
    std::string complaint;
    EXPECT_TRUE(xmllintAccepts(doc, &complaint)) << complaint << doc;
}

} // namespace qzxmltest
