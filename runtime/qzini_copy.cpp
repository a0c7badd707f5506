// The process's copy of its configuration files. A request used to open and
// parse qzcfg.ini once for every section a service read (nine times when the
// file exists); now the first lookup reads the file whole, and every later one
// is served from that copy.
//
// The copy stays valid while the file keeps its identity (device and inode),
// size and modification and change times, which a stat shows without opening
// the file, so that a file that is replaced or rewritten is read again. A
// rewrite that keeps the size within one tick of the file system's clock is
// not noticed: QZ_TraceReset and QZ_DateResetSettings forget every copy.
//
// Which file is read is decided exactly as before: the name as given, relative
// to the current directory; when that cannot be opened, the alternative path in
// the directory named by the environment variable.

#include "runtime/qzini_internal.h"
#include "runtime/qzini_testing.h"

#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

int64_t g_filesOpened = 0;

struct Identity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    bool operator==(const Identity &o) const {
        return device == o.device && inode == o.inode && size == o.size && modified.tv_sec == o.modified.tv_sec &&
               modified.tv_nsec == o.modified.tv_nsec && changed.tv_sec == o.changed.tv_sec &&
               changed.tv_nsec == o.changed.tv_nsec;
    }
};

Identity identityOf(const struct stat &st) {
    Identity id;
    id.device = st.st_dev;
    id.inode = st.st_ino;
    id.size = st.st_size;
    id.modified = st.st_mtim;
    id.changed = st.st_ctim;
    return id;
}

struct Copy {
    std::string fileName;    // as the caller named it
    std::string alternative; // the alternative path at the time of the read
    bool found = false;      // a file could be opened
    bool fromAlternative = false;
    Identity identity;
    std::string text;
};

std::vector<Copy> g_copies;

bool isTrailing(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The environment variable's directory (its trailing blanks, tabs, CR and LF
// removed), "/" and the file name; empty without the variable.
std::string alternativePath(const char *envVar, const char *fileName) {
    if (envVar == nullptr) return {};
    const char *dir = std::getenv(envVar);
    if (dir == nullptr) return {};
    std::string_view trimmed(dir);
    while (!trimmed.empty() && isTrailing(trimmed.back())) trimmed.remove_suffix(1);
    std::string path(trimmed);
    path += '/';
    path += fileName;
    return path;
}

bool statOf(const std::string &path, Identity &id) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    id = identityOf(st);
    return true;
}

// Whether the files on disk still are what the copy was read from.
bool stillValid(const Copy &c) {
    Identity named;
    const bool namedExists = statOf(c.fileName, named);
    if (c.found && !c.fromAlternative) return namedExists && named == c.identity;
    // A file under the name itself (one that did not open, or a new one): read again.
    if (namedExists) return false;
    Identity alternative;
    const bool alternativeExists = !c.alternative.empty() && statOf(c.alternative, alternative);
    if (!c.found) return !alternativeExists;
    return alternativeExists && alternative == c.identity;
}

Copy *findCopy(const std::string &fileName, const std::string &alternative) {
    for (Copy &c : g_copies)
        if (c.fileName == fileName && c.alternative == alternative) return &c;
    return nullptr;
}

void dropCopy(const Copy *copy) {
    if (copy == nullptr) return;
    g_copies.erase(g_copies.begin() + (copy - g_copies.data()));
}

} // namespace

namespace qz::ini {

Source Open(const char *envVar, const char *fileName) {
    Source source;
    const std::string alternative = alternativePath(envVar, fileName);
    Copy *copy = findCopy(fileName, alternative);
    if (copy != nullptr && stillValid(*copy)) {
        if (copy->found) {
            source.kind = Source::Kind::Text;
            source.text = &copy->text;
        }
        return source;
    }

    bool fromAlternative = false;
    FILE *file = std::fopen(fileName, "r");
    if (file == nullptr && !alternative.empty()) {
        file = std::fopen(alternative.c_str(), "r");
        fromAlternative = file != nullptr;
    }
    if (file != nullptr) ++g_filesOpened;

    struct stat st {};
    if (file != nullptr && (::fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode))) {
        // A directory, a device or a pipe: read as it comes, never kept.
        dropCopy(copy);
        source.kind = Source::Kind::Stream;
        source.stream = file;
        return source;
    }

    try {
        if (copy == nullptr) {
            g_copies.emplace_back();
            copy = &g_copies.back();
            copy->fileName = fileName;
            copy->alternative = alternative;
        }
        copy->found = file != nullptr;
        copy->fromAlternative = fromAlternative;
        copy->text.clear();
        if (file != nullptr) {
            copy->identity = identityOf(st);
            char block[8192];
            for (size_t n; (n = std::fread(block, 1, sizeof block, file)) > 0;) copy->text.append(block, n);
            std::fclose(file);
            file = nullptr;
            source.kind = Source::Kind::Text;
            source.text = &copy->text;
        }
    } catch (...) {
        // No memory for the copy: this lookup streams the file, and the next
        // one tries to keep a copy again.
        dropCopy(copy);
        if (file != nullptr) {
            std::rewind(file);
            source.kind = Source::Kind::Stream;
            source.stream = file;
        } else {
            source.kind = Source::Kind::None;
        }
    }
    return source;
}

void ForgetCopies() { g_copies.clear(); }

} // namespace qz::ini

extern "C" int64_t qz_Config_FilesOpened(void) { return g_filesOpened; }
