/* A C translation unit calling the parameter list formatter the way generated C
   code does: code "2" with C long arguments, including values that do not fit
   in 32 bits. */
#include "qz/qzhttp.h"

const char *qztest_FormatLongsFromC(char *buffer, size_t size);

const char *qztest_FormatLongsFromC(char *buffer, size_t size)
{
    long big = 3000000000L;
    long small = -3000000000L;
    long max32 = 2147483647L;
    return QZ_HTTP_FormatParameterList(buffer, size, "?", "2224", big, small, max32, "x");
}
