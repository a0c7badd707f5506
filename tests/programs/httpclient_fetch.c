/* One exchange of the HTTP client, driven from the command line, for the
   shell tests against real servers and for the download benchmark.  Written
   in C: it is the proof that the exported header and functions serve C callers.
     httpclient_fetch [options] HOST PORT PATH
     -s            secure path            -m METHOD   method (GET)
     -b REALM U P  Basic credential       -d REALM U P  Digest credential
     -p HOST PORT  proxy                  -o FILE     body into FILE (ToFile)
     -c TEXT       request body           -t SECONDS  time-out
     -u            one URL instead of HOST PORT PATH: fetched with
                   QZ_HTTP_Request_Open_Url and read with QZ_HTTP_Request_Read_Buf
     -k BYTES      the block size of those reads (5119)
     -n            the body stays in memory: only its length is printed
   Prints "err=E status=S length=L" and, without -o, the body on a second line.
   With -u, err is the result of the open and length counts every byte. */

#include "qz/qzhttpclient.h"
#include "qz/qzpgmmem.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* Fetches url the way the XML reader fetches documents: the body is read
   block by block and written by its byte count. */
static int FetchUrl(QZ_HTTP_Client *client, const char *url, long block, const char *out) {
    QZ_HTTP_Request *request = QZ_HTTP_Request_Init();
    FILE *sink = out != NULL ? fopen(out, "wb") : stdout;
    char *buffer = (char *)malloc((size_t)block + 1);
    unsigned long total = 0;
    int16_t result;
    if (request == NULL || sink == NULL || buffer == NULL) {
        fprintf(stderr, "cannot start\n");
        return 2;
    }
    result = QZ_HTTP_Request_Open_Url(request, "GET", url, client->proxyHost.data, client->proxyPort,
                                      &client->credentials);
    if (out == NULL) printf("err=%d status=%d\n", (int)result, (int)qz_HTTP_Request_Get_Status_Code(request));
    if (result == 0) {
        uint32_t count = 0;
        do {
            QZ_HTTP_Request_Read_Buf(request, buffer, (int32_t)block, &count);
            if (count > (uint32_t)block || buffer[count] != '\0') {
                fprintf(stderr, "block overrun\n");
                return 3;
            }
            fwrite(buffer, 1, count, sink);
            total += count;
        } while (count > 0);
    }
    if (out != NULL) {
        fclose(sink);
        printf("err=%d status=%d length=%lu\n", (int)result, (int)qz_HTTP_Request_Get_Status_Code(request), total);
    } else {
        printf("\n");
    }
    QZ_HTTP_Request_Close(request);
    QZ_HTTP_Request_Free(request);
    QZ_free(NULL, request);
    free(buffer);
    return 0;
}

int main(int argc, char **argv) {
    QZ_HTTP_Client client;
    int byUrl = 0;
    int quiet = 0;
    long block = 5119;
    int status;
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
        } else if (strcmp(option, "-n") == 0) {
            quiet = 1;
        } else if (strcmp(option, "-u") == 0) {
            byUrl = 1;
        } else if (strcmp(option, "-k") == 0 && i + 1 < argc) {
            block = atol(argv[++i]);
            if (block < 1) block = 1;
        } else {
            fprintf(stderr, "unknown option %s\n", argv[i]);
            QZ_HTTP_Client_Deinit(&client);
            return 2;
        }
    }
    if (byUrl && argc - i == 1) {
        status = FetchUrl(&client, argv[i], block, out);
        QZ_HTTP_Client_Deinit(&client);
        return status;
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
    } else if (!quiet) {
        printf("%s\n", body);
    }
    QZ_HTTP_Client_Deinit(&client);
    return 0;
}
