/* One exchange of the HTTP client, driven from the command line, for the
   shell tests against real servers and for the download benchmark.  Written
   in C: it is the proof that the exported header and functions serve C callers.
     httpclient_fetch [options] HOST PORT PATH
     -s            secure path            -m METHOD   method (GET)
     -b REALM U P  Basic credential       -d REALM U P  Digest credential
     -p HOST PORT  proxy                  -o FILE     body into FILE (ToFile)
     -c TEXT       request body           -t SECONDS  time-out
   Prints "err=E status=S length=L" and, without -o, the body on a second line. */

#include "qz/qzhttpclient.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char **argv) {
    QZ_HTTP_Client client;
    const char *method = "GET";
    const char *out = NULL;
    const char *body;
    int32_t error;
    int i = 1;
    QZ_HTTP_Client_Init(&client);
    for (; i < argc && argv[i][0] == '-'; ++i) {
        const char *option = argv[i];
        if (strcmp(option, "-s") == 0) {
            QZ_HTTP_ClientSetSecure(&client, 1);
        } else if (strcmp(option, "-m") == 0 && i + 1 < argc) {
            method = argv[++i];
        } else if ((strcmp(option, "-b") == 0 || strcmp(option, "-d") == 0) && i + 3 < argc) {
            const int16_t scheme = strcmp(option, "-b") == 0 ? QZ_HTTP_ClientAuthenticationBasic(&client)
                                                             : QZ_HTTP_ClientAuthenticationDigest(&client);
            QZ_HTTP_ClientAddAuthentication(&client, scheme, argv[i + 1], argv[i + 2], argv[i + 3]);
            i += 3;
        } else if (strcmp(option, "-p") == 0 && i + 2 < argc) {
            QZ_HTTP_ClientSetProxyHost(&client, argv[i + 1]);
            QZ_HTTP_ClientSetProxyPort(&client, (uint16_t)atoi(argv[i + 2]));
            i += 2;
        } else if (strcmp(option, "-o") == 0 && i + 1 < argc) {
            out = argv[++i];
        } else if (strcmp(option, "-c") == 0 && i + 1 < argc) {
            QZ_HTTP_ClientAddString(&client, argv[++i]);
        } else if (strcmp(option, "-t") == 0 && i + 1 < argc) {
            QZ_HTTP_ClientSetTimeout(&client, (uint32_t)atoi(argv[++i]));
        } else {
            fprintf(stderr, "unknown option %s\n", argv[i]);
            QZ_HTTP_Client_Deinit(&client);
            return 2;
        }
    }
    if (argc - i != 3) {
        fprintf(stderr, "usage: httpclient_fetch [options] HOST PORT PATH\n");
        QZ_HTTP_Client_Deinit(&client);
        return 2;
    }
    QZ_HTTP_ClientSetHost(&client, argv[i]);
    QZ_HTTP_ClientSetPort(&client, (uint16_t)atoi(argv[i + 1]));
    QZ_HTTP_ClientExecute(&client, method, argv[i + 2]);
    error = QZ_HTTP_ClientErrCode(&client);
    body = QZ_HTTP_ClientToString(&client);
    printf("err=%d status=%d length=%zu\n", (int)error, (int)QZ_HTTP_ClientGetStatusCode(&client), strlen(body));
    if (out != NULL) {
        QZ_HTTP_ClientToFile(&client, out);
        if (QZ_HTTP_ClientErrCode(&client) != 0)
            printf("tofile errno=%d\n", (int)QZ_HTTP_ClientErrCode(&client));
    } else {
        printf("%s\n", body);
    }
    QZ_HTTP_Client_Deinit(&client);
    return 0;
}
