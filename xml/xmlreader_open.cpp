// Opening and closing documents: the callback opener that every other opener
// ends in, files, memory buffers and strings.

#include <cstdio>
#include <string_view>

#include "qz/qzpgmmem.h"
#include "runtime/qztext_internal.h"
#include "xml/xmlreader_internal.h"

// The input callbacks of the request body and of an HTTP client's answer.
// Both deliver documents that come from outside the program, so a reader
// opened on them must not follow the external entities they name (local
// files, intranet URLs). They live in other modules; a program that does not
// link them leaves these null.
extern "C" {
QZ_Flag qz_HTTP_Req_XMLRdrInput(void *handle, char *buffer, uint32_t wanted, uint32_t *delivered)
    __attribute__((weak));
QZ_Flag qz_HTTP_Client_XMLRdrInput(void *handle, char *buffer, uint32_t wanted, uint32_t *delivered)
    __attribute__((weak));
}

namespace qz_xmlreader {
namespace {

// ---- files -----------------------------------------------------------------

QZ_Flag FileRead(void *handle, char *buffer, uint32_t wanted, uint32_t *delivered) {
    auto *fp = static_cast<FILE *>(handle);
    const size_t n = std::fread(buffer, 1, wanted, fp);
    *delivered = static_cast<uint32_t>(n);
    return std::ferror(fp) ? 0 : 1;
}

QZ_Flag FileClose(void *handle) {
    std::fclose(static_cast<FILE *>(handle));
    return 1;
}

// ---- memory buffers ----------------------------------------------------------

struct BufferCursor {
    uint32_t position;
    uint32_t length;
    const char *bytes;
};

QZ_Flag BufferRead(void *handle, char *buffer, uint32_t wanted, uint32_t *delivered) {
    auto *c = static_cast<BufferCursor *>(handle);
    const uint32_t left = c->length - c->position;
    const uint32_t n = wanted < left ? wanted : left;
    if (n != 0) std::memcpy(buffer, c->bytes + c->position, n);
    c->position += n;
    *delivered = n;
    return 1;
}

QZ_Flag BufferClose(void *handle) {
    PoolFree(handle);
    return 1;
}

// A document from the network starts with external entities off, and
// whatever the switch, its entities are never read from local files.
void MarkRemote(QZ_XmlReader *r) {
    r->extEntEnabled = 0;
    r->remoteOrigin = 1;
}

bool IsUntrustedSource(QZ_XmlReaderReadFn read) {
    return read != nullptr && (read == &qz_HTTP_Req_XMLRdrInput || read == &qz_HTTP_Client_XMLRdrInput);
}

} // namespace

bool IsHttpName(const char *name) {
    // The scheme is the text before the first ":" when no "/" comes before it.
    const char *colon = std::strchr(name, ':');
    if (colon == nullptr) return false;
    const char *slash = std::strchr(name, '/');
    if (slash != nullptr && slash < colon) return false;
    if (colon - name < 4) return false;
    static constexpr char kHttp[] = "http";
    for (int i = 0; i < 4; ++i)
        if ((name[i] | 0x20) != kHttp[i]) return false;
    return true;
}

bool IsRelativeSystemId(const char *systemId) {
    return std::strchr(systemId, ':') == nullptr && systemId[0] != '\\' && systemId[0] != '/';
}

void FileBase(const char *path, char *base) {
    const char *cut = std::strrchr(path, '\\');
    if (cut == nullptr) cut = std::strrchr(path, '/');
    if (cut == nullptr) cut = std::strchr(path, ':');
    const size_t length = cut != nullptr ? static_cast<size_t>(cut - path) + 1 : 0;
    qz::CopyToBuffer(base, kBaseMax, std::string_view(path, length));
}

int16_t OpenNamedInput(QZ_XmlReader *r, const char *name, Input &input) {
    if (name == nullptr) return QZ_XMLREADER_ERR_INPUT;
    if (IsHttpName(name)) return OpenHttpInput(r, name, input);
    FILE *fp = std::fopen(name, "rb");
    if (fp == nullptr) return QZ_XMLREADER_ERR_INPUT;
    input.handle = fp;
    input.read = &FileRead;
    input.close = &FileClose;
    FileBase(name, input.base);
    return 0;
}

} // namespace qz_xmlreader

using namespace qz_xmlreader;

extern "C" {

QZ_Flag QZ_XMLReaderParametricOpen(QZ_XmlReader *r, void *handle, QZ_XmlReaderReadFn read,
                                   QZ_XmlReaderCloseFn close, const char *base) {
    if (r == nullptr) return 0;
    if (r->state != QZ_XMLREADER_CLOSED) QZ_XMLReaderClose(r);
    r->inputHandle = handle;
    r->inputRead = read;
    r->inputClose = close;
    r->state = QZ_XMLREADER_OPENED;
    r->inputEnded = 0;
    r->inputFinished = 0;
    r->bytesParsed = 0;
    r->lastQueuedType = QZ_XMLNODE_NONE;
    r->itemSize = 0;
    r->feedBlocks = 1;
    r->elementDepth = 0;
    r->entityDepth = 0;
    r->entityBytes = 0;
    r->remoteOrigin = 0;
    if (IsUntrustedSource(read)) {
        r->extEntEnabled = 0;
        r->remoteOrigin = 1;
    }

    XML_Parser parser =
        XML_ParserCreateNS(r->documentEncoding[0] != '\0' ? r->documentEncoding : nullptr, kNsSeparator);
    if (parser == nullptr) {
        SetError(r, QZ_XMLREADER_ERR_ALLOC, QZ_XMLREADER_ERRKIND_READER);
        QZ_XMLReaderClose(r);
        return 0;
    }
    r->parser = parser;
    if (base != nullptr && base[0] != '\0') XML_SetBase(parser, base);
    XML_SetUserData(parser, r);
    RegisterHandlers(r, parser);
    return r->errorCode == 0 ? 1 : 0;
}

QZ_Flag qz_XMLReaderParametricOpenUntrusted(QZ_XmlReader *r, void *handle, QZ_XmlReaderReadFn read,
                                            QZ_XmlReaderCloseFn close, const char *base) {
    const QZ_Flag opened = QZ_XMLReaderParametricOpen(r, handle, read, close, base);
    if (r != nullptr) MarkRemote(r);
    return opened;
}

QZ_Flag QZ_XMLReaderOpen(QZ_XmlReader *r, const char *name) {
    if (r == nullptr) return 0;
    if (r->state != QZ_XMLREADER_CLOSED) QZ_XMLReaderClose(r);
    Input input;
    const int16_t failure = OpenNamedInput(r, name, input);
    if (failure != 0) {
        SetError(r, failure, QZ_XMLREADER_ERRKIND_READER);
        return 0;
    }
    const QZ_Flag opened = QZ_XMLReaderParametricOpen(r, input.handle, input.read, input.close, input.base);
    if (IsHttpName(name)) MarkRemote(r);
    return opened;
}

QZ_Flag QZ_XMLReaderOpenBuffer(QZ_XmlReader *r, const char *bytes, uint32_t length) {
    if (r == nullptr) return 0;
    if (bytes == nullptr) {
        SetError(r, QZ_XMLREADER_ERR_INPUT, QZ_XMLREADER_ERRKIND_READER);
        return 0;
    }
    auto *cursor = static_cast<BufferCursor *>(PoolAlloc(sizeof(BufferCursor), __LINE__));
    if (cursor == nullptr) {
        SetError(r, QZ_XMLREADER_ERR_INPUT, QZ_XMLREADER_ERRKIND_READER);
        return 0;
    }
    *cursor = BufferCursor{0, length, bytes};
    return QZ_XMLReaderParametricOpen(r, cursor, &BufferRead, &BufferClose, "");
}

QZ_Flag QZ_XMLReaderOpenFromString(QZ_XmlReader *r, const char *text) {
    if (r == nullptr) return 0;
    if (text == nullptr) {
        SetError(r, QZ_XMLREADER_ERR_INPUT, QZ_XMLREADER_ERRKIND_READER);
        return 0;
    }
    // The open document may be reading the current copy: close it first.
    if (r->state != QZ_XMLREADER_CLOSED) QZ_XMLReaderClose(r);
    const size_t length = std::strlen(text);
    if (length > UINT32_MAX - 1) {
        SetError(r, QZ_XMLREADER_ERR_ALLOC, QZ_XMLREADER_ERRKIND_READER);
        return 0;
    }
    if (r->stringCopy == nullptr || r->stringCopySize < length || r->stringCopySize == 0) {
        PoolFree(r->stringCopy);
        r->stringCopySize = 0;
        r->stringCopy = static_cast<char *>(PoolAlloc(length != 0 ? length : 1, __LINE__));
        if (r->stringCopy == nullptr) {
            SetError(r, QZ_XMLREADER_ERR_ALLOC, QZ_XMLREADER_ERRKIND_READER);
            return 0;
        }
        r->stringCopySize = static_cast<uint32_t>(length != 0 ? length : 1);
    }
    if (length != 0) std::memcpy(r->stringCopy, text, length);
    return QZ_XMLReaderOpenBuffer(r, r->stringCopy, static_cast<uint32_t>(length));
}

void QZ_XMLReaderClose(QZ_XmlReader *r) {
    if (r == nullptr || r->state == QZ_XMLREADER_CLOSED) return;
    if (r->inputClose != nullptr) r->inputClose(r->inputHandle);
    r->inputHandle = nullptr;
    r->inputRead = nullptr;
    r->inputClose = nullptr;
    r->state = QZ_XMLREADER_CLOSED;
    r->inputEnded = 1;
    r->inCData = 0;
    r->itemSize = 0;
    QueueReset(r->queue);
    QZ_XmlNsDict_Reset(&r->nsBindings);
    r->textBuffer.used = 0;
    if (r->parser != nullptr) XML_ParserFree(r->parser);
    r->parser = nullptr;
    if (r->unparsedEntities != nullptr) {
        QZ_XmlNsDict_Free(r->unparsedEntities);
        PoolFree(r->unparsedEntities);
        r->unparsedEntities = nullptr;
    }
}

} // extern "C"
