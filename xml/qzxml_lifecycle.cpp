// Making, starting, ending and releasing a writer, and its string buffer.
#include <cstddef>
#include <cstring>

#include "qz/qzpgmmem.h"
#include "xml/qzxml_internal.h"

using qz::xml::finish;

namespace {

constexpr uint32_t kStackCapacity = 5120;
constexpr uint32_t kStackGrowth = 1024;
constexpr uint32_t kStringCapacity = 2048;
constexpr uint32_t kStringGrowth = 1024;

void fillDefaultHandlers(QZ_XmlWriter *w) {
    if (w->openHandler == nullptr) w->openHandler = QZ_xmlFileOpen;
    if (w->writeHandler == nullptr) w->writeHandler = QZ_xmlFileWrite;
    if (w->closeHandler == nullptr) w->closeHandler = QZ_xmlFileClose;
}

void releaseStringBuffer(QZ_XmlWriter *w) {
    if (w->stringBuffer == nullptr) return;
    QZ_Buffer_Free(w->stringBuffer);
    QZ_free(nullptr, w->stringBuffer);
    w->stringBuffer = nullptr;
}

} // namespace

extern "C" {

int16_t QZ_xmlwriterinit(QZ_XmlWriter *w, QZ_XmlOpenHandler open, QZ_XmlWriteHandler write,
                         QZ_XmlCloseHandler close) {
    if (w == nullptr) return 1;
    // Everything but the collecting block, which is only ever read after it
    // was written (fileBufferUsed counts what it holds).
    std::memset(static_cast<void *>(w), 0, offsetof(QZ_XmlWriter, fileBuffer));
    QZ_CStr_Init(&w->value);
    w->indentChar = '\t';
    w->indentCount = 1;
    w->openHandler = open;
    w->writeHandler = write;
    w->closeHandler = close;
    fillDefaultHandlers(w);
    if (!QZ_Buffer_Init(&w->elements, kStackCapacity, kStackGrowth)) return 1;
    if (!QZ_Buffer_Init(&w->attributes, kStackCapacity, kStackGrowth)) {
        QZ_Buffer_Free(&w->elements);
        return 1;
    }
    if (!QZ_XmlNsDict_InitStandard(&w->namespaces)) {
        QZ_Buffer_Free(&w->attributes);
        QZ_Buffer_Free(&w->elements);
        return 1;
    }
    return 0;
}

int16_t QZ_xmlinit(QZ_XmlWriter *w) { return QZ_xmlwriterinit(w, nullptr, nullptr, nullptr); }

QZ_XmlWriter *QZ_xmlwritercreate(void) {
    auto *w = static_cast<QZ_XmlWriter *>(QZ_malloc(nullptr, sizeof(QZ_XmlWriter), qz::xml::kSource, __LINE__));
    if (w == nullptr) return nullptr;
    if (QZ_xmlinit(w) != 0) {
        QZ_free(nullptr, w);
        return nullptr;
    }
    return w;
}

int16_t QZ_xmlclear(QZ_XmlWriter *w) {
    if (w == nullptr) return 0;
    finish(w, 0);
    QZ_CStr_Free(&w->value);
    QZ_Buffer_Free(&w->elements);
    QZ_Buffer_Free(&w->attributes);
    QZ_XmlNsDict_Free(&w->namespaces);
    releaseStringBuffer(w);
    return 0;
}

int16_t QZ_xmlwriterdestroy(QZ_XmlWriter *w) {
    if (w == nullptr) return 0;
    QZ_xmlclear(w);
    QZ_free(nullptr, w);
    return 0;
}

int16_t QZ_xmlstart(QZ_XmlWriter *w, const char *name) {
    if (w == nullptr) return QZ_XML_ERR_OUTPUT;
    if (w->started) QZ_xmlend(w);
    fillDefaultHandlers(w);
    if (w->openHandler(&w->handle, name != nullptr ? name : "") == 0) {
        w->errorCode = QZ_XML_ERR_OUTPUT;
        return QZ_XML_ERR_OUTPUT;
    }
    w->started = 1;
    w->errorCode = 0;
    return 0;
}

int16_t QZ_xmlstartEx(QZ_XmlWriter *w, const char *name, QZ_XmlOpenHandler open, QZ_XmlWriteHandler write,
                      QZ_XmlCloseHandler close) {
    if (w == nullptr) return QZ_XML_ERR_OUTPUT;
    // The running output ends through its own handlers.
    if (w->started) QZ_xmlend(w);
    w->openHandler = open;
    w->writeHandler = write;
    w->closeHandler = close;
    return QZ_xmlstart(w, name);
}

int16_t QZ_xmlsethandler(QZ_XmlWriter *w, void *handle) {
    if (w == nullptr) return 0;
    finish(w, 0); // collected bytes belong to the old handle
    w->handle = handle;
    return 0;
}

int16_t QZ_xmlstartMemBuf(QZ_XmlWriter *w, QZ_Buffer *buffer) {
    const int16_t rc = QZ_xmlstartEx(w, nullptr, QZ_xmlMemBufOpen, QZ_xmlMemBufWrite, QZ_xmlMemBufClose);
    if (rc == 0) w->handle = buffer;
    return rc;
}

int16_t QZ_xmlend(QZ_XmlWriter *w) {
    if (w == nullptr || !w->started) return 0;
    // With an error stored an element cannot be closed (its end tag is not
    // written): the loop stops at the first failure and the output ends anyway.
    while (qz::xml::openElements(w) > 0)
        if (QZ_xmlendelement(w) != 0) break;
    // Whatever could not be closed must not leak into the next document.
    qz::xml::resetDocument(w);
    finish(w, 0);
    w->started = 0;
    w->closeHandler(w->handle);
    return 0;
}

int16_t QZ_xmlOpenToString(QZ_XmlWriter *w) {
    if (w == nullptr) return 1;
    // End a running output first: ending it into the string buffer would put
    // the old document's terminator in front of the new one.
    if (w->started) QZ_xmlend(w);
    if (w->stringBuffer == nullptr) {
        w->stringBuffer = static_cast<QZ_Buffer *>(QZ_malloc(nullptr, sizeof(QZ_Buffer), qz::xml::kSource, __LINE__));
        if (w->stringBuffer == nullptr) return 1;
        *w->stringBuffer = QZ_Buffer{};
    } else {
        QZ_Buffer_Free(w->stringBuffer); // the old storage goes; a fresh block is made below
    }
    if (!QZ_Buffer_Init(w->stringBuffer, kStringCapacity, kStringGrowth)) {
        w->errorCode = QZ_XML_ERR_OUTPUT;
        return 1;
    }
    return QZ_xmlstartMemBuf(w, w->stringBuffer);
}

char *QZ_xmlgetResultingString(QZ_XmlWriter *w, char *buffer, int32_t max) {
    if (buffer == nullptr || max < 0) return buffer;
    uint32_t n = 0;
    if (w != nullptr && w->stringBuffer != nullptr && w->stringBuffer->data != nullptr)
        n = w->stringBuffer->used < static_cast<uint32_t>(max) ? w->stringBuffer->used : static_cast<uint32_t>(max);
    uint32_t i = 0;
    for (; i < n && w->stringBuffer->data[i] != 0; ++i) buffer[i] = static_cast<char>(w->stringBuffer->data[i]);
    buffer[i] = '\0';
    return buffer;
}

const char *QZ_xmlgetInternalResultingString(QZ_XmlWriter *w, uint32_t *count) {
    if (w == nullptr || w->stringBuffer == nullptr || w->stringBuffer->data == nullptr) {
        if (count != nullptr) *count = 0;
        return nullptr;
    }
    if (count != nullptr) *count = w->stringBuffer->used;
    return reinterpret_cast<const char *>(w->stringBuffer->data);
}

} // extern "C"
