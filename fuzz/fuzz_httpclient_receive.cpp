// The plain path's receive of an answer, through an in-process socket pair:
// the head and the body (QZ_HTTP_Request_Read_Header, then either the whole
// body with QZ_HTTP_Read_Result or the XML reader's block reads with
// QZ_HTTP_Request_Read_Buf in blocks of a size the input chooses).  Every
// byte that was sent must come out exactly once, and no block read may write
// past its buffer.
// Input: a mode byte, two bytes of block size, then the answer.

#include "qz/qzhttpclient.h"
#include "qz/qzpgmmem.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool SendAll(int fd, const uint8_t *data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 3 || size > 100000) return 0;
    const bool blocks = (data[0] & 1) != 0;
    const uint32_t blockSize = 1 + ((static_cast<uint32_t>(data[1]) << 8 | data[2]) % 9000);
    const uint8_t *answer = data + 3;
    const size_t length = size - 3;

    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) return 0;
    int buffer = 1 << 20;
    ::setsockopt(pair[1], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    // The whole answer waits in the socket; the peer has then finished.
    if (!SendAll(pair[1], answer, length)) std::abort();
    ::shutdown(pair[1], SHUT_WR);

    QZ_HTTP_Request *request = QZ_HTTP_Request_Init();
    if (request == nullptr) std::abort();
    request->socket = pair[0];
    request->connected = 1;
    QZ_HTTP_Request_Read_Header(request, 1);
    const uint32_t head = request->responseHead.length;
    (void)qz_HTTP_Request_Get_Status_Code(request);
    uint32_t found = 0;
    (void)qz_HTTP_Request_Get_Header_Field(request, "Location", &found);

    size_t body = 0;
    if (blocks) {
        char *block = static_cast<char *>(std::malloc(blockSize + 1));  // exactly what the call may use
        uint32_t count = 0;
        do {
            QZ_HTTP_Request_Read_Buf(request, block, static_cast<int32_t>(blockSize), &count);
            if (count > blockSize || block[count] != '\0') std::abort();
            body += count;
        } while (count > 0 && body <= length);
        std::free(block);
        QZ_HTTP_Request_Close(request);
    } else {
        QZ_HTTP_Read_Result(request, 1);  // closes the connection
        body = request->responseBody.length;
    }
    if (request->connected != 0) std::abort();
    // Every byte exactly once: the head, its blank line and the body, or all
    // of it as the body of an answer without a head.
    const size_t accounted = head > 0 ? head + 4 + body : body;
    if (accounted != length) std::abort();

    ::close(pair[1]);
    QZ_HTTP_Request_Free(request);
    QZ_free(nullptr, request);
    return 0;
}
