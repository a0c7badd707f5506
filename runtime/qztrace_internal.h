// Trace record formatting, shared by the trace writer and its tests: internal
// to the library, C++ only, never installed with the public headers.
#ifndef QZ_RUNTIME_QZTRACE_INTERNAL_H
#define QZ_RUNTIME_QZTRACE_INTERNAL_H

#include <cstdarg>
#include <string>
#include <string_view>

namespace qz::trace {

// Appends text with every control character (bytes 00-1F and 7F) written as a
// visible escape: "\n", "\r", "\t", or "\x" and two hexadecimal digits.
void AppendEscaped(std::string &out, std::string_view text);

// Formats like vsnprintf, except that everything a conversion produces (the
// values: texts, numbers, characters) is escaped with AppendEscaped, while the
// format's own characters are kept as written. A trace record thus stays one
// line whatever the values hold, and the program's own message texts (some end
// in "\n\r") are written as they always were.
std::string FormatEscaped(const char *format, va_list args);

} // namespace qz::trace

#endif
