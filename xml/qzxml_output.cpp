// The writer's output path. Escaped text reaches the write handler one
// character or entity per call, so for the default file handler the writer
// collects the bytes in its own block and hands them to the file in blocks
// (and whenever an operation returns), instead of one file write per character.
#include <cstring>

#include "qz/qzconv.h"
#include "xml/qzxml_internal.h"

namespace qz::xml {

int16_t fail(QZ_XmlWriter *w, int16_t code) {
    if (w->errorCode == 0) w->errorCode = code;
    return w->errorCode;
}

bool collectsOutput(const QZ_XmlWriter *w) { return w->writeHandler == &QZ_xmlFileWrite; }

namespace {

bool flushCollected(QZ_XmlWriter *w) {
    if (w->fileBufferUsed == 0) return true;
    const uint32_t n = w->fileBufferUsed;
    w->fileBufferUsed = 0;
    return QZ_xmlFileWrite(w->handle, w->fileBuffer, n) != 0;
}

// One handler call as the contract knows it (a count of 0 included).
bool deliver(QZ_XmlWriter *w, const char *bytes, uint32_t count) {
    if (!collectsOutput(w)) return w->writeHandler(w->handle, bytes, count) != 0;
    if (count > QZ_XML_FILE_BUFFER - w->fileBufferUsed && !flushCollected(w)) return false;
    if (count >= QZ_XML_FILE_BUFFER) return QZ_xmlFileWrite(w->handle, bytes, count) != 0;
    if (count > 0) std::memcpy(w->fileBuffer + w->fileBufferUsed, bytes, count);
    w->fileBufferUsed += count;
    return true;
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
    if (w->utf8) {
        // Chunks through a block on the stack: the conversion never allocates.
        char chunk[1024];
        int32_t done = 0;
        do {
            int32_t consumed = static_cast<int32_t>(sizeof chunk);
            const int32_t produced = ansiToUTF8(chunk, bytes + done, count - done, &consumed);
            ok = qz::xml::deliver(w, chunk, static_cast<uint32_t>(produced));
            done += consumed;
        } while (ok && done < count);
    } else {
        ok = qz::xml::deliver(w, bytes, static_cast<uint32_t>(count));
    }
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
