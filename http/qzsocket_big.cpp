// Receiving a reply of open length (a multi-line mail reply, say) into a
// growing pool block, until the awaited terminator arrives.
//
// The size the caller sees grows by a fixed step, half the starting size
// (100 -> 150 -> 200 ...).  A fixed step alone would copy the whole block again
// at every growth, quadratic in the reply's length, so the block behind the
// size grows geometrically and is only reallocated when the size outgrows it.

#include "qz/qzpgmmem.h"
#include "qz/qzsocket.h"
#include "qz/qztrace.h"
#include "http/qzsocket_internal.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

namespace {

constexpr uint32_t kMaxChunk = 524288;
// The step of a buffer too small to have a half: it would not grow at all.
constexpr uint32_t kMinStep = 64;

// Makes the block hold at least needed bytes; false when memory ran out.
bool Reserve(QZ_TCPBigBuffer *buffer, uint32_t &capacity, uint64_t needed) {
    if (needed <= capacity) {
        return true;
    }
    uint64_t grown = std::max<uint64_t>(needed, static_cast<uint64_t>(capacity) * 2);
    grown = std::min<uint64_t>(grown, UINT32_MAX - 16u);
    if (grown < needed) {
        return false;
    }
    void *block = buffer->data == nullptr
                      ? QZ_malloc(nullptr, static_cast<size_t>(grown), "qzsocket", __LINE__)
                      : QZ_realloc(nullptr, buffer->data, static_cast<size_t>(grown));
    if (block == nullptr) {
        return false;
    }
    buffer->data = static_cast<char *>(block);
    capacity = static_cast<uint32_t>(grown);
    return true;
}

bool HasTerminator(const char *data, uint32_t from, uint32_t to, std::string_view terminator) {
    return std::string_view(data + from, to - from).find(terminator) != std::string_view::npos;
}

}  // namespace

extern "C" {

int16_t QZ_receiveTCPBig(int32_t socket, QZ_TCPBigBuffer *buffer, const char *prefix,
                         const char *terminator, uint32_t timeoutSeconds,
                         QZ_MailErrorRecord *error) {
    if (buffer == nullptr) {
        QZ_MailError(error, QZ_MAIL_ALLOCATION_ERROR, "");
        return QZ_MAIL_ALLOCATION_ERROR;
    }
    const std::string_view awaitedPrefix(prefix != nullptr ? prefix : "");
    const std::string_view awaitedEnd(terminator != nullptr ? terminator : "");
    if (buffer->data == nullptr) {
        buffer->size = 0;
    }

    uint32_t size = buffer->size;          // what the caller sees
    uint32_t capacity = buffer->size;      // what the block holds
    const uint32_t step = size / 2 > 0 ? size / 2 : kMinStep;
    uint32_t used = 0;

    for (;;) {
        uint32_t left = size - used;
        QZ_Trace(3, "Receiving: %d bytes left.\r\n", static_cast<int>(left));
        if (QZ_waitTCP(socket, timeoutSeconds) == 0) {
            QZ_MailError(error, QZ_MAIL_TIMEOUT, "");
            return QZ_MAIL_TIMEOUT;
        }
        if (left == 0) {
            QZ_Trace(0, "Out of buffer space. Reallocating.\r\n");
            // One byte beyond the size keeps room for the terminating zero.
            if (static_cast<uint64_t>(size) + step + 1 > UINT32_MAX - 16u ||
                !Reserve(buffer, capacity, static_cast<uint64_t>(size) + step + 1)) {
                QZ_Trace(0, "QZ_receiveTCPBig failed. Out of memory.\r\n");
                QZ_MailError(error, QZ_MAIL_ALLOCATION_ERROR, "");
                return QZ_MAIL_ALLOCATION_ERROR;
            }
            size += step;
            left += step;
            buffer->size = size;
        }
        const long received = qz_net::Receive(socket, buffer->data + used, std::min(kMaxChunk, left));
        if (received < 0) {
            qz_net::RecordError(errno);
            QZ_Trace(0, "QZ_receiveTCPBig failed. Error number %ld.\r\n",
                     static_cast<long>(qz_net::LastError()));
            QZ_MailError(error, QZ_MAIL_ALLOCATION_ERROR, "");
            return QZ_MAIL_ALLOCATION_ERROR;
        }
        const uint32_t before = used;
        used += static_cast<uint32_t>(received);
        if (used < capacity) {
            buffer->data[used] = '\0';
        }
        if (received == 0) {
            // The peer closed before the terminator came: waiting longer would
            // wait for ever.
            qz_net::TraceData("R:", std::string_view(buffer->data, used));
            QZ_MailError(error, QZ_MAIL_CONNECTION_LOST, "");
            return QZ_MAIL_CONNECTION_LOST;
        }

        // A reply that is not of the awaited kind (an error line) ends at once;
        // a reply that has only begun to arrive is not judged on its first bytes.
        const size_t compared = std::min<size_t>(used, awaitedPrefix.size());
        if (std::memcmp(buffer->data, awaitedPrefix.data(), compared) != 0) {
            break;
        }
        // The terminator may straddle two receives: look from far enough before
        // the new bytes to see it whole, and through all of them.
        const uint32_t overlap =
            static_cast<uint32_t>(std::min<size_t>(awaitedEnd.size() > 0 ? awaitedEnd.size() - 1 : 0, before));
        if (HasTerminator(buffer->data, before - overlap, used, awaitedEnd)) {
            break;
        }
    }
    qz_net::TraceData("R:", std::string_view(buffer->data, used));
    return 0;
}

}  // extern "C"
