// Splitting a command line into the program and its parameters.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "qz/qzshell.h"

namespace {

struct Split {
    std::string program;
    std::vector<std::string> params;
    bool none = false;
};

Split SplitLine(const char *line, size_t maximum = QZ_SHELL_TOKEN_MAX)
{
    Split split;
    std::vector<char> token(maximum + 1);
    const char *p = QZ_ShellFirstToken(line, token.data(), maximum);
    if (p == nullptr) {
        split.none = true;
        return split;
    }
    split.program = token.data();
    while ((p = QZ_ShellNextToken(p, token.data(), maximum)) != nullptr)
        split.params.emplace_back(token.data());
    return split;
}

using Params = std::vector<std::string>;

TEST(ShellTokens, ProgramAndParameters)
{
    Split s = SplitLine("C:\\tools\\conv.exe -a \"x y\" z");
    EXPECT_EQ(s.program, "C:\\tools\\conv.exe");
    EXPECT_EQ(s.params, (Params{"-a", "\"x y\"", "z"})) << "quoted parameters keep their quotes";

    s = SplitLine("  \"C:\\Program Files\\x.exe\"\t/q  ");
    EXPECT_EQ(s.program, "C:\\Program Files\\x.exe");
    EXPECT_EQ(s.params, (Params{"/q"}));

    s = SplitLine("p a\\\"b a\"\"b");
    EXPECT_EQ(s.params, (Params{"a\"b", "a\"b"}));
    s = SplitLine("a\\\"b");
    EXPECT_EQ(s.program, "a\"b");
    s = SplitLine("a\"\"b");
    EXPECT_EQ(s.program, "a\"b");
}

TEST(ShellTokens, QuotedTokens)
{
    // A quoted parameter is copied as written, escapes included, up to a
    // quote that white space or the end follows.
    Split s = SplitLine("p \"a\\\"b c\" \"d\"\"e\" \"\" last");
    EXPECT_EQ(s.params, (Params{"\"a\\\"b c\"", "\"d\"\"e\"", "\"\"", "last"}));

    // In the program a quote inside stays; escapes give one quote.
    s = SplitLine("\"ab\"cd\" x");
    EXPECT_EQ(s.program, "ab\"cd");
    EXPECT_EQ(s.params, (Params{"x"}));
    s = SplitLine("\"a\\\"b\"\"c\" x");
    EXPECT_EQ(s.program, "a\"b\"c");

    // Unterminated quotes run to the end of the line.
    s = SplitLine("\"abc def");
    EXPECT_EQ(s.program, "abc def");
    EXPECT_TRUE(s.params.empty());
    s = SplitLine("p \"abc def");
    EXPECT_EQ(s.params, (Params{"\"abc def"}));

    // An escaped quote does not close a quoted parameter.
    s = SplitLine("p \"C:\\dir\\\\\" next");
    EXPECT_EQ(s.params, (Params{"\"C:\\dir\\\\\" next"}));
}

TEST(ShellTokens, NothingLeft)
{
    char out[8] = "junk";
    EXPECT_EQ(QZ_ShellFirstToken("  \t\r\n ", out, 7), nullptr);
    EXPECT_STREQ(out, "");
    std::strcpy(out, "junk");
    EXPECT_EQ(QZ_ShellNextToken("", out, 7), nullptr);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(QZ_ShellFirstToken(nullptr, out, 7), nullptr);
    EXPECT_TRUE(SplitLine("").none);
}

TEST(ShellTokens, LongTokensAreCutAndTheirRestSkipped)
{
    Split s = SplitLine("abcdefgh next \"quoted long one\" z", 4);
    EXPECT_EQ(s.program, "abcd");
    EXPECT_EQ(s.params, (Params{"next", "\"quo", "z"}));

    const std::string huge(5000, 'x');
    s = SplitLine((huge + " " + huge + " end").c_str());
    EXPECT_EQ(s.program.size(), size_t{QZ_SHELL_TOKEN_MAX});
    ASSERT_EQ(s.params.size(), 2u);
    EXPECT_EQ(s.params[0].size(), size_t{QZ_SHELL_TOKEN_MAX});
    EXPECT_EQ(s.params[1], "end");

    char out[4];
    std::memset(out, '#', sizeof out);
    const char *text = "\"abcdef\" next";
    EXPECT_EQ(QZ_ShellNextToken(text, out, 2), text + 8); // the cut token's rest is skipped
    EXPECT_STREQ(out, "\"a");
    EXPECT_EQ(out[3], '#');
}

} // namespace
