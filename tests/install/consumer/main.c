/* Built by the consumer project against the installed runtime; calls into the runtime's
   pool, strings, conversions and XML reader (which brings expat in). */
#include <qz/qz.h>
#include <stdio.h>
#include <string.h>

int main(void)
{
    QZ_MemPool *pool = QZ_MemPool_new();
    QZ_SetDefaultPool(pool);

    char utf8[16];
    int32_t room = (int32_t)sizeof utf8;
    const int32_t n = ansiToUTF8(utf8, "\xE9\x80", 2, &room);
    const int converted = n == 5 && memcmp(utf8, "\xC3\xA9\xE2\x82\xAC", 5) == 0;

    QZ_XmlReader *reader = QZ_XMLReaderCreate();
    int read = 0;
    if (reader != NULL) {
        QZ_XMLReaderOpenFromString(reader, "<a><b/></a>");
        while (QZ_XMLReaderRead(reader) != 0) ++read;
        QZ_XMLReaderClose(reader);
        QZ_XMLReaderDestroy(reader);
    }
    QZ_SetDefaultPool(NULL);
    QZ_MemPool_delete(pool);
    if (!converted || read < 2) {
        fprintf(stderr, "consumer: converted %d, %d nodes read\n", converted, read);
        return 1;
    }
    printf("consumer: %d nodes read\n", read);
    return 0;
}
