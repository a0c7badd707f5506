// Files as response bodies: a file response (content type from the
// extension, headers sent) and a file appended to the output.

#include "qz/qzhttp.h"

#include "http/qzhttp_internal.h"
#include "qz/qzpgmmem.h"
#include "qz/qztrace.h"
#include "runtime/qztext_internal.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string errorText(int error) {
    std::string text = std::strerror(error);
    if (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

} // namespace

extern "C" {

int16_t HTTP_Response_RespondFile(QZ_HTTP_Response *r, const char *fileName) {
    const char *name = qz::OrEmpty(fileName);
    QZ_Trace(2, "HTTP_Response_RespondFile( \"%s\")", name);
    if (r == nullptr) return QZ_HTTP_RESP_NOT_DONE;
    if (const char *dot = std::strrchr(name, '.'); dot != nullptr)
        QZ_HTTP_Response_SetDefaultContentType(r, QZ_HTTP_ContentTypeForExtension(dot + 1));
    QZ_HTTP_Response_Open(r);
    FILE *file = std::fopen(name, "rb");
    if (file == nullptr) return QZ_HTTP_RESP_NOT_DONE; // the headers have gone out already
    // Files are copied in fixed blocks, never read whole into memory.
    char block[QZ_HTTP_RESPOND_FILE_BLOCK];
    for (;;) {
        const size_t got = std::fread(block, 1, sizeof block, file);
        if (got > 0) QZ_HTTP_Response_WriteBytes(r, block, static_cast<int32_t>(got));
        if (got < sizeof block) {
            if (std::ferror(file) != 0)
                QZ_Trace(0, "Respondfile: Read error. File: %s. Error:\"%s\"", name,
                         errorText(errno != 0 ? errno : EIO).c_str());
            break;
        }
    }
    std::fclose(file);
    return QZ_HTTP_RESP_OK;
}

void QZ_HTTP_ResponseAddFile(QZ_HTTP_ResponseHandle handle, const char *fileName) {
    const char *name = qz::OrEmpty(fileName);
    QZ_Trace(2, "QZ_HTTP_ResponseAddFile start FileName = '%s'", name);
    if (handle == nullptr) return;
    FILE *file = std::fopen(name, "r");
    handle->lastError = file != nullptr ? 0 : ENOENT;
    if (file != nullptr) {
        auto *block = static_cast<char *>(QZ_malloc(nullptr, QZ_HTTP_ADD_FILE_BLOCK, "qzhttp", __LINE__));
        if (block != nullptr) {
            size_t got = 0;
            while ((got = std::fread(block, 1, QZ_HTTP_ADD_FILE_BLOCK, file)) > 0)
                QZ_HTTP_Response_Send(handle, block, static_cast<int32_t>(got));
            QZ_free(nullptr, block);
        }
        std::fclose(file);
    }
    QZ_Trace(2, "QZ_HTTP_ResponseAddFile end, nLastErr = %d", static_cast<int>(handle->lastError));
}

} // extern "C"
