// Opening the output, sending the headers, the raw send and the write
// operations of the page.

#include "qz/qzhttp.h"

#include "http/qzhttp_internal.h"
#include "qz/qztrace.h"
#include "runtime/qzrequest_channel.h"
#include "runtime/qztext_internal.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

namespace {

// Writes straight to the stream (no stream: nothing). Standard output is a
// byte stream on this platform, so line ends go out exactly as sent.
void toStream(QZ_HTTP_Response *r, std::string_view bytes) {
    if (r->stream != nullptr && !bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), r->stream);
}

// The system's error text without a trailing line end.
std::string errorText(int error) {
    std::string text = std::strerror(error);
    if (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

const char *entityFor(unsigned char c) {
    switch (c) {
    case '"': return "&quot;";
    case '&': return "&amp;";
    case '<': return "&lt;";
    case '>': return "&gt;";
    case 0xD1: return "&Ntilde;";
    case 0xE1: return "&aacute;";
    case 0xE9: return "&eacute;";
    case 0xED: return "&iacute;";
    case 0xF1: return "&ntilde;";
    case 0xF3: return "&oacute;";
    case 0xFA: return "&uacute;";
    default: return nullptr;
    }
}

} // namespace

extern "C" {

void QZ_HTTP_Response_OpenStream(QZ_HTTP_Response *r) {
    if (r == nullptr || r->stream != nullptr) return;
    if (r->outputFileName.length > 0) {
        errno = 0;
        r->stream = std::fopen(r->outputFileName.data, "w");
        if (r->stream == nullptr) {
            const std::string reason = errorText(errno != 0 ? errno : ENOENT);
            QZ_Trace(0, "HTT0001: '%s' error opening '%s'", reason.c_str(), r->outputFileName.data);
            std::fprintf(qz_RequestOut(), "HTT0001: '%s' error opening '%s'\n", reason.c_str(),
                         r->outputFileName.data);
            return; // later output is dropped
        }
        r->ownsStream = 1;
        return;
    }
    r->stream = qz_RequestOut();
    r->ownsStream = 0;
}

void QZ_HTTP_Response_SendHeaders(QZ_HTTP_Response *r) {
    if (r == nullptr) return;
    if (r->status.length > 0) {
        toStream(r, "Status: ");
        toStream(r, r->status.data);
        toStream(r, "\n");
        QZ_Trace(5, "Status : [%s]", r->status.data);
    }
    QZ_HTTP_Response_AddSetCookieHeaders(r);
    QZ_Trace(5, "Headers: [%s]", r->headers.data);
    toStream(r, std::string_view(r->headers.data, r->headers.length));
    toStream(r, "\n");
}

void QZ_HTTP_Response_Open(QZ_HTTP_Response *r) {
    if (r == nullptr || r->outputStarted != 0) return;
    r->outputStarted = 1;
    QZ_Trace(10, "Opening HTTP response output.");
    QZ_HTTP_Response_OpenStream(r);
    if (r->outputFileName.length > 0) return; // a file gets the body alone
    // After a failed content-type copy the line carries "text/html".
    qz::http::addHeaderLine(&r->headers,
                            "Content-type: " +
                                qz::http::headerSafe(r->contentType != nullptr ? r->contentType : "text/html",
                                                     "the content type") +
                                "\r\n");
    if (r->outputMode == QZ_HTTP_MODE_DIRECT) {
        QZ_Trace(10, "Sending headers.");
        QZ_HTTP_Response_SendHeaders(r);
        QZ_Trace(10, "End of headers.");
    }
}

void QZ_HTTP_Response_Send(QZ_HTTP_Response *r, const void *bytes, int32_t length) {
    if (r == nullptr || bytes == nullptr) return;
    const auto *text = static_cast<const char *>(bytes);
    const std::string_view data =
        length < 0 ? std::string_view(text) : std::string_view(text, static_cast<size_t>(length));
    if (r->outputMode == QZ_HTTP_MODE_CACHED || r->outputMode == QZ_HTTP_MODE_STRING) {
        if (r->buffer != nullptr) qz::http::appendFast(r->buffer, data);
        return;
    }
    toStream(r, data);
}

void QZ_HTTP_Response_Write(QZ_HTTP_Response *r, const char *text) {
    if (r == nullptr) return;
    QZ_HTTP_Response_Open(r);
    QZ_HTTP_Response_Send(r, qz::OrEmpty(text), -1);
}

void QZ_HTTP_Response_WriteLine(QZ_HTTP_Response *r, const char *text) {
    QZ_HTTP_Response_Write(r, text);
    QZ_HTTP_Response_Write(r, "\n");
}

void QZ_HTTP_Response_WriteBytes(QZ_HTTP_Response *r, const void *bytes, int32_t length) {
    if (r == nullptr) return;
    if (QZ_GetTraceLevel() >= 10) QZ_Trace(1, "Send(binary) len=%ld", static_cast<long>(length));
    QZ_HTTP_Response_Open(r);
    if (length >= 0) QZ_HTTP_Response_Send(r, bytes, length);
}

void QZ_HTTP_Response_WriteHtml(QZ_HTTP_Response *r, const char *text) {
    if (r == nullptr) return;
    const std::string_view all(qz::OrEmpty(text));
    std::string out;
    out.reserve(all.size());
    for (const char c : all) {
        const char *entity = entityFor(static_cast<unsigned char>(c));
        if (entity != nullptr)
            out += entity;
        else
            out += c;
    }
    QZ_HTTP_Response_Write(r, out.c_str());
}

void QZ_HTTP_Response_WriteHtmlLines(QZ_HTTP_Response *r, const char *text) {
    if (r == nullptr) return;
    // Every carriage return, and a line feed right after it, becomes "<br>";
    // the markup is written as it is, the text around it escaped.
    const std::string_view all(qz::OrEmpty(text));
    size_t start = 0;
    while (start <= all.size()) {
        const size_t cr = all.find('\r', start);
        const std::string piece(all.substr(start, cr == std::string_view::npos ? std::string_view::npos : cr - start));
        QZ_HTTP_Response_WriteHtml(r, piece.c_str());
        if (cr == std::string_view::npos) break;
        QZ_HTTP_Response_Write(r, "<br>");
        start = cr + 1;
        if (start < all.size() && all[start] == '\n') ++start;
    }
}

} // extern "C"
