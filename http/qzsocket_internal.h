// Shared pieces of the TCP layer's modules (not a public header).
#ifndef QZ_HTTP_QZSOCKET_INTERNAL_H
#define QZ_HTTP_QZSOCKET_INTERNAL_H

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qz_net {

// The error number of the last failed socket operation; kept apart from errno
// because tracing the failure may change errno before a caller asks.
void RecordError(int32_t error);
int32_t LastError();

// Waits until fd reports one of events (poll), for at most timeoutSeconds
// (0: without limit), resuming after signals with the time that is left.
// > 0 when it did, 0 when the time passed, < 0 on an error (errno set).
int WaitFor(int fd, short events, uint32_t timeoutSeconds);

// Traces data (which may lack a terminating zero) like QZ_traceTCP.
void TraceData(const char *prefix, std::string_view data);

// recv that resumes after signals; the result of recv otherwise.
long Receive(int fd, char *buffer, size_t length);

// The result of ReceiveWaiting when no byte is there yet.
inline constexpr long kNothingYet = -2;
// Receive that does not wait: what is there, 0 after the peer closed, -1 on
// an error (errno set), or kNothingYet.
long ReceiveWaiting(int fd, char *buffer, size_t length);

}  // namespace qz_net

#endif
