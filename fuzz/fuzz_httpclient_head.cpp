// The readers of a response head: status code, reason phrase, one header
// value and all values of a header.  Input: a header name, a line feed, the
// head.

#include "qz/qzhttpclient.h"
#include "qz/qzpgmmem.h"

#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string input(reinterpret_cast<const char *>(data), size);
    const size_t split = input.find('\n');
    const std::string name = split == std::string::npos ? "WWW-Authenticate" : input.substr(0, split);
    const std::string head = split == std::string::npos ? input : input.substr(split + 1);
    QZ_HTTP_Request *request = QZ_HTTP_Request_Init();
    if (request == nullptr) return 0;
    QZ_CStr_Set(&request->responseHead, head.data(), static_cast<uint32_t>(head.size()));
    const uint32_t held = request->responseHead.length;

    (void)qz_HTTP_Request_Get_Status_Code(request);
    uint32_t length = 12345;
    const char *reason = qz_HTTP_Request_Get_Status_Line(request, &length);
    if (length > 0 && (reason < request->responseHead.data || reason + length > request->responseHead.data + held))
        __builtin_trap();
    length = 12345;
    const char *value = qz_HTTP_Request_Get_Header_Field(request, name.c_str(), &length);
    if (value != nullptr && (value < request->responseHead.data || value + length > request->responseHead.data + held))
        __builtin_trap();
    char values[65];
    std::memset(values, 'x', sizeof values);
    qz_HTTP_Request_Get_Header_Values(request, name.c_str(), values, 63);
    if (values[64] != 'x') __builtin_trap();
    QZ_HTTP_Request_Free(request);
    QZ_free(nullptr, request);
    return 0;
}
