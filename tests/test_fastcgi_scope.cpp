// The pieces of the persistent mode inside one process: the request channel
// (a request's environment, body and output without touching the process's
// own), the request scope that ends a request, and the entry point's choice
// of mode. The mode against real sockets and servers is in tests/servers/fastcgi_*.sh.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "qz/qzglobal.h"
#include "qz/qzpgmmem.h"
#include "qz/qzserve.h"
#include "qz/qzsocket.h"
#include "qz/qzstatic.h"
#include "qz/qztrace.h"
#include "http/qzsocket_internal.h"
#include "runtime/qzrequest_channel.h"
#include "runtime/qzserve_internal.h"
#include "test_driver_child.h"

namespace {

std::string ReadFile(const char *path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A request's channel: its parameters and body in memory, its output in a string.
class Channel {
public:
    Channel(std::vector<std::string> env, const std::string &body) : env_(std::move(env)), body_(body) {
        for (std::string &entry : env_) pointers_.push_back(entry.data());
        pointers_.push_back(nullptr);
        in_ = fmemopen(body_.data(), body_.size() + 1, "r");
        out_ = open_memstream(&outText_, &outSize_);
        qz_RequestChannel_Attach(pointers_.data(), in_, out_);
    }
    ~Channel() {
        qz_RequestChannel_Detach();
        std::fclose(in_);
        std::fclose(out_);
        std::free(outText_);
    }
    Channel(const Channel &) = delete;
    Channel &operator=(const Channel &) = delete;
    std::string Output() {
        std::fflush(out_);
        return std::string(outText_, outSize_);
    }

private:
    std::vector<std::string> env_;
    std::vector<char *> pointers_;
    std::string body_;
    FILE *in_ = nullptr;
    FILE *out_ = nullptr;
    char *outText_ = nullptr;
    size_t outSize_ = 0;
};

TEST(FastcgiChannel, TheRequestIsReadFromItsChannelAndTheProcessEnvironmentStays) {
    ASSERT_EQ(std::getenv("REQUEST_METHOD"), nullptr);
    auto *request = static_cast<QZ_HTTP_SrvReq *>(std::calloc(1, sizeof(QZ_HTTP_SrvReq)));
    {
        Channel channel({"REQUEST_METHOD=POST", "QUERY_STRING=7,x", "CONTENT_LENGTH=11", "SERVER_PORT=81",
                         "HTTP_COOKIE=a=1; b=x%20y", "HTTPS=on", "GATEWAY_INTERFACE=CGI/1.1"},
                        "name=v&w=12");
        QZ_HTTP_SrvReq_Init(request);
        QZ_HTTP_SrvReq_Read(request, 0);
        EXPECT_STREQ(request->requestMethod.data, "POST");
        EXPECT_EQ(request->serverPort, 81);
        EXPECT_EQ(request->secure, 1);
        EXPECT_STREQ(QZ_HTTP_SrvReq_GetVariable(request, "w"), "12");
        char cookie[16] = "";
        EXPECT_STREQ(QZ_HTTP_GetCookie(nullptr, request, cookie, "b", 15), "x y");
        EXPECT_STREQ(qz_GetEnv("QUERY_STRING"), "7,x");
        EXPECT_EQ(QZ_StaticWeb_IsStatic(), 0);  // a request, not static generation
        QZ_HTTP_SrvReq_Free(request);
    }
    // Nothing of the request reached the process environment.
    EXPECT_EQ(std::getenv("REQUEST_METHOD"), nullptr);
    EXPECT_STREQ(qz_GetEnv("QUERY_STRING"), "");
    EXPECT_EQ(QZ_StaticWeb_IsStatic(), 1);
    std::free(request);
}

// A request's names are looked up as the process environment's are: the
// first entry of the exact name, up to its first '='.
TEST(FastcgiChannel, NamesAreFoundAsInTheEnvironmentWhateverTheyShare) {
    Channel channel({"HTTP_ACCEPT_LANGUAGE=de", "HTTP_ACCEPT=*/*", "SERVER_NAMEX=x", "SERVER_NAME=host",
                     "ABCDEFGH=eight", "ABCDEFG=seven", "A=1", "DUP=first", "DUP=second", "NOVALUE", "EMPTY=",
                     "=nameless", "K=V=W", "LONG_NAME_PAST_EIGHT_BYTES_A=a", "LONG_NAME_PAST_EIGHT_BYTES_B=b"},
                    "");
    const struct {
        const char *name;
        const char *value;  // null: absent
    } cases[] = {
        {"HTTP_ACCEPT", "*/*"},
        {"HTTP_ACCEPT_LANGUAGE", "de"},
        {"HTTP_ACCEPT_", nullptr},
        {"HTTP_ACCEP", nullptr},
        {"SERVER_NAME", "host"},
        {"SERVER_NAMEX", "x"},
        {"ABCDEFGH", "eight"},
        {"ABCDEFG", "seven"},
        {"ABCDEFGHI", nullptr},
        {"A", "1"},
        {"DUP", "first"},
        {"NOVALUE", nullptr},
        {"EMPTY", ""},
        {"", nullptr},
        {"K", "V=W"},
        {"K=V", "W"},  // a name with '=' matches across the entry's first '='
        {"LONG_NAME_PAST_EIGHT_BYTES_B", "b"},
        {"LONG_NAME_PAST_EIGHT_BYTES_A", "a"},
        {"LONG_NAME_PAST_EIGHT_BYTES_", nullptr},
        {"a", nullptr},
    };
    for (const auto &c : cases) {
        const char *value = qz_RequestEnv(c.name);
        if (c.value == nullptr) {
            EXPECT_EQ(value, nullptr) << c.name;
        } else {
            ASSERT_NE(value, nullptr) << c.name;
            EXPECT_STREQ(value, c.value) << c.name;
        }
    }
}

TEST(FastcgiChannel, EverythingWrittenForTheRequestGoesToItsOutput) {
    qztest::ScratchDir dir;
    Channel channel({"REQUEST_METHOD=GET"}, "");
    QZ_HTTP_Response response;
    QZ_HTTP_Response_Init(&response, "text/plain");
    QZ_HTTP_Response_Write(&response, "body;");
    QZ_HTTP_Response_End(&response);
    QZ_Printf("printf %d;", 5);
    QZ_PrintMessage("message");
    EXPECT_EQ(channel.Output(), "Status: 200 OK\nContent-type: text/plain\r\n\nbody;printf 5;message\n");
}

TEST(FastcgiScope, ProgramResetsRunLastFirstAndOnceEach) {
    static std::string order;
    order.clear();
    QZ_AtRequestEnd([] { order += "a"; });
    auto b = [] { order += "b"; };
    QZ_AtRequestEnd(b);
    QZ_AtRequestEnd(b);  // registered once
    qz_RequestScope_End();
    qz_RequestScope_End();
    EXPECT_EQ(order, "baba");
}

TEST(FastcgiScope, APoolLeftBehindIsReportedAndReleasedAtTheEndOfTheRequest) {
    qztest::ScratchDir dir("[Trace]\nTrace=1\nTraceLevel=0\nTraceFile=trace.log\n");
    auto r = qztest::RunChild([] {
        QZ_TraceReset();
        QZ_MemSetCheckMode(1);
        for (int request = 0; request < 2; ++request) {
            QZ_MemPool *pool = QZ_GetDefaultPool();
            if (pool->count != 0) return 10 + request;  // the previous request's blocks are gone
            QZ_malloc(nullptr, 10, "leaky", 1);
            QZ_PgmContext_New();  // never deleted
            QZ_TraceIndent(1, "indented");
            qz_RequestScope_End();
            if (QZ_GetCurrentContext() != nullptr) return 20;
        }
        return 0;
    });
    EXPECT_EQ(r.exitCode, 0);
    const std::string trace = ReadFile("trace.log");
    size_t reports = 0;
    for (size_t at = trace.find("*** WARNING MEMORYLEAKS ***"); at != std::string::npos;
         at = trace.find("*** WARNING MEMORYLEAKS ***", at + 1))
        ++reports;
    EXPECT_EQ(reports, 2u);
    EXPECT_NE(trace.find("Deallocating Blocks: 2 Blocks found"), std::string::npos);
    // The indentation of one request does not carry into the next.
    EXPECT_EQ(trace.find(" " "   indented"), std::string::npos) << trace;
}

TEST(FastcgiScope, TheSocketLayersLastErrorIsTheRequestsOwn) {
    qz_net::RecordError(111);
    ASSERT_EQ(QZ_lastErrorTCP(), 111);
    qz_RequestScope_End();
    EXPECT_EQ(QZ_lastErrorTCP(), 0);
}

int g_runs = 0;
int RecordRun(int argc, char **argv) {
    ++g_runs;
    return argc == 2 && std::strcmp(argv[1], "x") == 0 ? 7 : 3;
}

TEST(FastcgiServe, UnderCgiTheRequestRunsOnceWithItsArguments) {
    auto r = qztest::RunChild([] {
        char a0[] = "prog", a1[] = "x";
        char *argv[] = {a0, a1, nullptr};
        const int code = QZ_Serve(2, argv, RecordRun);
        return g_runs == 1 && QZ_ServePersistent() == 0 ? code : 99;
    });
    EXPECT_EQ(r.exitCode, 7);
}

TEST(FastcgiServe, TheSocketOptionNeedsItsSocket) {
    char a0[] = "prog", a1[] = "--fastcgi";
    char *argv[] = {a0, a1, nullptr};
    g_runs = 0;
    EXPECT_EQ(QZ_Serve(2, argv, RecordRun), 2);
    char a2[] = "/nonexistent-folder/app.sock";
    char *bad[] = {a0, a1, a2, nullptr};
    EXPECT_EQ(QZ_Serve(3, bad, RecordRun), 1);
    EXPECT_EQ(g_runs, 0);
}

// The mode on a real socket, served in a child: [FastCGI] MaxRequests ends
// the process after that many requests, with exit code 0; the program sees
// its arguments without the socket option.
TEST(FastcgiServe, MaxRequestsEndsTheProcessAfterThatMany) {
    if (std::system("command -v cgi-fcgi >/dev/null") != 0) FAIL() << "cgi-fcgi is not installed (scripts/install-deps.sh installs it)";
    qztest::ScratchDir dir("[FastCGI]\nProcesses=0\nMaxRequests=2\n");
    const std::string socket = (dir.path() / "app.sock").string();
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        std::string a0 = "prog", a1 = "--fastcgi", a2 = socket, a3 = "x";
        char *argv[] = {a0.data(), a1.data(), a2.data(), a3.data(), nullptr};
        _exit(QZ_Serve(4, argv, [](int argc, char **argv) {
            std::fprintf(qz_RequestOut(), "Status: 200 OK\n\nargs=%d %s method=%s\n", argc, argv[argc - 1],
                         qz_GetEnv("REQUEST_METHOD"));
            return 0;
        }));
    }
    for (int i = 0; i < 100 && access(socket.c_str(), F_OK) != 0; ++i) usleep(20000);
    std::string answers;
    for (const char *method : {"GET", "PUT"}) {
        const std::string command = std::string("env -i REQUEST_METHOD=") + method + " cgi-fcgi -bind -connect " + socket;
        FILE *pipe = popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        char block[256];
        for (size_t n; (n = std::fread(block, 1, sizeof block, pipe)) > 0;) answers.append(block, n);
        pclose(pipe);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(answers, "Status: 200 OK\n\nargs=2 x method=GET\nStatus: 200 OK\n\nargs=2 x method=PUT\n");
}

}  // namespace
