// Receiving replies of open length into a growing pool block.

#include "test_socket_support.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "qz/qzpgmmem.h"
#include "qz/qzsocket.h"

namespace {

using qz_test::Loopback;

// A connected pair: the layer's record on one side, the peer's descriptor on
// the other.
class BigReceive : public qz_test::TracedTest {
protected:
    explicit BigReceive(int level = 3) : TracedTest(level) {}

    void SetUp() override {
        TracedTest::SetUp();
        ASSERT_EQ(QZ_connectTCP(&connection_, "127.0.0.1", listener_.Port()), 1);
        peer_ = listener_.Accept();
        ASSERT_GE(peer_, 0);
        buffer_.size = 100;
        buffer_.data = static_cast<char *>(QZ_malloc(nullptr, buffer_.size, "test", __LINE__));
        error_.code = -99;
        std::strcpy(error_.text, "none");
        ClearTrace();
    }

    void TearDown() override {
        if (peer_ >= 0) {
            close(peer_);
        }
        QZ_disconnectTCP(&connection_);
        QZ_free(nullptr, buffer_.data);
        TracedTest::TearDown();
    }

    // Sends data and waits until it has all reached the layer's socket, so that
    // each receive takes as much as the buffer has room for.
    void Deliver(const std::string &data) {
        ASSERT_TRUE(qz_test::SendAll(peer_, data));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }

    size_t Count(const std::string &message) const {
        size_t n = 0;
        for (const std::string &m : Messages()) {
            n += m == message ? 1 : 0;
        }
        return n;
    }

    Loopback listener_;
    QZ_TCPConnection connection_{-1};
    int peer_ = -1;
    QZ_TCPBigBuffer buffer_{};
    QZ_MailErrorRecord error_{};
};

TEST_F(BigReceive, GrowsByHalfTheStartingSize) {
    const std::string reply = "+OK " + std::string(300, 'm') + "\r\n.\r\n";  // 309 bytes
    Deliver(reply);
    ASSERT_EQ(QZ_receiveTCPBig(connection_.socket, &buffer_, "+OK", "\r\n.\r\n", 5, &error_), 0);
    EXPECT_EQ(buffer_.size, 350u);  // 100, 150, 200, 250, 300, 350
    EXPECT_EQ(std::string(buffer_.data), reply);
    EXPECT_EQ(error_.code, -99);  // success leaves the error record alone

    const std::vector<std::string> messages = Messages();
    ASSERT_GE(messages.size(), 3u);
    EXPECT_EQ(messages[0], "Receiving: 100 bytes left.\r\n");
    EXPECT_EQ(messages[1], "Receiving: 0 bytes left.\r\n");
    EXPECT_EQ(messages[2], "Out of buffer space. Reallocating.\r\n");
    EXPECT_EQ(Count("Out of buffer space. Reallocating.\r\n"), 5u);
    EXPECT_EQ(messages.back(), "R:.<CRLF>\n\r");
    EXPECT_EQ(messages[messages.size() - 2], "R:+OK " + std::string(300, 'm') + "<CRLF>\n\r");
}

TEST_F(BigReceive, AReplyOfAnotherKindEndsAtOnce) {
    Deliver("-ERR no such message\r\n");
    ASSERT_EQ(QZ_receiveTCPBig(connection_.socket, &buffer_, "+OK", "\r\n.\r\n", 5, &error_), 0);
    EXPECT_STREQ(buffer_.data, "-ERR no such message\r\n");
    EXPECT_EQ(buffer_.size, 100u);
}

TEST_F(BigReceive, TerminatorSplitAcrossReceivesIsFound) {
    std::thread peer([this] {
        qz_test::SendAll(peer_, "+OK line\r\n.");
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        qz_test::SendAll(peer_, "\r\n");
    });
    const auto start = std::chrono::steady_clock::now();
    const int16_t code = QZ_receiveTCPBig(connection_.socket, &buffer_, "+OK", "\r\n.\r\n", 5, &error_);
    peer.join();
    EXPECT_EQ(code, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_STREQ(buffer_.data, "+OK line\r\n.\r\n");
}

TEST_F(BigReceive, TerminatorInsideALargeReceiveIsFound) {
    // More than 10 bytes follow the terminator within one receive.
    Deliver("+OK\r\n.\r\n" + std::string(40, 'x'));
    EXPECT_EQ(QZ_receiveTCPBig(connection_.socket, &buffer_, "+OK", "\r\n.\r\n", 2, &error_), 0);
}

TEST_F(BigReceive, PrefixArrivingInPiecesIsAwaited) {
    std::thread peer([this] {
        qz_test::SendAll(peer_, "+O");
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        qz_test::SendAll(peer_, "K done\r\n.\r\n");
    });
    const int16_t code = QZ_receiveTCPBig(connection_.socket, &buffer_, "+OK", "\r\n.\r\n", 5, &error_);
    peer.join();
    EXPECT_EQ(code, 0);
    EXPECT_STREQ(buffer_.data, "+OK done\r\n.\r\n");
}

TEST_F(BigReceive, TimeOutSetsCode20) {
    Deliver("+OK partial");
    EXPECT_EQ(QZ_receiveTCPBig(connection_.socket, &buffer_, "+OK", "\r\n.\r\n", 1, &error_), 20);
    EXPECT_EQ(error_.code, 20);
    EXPECT_STREQ(error_.text, "Timeout exceeded");
    EXPECT_EQ(Messages().back(), "ERROR: 20 - Timeout exceeded\n\r");
    EXPECT_STREQ(buffer_.data, "+OK partial");
}

TEST_F(BigReceive, PeerClosingFirstIsAConnectionLoss) {
    Deliver("+OK never ends");
    close(peer_);
    peer_ = -1;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(QZ_receiveTCPBig(connection_.socket, &buffer_, "+OK", "\r\n.\r\n", 0, &error_), 19);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(error_.code, 19);
    EXPECT_STREQ(error_.text, "Connection lost");
    EXPECT_EQ(Messages().back(), "ERROR: 19 - Connection lost\n\r");
    EXPECT_STREQ(buffer_.data, "+OK never ends");
}

TEST_F(BigReceive, SocketErrorSetsCode21) {
    EXPECT_EQ(QZ_receiveTCPBig(-1, &buffer_, "+OK", "\r\n.\r\n", 1, &error_), 21);
    EXPECT_EQ(error_.code, 21);
    const std::vector<std::string> messages = Messages();
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages[messages.size() - 2],
              "QZ_receiveTCPBig failed. Error number " + std::to_string(EBADF) + ".\r\n");
    EXPECT_EQ(messages.back(), "ERROR: 21 - Memory allocation error\n\r");
}

TEST_F(BigReceive, ExactlyFullBufferIsNotOverrun) {
    // 100 bytes ending in the terminator fill the block exactly: no zero fits,
    // and nothing is written past it.
    const std::string reply = "+OK" + std::string(92, 'z') + "\r\n.\r\n";
    ASSERT_EQ(reply.size(), 100u);
    Deliver(reply);
    ASSERT_EQ(QZ_receiveTCPBig(connection_.socket, &buffer_, "+OK", "\r\n.\r\n", 5, &error_), 0);
    EXPECT_EQ(buffer_.size, 100u);
    EXPECT_EQ(std::string(buffer_.data, 100), reply);
}

TEST_F(BigReceive, EmptyBufferGrowsFromNothing) {
    QZ_free(nullptr, buffer_.data);
    buffer_.data = nullptr;
    buffer_.size = 0;
    Deliver("+OK tiny\r\n.\r\n");
    ASSERT_EQ(QZ_receiveTCPBig(connection_.socket, &buffer_, "+OK", "\r\n.\r\n", 5, &error_), 0);
    ASSERT_NE(buffer_.data, nullptr);
    EXPECT_STREQ(buffer_.data, "+OK tiny\r\n.\r\n");
}

// Without level-3 tracing, so that only the receive itself is measured.
class BigReceiveQuiet : public BigReceive {
protected:
    BigReceiveQuiet() : BigReceive(-1) {}
};

TEST_F(BigReceiveQuiet, LongReplyCostsLinearTime) {
    // 16 MB in steps of 50 bytes: growing by copying the whole block each time
    // would copy terabytes; linear growth finishes in well under a second.
    const size_t length = 16u << 20;
    std::string reply = "+OK ";
    reply.append(length - 9, 'q');
    reply += "\r\n.\r\n";
    std::thread peer([this, &reply] { qz_test::SendAll(peer_, reply); });
    const auto start = std::chrono::steady_clock::now();
    const int16_t code = QZ_receiveTCPBig(connection_.socket, &buffer_, "+OK", "\r\n.\r\n", 10, &error_);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    peer.join();
    ASSERT_EQ(code, 0);
    EXPECT_EQ(std::memcmp(buffer_.data, reply.data(), reply.size()), 0);
    EXPECT_EQ(buffer_.data[reply.size()], '\0');
    EXPECT_GE(buffer_.size, reply.size());
    EXPECT_EQ((buffer_.size - 100) % 50, 0u);
    EXPECT_LT(elapsed, std::chrono::seconds(20));
}

}  // namespace
