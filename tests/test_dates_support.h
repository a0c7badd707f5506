// A temporary working directory for one test, so that the qzcfg.ini that the
// date, shell and static-option modules read is the one the test writes.
#ifndef QZ_TESTS_TEST_DATES_SUPPORT_H
#define QZ_TESTS_TEST_DATES_SUPPORT_H

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "qz/qzdate.h"
#include "qz/qztrace.h"

namespace datestest {

class TempCwd {
public:
    TempCwd()
    {
        char pattern[] = "/tmp/qz-dates-XXXXXX";
        const char *made = mkdtemp(pattern);
        dir_ = made != nullptr ? made : "/tmp";
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_);
        if (const char *cfg = std::getenv("QZCFG"); cfg != nullptr) {
            savedCfg_ = cfg;
            hadCfg_ = true;
        }
        unsetenv("QZCFG");
        QZ_DateResetSettings();
        QZ_TraceReset();
    }
    ~TempCwd()
    {
        std::filesystem::current_path(previous_);
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
        if (hadCfg_)
            setenv("QZCFG", savedCfg_.c_str(), 1);
        QZ_DateResetSettings();
        QZ_TraceReset();
    }
    TempCwd(const TempCwd &) = delete;
    TempCwd &operator=(const TempCwd &) = delete;

    const std::string &dir() const { return dir_; }
    std::string path(const std::string &name) const { return dir_ + "/" + name; }

    // Writes qzcfg.ini (bytes as given) into the directory.
    void WriteConfig(const std::string &text, const std::string &where = "") const
    {
        std::ofstream out((where.empty() ? dir_ : where) + "/qzcfg.ini", std::ios::binary);
        out << text;
    }

private:
    std::string dir_;
    std::filesystem::path previous_;
    std::string savedCfg_;
    bool hadCfg_ = false;
};

} // namespace datestest

#endif
