// Static web generation options: command line, configuration, links and the
// options text handed on to other programs.
#include <gtest/gtest.h>

#include <sys/time.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "qz/qzdate.h"
#include "qz/qzpgmmem.h"
#include "qz/qzshell.h"
#include "qz/qzstatic.h"
#include "test_dates_support.h"

namespace {

class StaticOptions : public ::testing::Test {
protected:
    void SetUp() override { unsetenv("GATEWAY_INTERFACE"); }
    void TearDown() override
    {
        QZ_StaticWeb_Free();
        unsetenv("GATEWAY_INTERFACE");
    }

    // The program name and the page's four parameters come first.
    static void Parse(std::vector<std::string> options)
    {
        std::vector<std::string> args = {"hwendle.exe", "5", "6", "7", "abc"};
        args.insert(args.end(), options.begin(), options.end());
        std::vector<char *> argv;
        for (std::string &arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        QZ_StaticWeb_ParseOptions(static_cast<int>(args.size()), argv.data(), 4);
    }

    static std::string Link(const char *url, size_t size = 255)
    {
        std::vector<char> buffer(size + 1);
        return QZ_StaticWeb_BuildLink(buffer.data(), url, size);
    }

    datestest::TempCwd cwd_;
};

TEST_F(StaticOptions, CommandLineRunWithoutOptions)
{
    const QZ_DateTime before = QZ_Now();
    Parse({});
    const QZ_DateTime after = QZ_Now();
    EXPECT_EQ(QZ_StaticWeb_IsStatic(), 1);
    EXPECT_STREQ(QZ_StaticWeb_GetDir(), "");
    EXPECT_STREQ(QZ_StaticWeb_GetDynURL(), "");
    EXPECT_STREQ(QZ_StaticWeb_GetSSPBaseURL(), "");
    EXPECT_EQ(QZ_StaticWeb_GetOverwrite(), 1);
    EXPECT_EQ(QZ_StaticWeb_GetLinks(), 1);

    const QZ_DateTime ref = QZ_StaticWeb_GetRefDate();
    EXPECT_GE(QZ_CompareDateTime(ref.date, ref.time, before.date, before.time), 0);
    EXPECT_LE(QZ_CompareDateTime(ref.date, ref.time, after.date, after.time), 0);
    char stamp[32];
    QZ_FormatDateTime(stamp, 31, ref.date, ref.time, 10, 8, 0, 0, "", "", "");
    EXPECT_EQ(std::string(QZ_StaticWeb_OptionsText()), std::string(" \"/sr:") + stamp + "\"");
    EXPECT_EQ(std::strlen(stamp), 14u);
}

TEST_F(StaticOptions, CgiRunBuildsLinksOnTheConfiguredBase)
{
    setenv("GATEWAY_INTERFACE", "CGI/1.1", 1);
    cwd_.WriteConfig("[Web]\nSSP_BASE_URL=static\n");
    Parse({});
    EXPECT_EQ(QZ_StaticWeb_IsStatic(), 0);
    EXPECT_STREQ(QZ_StaticWeb_GetSSPBaseURL(), "static/");
    EXPECT_EQ(Link("a.htm"), "static/a.htm");
    EXPECT_EQ(Link("a.htm", 9), "static/a.");
    EXPECT_EQ(Link(nullptr), "static/");

    // Without the key the base is empty; in static mode the URL stays as it is.
    cwd_.WriteConfig("[Web]\nOTHER=x\n");
    Parse({});
    EXPECT_EQ(Link("a.htm"), "a.htm");
    unsetenv("GATEWAY_INTERFACE");
    QZ_StaticWeb_SetSSPBaseURL("http://host/ssp/");
    Parse({});
    EXPECT_EQ(Link("a.htm"), "a.htm");
}

TEST_F(StaticOptions, OptionsSetTheSettingsAndStaticMode)
{
    setenv("GATEWAY_INTERFACE", "CGI/1.1", 1);
    Parse({"/sd:C:\\out", "/su:http://dyn/app", "/so:false", "/sl:no", "/x", "other"});
    EXPECT_EQ(QZ_StaticWeb_IsStatic(), 1) << "an option means static mode even under CGI";
    EXPECT_STREQ(QZ_StaticWeb_GetDir(), "C:\\out/");
    EXPECT_STREQ(QZ_StaticWeb_GetDynURL(), "http://dyn/app/");
    EXPECT_EQ(QZ_StaticWeb_GetOverwrite(), 0);
    EXPECT_EQ(QZ_StaticWeb_GetLinks(), 1);

    Parse({"/sd:out\\", "/sd:final/", "/so:False", "/sl:false", "/su:"});
    EXPECT_STREQ(QZ_StaticWeb_GetDir(), "final/") << "a later option replaces an earlier one";
    EXPECT_STREQ(QZ_StaticWeb_GetDynURL(), "");
    EXPECT_EQ(QZ_StaticWeb_GetOverwrite(), 1) << "only the exact text false gives 0";
    EXPECT_EQ(QZ_StaticWeb_GetLinks(), 0);

    Parse({"/SD:x", "/sdx", "sd:x"});
    EXPECT_EQ(QZ_StaticWeb_IsStatic(), 0) << "upper case is no option";
    EXPECT_STREQ(QZ_StaticWeb_GetDir(), "");
}

TEST_F(StaticOptions, OnlyArgumentsAfterThePagesOwnParametersCount)
{
    std::vector<std::string> args = {"hwendle.exe", "/sd:one", "/sd:two", "/sd:three", "/sd:four"};
    std::vector<char *> argv;
    for (std::string &arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    QZ_StaticWeb_ParseOptions(5, argv.data(), 4);
    EXPECT_STREQ(QZ_StaticWeb_GetDir(), "");
    QZ_StaticWeb_ParseOptions(5, argv.data(), 2);
    EXPECT_STREQ(QZ_StaticWeb_GetDir(), "four/");
    QZ_StaticWeb_ParseOptions(5, argv.data(), -7);
    EXPECT_STREQ(QZ_StaticWeb_GetDir(), "four/");
    QZ_StaticWeb_ParseOptions(5, argv.data(), 99);
    EXPECT_STREQ(QZ_StaticWeb_GetDir(), "");
    QZ_StaticWeb_ParseOptions(0, nullptr, 4);
    EXPECT_EQ(QZ_StaticWeb_IsStatic(), 1);
}

TEST_F(StaticOptions, SetOptionByKey)
{
    Parse({});
    EXPECT_EQ(QZ_StaticWeb_SetOption("quazen.staticweb.dir", "d"), 0);
    EXPECT_EQ(QZ_StaticWeb_SetOption("quazen.staticweb.dynurl", "u/"), 0);
    EXPECT_EQ(QZ_StaticWeb_SetOption("quazen.staticweb.overwrite", "false"), 0);
    EXPECT_EQ(QZ_StaticWeb_SetOption("quazen.staticweb.links", "true"), 0);
    EXPECT_EQ(QZ_StaticWeb_SetOption("quazen.staticweb.refdate", "2026-12-07 10:20:30"), 0);
    EXPECT_EQ(QZ_StaticWeb_SetOption("quazen.staticweb.other", "x"), 1);
    EXPECT_EQ(QZ_StaticWeb_SetOption("QUAZEN.STATICWEB.DIR", "x"), 1);
    EXPECT_EQ(QZ_StaticWeb_SetOption(nullptr, "x"), 1);
    EXPECT_STREQ(QZ_StaticWeb_GetDir(), "d/");
    EXPECT_STREQ(QZ_StaticWeb_GetDynURL(), "u/");
    EXPECT_EQ(QZ_StaticWeb_GetOverwrite(), 0);
    EXPECT_EQ(QZ_StaticWeb_GetLinks(), 1);
    EXPECT_EQ(QZ_StaticWeb_GetRefDate().date, 2461382);
    EXPECT_EQ(QZ_StaticWeb_GetRefDate().time, 37230);
}

TEST_F(StaticOptions, OptionsTextHandsEverythingOn)
{
    Parse({"/sd:C:\\my \"out\"\\", "/su:http://x/", "/sl:false", "/so:false",
           "/sr:20261207102030"});
    EXPECT_STREQ(QZ_StaticWeb_OptionsText(),
                 " \"/sd:C:\\my \\\"out\\\"\\\\\" \"/su:http://x/\" \"/sl:false\" \"/so:false\""
                 " \"/sr:20261207102030\"");

    Parse({"/sd:C:\\out\\", "/sr:20261207102030"});
    EXPECT_STREQ(QZ_StaticWeb_OptionsText(), " \"/sd:C:\\out\\\\\" \"/sr:20261207102030\"");
}

TEST_F(StaticOptions, OptionsTextReachesAnotherProgramIntact)
{
    // Handed to a real child through the shell, the options arrive as the
    // arguments that give the same settings again.
    const std::string dir = "C:\\my \"out\"\\";
    Parse({"/sd:" + dir, "/su:a\\\"b\\\\c", "/so:false", "/sr:20261207102030"});
    const std::string out = cwd_.path("args.txt");
    setenv("DATES_ECHO_OUT", out.c_str(), 1);
    const std::string command =
        std::string(QZ_BINARY_DIR) + "/programs/dates_echo_args" + QZ_StaticWeb_OptionsText();
    ASSERT_EQ(QZ_ShellExecute(command.c_str(), 1), 0);
    unsetenv("DATES_ECHO_OUT");

    std::ifstream in(out);
    std::vector<std::string> received;
    for (std::string line; std::getline(in, line);)
        received.push_back(line);
    const std::vector<std::string> expected = {"[dates_echo_args]", "[/sd:" + dir + "]",
                                               "[/su:a\\\"b\\\\c/]", "[/so:false]",
                                               "[/sr:20261207102030]"};
    EXPECT_EQ(received, expected);
}

TEST_F(StaticOptions, LongValuesNeverCutTheReferenceDate)
{
    const std::string longDir(3000, 'd');
    const std::string quotes(3000, '"');
    Parse({"/sd:" + longDir, "/su:" + quotes, "/sr:20261207102030"});
    const std::string text = QZ_StaticWeb_OptionsText();
    EXPECT_LT(text.size(), size_t{QZ_STATIC_OPTIONS_TEXT_SIZE});
    const std::string tail = " \"/sr:20261207102030\"";
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    // Each value is escaped into at most 2049 characters, escapes kept whole.
    EXPECT_NE(text.find(" \"/sd:" + std::string(2049, 'd') + "\" "), std::string::npos);
    std::string escapedQuotes;
    for (int i = 0; i < 1024; ++i)
        escapedQuotes += "\\\"";
    EXPECT_NE(text.find(" \"/su:" + escapedQuotes + "\" "), std::string::npos);
}

TEST_F(StaticOptions, ReferenceDateAndUpToDateFiles)
{
    const std::string file = cwd_.path("page.htm");
    std::ofstream(file) << "x";
    const auto touch = [&](int16_t y, int16_t mo, int16_t d, int h, int mi, int s) {
        std::tm tm{};
        tm.tm_year = y - 1900;
        tm.tm_mon = mo - 1;
        tm.tm_mday = d;
        tm.tm_hour = h;
        tm.tm_min = mi;
        tm.tm_sec = s;
        tm.tm_isdst = -1;
        const std::time_t when = std::mktime(&tm);
        const timeval times[2] = {{when, 0}, {when, 0}};
        ASSERT_EQ(utimes(file.c_str(), times), 0);
    };

    Parse({"/sr:20261207102030"});
    EXPECT_EQ(QZ_StaticWeb_GetRefDate().date, 2461382);
    EXPECT_EQ(QZ_StaticWeb_GetRefDate().time, 37230);
    touch(2026, 12, 7, 10, 20, 30);
    EXPECT_EQ(QZ_StaticWeb_IsUpToDate(file.c_str()), 1);
    touch(2026, 12, 7, 10, 20, 29);
    EXPECT_EQ(QZ_StaticWeb_IsUpToDate(file.c_str()), 0);
    touch(2027, 1, 1, 0, 0, 0);
    EXPECT_EQ(QZ_StaticWeb_IsUpToDate(file.c_str()), 1);
    EXPECT_EQ(QZ_StaticWeb_IsUpToDate(cwd_.path("missing").c_str()), 0);

    // Not a valid date: (-1, -1); no date at all: (0, 0). Against either
    // every file counts as up to date, even a missing one.
    Parse({"/sr:2026-13-01"});
    EXPECT_EQ(QZ_StaticWeb_GetRefDate().date, -1);
    EXPECT_EQ(QZ_StaticWeb_GetRefDate().time, -1);
    EXPECT_EQ(QZ_StaticWeb_IsUpToDate(cwd_.path("missing").c_str()), 1);
    Parse({"/sr:xyz"});
    EXPECT_EQ(QZ_StaticWeb_GetRefDate().date, 0);
    EXPECT_EQ(QZ_StaticWeb_GetRefDate().time, 0);
    EXPECT_EQ(QZ_StaticWeb_IsUpToDate(cwd_.path("missing").c_str()), 1);
    EXPECT_STREQ(QZ_StaticWeb_OptionsText(), " \"/sr:00010101000000\"");
}

TEST_F(StaticOptions, TextsComeFromThePoolAndGoBackToIt)
{
    QZ_MemPool *pool = QZ_GetDefaultPool();
    const uint32_t before = pool->count;
    Parse({"/sd:a", "/su:b"});
    QZ_StaticWeb_SetSSPBaseURL("c");
    EXPECT_EQ(pool->count, before + 3);
    Parse({"/sd:again"});
    EXPECT_EQ(pool->count, before + 1) << "parsing again releases the earlier texts";
    QZ_StaticWeb_Free();
    EXPECT_EQ(pool->count, before);
    EXPECT_STREQ(QZ_StaticWeb_GetDir(), "");
    QZ_StaticWeb_Free();
}

TEST(StaticEscapeQuotes, QuotesAndBackslashes)
{
    const auto escape = [](const char *text, size_t n) {
        std::vector<char> buffer(n + 2, '#');
        EXPECT_EQ(QZ_EscapeQuotes(buffer.data(), text, n), buffer.data()) << text;
        EXPECT_EQ(buffer[n + 1], '#') << text;
        return std::string(buffer.data());
    };
    EXPECT_EQ(escape("plain", 100), "plain");
    EXPECT_EQ(escape("say \"hi\"", 100), "say \\\"hi\\\"");
    EXPECT_EQ(escape("C:\\out\\", 100), "C:\\out\\\\");
    EXPECT_EQ(escape("a\\\\", 100), "a\\\\\\\\") << "every backslash of a final run is doubled";
    EXPECT_EQ(escape("a\\\"b", 100), "a\\\\\\\"b") << "a backslash before a quote is doubled";
    EXPECT_EQ(escape("a\\b", 100), "a\\b") << "other backslashes stay single";
    EXPECT_EQ(escape("", 100), "");
    EXPECT_EQ(escape(nullptr, 100), "");

    // Cut at n characters without splitting an escape or leaving a lone
    // backslash at the end.
    EXPECT_EQ(escape("abcdef", 4), "abcd");
    EXPECT_EQ(escape("abc\"d", 4), "abc");
    EXPECT_EQ(escape("ab\\cd", 3), "ab");
    EXPECT_EQ(escape("ab\\", 3), "ab");
    EXPECT_EQ(escape("ab\\", 4), "ab\\\\");
    EXPECT_EQ(escape("\"", 0), "");
}

} // namespace
