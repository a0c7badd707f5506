/* Test child: writes its arguments, one per line as [text], to the file
   named by DATES_ECHO_OUT (written under a temporary name and renamed, so a
   reader never sees half a file). With DATES_ECHO_SLEEP_MS it waits first. */
#define _POSIX_C_SOURCE 200809L
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

int main(int argc, char **argv)
{
    const char *out = getenv("DATES_ECHO_OUT");
    const char *sleepMs = getenv("DATES_ECHO_SLEEP_MS");
    if (out == NULL)
        return 2;
    if (sleepMs != NULL) {
        long ms = strtol(sleepMs, NULL, 10);
        struct timespec pause = {ms / 1000, (ms % 1000) * 1000000L};
        nanosleep(&pause, NULL);
    }
    char temp[4096];
    snprintf(temp, sizeof temp, "%s.part", out);
    FILE *file = fopen(temp, "w");
    if (file == NULL)
        return 3;
    for (int i = 0; i < argc; ++i)
        fprintf(file, "[%s]\n", argv[i]);
    fclose(file);
    return rename(temp, out) == 0 ? 0 : 4;
}
