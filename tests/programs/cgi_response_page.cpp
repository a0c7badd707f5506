// Answers like the driver does, on the real standard output: argv[1] is
// "direct", "cached", "redirect" or "cookies"; the body holds binary bytes.

#include "qz/qzhttp.h"

#include <cstring>
#include <memory>

int main(int argc, char **argv) {
    const char *mode = argc > 1 ? argv[1] : "direct";
    QZ_HTTP_Response response{};
    QZ_HTTP_Response_Init(&response, "text/html");
    QZ_HTTP_Response_SetCtrlBlock(&response, nullptr);
    auto request = std::make_unique<QZ_HTTP_SrvReq>();
    QZ_HTTP_SrvReq_Init(request.get());
    QZ_HTTP_SrvReq_Read(request.get(), 0);
    if (std::strcmp(mode, "cached") == 0) QZ_HTTP_Response_SetCacheMode(&response, QZ_HTTP_MODE_CACHED);
    if (std::strcmp(mode, "redirect") == 0 || std::strcmp(mode, "cookies") == 0) {
        if (std::strcmp(mode, "cookies") == 0) QZ_HTTP_Response_SetCookie(&response, "s", "1", "", 0, 0, "", 0);
        QZ_HTTP_Response_Redirect(request.get(), &response, QZ_HTTP_SrvReq_Get_Referer(request.get()));
    } else {
        QZ_HTTP_Response_AddHeader(&response, "pragma", "no-cache");
        QZ_HTTP_Response_WriteLine(&response, "line\r");
        QZ_HTTP_Response_WriteBytes(&response, "\0\n\r\xFF", 4);
    }
    QZ_HTTP_Response_End(&response);
    QZ_HTTP_SrvReq_Free(request.get());
    return 0;
}
