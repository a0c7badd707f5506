// Standard input of the test process taken from given bytes for the time of a
// test, so that a request can be read in-process as the web server hands it over.
#ifndef QZ_TESTS_TEST_CGI_STDIN_H
#define QZ_TESTS_TEST_CGI_STDIN_H

#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

namespace cgitest {

class StdinFrom {
public:
    explicit StdinFrom(const std::string &bytes) {
        std::fflush(stdin);
        saved_ = dup(0);
        char name[] = "/tmp/qz_cgi_stdin_XXXXXX";
        fd_ = mkstemp(name);
        if (saved_ < 0 || fd_ < 0) std::abort();
        unlink(name);
        for (size_t done = 0; done < bytes.size();) {
            const ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
            if (n <= 0) std::abort();
            done += static_cast<size_t>(n);
        }
        dup2(fd_, 0);
        rewind();
    }
    ~StdinFrom() {
        dup2(saved_, 0);
        close(saved_);
        close(fd_);
        std::clearerr(stdin);
    }
    StdinFrom(const StdinFrom &) = delete;
    StdinFrom &operator=(const StdinFrom &) = delete;

    // Reads start again at the first byte.
    void rewind() {
        lseek(0, 0, SEEK_SET);
        std::clearerr(stdin);
        std::fseek(stdin, 0, SEEK_SET);
    }

private:
    int saved_ = -1;
    int fd_ = -1;
};

} // namespace cgitest

#endif
