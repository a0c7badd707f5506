// XML request bodies: the writer's output goes into the client's content.

#include "http/qzhttpcore_internal.h"

#include "qz/qzhttpclient.h"
#include "qz/qzxml.h"

using namespace qz_httpclient;

namespace {

int OpenNothing(void **, const char *) { return 1; }

int AppendToContent(void *handle, const char *bytes, uint32_t count) {
    auto *request = static_cast<QZ_HTTP_Request *>(handle);
    if (request != nullptr && bytes != nullptr) AppendGrow(&request->content, {bytes, count});
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
