// The writer's stock output handlers: files (and standard output), memory
// buffers, and streams the caller owns.
#include <cstdio>
#include <cstring>

#include "xml/qzxml_internal.h"
#include "runtime/qzrequest_channel.h"

namespace {

bool isBlank(const char *name) {
    if (name == nullptr) return true;
    while (*name == ' ') ++name;
    return *name == '\0';
}

} // namespace

extern "C" {

int QZ_xmlFileOpen(void **handle, const char *name) {
    if (handle == nullptr) return 0;
    if (isBlank(name)) {
        *handle = qz_RequestOut();
        return 1;
    }
    FILE *fp = std::fopen(name, "w");
    if (fp == nullptr) return 0;
    *handle = fp;
    return 1;
}

int QZ_xmlFileWrite(void *handle, const char *bytes, uint32_t count) {
    if (count == 0) return 1;
    if (handle == nullptr || bytes == nullptr) return 0;
    return std::fwrite(bytes, 1, count, static_cast<FILE *>(handle)) == count ? 1 : 0;
}

void QZ_xmlFileClose(void *handle) {
    if (handle == nullptr) return;
    if (handle == qz_RequestOut()) {
        std::fflush(qz_RequestOut());
        return;
    }
    std::fclose(static_cast<FILE *>(handle));
}

int QZ_xmlMemBufOpen(void **, const char *) { return 1; }

int QZ_xmlMemBufWrite(void *handle, const char *bytes, uint32_t count) {
    if (count == 0) return 1;
    if (handle == nullptr || bytes == nullptr) return 0;
    void *room = QZ_Buffer_Extend(static_cast<QZ_Buffer *>(handle), count);
    if (room == nullptr) return 0;
    std::memcpy(room, bytes, count);
    return 1;
}

void QZ_xmlMemBufClose(void *handle) {
    // One zero byte, so that a finished buffer holds a terminated string.
    if (handle == nullptr) return;
    void *room = QZ_Buffer_Extend(static_cast<QZ_Buffer *>(handle), 1);
    if (room != nullptr) *static_cast<char *>(room) = '\0';
}

} // extern "C"

namespace {

// A stream the caller owns: opened and closed by the caller, only flushed here.
int borrowedOpen(void **, const char *) { return 1; }
void borrowedClose(void *handle) {
    if (handle != nullptr) std::fflush(static_cast<FILE *>(handle));
}

} // namespace

extern "C" int16_t QZ_xmlstartOnFile(QZ_XmlWriter *w, FILE *fp) {
    if (w == nullptr) return QZ_XML_ERR_OUTPUT;
    if (fp == nullptr) {
        w->errorCode = QZ_XML_ERR_OUTPUT;
        return QZ_XML_ERR_OUTPUT;
    }
    const int16_t rc = QZ_xmlstartEx(w, nullptr, borrowedOpen, QZ_xmlFileWrite, borrowedClose);
    if (rc == 0) w->handle = fp;
    return rc;
}
