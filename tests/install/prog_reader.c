/* A program that uses only the XML reader and reads an http document: linked
   statically it must still carry the HTTP client the reader fetches with.
   The document comes from a child process listening on loopback. */
#define _POSIX_C_SOURCE 200809L
#include <qz/qz.h>
#include <arpa/inet.h>
#include <signal.h>
#include <netinet/in.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

static const char answer[] =
    "HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n\r\n<?xml version=\"1.0\"?><greeting>hello</greeting>";

static void serve_once(int listener)
{
    alarm(10); /* a reader that never connects must not leave the server waiting */
    int peer = accept(listener, NULL, NULL);
    if (peer < 0) _exit(1);
    char request[4096];
    (void)!read(peer, request, sizeof request);
    (void)!write(peer, answer, sizeof answer - 1);
    close(peer);
    _exit(0);
}

int main(void)
{
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    struct sockaddr_in address;
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || bind(listener, (struct sockaddr *)&address, sizeof address) != 0 ||
        listen(listener, 1) != 0 || getsockname(listener, (struct sockaddr *)&address, &length) != 0) {
        perror("listen");
        return 1;
    }
    pid_t child = fork();
    if (child == 0) serve_once(listener);
    close(listener);

    char url[64];
    snprintf(url, sizeof url, "http://127.0.0.1:%d/greeting.xml", ntohs(address.sin_port));
    QZ_XmlReader *reader = QZ_XMLReaderCreate();
    int found = 0;
    if (reader != NULL && QZ_XMLReaderOpen(reader, url)) {
        /* A simple element: one node with its text as the value. */
        while (QZ_XMLReaderRead(reader))
            if (QZ_XMLReaderGetNodeType(reader) == QZ_XMLReaderNodeTypeCodeElement() &&
                strcmp(XMLReaderGetValue(reader), "hello") == 0)
                found = 1;
        QZ_XMLReaderClose(reader);
    }
    QZ_XMLReaderDestroy(reader);
    kill(child, SIGKILL);
    waitpid(child, NULL, 0);
    if (!found) {
        fprintf(stderr, "the http document was not read\n");
        return 1;
    }
    printf("reader read an http document\n");
    return 0;
}
