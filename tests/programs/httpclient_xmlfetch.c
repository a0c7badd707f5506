/* An http(s) document read by the XML reader, which fetches it through the
   HTTP client: the shell tests against real servers use it to show which
   path the document took.  Written in C against the public headers.
     httpclient_xmlfetch [-b REALM U P] [-d REALM U P] URL
   Prints one line per element ("<name>") and per value ("text: ..."),
   then "error=E" with the reader's error code.  The credentials are those of
   a client, handed to the reader as a generated program does. */

#include "qz/qzhttpclient.h"
#include "qz/qzxmlreader.h"

#include <stdio.h>
#include <string.h>

int main(int argc, char **argv) {
    QZ_HTTP_Client client;
    QZ_XmlReader *reader;
    int i = 1;
    int16_t error;
    QZ_HTTP_Client_Init(&client);
    for (; i + 3 < argc && (strcmp(argv[i], "-b") == 0 || strcmp(argv[i], "-d") == 0); i += 4)
        QZ_HTTP_ClientAddAuthentication(&client,
                                        strcmp(argv[i], "-b") == 0 ? QZ_HTTP_ClientAuthenticationBasic(&client)
                                                                   : QZ_HTTP_ClientAuthenticationDigest(&client),
                                        argv[i + 1], argv[i + 2], argv[i + 3]);
    if (argc - i != 1) {
        fprintf(stderr, "usage: httpclient_xmlfetch [-b|-d REALM USER PASSWORD] URL\n");
        QZ_HTTP_Client_Deinit(&client);
        return 2;
    }
    reader = QZ_XMLReaderCreate();
    if (reader == NULL) return 2;
    QZ_XMLReaderInitAuthorization(reader, &client.credentials);
    if (QZ_XMLReaderOpen(reader, argv[i]) != 0) {
        while (QZ_XMLReaderRead(reader) != 0) {
            /* A simple element carries its text as its value. */
            const char *value = XMLReaderGetValue(reader);
            if (QZ_XMLReaderGetNodeType(reader) == QZ_XMLNODE_ELEMENT)
                printf("<%s>\n", XMLReaderGetElementLocalName(reader));
            if (value != NULL && value[0] != '\0') printf("text: %s\n", value);
        }
    }
    error = QZ_XMLReaderErrorCode(reader);
    printf("error=%d\n", (int)error);
    QZ_XMLReaderDestroy(reader);
    QZ_HTTP_Client_Deinit(&client);
    return 0;
}
