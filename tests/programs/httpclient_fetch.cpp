// One exchange of the HTTP client, driven from the command line, for the
// shell tests against real servers and for the download benchmark.
//   httpclient_fetch [options] HOST PORT PATH
//   -s            secure path            -m METHOD   method (GET)
//   -b REALM U P  Basic credential       -d REALM U P  Digest credential
//   -p HOST PORT  proxy                  -o FILE     body into FILE (ToFile)
//   -c TEXT       request body           -t SECONDS  time-out
// Prints "err=E status=S length=L" and, without -o, the body on a second line.

#include "qz/qzhttpclient.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char **argv) {
    QZ_HTTP_Client client;
    QZ_HTTP_Client_Init(&client);
    std::string method = "GET";
    const char *out = nullptr;
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        const std::string option = argv[i];
        if (option == "-s") {
            QZ_HTTP_ClientSetSecure(&client, 1);
        } else if (option == "-m" && i + 1 < argc) {
            method = argv[++i];
        } else if ((option == "-b" || option == "-d") && i + 3 < argc) {
            const int16_t scheme = option == "-b" ? QZ_HTTP_ClientAuthenticationBasic(&client)
                                                  : QZ_HTTP_ClientAuthenticationDigest(&client);
            QZ_HTTP_ClientAddAuthentication(&client, scheme, argv[i + 1], argv[i + 2], argv[i + 3]);
            i += 3;
        } else if (option == "-p" && i + 2 < argc) {
            QZ_HTTP_ClientSetProxyHost(&client, argv[i + 1]);
            QZ_HTTP_ClientSetProxyPort(&client, static_cast<uint16_t>(std::atoi(argv[i + 2])));
            i += 2;
        } else if (option == "-o" && i + 1 < argc) {
            out = argv[++i];
        } else if (option == "-c" && i + 1 < argc) {
            QZ_HTTP_ClientAddString(&client, argv[++i]);
        } else if (option == "-t" && i + 1 < argc) {
            QZ_HTTP_ClientSetTimeout(&client, static_cast<uint32_t>(std::atoi(argv[++i])));
        } else {
            std::fprintf(stderr, "unknown option %s\n", argv[i]);
            return 2;
        }
    }
    if (argc - i != 3) {
        std::fprintf(stderr, "usage: httpclient_fetch [options] HOST PORT PATH\n");
        return 2;
    }
    QZ_HTTP_ClientSetHost(&client, argv[i]);
    QZ_HTTP_ClientSetPort(&client, static_cast<uint16_t>(std::atoi(argv[i + 1])));
    QZ_HTTP_ClientExecute(&client, method.c_str(), argv[i + 2]);
    const int32_t error = QZ_HTTP_ClientErrCode(&client);
    const char *body = QZ_HTTP_ClientToString(&client);
    std::printf("err=%d status=%d length=%zu\n", static_cast<int>(error),
                static_cast<int>(QZ_HTTP_ClientGetStatusCode(&client)), std::strlen(body));
    if (out != nullptr) {
        QZ_HTTP_ClientToFile(&client, out);
        if (QZ_HTTP_ClientErrCode(&client) != 0) std::printf("tofile errno=%d\n", static_cast<int>(QZ_HTTP_ClientErrCode(&client)));
    } else {
        std::printf("%s\n", body);
    }
    QZ_HTTP_Client_Deinit(&client);
    return 0;
}
