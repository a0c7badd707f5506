// The configuration reader's inner layer: the search of one key in a file's
// text, and the process's copy of the files it has read. Internal to the
// library, C++ only, never installed with the public headers.
#ifndef QZ_RUNTIME_QZINI_INTERNAL_H
#define QZ_RUNTIME_QZINI_INTERNAL_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace qz::ini {

// The text of a configuration file, or where to stream it from.
struct Source {
    enum class Kind { None, Text, Stream };
    Kind kind = Kind::None;
    const std::string *text = nullptr; // Kind::Text: the process's copy
    FILE *stream = nullptr;            // Kind::Stream: not a regular file, read as it comes
};

// Finds the file the way the reader always has (the name as given, else the
// alternative path) and gives its text from the process's copy: the file is
// opened and read once, and later lookups are served from that copy for as long
// as the file keeps its identity, size and times (checked with stat, without
// opening it). A file that is not a regular file is streamed every time; the
// caller closes `stream`.
Source Open(const char *envVar, const char *fileName);

// Searches the configuration text: on success `value` holds the raw rest of the
// key's line. Lines are read 512 characters at a time, as from the file.
bool FindInText(std::string_view text, const char *section, const char *key, std::string &value);
bool FindInStream(FILE *stream, const char *section, const char *key, std::string &value);

// Forgets every copy (the next lookup reads the files again).
void ForgetCopies();

} // namespace qz::ini

#endif
