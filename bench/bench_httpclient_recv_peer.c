/* The least a program can do to keep a downloaded body in memory, the floor
   of the in-memory download benchmark: one plain HTTP/1.0 GET over a socket,
   then recv() of up to 64 KiB at a time straight into a block that doubles as
   it grows, the head cut off at the end. No parsing beyond the blank line, no
   tracing, no time-out. (bench/bench_httpclient.sh builds it.)
     bench_httpclient_recv_peer PORT PATH
   Prints the body length. */

#define _GNU_SOURCE /* memmem */
#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

int main(int argc, char **argv) {
    struct sockaddr_in address;
    char request[512];
    char *data = NULL;
    size_t length = 0, capacity = 0;
    int fd;
    if (argc != 3) {
        fprintf(stderr, "usage: bench_httpclient_recv_peer PORT PATH\n");
        return 2;
    }
    fd = socket(AF_INET, SOCK_STREAM, 0);
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = htons((unsigned short)atoi(argv[1]));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || connect(fd, (struct sockaddr *)&address, sizeof address) != 0) return 1;
    snprintf(request, sizeof request, "GET %s HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n", argv[2]);
    if (send(fd, request, strlen(request), 0) != (ssize_t)strlen(request)) return 1;
    for (;;) {
        ssize_t got;
        if (capacity - length < 65536) {
            char *grown;
            capacity = capacity > 0 ? capacity * 2 : 131072;
            grown = (char *)realloc(data, capacity);
            if (grown == NULL) return 1;
            data = grown;
        }
        got = recv(fd, data + length, 65536, 0);
        if (got <= 0) break;
        length += (size_t)got;
    }
    close(fd);
    {
        const char *blank = data != NULL ? memmem(data, length, "\r\n\r\n", 4) : NULL;
        size_t body = blank != NULL ? length - (size_t)(blank + 4 - data) : 0;
        printf("%zu\n", body);
    }
    free(data);
    return 0;
}
