// Configuration reader: section and key matching, the alternative directory,
// line limits and trimming.
#include "qz/qztrace.h"
#include "test_core_env.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using qztest::ScratchDir;

struct Lookup {
    int16_t found;
    std::string value;
};

// Looks the key up with a guarded buffer: nothing may be written past the
// QZ_INI_VALUE_MAX + 1 bytes the reader is allowed.
Lookup lookup(const char *section, const char *key, const char *file = "qzcfg.ini",
              const char *envVar = "QZCFG") {
    char buffer[QZ_INI_VALUE_MAX + 1 + 8];
    std::memset(buffer, '#', sizeof buffer);
    const int16_t found = QZ_ReadIniValue(envVar, section, key, file, buffer);
    for (size_t i = QZ_INI_VALUE_MAX + 1; i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], '#') << i;
    return {found, std::string(buffer)};
}

class CoreConfig : public ::testing::Test {
protected:
    void SetUp() override { unsetenv("QZCFG"); }
    void TearDown() override { unsetenv("QZCFG"); }
    ScratchDir dir;
};

TEST_F(CoreConfig, NamesMatchWithoutRegardToCaseAndBlanksAroundTheSign) {
    dir.write("qzcfg.ini", "; comment\n\n  [TRACE]\n\ttrace \t= \t 1 \t\r\n  TraceFile=/tmp/x.log  \n");
    Lookup r = lookup("Trace", "Trace");
    EXPECT_EQ(r.found, 1);
    EXPECT_EQ(r.value, "1");
    r = lookup("trace", "TRACEFILE");
    EXPECT_EQ(r.found, 1);
    EXPECT_EQ(r.value, "/tmp/x.log");
}

TEST_F(CoreConfig, KeyMustBeFollowedByTheSign) {
    dir.write("qzcfg.ini", "[Trace]\nTraceLevel=5\nTrace\n;Trace=3\nTrace x=4\n");
    EXPECT_EQ(lookup("Trace", "Trace").found, 0);
    dir.write("qzcfg.ini", "[Trace]\nTraceLevel=5\nTrace=2\n");
    EXPECT_EQ(lookup("Trace", "Trace").value, "2");
    EXPECT_EQ(lookup("Trace", "TraceLevel").value, "5");
}

TEST_F(CoreConfig, SectionHeaderMustCloseRightAfterTheName) {
    dir.write("qzcfg.ini", "[Trace ]\nTrace=1\n[Traces]\nTrace=2\n[Trace]\nTrace=3\n");
    EXPECT_EQ(lookup("Trace", "Trace").value, "3");
}

TEST_F(CoreConfig, OnlyTheFirstMatchingSectionIsSearched) {
    dir.write("qzcfg.ini", "Trace=0\n[Trace]\nTraceLevel=1\n[Web]\nTrace=9\n[Trace]\nTrace=1\n");
    const Lookup r = lookup("Trace", "Trace");
    EXPECT_EQ(r.found, 0);
    EXPECT_EQ(r.value, "");
}

TEST_F(CoreConfig, LinesBeforeTheFirstHeaderCountOnlyWithoutSection) {
    dir.write("qzcfg.ini", "Key=early\n[S]\nKey=late\n");
    EXPECT_EQ(lookup("S", "Key").value, "late");
    EXPECT_EQ(lookup("", "Key").value, "early");
    EXPECT_EQ(lookup(nullptr, "Key").value, "early");
}

TEST_F(CoreConfig, EmptyValueIsFound) {
    dir.write("qzcfg.ini", "[S]\nKey=   \t\r\n");
    const Lookup r = lookup("S", "Key");
    EXPECT_EQ(r.found, 1);
    EXPECT_EQ(r.value, "");
}

TEST_F(CoreConfig, AlternativeDirectoryFromTheVariable) {
    dir.write("alt/qzcfg.ini", "[Web]\nSSP_BASE_URL=http://example.test/\n");
    setenv("QZCFG", (dir.file("alt") + " \t\r\n").c_str(), 1);
    EXPECT_EQ(lookup("Web", "SSP_BASE_URL").value, "http://example.test/");
    // Without the variable name, the directory is not consulted.
    EXPECT_EQ(lookup("Web", "SSP_BASE_URL", "qzcfg.ini", nullptr).found, 0);
    // The file of the current directory wins, even when it lacks the key.
    dir.write("qzcfg.ini", "[Web]\nOther=1\n");
    const Lookup r = lookup("Web", "SSP_BASE_URL");
    EXPECT_EQ(r.found, 0);
    EXPECT_EQ(r.value, "");
}

TEST_F(CoreConfig, MissingFileGivesNotFoundAndEmptyValue) {
    EXPECT_EQ(lookup("Trace", "Trace").found, 0);
    EXPECT_EQ(lookup("Trace", "Trace").value, "");
    // A directory in place of the file and an unreadable file read as absent.
    std::filesystem::create_directory(dir.file("qzcfg.ini"));
    EXPECT_EQ(lookup("Trace", "Trace").found, 0);
    EXPECT_EQ(lookup("Trace", "Trace", "/nonexistent/dir/qzcfg.ini").found, 0);
}

TEST_F(CoreConfig, LongLinesAreReadInPiecesOf512) {
    // The first piece is "A=" and 510 'v's; the rest of the line is read as a
    // line of its own and so yields the key B.
    dir.write("qzcfg.ini", "[S]\nA=" + std::string(510, 'v') + "B=tail\n");
    Lookup r = lookup("S", "A");
    EXPECT_EQ(r.found, 1);
    EXPECT_EQ(r.value, std::string(510, 'v'));
    EXPECT_EQ(lookup("S", "B").value, "tail");

    // A value that fills the whole line still fits the caller's buffer.
    dir.write("qzcfg.ini", "[S]\nC=" + std::string(2000, 'w') + "\n");
    r = lookup("S", "C");
    EXPECT_EQ(r.value, std::string(510, 'w'));
}

TEST_F(CoreConfig, NamesAreComparedOnTheirFirst65Characters) {
    const std::string name65(65, 'K');
    const std::string longKey = name65 + "EXTRA";
    // The key is cut to 65 characters before the comparison ...
    dir.write("qzcfg.ini", "[S]\n" + name65 + " = cut\n");
    EXPECT_EQ(lookup("S", longKey.c_str()).value, "cut");
    // ... so a line that spells the whole key has "EXTRA" before its sign.
    dir.write("qzcfg.ini", "[S]\n" + longKey + "=long\n");
    EXPECT_EQ(lookup("S", longKey.c_str()).found, 0);
}

TEST_F(CoreConfig, NullArgumentsAreRefused) {
    dir.write("qzcfg.ini", "[S]\nK=v\n");
    EXPECT_EQ(QZ_ReadIniValue("QZCFG", "S", "K", "qzcfg.ini", nullptr), 0);
    EXPECT_EQ(lookup("S", nullptr).found, 0);
    EXPECT_EQ(lookup("S", "K", nullptr).found, 0);
}

} // namespace
