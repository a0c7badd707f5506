// MD5 message digest (RFC 1321), used by Digest authentication.

#include "qz/qzhttpauth.h"

#include <cstring>

namespace {

constexpr uint32_t RotateLeft(uint32_t x, unsigned n) { return (x << n) | (x >> (32 - n)); }

constexpr uint32_t F(uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (~x & z); }
constexpr uint32_t G(uint32_t x, uint32_t y, uint32_t z) { return (x & z) | (y & ~z); }
constexpr uint32_t H(uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; }
constexpr uint32_t I(uint32_t x, uint32_t y, uint32_t z) { return y ^ (x | ~z); }

// Per-step shift amounts and the sine-derived constants T[i] of the standard.
constexpr unsigned kShift[64] = {
    7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
    5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
    4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
    6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

constexpr uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613,
    0xfd469501, 0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193,
    0xa679438e, 0x49b40821, 0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d,
    0x02441453, 0xd8a1e681, 0xe7d3fbc8, 0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed,
    0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a, 0xfffa3942, 0x8771f681, 0x6d9d6122,
    0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70, 0x289b7ec6, 0xeaa127fa,
    0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665, 0xf4292244,
    0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb,
    0xeb86d391};

void Transform(uint32_t state[4], const unsigned char block[64]) {
    uint32_t x[16];
    for (int i = 0; i < 16; ++i) {  // the block is little-endian whatever the host
        x[i] = static_cast<uint32_t>(block[i * 4]) |
               (static_cast<uint32_t>(block[i * 4 + 1]) << 8) |
               (static_cast<uint32_t>(block[i * 4 + 2]) << 16) |
               (static_cast<uint32_t>(block[i * 4 + 3]) << 24);
    }
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (unsigned i = 0; i < 64; ++i) {
        uint32_t f;
        unsigned k;
        if (i < 16) {
            f = F(b, c, d);
            k = i;
        } else if (i < 32) {
            f = G(b, c, d);
            k = (5 * i + 1) % 16;
        } else if (i < 48) {
            f = H(b, c, d);
            k = (3 * i + 5) % 16;
        } else {
            f = I(b, c, d);
            k = (7 * i) % 16;
        }
        const uint32_t rotated = RotateLeft(a + f + kSine[i] + x[k], kShift[i]);
        a = d;
        d = c;
        c = b;
        b = b + rotated;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

}  // namespace

extern "C" {

void QZ_MD5Init(QZ_MD5Context *context) {
    context->count[0] = context->count[1] = 0;
    context->state[0] = 0x67452301;
    context->state[1] = 0xefcdab89;
    context->state[2] = 0x98badcfe;
    context->state[3] = 0x10325476;
    std::memset(context->buffer, 0, sizeof context->buffer);
}

void QZ_MD5Update(QZ_MD5Context *context, const void *bytes, size_t length) {
    const unsigned char *input = static_cast<const unsigned char *>(bytes);
    size_t index = (context->count[0] >> 3) & 0x3F;

    // The bit count is kept modulo 2^64 in two words.
    const uint64_t bits = (static_cast<uint64_t>(context->count[1]) << 32 | context->count[0]) +
                          (static_cast<uint64_t>(length) << 3);
    context->count[0] = static_cast<uint32_t>(bits);
    context->count[1] = static_cast<uint32_t>(bits >> 32);

    const size_t partLength = 64 - index;
    size_t i = 0;
    if (length >= partLength) {
        std::memcpy(&context->buffer[index], input, partLength);
        Transform(context->state, context->buffer);
        for (i = partLength; i + 63 < length; i += 64) {
            Transform(context->state, &input[i]);
        }
        index = 0;
    }
    if (length > i) {
        std::memcpy(&context->buffer[index], &input[i], length - i);
    }
}

void QZ_MD5Final(unsigned char digest[16], QZ_MD5Context *context) {
    unsigned char bitCount[8];
    for (int i = 0; i < 8; ++i) {
        bitCount[i] = static_cast<unsigned char>(context->count[i / 4] >> (8 * (i % 4)));
    }
    // Pad to 56 bytes modulo 64, then append the length in bits.
    static const unsigned char kPadding[64] = {0x80};
    const size_t index = (context->count[0] >> 3) & 0x3F;
    const size_t padLength = index < 56 ? 56 - index : 120 - index;
    QZ_MD5Update(context, kPadding, padLength);
    QZ_MD5Update(context, bitCount, 8);

    for (int i = 0; i < 16; ++i) {
        digest[i] = static_cast<unsigned char>(context->state[i / 4] >> (8 * (i % 4)));
    }
    // Nothing of the secret input stays behind in the context.
    std::memset(context, 0, sizeof *context);
}

}  // extern "C"
