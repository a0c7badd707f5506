// The writer's output path. Escaped text reaches the write handler one
// character or entity per call, so for its own stock handlers (the file and the
// memory-buffer ones, whose result does not depend on how the bytes are cut) the
// writer collects the bytes in its own block and hands them on in blocks (and
// whenever an operation returns), instead of one call per character.
#include <cstring>

#include "xml/qzconv_utf8table.h"
#include "xml/qzxml_internal.h"

namespace qz::xml {

int16_t fail(QZ_XmlWriter *w, int16_t code) {
    if (w->errorCode == 0) w->errorCode = code;
    return w->errorCode;
}

bool collectsOutput(const QZ_XmlWriter *w) {
    return w->writeHandler == &QZ_xmlFileWrite || w->writeHandler == &QZ_xmlMemBufWrite;
}

namespace {

bool flushCollected(QZ_XmlWriter *w) {
    if (w->fileBufferUsed == 0) return true;
    const uint32_t n = w->fileBufferUsed;
    w->fileBufferUsed = 0;
    return w->writeHandler(w->handle, w->fileBuffer, n) != 0;
}

// One handler call as the contract knows it (a count of 0 included).
bool deliver(QZ_XmlWriter *w, const char *bytes, uint32_t count) {
    if (!collectsOutput(w)) return w->writeHandler(w->handle, bytes, count) != 0;
    if (count > QZ_XML_FILE_BUFFER - w->fileBufferUsed && !flushCollected(w)) return false;
    if (count >= QZ_XML_FILE_BUFFER) return w->writeHandler(w->handle, bytes, count) != 0;
    if (count > 0) std::memcpy(w->fileBuffer + w->fileBufferUsed, bytes, count);
    w->fileBufferUsed += count;
    return true;
}

// UTF-8 mode with collected output: the bytes are converted straight into the collecting
// block, which is handed on whenever the next character does not fit. The file or buffer
// gets the same bytes as through 1024-byte chunks, with one copy less.
bool deliverUtf8Collected(QZ_XmlWriter *w, const char *bytes, int32_t count) {
    int32_t done = 0;
    while (done < count) {
        int32_t consumed = 0;
        const auto room = static_cast<int32_t>(QZ_XML_FILE_BUFFER - w->fileBufferUsed);
        const int32_t produced =
            qz::conv::ansiToUtf8Fit(w->fileBuffer + w->fileBufferUsed, room, bytes + done, count - done, &consumed);
        w->fileBufferUsed += static_cast<uint32_t>(produced);
        done += consumed;
        if (done < count && !flushCollected(w)) return false;
    }
    return true;
}

// UTF-8 mode with the caller's handlers: chunks of at most 1024 bytes through a block on the
// stack (the conversion never allocates), each chunk one handler call, cut before the first
// character that would not fit whole.
bool deliverUtf8Chunked(QZ_XmlWriter *w, const char *bytes, int32_t count) {
    char chunk[1024];
    int32_t done = 0;
    bool ok = true;
    do {
        int32_t consumed = 0;
        const int32_t produced =
            qz::conv::ansiToUtf8Fit(chunk, static_cast<int32_t>(sizeof chunk), bytes + done, count - done, &consumed);
        ok = deliver(w, chunk, static_cast<uint32_t>(produced));
        done += consumed;
    } while (ok && done < count);
    return ok;
}

} // namespace

int16_t finish(QZ_XmlWriter *w, int16_t result) {
    if (w == nullptr || w->fileBufferUsed == 0) return result;
    if (!flushCollected(w)) {
        fail(w, QZ_XML_ERR_OUTPUT);
        return result != 0 ? result : w->errorCode;
    }
    return result;
}

} // namespace qz::xml

using qz::xml::fail;

int16_t QZ_xmlWriteOut(QZ_XmlWriter *w, const char *bytes, int32_t count) {
    if (w->errorCode != 0) return w->errorCode;
    if (!w->started) {
        // The first output of a writer that was never started goes to the
        // handlers' default target (standard output for the file handlers).
        const int16_t rc = QZ_xmlstart(w, "");
        if (rc != 0) return rc;
    }
    if (bytes == nullptr) bytes = "";
    if (count == qz::xml::kToTerminator) count = static_cast<int32_t>(std::strlen(bytes));
    if (count < 0) count = 0;

    bool ok = true;
    if (!w->utf8)
        ok = qz::xml::deliver(w, bytes, static_cast<uint32_t>(count));
    else if (qz::xml::collectsOutput(w))
        ok = qz::xml::deliverUtf8Collected(w, bytes, count);
    else
        ok = qz::xml::deliverUtf8Chunked(w, bytes, count);
    if (!ok) return fail(w, QZ_XML_ERR_OUTPUT);
    return w->errorCode;
}

namespace {

std::string_view entityFor(char c) {
    switch (c) {
    case '<': return "&lt;";
    case '>': return "&gt;";
    case '&': return "&amp;";
    case '\'': return "&apos;";
    case '"': return "&quot;";
    default: return {};
    }
}

} // namespace

int16_t QZ_xmlWriteEscaped(QZ_XmlWriter *w, const char *text) {
    if (text == nullptr) return w->errorCode;
    if (qz::xml::collectsOutput(w)) {
        // Collected output cannot tell calls apart: write runs of plain
        // characters in one piece.
        for (const char *p = text; *p != 0;) {
            const size_t run = std::strcspn(p, "<>&'\"");
            if (run > 0) {
                const int16_t rc = QZ_xmlWriteOut(w, p, static_cast<int32_t>(run));
                if (rc != 0) return rc;
                p += run;
            }
            if (*p != 0) {
                const int16_t rc = QZ_xmlWriteOut(w, entityFor(*p));
                if (rc != 0) return rc;
                ++p;
            }
        }
        return w->errorCode;
    }
    for (const char *p = text; *p != 0; ++p) {
        const std::string_view entity = entityFor(*p);
        const int16_t rc = entity.empty() ? QZ_xmlWriteOut(w, p, 1) : QZ_xmlWriteOut(w, entity);
        if (rc != 0) return rc;
    }
    return w->errorCode;
}

int16_t QZ_xmlWriteIndent(QZ_XmlWriter *w, int32_t depth) {
    if (w->errorCode != 0) return w->errorCode;
    // Counted in 64 bits: a deep document keeps its indentation instead of
    // wrapping around in a 16-bit product.
    int64_t total = static_cast<int64_t>(depth) * w->indentCount;
    if (total < 0) total = 0;
    char block[512];
    std::memset(block, w->indentChar, total < static_cast<int64_t>(sizeof block) ? static_cast<size_t>(total) : sizeof block);
    while (total >= static_cast<int64_t>(sizeof block)) {
        const int16_t rc = QZ_xmlWriteOut(w, block, static_cast<int32_t>(sizeof block));
        if (rc != 0) return rc;
        total -= static_cast<int64_t>(sizeof block);
    }
    return QZ_xmlWriteOut(w, block, static_cast<int32_t>(total));
}
