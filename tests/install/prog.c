/* A generated-style C program built against the installed runtime headers and library. */
#include <qz/qz.h>
#include <stdio.h>
#include <string.h>

int main(void)
{
    QZ_MemPool *pool = QZ_MemPool_new();
    QZ_SetDefaultPool(pool);
    QZ_CStr s;
    QZ_CStr_Init(&s);
    QZ_CStr_AppendText(&s, "hello, ");
    QZ_CStr_AppendText(&s, "world");
    int ok = strcmp(QZ_CStr_Data(&s), "hello, world") == 0 && QZ_CStr_Length(&s) == 12;
    QZ_CStr_Free(&s);
    QZ_MemPool_delete(pool);
    if (!ok) {
        fprintf(stderr, "unexpected string\n");
        return 1;
    }
    printf("installed runtime works\n");
    return 0;
}
