// Settings from qzcfg.ini: the YearLimit pivot and the case alphabets.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "qz/qzdate.h"
#include "test_dates_support.h"

namespace {

class DatesConfig : public ::testing::Test {
protected:
    datestest::TempCwd cwd_;
};

int16_t Completed(int16_t year)
{
    QZ_CompleteYear(&year);
    return year;
}

TEST_F(DatesConfig, YearLimitFromTheConfigurationFile)
{
    cwd_.WriteConfig("[Trace]\nYearLimit=10\n[DateHandling]\nYearLimit = 50\n");
    EXPECT_EQ(QZ_GetYearLimit(), 50);
    EXPECT_EQ(Completed(49), 2049);
    EXPECT_EQ(Completed(50), 1950);
    EXPECT_EQ(Completed(51), 1951);
    EXPECT_EQ(QZ_ParseDate("07/12/49", 2), QZ_DateFromYMD(2049, 12, 7));
    EXPECT_EQ(QZ_ParseDate("07/12/50", 2), QZ_DateFromYMD(1950, 12, 7));
    EXPECT_EQ(QZ_ParseDate("07/12/2049", 2), QZ_DateFromYMD(2049, 12, 7));

    // Read once per process: a changed file counts only after a reset.
    cwd_.WriteConfig("[DateHandling]\nYearLimit=0\n");
    EXPECT_EQ(Completed(26), 2026);
    QZ_DateResetSettings();
    EXPECT_EQ(Completed(26), 1926);
    EXPECT_EQ(Completed(0), 1900);
    EXPECT_EQ(QZ_ParseDate("07/12/26", 2), QZ_DateFromYMD(1926, 12, 7));
}

TEST_F(DatesConfig, YearLimitValuesOutOfTheOrdinary)
{
    struct Case {
        const char *value;
        int16_t limit;
    } cases[] = {{"abc", 0}, {"", 0}, {"75xyz", 75}, {"-20", -20}, {"99999999999", 32767},
                 {"-99999999999", -32768}, {"100", 100}, {"  +45", 45}};
    for (const Case &c : cases) {
        cwd_.WriteConfig(std::string("[DateHandling]\nYearLimit=") + c.value + "\n");
        QZ_DateResetSettings();
        EXPECT_EQ(QZ_GetYearLimit(), c.limit) << c.value;
    }
    // A pivot above 100 turns every year below it into 2000 + year.
    cwd_.WriteConfig("[DateHandling]\nYearLimit=150\n");
    QZ_DateResetSettings();
    EXPECT_EQ(Completed(120), 2120);
    EXPECT_EQ(Completed(150), 1150);
    // With the pivot at the top, a sum past 16 bits leaves the year as typed.
    cwd_.WriteConfig("[DateHandling]\nYearLimit=32767\n");
    QZ_DateResetSettings();
    EXPECT_EQ(Completed(31000), 31000);
    EXPECT_EQ(Completed(30767), 32767);
    EXPECT_EQ(Completed(26), 2026);
}

TEST_F(DatesConfig, ConfigurationDirectoryFromQzcfg)
{
    const std::string other = cwd_.path("cfg");
    std::filesystem::create_directory(other);
    cwd_.WriteConfig("[DateHandling]\nYearLimit=70\n", other);
    setenv("QZCFG", other.c_str(), 1);
    EXPECT_EQ(QZ_GetYearLimit(), 70);
    // The file in the current directory comes first.
    cwd_.WriteConfig("[DateHandling]\nYearLimit=20\n");
    QZ_DateResetSettings();
    EXPECT_EQ(QZ_GetYearLimit(), 20);
    unsetenv("QZCFG");
}

TEST_F(DatesConfig, NoFileKeepsTheDefaults)
{
    EXPECT_EQ(QZ_GetYearLimit(), 40);
    EXPECT_EQ(QZ_CaseAlphabetsLoaded(), -1);
    char buffer[16];
    EXPECT_STREQ(QZ_ToUpperConfigured(buffer, "a\xf1o", 15), "A\xf1O");
    EXPECT_STREQ(QZ_ToLowerConfigured(buffer, "A\xd1O", 15), "a\xd1o");
}

// Windows-1252 bytes: n-tilde F1/D1, a-acute E1/C1.
TEST_F(DatesConfig, ConfiguredAlphabetsMapAccentedLetters)
{
    cwd_.WriteConfig("[Upper/Lower]\nLower=\xf1\xe1\nUpper=\xd1\xc1\n");
    EXPECT_EQ(QZ_CaseAlphabetsLoaded(), 1);
    char buffer[32];
    EXPECT_STREQ(QZ_ToUpperConfigured(buffer, "a\xf1o m\xe1s", 31), "A\xd1O M\xc1S");
    EXPECT_STREQ(QZ_ToLowerConfigured(buffer, "A\xd1O M\xc1S", 31), "a\xf1o m\xe1s");
    // The standard copies do not know the accented letters.
    EXPECT_STREQ(QZ_ToUpperCopy(buffer, "a\xf1o", 31), "A\xf1O");

    // Bounded: at most n characters, and a zero at position n.
    std::memset(buffer, '#', sizeof buffer);
    QZ_ToUpperConfigured(buffer, "\xf1\xf1\xf1\xf1\xf1", 3);
    EXPECT_STREQ(buffer, "\xd1\xd1\xd1");
    EXPECT_EQ(buffer[4], '#');
}

TEST_F(DatesConfig, UnusableAlphabetsFallBackToTheStandardMapping)
{
    for (const char *config : {"[Upper/Lower]\nLower=\xf1\xe1\nUpper=\xd1\n",
                               "[Upper/Lower]\nLower=\xf1\xe1\n", "[Upper/Lower]\nUpper=\xd1\n",
                               "[Other]\nLower=\xf1\nUpper=\xd1\n"}) {
        cwd_.WriteConfig(config);
        QZ_DateResetSettings();
        EXPECT_EQ(QZ_CaseAlphabetsLoaded(), -1) << config;
        char buffer[16];
        EXPECT_STREQ(QZ_ToUpperConfigured(buffer, "a\xf1", 15), "A\xf1");
    }
    // Loaded once: a later file does not count until a reset.
    cwd_.WriteConfig("[Upper/Lower]\nLower=\xf1\nUpper=\xd1\n");
    EXPECT_EQ(QZ_CaseAlphabetsLoaded(), -1);
    QZ_DateResetSettings();
    EXPECT_EQ(QZ_CaseAlphabetsLoaded(), 1);
}

TEST_F(DatesConfig, StandardCaseCopies)
{
    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    QZ_ToLowerCopy(buffer, "AbC", 10);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(buffer[4], '#') << "copying stops after the zero";
    EXPECT_EQ(buffer[10], '\0') << "and a zero always lands at position n";
    std::memset(buffer, '#', sizeof buffer);
    QZ_ToUpperCopy(buffer, "abcdef", 4);
    EXPECT_STREQ(buffer, "ABCD");
    EXPECT_EQ(buffer[5], '#');
    QZ_ToUpperCopy(buffer, nullptr, 4);
    EXPECT_STREQ(buffer, "");

    char text[] = "MiXeD \xc9\xe9 123";
    EXPECT_STREQ(QZ_ToLowerInPlace(text), "mixed \xc9\xe9 123");
    EXPECT_EQ(QZ_ToLowerInPlace(nullptr), nullptr);
}

} // namespace
