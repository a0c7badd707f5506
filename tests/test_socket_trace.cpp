// The transcript lines of socket data and the mail error table.

#include "test_socket_support.h"

#include <cstring>
#include <fstream>

#include "qz/qzsocket.h"

namespace {

class SocketTrace : public qz_test::TracedTest {};

TEST_F(SocketTrace, DataIsSplitAtEachCrLf) {
    QZ_traceTCP("S:", "GET / HTTP/1.0\r\n\r\n");
    EXPECT_EQ(Messages(), (std::vector<std::string>{"S:GET / HTTP/1.0<CRLF>\n\r", "S:<CRLF>\n\r"}));
    ClearTrace();
    QZ_traceTCP("R:", "one line only");
    EXPECT_EQ(Messages(), (std::vector<std::string>{"R:one line only\n\r"}));
    ClearTrace();
    // Bare LF and CR are no line ends (they are traced as escapes); a final piece without CR LF is traced.
    QZ_traceTCP("R:", "a\nb\rc\r\nd");
    EXPECT_EQ(Messages(), (std::vector<std::string>{"R:a\\nb\\rc<CRLF>\n\r", "R:d\n\r"}));
    ClearTrace();
    QZ_traceTCP("R:", "");
    QZ_traceTCP("R:", nullptr);
    EXPECT_TRUE(Messages().empty());
}

class SocketTraceLevel2 : public qz_test::TracedTest {
protected:
    SocketTraceLevel2() : TracedTest(2) {}
};

TEST_F(SocketTraceLevel2, DataIsNotTracedBelowLevel3) {
    QZ_traceTCP("S:", "secret\r\n");
    EXPECT_EQ(QZ_GetTraceLevel(), 2);
    EXPECT_TRUE(Messages().empty());
    // The same call at level 3 writes the line, so the silence above is the level's.
    std::ofstream(dir_ + "/qzcfg.ini", std::ios::trunc)
        << "[Trace]\nTrace=1\nTraceLevel=3\nTraceFile=" << tracePath_ << "\n";
    QZ_TraceReset();
    QZ_traceTCP("S:", "secret\r\n");
    EXPECT_EQ(QZ_GetTraceLevel(), 3);
    EXPECT_EQ(Messages(), (std::vector<std::string>{"S:secret<CRLF>\n\r"}));
}

TEST_F(SocketTrace, MailErrorTexts) {
    QZ_MailErrorRecord record{};
    QZ_MailError(&record, 8, "bob");
    EXPECT_EQ(record.code, 8);
    EXPECT_STREQ(record.text, "Invalid user name: bob");
    EXPECT_EQ(Messages(), (std::vector<std::string>{"ERROR: 8 - Invalid user name: bob\n\r"}));

    ClearTrace();
    QZ_MailError(&record, 0, "ignored");
    EXPECT_EQ(record.code, 0);
    EXPECT_STREQ(record.text, "OK");
    EXPECT_TRUE(Messages().empty());

    // Codes without a text keep the old one.
    QZ_MailError(&record, 4, "x");
    EXPECT_EQ(record.code, 4);
    EXPECT_STREQ(record.text, "OK");
    EXPECT_EQ(Messages(), (std::vector<std::string>{"ERROR: 4 - OK\n\r"}));

    QZ_MailError(&record, -1, "x");
    EXPECT_STREQ(record.text, "Invalid request");
    QZ_MailError(&record, 23, "x");
    EXPECT_STREQ(record.text,
                 "The server does not recognize any of the supported authentication methods");
    QZ_MailError(&record, 16, "a.pdf");
    EXPECT_STREQ(record.text, "Could not save attachment: a.pdf");
    QZ_MailError(&record, 100, nullptr);
    EXPECT_STREQ(record.text, "Invalid mode");
    QZ_MailError(&record, 14, nullptr);
    EXPECT_STREQ(record.text, "Invalid recipient: ");
}

TEST_F(SocketTrace, MailErrorArgumentIsCutToTheRecord) {
    QZ_MailErrorRecord record{};
    const std::string huge(5000, 'a');
    QZ_MailError(&record, 6, huge.c_str());
    EXPECT_EQ(std::strlen(record.text), sizeof record.text - 1);
    EXPECT_EQ(std::string(record.text).rfind("Invalid sender name: aaa", 0), 0u);
    QZ_MailError(nullptr, 6, "x");  // no record: nothing happens
}

}  // namespace
