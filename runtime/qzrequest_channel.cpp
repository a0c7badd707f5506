// The request channel: where the environment, the body and the output of the
// request being served are. Nothing here copies: the serving loop keeps the
// request's storage alive until it detaches.
#include "runtime/qzrequest_channel.h"

#include <cstdlib>
#include <cstring>

extern "C" char **environ;

namespace {

struct Channel {
    char *const *envp = nullptr;  // null: the process environment
    FILE *in = nullptr;           // null: standard input
    FILE *out = nullptr;          // null: standard output
};

Channel g_channel;

}  // namespace

extern "C" {

const char *qz_RequestEnv(const char *name) {
    if (name == nullptr) return nullptr;
    if (g_channel.envp == nullptr) return std::getenv(name);
    const size_t length = std::strlen(name);
    for (char *const *entry = g_channel.envp; *entry != nullptr; ++entry) {
        // The first character settles most entries without a call.
        if ((*entry)[0] == name[0] && std::strncmp(*entry, name, length) == 0 && (*entry)[length] == '=')
            return *entry + length + 1;
    }
    return nullptr;
}

char *const *qz_RequestEnviron(void) { return g_channel.envp != nullptr ? g_channel.envp : environ; }

FILE *qz_RequestIn(void) { return g_channel.in != nullptr ? g_channel.in : stdin; }

FILE *qz_RequestOut(void) { return g_channel.out != nullptr ? g_channel.out : stdout; }

void qz_RequestChannel_Attach(char *const *envp, FILE *in, FILE *out) { g_channel = Channel{envp, in, out}; }

void qz_RequestChannel_Detach(void) { g_channel = Channel{}; }

}  // extern "C"
