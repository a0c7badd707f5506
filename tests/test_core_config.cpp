// Configuration reader: section and key matching, the alternative directory,
// line limits and trimming.
#include "qz/qzdate.h"
#include "qz/qzstatic.h"
#include "qz/qztrace.h"
#include "runtime/qzini_testing.h"
#include "test_core_env.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

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

// What one request reads of the configuration: the trace settings, the date
// settings and case alphabets, the static web base URL, the data store and the
// page's site prefix; nine lookups in all.
const char kRequestConfig[] =
    "[Trace]\nTrace=0\nTraceLevel=2\n[DateHandling]\nYearLimit=30\n[Upper/Lower]\nLower=\xf1\nUpper=\xd1\n"
    "[Web]\nSSP_BASE_URL=http://ssp.example/\nSitePrefix=http://site.example/\n"
    "[DataStore.Default]\nDatabase=/tmp/x.db\n";

void readWhatARequestReads() {
    QZ_ReadTraceConfig();
    EXPECT_EQ(QZ_GetTraceLevel(), 2);
    EXPECT_EQ(QZ_GetYearLimit(), 30);
    EXPECT_EQ(QZ_CaseAlphabetsLoaded(), 1);
    char *argv[] = {nullptr};
    QZ_StaticWeb_ParseOptions(0, argv, 0);
    EXPECT_STREQ(QZ_StaticWeb_GetSSPBaseURL(), "http://ssp.example/");
    EXPECT_EQ(lookup("Web", "SitePrefix").value, "http://site.example/");
    EXPECT_EQ(lookup("DataStore.Default", "Database").value, "/tmp/x.db");
}

// The file is opened and parsed once per process, however many sections are read.
TEST_F(CoreConfig, ARequestOpensTheFileOnce) {
    dir.write("qzcfg.ini", kRequestConfig);
    QZ_TraceReset();
    QZ_DateResetSettings();
    const int64_t before = qz_Config_FilesOpened();
    readWhatARequestReads();
    EXPECT_EQ(lookup("Trace", "TraceLevel").value, "2");
    EXPECT_EQ(qz_Config_FilesOpened(), before + 1);
    QZ_TraceReset();
    QZ_DateResetSettings();
}

// The same, counted by the system: the child runs the lookups above under strace.
TEST_F(CoreConfig, ARequestOpensTheFileOnceAsStraceSees) {
    if (std::system("strace -V >/dev/null 2>&1") != 0) FAIL() << "strace is not installed (scripts/install-deps.sh installs it)";
    const char *preload = std::getenv("LD_PRELOAD");
    if (preload != nullptr && std::strstr(preload, "vgpreload") != nullptr)
        GTEST_SKIP() << "under valgrind the test program cannot be started again as it is";
    dir.write("qzcfg.ini", kRequestConfig);
    const std::string log = dir.file("strace.log");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The leak checker of a sanitizer build cannot run under ptrace.
        const char *asan = std::getenv("ASAN_OPTIONS");
        setenv("ASAN_OPTIONS", (std::string(asan != nullptr ? asan : "") + ":detect_leaks=0").c_str(), 1);
        const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
        execlp("strace", "strace", "-f", "-qq", "-e", "trace=open,openat,openat2", "-o", log.c_str(), self.c_str(),
               "--gtest_filter=CoreConfig.ARequestOpensTheFileOnce", static_cast<char *>(nullptr));
        _exit(127);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    size_t opens = 0;
    for (const std::string &line : qztest::splitLines(qztest::readFile(log)))
        if (line.find("\"qzcfg.ini\"") != std::string::npos && line.find("ENOENT") == std::string::npos) ++opens;
    EXPECT_EQ(opens, 1u) << qztest::readFile(log);
}

// A copy stays valid only while the file does: a file replaced by another of
// the same size is read again.
TEST_F(CoreConfig, AReplacedFileIsReadAgain) {
    dir.write("qzcfg.ini", "[S]\nK=first\n");
    EXPECT_EQ(lookup("S", "K").value, "first");
    dir.write("next.ini", "[S]\nK=other\n");
    std::filesystem::rename(dir.file("next.ini"), dir.file("qzcfg.ini"));
    const int64_t before = qz_Config_FilesOpened();
    EXPECT_EQ(lookup("S", "K").value, "other");
    EXPECT_EQ(lookup("S", "K").value, "other");
    EXPECT_EQ(qz_Config_FilesOpened(), before + 1);
    std::filesystem::remove(dir.file("qzcfg.ini"));
    EXPECT_EQ(lookup("S", "K").found, 0);
}

} // namespace
