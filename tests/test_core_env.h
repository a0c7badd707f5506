// Test environment of the core tests: a private working directory with its own
// qzcfg.ini, and a reader for the trace file it names.
#pragma once

#include "qz/qztrace.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace qztest {

class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "qzcore.XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        path_ = pattern;
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(path_);
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::current_path(previous_, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;

    [[nodiscard]] const std::filesystem::path &path() const { return path_; }
    [[nodiscard]] std::string file(const std::string &name) const { return (path_ / name).string(); }

    void write(const std::string &name, const std::string &text) const {
        std::filesystem::create_directories((path_ / name).parent_path());
        std::ofstream(path_ / name, std::ios::binary) << text;
    }

private:
    std::filesystem::path path_;
    std::filesystem::path previous_;
};

inline std::string readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline std::vector<std::string> splitLines(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Tracing into <scratch>/trace.log at the given level, settings read afresh.
class TraceCapture {
public:
    explicit TraceCapture(int level, int traceTime = 0) {
        unsetenv("QZCFG");
        dir_.write("qzcfg.ini", "[Trace]\nTrace=1\nTraceLevel=" + std::to_string(level) +
                                    "\nTraceTime=" + std::to_string(traceTime) +
                                    "\nTraceFile=" + tracePath() + "\n");
        QZ_TraceReset();
    }
    ~TraceCapture() { QZ_TraceReset(); }
    TraceCapture(const TraceCapture &) = delete;
    TraceCapture &operator=(const TraceCapture &) = delete;

    [[nodiscard]] std::string tracePath() const { return dir_.file("trace.log"); }
    [[nodiscard]] std::string text() const { return readFile(tracePath()); }

    // The trace lines after the header, each without its process-id prefix.
    [[nodiscard]] std::vector<std::string> messages() const {
        std::vector<std::string> result;
        for (const std::string &line : splitLines(text())) {
            if (line.rfind("===========", 0) == 0) continue;
            result.push_back(line.size() > 12 ? line.substr(12) : std::string());
        }
        return result;
    }

    [[nodiscard]] const ScratchDir &dir() const { return dir_; }

private:
    ScratchDir dir_;
};

inline std::string pointerText(const void *p) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%p", p);
    return buffer;
}

} // namespace qztest
