// Helpers shared by the CGI request, response and cookie modules and the
// HTTP client.
#ifndef QZ_HTTP_QZHTTP_INTERNAL_H
#define QZ_HTTP_QZHTTP_INTERNAL_H

#include "qz/qzcstr.h"
#include "qz/qzhttprequest.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qz::http {

// Makes room for at least `more` bytes after the text.  When the block must
// grow it grows to at least twice its capacity, so that building a large body
// or header text in small pieces costs time in proportion to its length (the
// 128-byte steps of QZ_CStr alone would copy it over and over).  false when
// memory ran out; the string is then as it was.
bool reserveMore(QZ_CStr *s, uint32_t more);

// Appends with that growth; false when memory ran out (nothing appended).
bool appendGrow(QZ_CStr *s, std::string_view bytes);

// The same under the name the CGI side uses: all of the bytes or, when the
// storage cannot be had, none (false). Callers that go on whatever happens
// may ignore the result: the text is then as it was.
inline bool appendFast(QZ_CStr *s, std::string_view bytes) { return appendGrow(s, bytes); }

// Reads a decimal 32-bit integer the way "%d"/"%ld" does (leading white space,
// an optional sign, digits). Values beyond the 32-bit range saturate to
// INT32_MAX / INT32_MIN. Returns false, leaving *out alone, when no digit
// follows.
bool parseInt32(const char *text, int32_t *out);

// Appends text with every carriage return and line feed dropped, so that a
// value taken from the request can never end a header line early. Traces the
// refusal (level 0) with `what` when a character was dropped. Returns true
// when the text was clean.
bool appendHeaderSafe(QZ_CStr *s, const char *text, const char *what);

// The text with every carriage return and line feed dropped, traced as above.
std::string headerSafe(const char *text, const char *what);

// Adds one complete header line (with its line end) to the header text, whole
// or not at all: a line that cannot be stored is left out and "HTT0002: Not
// enough memory." is traced (level 0), so that the head never holds a cut line.
bool addHeaderLine(QZ_CStr *headers, std::string_view line);

// Frees every stored value of the table (last to first) and empties it.
void releaseVariables(QZ_HTTP_VarTable *table);

} // namespace qz::http

#endif
