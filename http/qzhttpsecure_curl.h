// libcurl, loaded on first use of the secure path.  The library is never
// linked: loading it (and the objects it needs) costs every process start
// several milliseconds, and most runs of the program never make a TLS
// request.  Only the types and constants of its headers are used here.
#ifndef QZ_HTTP_QZHTTPSECURE_CURL_H
#define QZ_HTTP_QZHTTPSECURE_CURL_H

#include <curl/curl.h>

namespace qz_httpclient {

struct CurlApi {
    CURL *(*easyInit)(void);
    void (*easyCleanup)(CURL *);
    CURLcode (*easySetopt)(CURL *, CURLoption, ...);
    CURLcode (*easyPerform)(CURL *);
    CURLcode (*easyGetinfo)(CURL *, CURLINFO, ...);
    const char *(*easyStrerror)(CURLcode);
    curl_slist *(*slistAppend)(curl_slist *, const char *);
    void (*slistFreeAll)(curl_slist *);
    // The multi interface lets a body be read a block at a time.
    CURLM *(*multiInit)(void);
    CURLMcode (*multiCleanup)(CURLM *);
    CURLMcode (*multiAddHandle)(CURLM *, CURL *);
    CURLMcode (*multiRemoveHandle)(CURLM *, CURL *);
    CURLMcode (*multiPerform)(CURLM *, int *);
    CURLMcode (*multiPoll)(CURLM *, struct curl_waitfd *, unsigned int, int, int *);
    CURLMsg *(*multiInfoRead)(CURLM *, int *);
};

// The functions, or nullptr when libcurl ("libcurl.so.4") cannot be loaded
// (the reason is traced at level 0 once).  Loading is tried once per process.
const CurlApi *Curl();

}  // namespace qz_httpclient

#endif
