// XML request bodies: the writer's output goes into the client's content.

#include "http/qzhttpcore_internal.h"

#include "qz/qzhttpclient.h"
#include "qz/qztrace.h"
#include "qz/qzxml.h"
#include "qz/qzxmlreader.h"
#include "qz/qzpgmmem.h"

#include <algorithm>
#include <cstring>

using namespace qz_httpclient;

namespace {

int OpenNothing(void **, const char *) { return 1; }

int AppendToContent(void *handle, const char *bytes, uint32_t count) {
    auto *request = static_cast<QZ_HTTP_Request *>(handle);
    if (request != nullptr && bytes != nullptr) appendGrow(&request->content, {bytes, count});
    return 1;
}

void CloseNothing(void *) {}

}  // namespace

extern "C" int16_t QZ_xmlOpenToHttpClient(QZ_XmlWriter *writer, QZ_HTTP_Client *client) {
    if (writer == nullptr || client == nullptr) return QZ_XML_ERR_OUTPUT;
    // A running output ends through its own handle first: the start below
    // would otherwise end it through the client's record.
    if (writer->started) QZ_xmlend(writer);
    QZ_xmlsethandler(writer, client->request);
    return QZ_xmlstartEx(writer, "", OpenNothing, AppendToContent, CloseNothing);
}

extern "C" QZ_Flag qz_HTTP_Client_XMLRdrInput(void *handle, char *buffer, uint32_t wanted, uint32_t *delivered) {
    auto *input = static_cast<QZ_HTTP_ClientXmlInput *>(handle);
    if (delivered != nullptr) *delivered = 0;
    if (input == nullptr || input->request == nullptr || buffer == nullptr) return 0;
    const QZ_CStr &body = input->request->responseBody;
    const uint32_t length = body.length;
    QZ_Trace(4, "qz_HTTP_Req_XMLRdrInput start, Content='%s', Len = %d", body.data, static_cast<int>(length));
    if (length <= input->offset) return 0;
    const uint32_t given = std::min(length - input->offset, wanted);
    std::memcpy(buffer, body.data + input->offset, given);
    input->offset += given;
    QZ_Trace(4, "buffer = %.*s, BytesRead=%d", static_cast<int>(given), buffer, static_cast<int>(given));
    QZ_Trace(4, "qz_HTTP_Req_XMLRdrInput end");
    if (delivered != nullptr) *delivered = given;
    return 1;
}

namespace {

QZ_Flag ReleaseXmlInput(void *handle) {
    QZ_free(nullptr, handle);
    return 1;
}

}  // namespace

extern "C" int16_t QZ_XMLReader_OpenHttpClient(QZ_XmlReader *reader, QZ_HTTP_Client *client) {
    if (reader == nullptr || client == nullptr || client->request == nullptr) return 0;
    auto *input = static_cast<QZ_HTTP_ClientXmlInput *>(
        QZ_malloc(nullptr, sizeof(QZ_HTTP_ClientXmlInput), "qzhttpcore", 1609));
    if (input == nullptr) return 0;
    input->offset = 0;
    input->request = client->request;
    QZ_Trace(4, "QZ_XMLReader_OpenRequest start");
    QZ_XMLReaderInitAuthorization(reader, &client->credentials);
    QZ_XMLReaderSetProxyHost(reader, client->proxyHost.data);
    QZ_XMLReaderSetProxyPort(reader, client->proxyPort);
    // The answer comes from outside the program: the document must not make
    // the reader fetch local files or intranet URLs through external entities.
    const QZ_Flag opened =
        qz_XMLReaderParametricOpenUntrusted(reader, input, qz_HTTP_Client_XMLRdrInput, ReleaseXmlInput, "");
    QZ_Trace(4, "QZ_XMLReader_OpenRequest end");
    return opened;
}
