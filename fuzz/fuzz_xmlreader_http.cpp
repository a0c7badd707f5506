// Random documents read over http: QZ_XMLReaderOpen of a URL served by a
// loopback server thread inside the fuzzer process, so that every block goes
// through the HTTP client's block read (which zero-terminates what it
// delivers) into the reader's feed.
//
// The first four bytes choose the reader's block size, the sizes of the
// pieces the server sends (each its own send, with Nagle off, so that the
// client's receives end at varied places), whether the body comes with the
// head, and whether external entities are turned on; the rest is the body.
// The document's server answers every other path (its DTD, its entities)
// with a small entity, and nothing ever names a local file.
//
// The name and value getters are called with the sizes the input picks (and
// with the largest): they must keep to them (copy_check.h).

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "qz/qzhttpclient.h"
#include "qz/qzxmlreader.h"

#include "copy_check.h"

// The reader reaches the HTTP client only when the program links it.
int16_t (*volatile g_linkClient)(QZ_HTTP_Request *, const char *, const char *, const char *, int32_t,
                                 QZ_List *) = &QZ_HTTP_Request_Open_Url;

namespace {

struct Served {
    std::mutex mutex;
    std::string body;
    uint8_t pieces = 0; // bytes per send, from the input
    bool bodyWithHead = false;
};

Served g_served;
uint16_t g_port = 0;

void SendAll(int c, const char *data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(c, data, size, MSG_NOSIGNAL);
        if (n <= 0) return;
        data += n;
        size -= static_cast<size_t>(n);
    }
}

void Answer(int c) {
    std::string request;
    char buf[2048];
    while (request.find("\r\n\r\n") == std::string::npos) {
        const ssize_t n = ::recv(c, buf, sizeof buf, 0);
        if (n <= 0) return;
        request.append(buf, static_cast<size_t>(n));
    }
    const bool document = request.compare(0, 9, "GET /doc ") == 0;
    std::string body;
    size_t piece;
    bool withHead;
    {
        std::lock_guard<std::mutex> lock(g_served.mutex);
        body = document ? g_served.body : std::string("<e a='1'>entity</e>");
        piece = 1 + g_served.pieces * 37u;
        withHead = g_served.bodyWithHead;
    }
    const std::string head = "HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n\r\n";
    const int one = 1;
    ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    size_t at = 0;
    if (withHead) {
        const size_t first = std::min(piece, body.size());
        const std::string start = head + body.substr(0, first);
        SendAll(c, start.data(), start.size());
        at = first;
    } else {
        SendAll(c, head.data(), head.size());
    }
    while (at < body.size()) {
        const size_t n = std::min(piece, body.size() - at);
        SendAll(c, body.data() + at, n);
        at += n;
    }
}

void StartServer() {
    if (g_port != 0) return;
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) return;
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    ::listen(fd, 16);
    g_port = ntohs(a.sin_port);
    std::thread([fd] {
        for (;;) {
            const int c = ::accept(fd, nullptr, nullptr);
            if (c < 0) continue;
            Answer(c);
            ::close(c);
        }
    }).detach();
}

bool NamesNothingLocal(const uint8_t *data, size_t size) {
    // Entities of a network document are read from the network only; the
    // fuzzer keeps to that even if the reader did not.
    for (size_t i = 0; i + 4 < size; ++i)
        if (std::memcmp(data + i, "file", 4) == 0 || data[i] == '\\') return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 4 || size > 200000) return 0;
    StartServer();
    if (g_port == 0) return 0;
    static const uint32_t kBlocks[] = {2, 3, 17, 1025, 2049, 5120, 5121, 9000};
    const uint8_t a = data[0];
    const uint8_t b = data[1];
    const uint8_t c = data[2];
    const uint8_t d = data[3];
    {
        std::lock_guard<std::mutex> lock(g_served.mutex);
        g_served.body.assign(reinterpret_cast<const char *>(data + 4), size - 4);
        g_served.pieces = b;
        g_served.bodyWithHead = (c & 1) != 0;
    }
    QZ_XmlReader reader;
    QZ_XMLReaderInitSize(&reader, kBlocks[a & 7], (a >> 3 & 1) ? 1 : 5120);
    QZ_XMLReaderSetSimpleElements(&reader, a >> 4 & 1);
    QZ_XMLReaderSetRmWNodes(&reader, a >> 5 & 1);
    QZ_XMLReaderSetChunkText(&reader, a >> 6 & 1);
    QZ_XMLReaderSetLinesNormalization(&reader, static_cast<int16_t>(c >> 1 & 3) % 3);
    QZ_XMLReaderSetNodeEncoding(&reader, (c >> 3 & 1) ? "UTF-8" : "ANSI");
    if (c >> 4 & 1) QZ_XMLReaderSetDocumentEncoding(&reader, (c >> 5 & 1) ? "ANSI" : "ISO-8859-1");
    QZ_XMLReaderSetMaxDepth(&reader, (d & 1) ? 8 : 10000);
    const std::string url = "http://127.0.0.1:" + std::to_string(g_port) + "/doc";
    if (QZ_XMLReaderOpen(&reader, url.c_str())) {
        if ((c >> 6 & 1) && NamesNothingLocal(data + 4, size - 4)) QZ_XMLReaderSetExtEntEnabled(&reader, 1);
        for (int steps = 0; steps < 100000; ++steps) {
            const QZ_Flag more =
                (d >> 1 & 1) && (steps % 5 == 4)
                    ? (fuzzcheck::CheckOneCopy("QZ_XMLReaderReadRawXMLBuf", 5999,
                                               [&](char *b, int32_t m) { QZ_XMLReaderReadRawXMLBuf(&reader, b, m); }),
                       QZ_XMLReaderRead(&reader))
                    : QZ_XMLReaderRead(&reader);
            if (!more) break;
            const int32_t nameMaxes[] = {static_cast<int32_t>(d >> 2), 299};
            fuzzcheck::CheckCopies("QZ_XMLReaderGetElementName", nameMaxes, 2,
                                   [&](char *b, int32_t m) { QZ_XMLReaderGetElementName(&reader, b, m); });
            const int32_t valueMaxes[] = {static_cast<int32_t>(d & 0x3F), 5999};
            fuzzcheck::CheckCopies("QZ_XMLReaderGetValue", valueMaxes, 2,
                                   [&](char *b, int32_t m) { QZ_XMLReaderGetValue(&reader, b, m); });
            const int32_t count = QZ_XMLReaderGetAttributeCount(&reader);
            for (int16_t i = 1; i <= count && i < 20; ++i)
                fuzzcheck::CheckCopies("QZ_XMLReaderGetAttributeValue", valueMaxes, 2,
                                       [&](char *b, int32_t m) { QZ_XMLReaderGetAttributeValue(&reader, b, i, m); });
        }
    }
    char text[100];
    QZ_XMLReaderGetErrDescription(&reader, text, 99);
    QZ_XMLReaderClear(&reader);
    return 0;
}
