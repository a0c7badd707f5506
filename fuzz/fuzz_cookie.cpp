// Fuzzes the received-cookie parser, the lookup and the Set-Cookie lines.

#include "qz/qzcookie.h"
#include "qz/qzhttp.h"
#include "qz/qzhttprequest.h"

#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    static auto request = std::make_unique<QZ_HTTP_SrvReq>();
    QZ_HTTP_SrvReq_Init(request.get());
    QZ_HTTP_SrvReq_ParseCookies(request.get(), text.c_str());
    QZ_HTTP_Response response{};
    QZ_HTTP_Response_Init(&response, "text/html");
    QZ_HTTP_CookieList_Copy(&response.cookies, &request->cookies);
    char buffer[64];
    QZ_HTTP_GetCookie(&response, request.get(), buffer, text.substr(0, text.find('=')).c_str(), 63);
    QZ_HTTP_Response_AddSetCookieHeaders(&response);
    QZ_HTTP_Response_SetCacheMode(&response, QZ_HTTP_MODE_STRING); // nothing is sent
    QZ_HTTP_Response_End(&response);
    QZ_HTTP_SrvReq_Free(request.get());
    return 0;
}
