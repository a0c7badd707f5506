/* The peer of the driver's benchmarks: the least a CGI program can do to
   answer like hwendle.exe. Built with -DWITH_DATABASE it first opens the
   same SQLite database the same way (open, read the schema, close). */
#include <stdio.h>
#include <stdlib.h>
#ifdef WITH_DATABASE
#include <sqlite3.h>
#endif

int main(void) {
    const char *query = getenv("QUERY_STRING");
#ifdef WITH_DATABASE
    sqlite3 *db = NULL;
    const char *path = getenv("QZ_BENCH_DATABASE");
    if (sqlite3_open_v2(path ? path : "valdrun.db", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, NULL) != SQLITE_OK ||
        sqlite3_exec(db, "SELECT count(*) FROM sqlite_schema", NULL, NULL, NULL) != SQLITE_OK)
        return 1;
    sqlite3_close(db);
#endif
    printf("Location: https://www.example.com/main/Hwendle.aspx?%s\n\n", query ? query : "");
    return 0;
}
