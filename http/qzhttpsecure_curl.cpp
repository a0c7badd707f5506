// Loading libcurl with dlopen on first use.

#include "http/qzhttpsecure_curl.h"

#include "qz/qztrace.h"

#include <dlfcn.h>

namespace qz_httpclient {
namespace {

template <typename Function>
bool Bind(void *library, const char *name, Function &target) {
    void *symbol = dlsym(library, name);
    if (symbol == nullptr) return false;
    // POSIX guarantees that a data pointer from dlsym converts to a function
    // pointer; the copy keeps the compiler's object-pointer rules happy.
    static_assert(sizeof(symbol) == sizeof(target));
    __builtin_memcpy(&target, &symbol, sizeof target);
    return true;
}

const CurlApi *Load() {
    void *library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char *why = dlerror();
        QZ_Trace(0, "QZ_HTTP_Request_Win_Request: Can not load libcurl.so.4: %s", why != nullptr ? why : "");
        return nullptr;
    }
    static CurlApi api;
    CURLcode (*globalInit)(long) = nullptr;
    const bool bound = Bind(library, "curl_global_init", globalInit) &&
                       Bind(library, "curl_easy_init", api.easyInit) &&
                       Bind(library, "curl_easy_cleanup", api.easyCleanup) &&
                       Bind(library, "curl_easy_setopt", api.easySetopt) &&
                       Bind(library, "curl_easy_perform", api.easyPerform) &&
                       Bind(library, "curl_easy_getinfo", api.easyGetinfo) &&
                       Bind(library, "curl_easy_strerror", api.easyStrerror) &&
                       Bind(library, "curl_slist_append", api.slistAppend) &&
                       Bind(library, "curl_slist_free_all", api.slistFreeAll) &&
                       Bind(library, "curl_multi_init", api.multiInit) &&
                       Bind(library, "curl_multi_cleanup", api.multiCleanup) &&
                       Bind(library, "curl_multi_add_handle", api.multiAddHandle) &&
                       Bind(library, "curl_multi_remove_handle", api.multiRemoveHandle) &&
                       Bind(library, "curl_multi_perform", api.multiPerform) &&
                       Bind(library, "curl_multi_poll", api.multiPoll) &&
                       Bind(library, "curl_multi_info_read", api.multiInfoRead);
    if (!bound || globalInit(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        QZ_Trace(0, "QZ_HTTP_Request_Win_Request: libcurl.so.4 lacks a function or does not start");
        dlclose(library);
        return nullptr;
    }
    // The library stays loaded for the rest of the process.
    return &api;
}

}  // namespace

const CurlApi *Curl() {
    static const CurlApi *const api = Load();
    return api;
}

}  // namespace qz_httpclient
