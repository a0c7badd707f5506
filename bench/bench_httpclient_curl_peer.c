/* The peer of the in-memory download benchmark given the same work as the
   client: libcurl fetches the URL and keeps the whole body in memory, in a
   block that doubles as it grows (bench/bench_httpclient.sh builds it).
     bench_httpclient_curl_peer URL
   Prints the body length. */

#include <curl/curl.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

struct Body {
    char *data;
    size_t length;
    size_t capacity;
};

static size_t Collect(char *bytes, size_t size, size_t count, void *user) {
    struct Body *body = (struct Body *)user;
    const size_t n = size * count;
    if (body->length + n + 1 > body->capacity) {
        size_t capacity = body->capacity > 0 ? body->capacity : 16384;
        char *grown;
        while (capacity < body->length + n + 1) capacity *= 2;
        grown = (char *)realloc(body->data, capacity);
        if (grown == NULL) return 0;
        body->data = grown;
        body->capacity = capacity;
    }
    memcpy(body->data + body->length, bytes, n);
    body->length += n;
    body->data[body->length] = '\0';
    return n;
}

int main(int argc, char **argv) {
    struct Body body = {NULL, 0, 0};
    CURL *curl;
    CURLcode code;
    if (argc != 2) {
        fprintf(stderr, "usage: bench_httpclient_curl_peer URL\n");
        return 2;
    }
    curl_global_init(CURL_GLOBAL_DEFAULT);
    curl = curl_easy_init();
    if (curl == NULL) return 1;
    curl_easy_setopt(curl, CURLOPT_URL, argv[1]);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    code = curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    curl_global_cleanup();
    printf("%zu\n", body.length);
    free(body.data);
    return code == CURLE_OK ? 0 : 1;
}
