#include "sync/md5.h"

#include <cstring>

namespace qf {
namespace {

inline std::uint32_t RotateLeft(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

inline std::uint32_t Word(const unsigned char* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

// The four round functions in the forms that wait least on the previous step: F selects bits,
// so (z ^ (x & (y ^ z))) equals (x & y) | (~x & z); G's two halves have no bit in common, so
// they may be added, and the half without x is ready before x is.
#define QF_MD5_STEP(f, a, b, c, d, x, t, s) \
    a += f(b, c, d) + (x) + (t);            \
    a = RotateLeft(a, s) + b
#define QF_MD5_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define QF_MD5_G(x, y, z) (((y) & ~(z)) + ((x) & (z)))
#define QF_MD5_H(x, y, z) ((x) ^ (y) ^ (z))
#define QF_MD5_I(x, y, z) ((y) ^ ((x) | ~(z)))

}  // namespace

void Md5::Reset()
{
    state_[0] = 0x67452301;
    state_[1] = 0xefcdab89;
    state_[2] = 0x98badcfe;
    state_[3] = 0x10325476;
    length_ = 0;
}

void Md5::Blocks(const unsigned char* p, std::size_t count)
{
    std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    for (; count > 0; --count, p += 64) {
        std::uint32_t x[16];
        for (int i = 0; i < 16; ++i)
            x[i] = Word(p + 4 * i);
        const std::uint32_t aa = a, bb = b, cc = c, dd = d;

        QF_MD5_STEP(QF_MD5_F, a, b, c, d, x[0], 0xd76aa478, 7);
        QF_MD5_STEP(QF_MD5_F, d, a, b, c, x[1], 0xe8c7b756, 12);
        QF_MD5_STEP(QF_MD5_F, c, d, a, b, x[2], 0x242070db, 17);
        QF_MD5_STEP(QF_MD5_F, b, c, d, a, x[3], 0xc1bdceee, 22);
        QF_MD5_STEP(QF_MD5_F, a, b, c, d, x[4], 0xf57c0faf, 7);
        QF_MD5_STEP(QF_MD5_F, d, a, b, c, x[5], 0x4787c62a, 12);
        QF_MD5_STEP(QF_MD5_F, c, d, a, b, x[6], 0xa8304613, 17);
        QF_MD5_STEP(QF_MD5_F, b, c, d, a, x[7], 0xfd469501, 22);
        QF_MD5_STEP(QF_MD5_F, a, b, c, d, x[8], 0x698098d8, 7);
        QF_MD5_STEP(QF_MD5_F, d, a, b, c, x[9], 0x8b44f7af, 12);
        QF_MD5_STEP(QF_MD5_F, c, d, a, b, x[10], 0xffff5bb1, 17);
        QF_MD5_STEP(QF_MD5_F, b, c, d, a, x[11], 0x895cd7be, 22);
        QF_MD5_STEP(QF_MD5_F, a, b, c, d, x[12], 0x6b901122, 7);
        QF_MD5_STEP(QF_MD5_F, d, a, b, c, x[13], 0xfd987193, 12);
        QF_MD5_STEP(QF_MD5_F, c, d, a, b, x[14], 0xa679438e, 17);
        QF_MD5_STEP(QF_MD5_F, b, c, d, a, x[15], 0x49b40821, 22);

        QF_MD5_STEP(QF_MD5_G, a, b, c, d, x[1], 0xf61e2562, 5);
        QF_MD5_STEP(QF_MD5_G, d, a, b, c, x[6], 0xc040b340, 9);
        QF_MD5_STEP(QF_MD5_G, c, d, a, b, x[11], 0x265e5a51, 14);
        QF_MD5_STEP(QF_MD5_G, b, c, d, a, x[0], 0xe9b6c7aa, 20);
        QF_MD5_STEP(QF_MD5_G, a, b, c, d, x[5], 0xd62f105d, 5);
        QF_MD5_STEP(QF_MD5_G, d, a, b, c, x[10], 0x02441453, 9);
        QF_MD5_STEP(QF_MD5_G, c, d, a, b, x[15], 0xd8a1e681, 14);
        QF_MD5_STEP(QF_MD5_G, b, c, d, a, x[4], 0xe7d3fbc8, 20);
        QF_MD5_STEP(QF_MD5_G, a, b, c, d, x[9], 0x21e1cde6, 5);
        QF_MD5_STEP(QF_MD5_G, d, a, b, c, x[14], 0xc33707d6, 9);
        QF_MD5_STEP(QF_MD5_G, c, d, a, b, x[3], 0xf4d50d87, 14);
        QF_MD5_STEP(QF_MD5_G, b, c, d, a, x[8], 0x455a14ed, 20);
        QF_MD5_STEP(QF_MD5_G, a, b, c, d, x[13], 0xa9e3e905, 5);
        QF_MD5_STEP(QF_MD5_G, d, a, b, c, x[2], 0xfcefa3f8, 9);
        QF_MD5_STEP(QF_MD5_G, c, d, a, b, x[7], 0x676f02d9, 14);
        QF_MD5_STEP(QF_MD5_G, b, c, d, a, x[12], 0x8d2a4c8a, 20);

        QF_MD5_STEP(QF_MD5_H, a, b, c, d, x[5], 0xfffa3942, 4);
        QF_MD5_STEP(QF_MD5_H, d, a, b, c, x[8], 0x8771f681, 11);
        QF_MD5_STEP(QF_MD5_H, c, d, a, b, x[11], 0x6d9d6122, 16);
        QF_MD5_STEP(QF_MD5_H, b, c, d, a, x[14], 0xfde5380c, 23);
        QF_MD5_STEP(QF_MD5_H, a, b, c, d, x[1], 0xa4beea44, 4);
        QF_MD5_STEP(QF_MD5_H, d, a, b, c, x[4], 0x4bdecfa9, 11);
        QF_MD5_STEP(QF_MD5_H, c, d, a, b, x[7], 0xf6bb4b60, 16);
        QF_MD5_STEP(QF_MD5_H, b, c, d, a, x[10], 0xbebfbc70, 23);
        QF_MD5_STEP(QF_MD5_H, a, b, c, d, x[13], 0x289b7ec6, 4);
        QF_MD5_STEP(QF_MD5_H, d, a, b, c, x[0], 0xeaa127fa, 11);
        QF_MD5_STEP(QF_MD5_H, c, d, a, b, x[3], 0xd4ef3085, 16);
        QF_MD5_STEP(QF_MD5_H, b, c, d, a, x[6], 0x04881d05, 23);
        QF_MD5_STEP(QF_MD5_H, a, b, c, d, x[9], 0xd9d4d039, 4);
        QF_MD5_STEP(QF_MD5_H, d, a, b, c, x[12], 0xe6db99e5, 11);
        QF_MD5_STEP(QF_MD5_H, c, d, a, b, x[15], 0x1fa27cf8, 16);
        QF_MD5_STEP(QF_MD5_H, b, c, d, a, x[2], 0xc4ac5665, 23);

        QF_MD5_STEP(QF_MD5_I, a, b, c, d, x[0], 0xf4292244, 6);
        QF_MD5_STEP(QF_MD5_I, d, a, b, c, x[7], 0x432aff97, 10);
        QF_MD5_STEP(QF_MD5_I, c, d, a, b, x[14], 0xab9423a7, 15);
        QF_MD5_STEP(QF_MD5_I, b, c, d, a, x[5], 0xfc93a039, 21);
        QF_MD5_STEP(QF_MD5_I, a, b, c, d, x[12], 0x655b59c3, 6);
        QF_MD5_STEP(QF_MD5_I, d, a, b, c, x[3], 0x8f0ccc92, 10);
        QF_MD5_STEP(QF_MD5_I, c, d, a, b, x[10], 0xffeff47d, 15);
        QF_MD5_STEP(QF_MD5_I, b, c, d, a, x[1], 0x85845dd1, 21);
        QF_MD5_STEP(QF_MD5_I, a, b, c, d, x[8], 0x6fa87e4f, 6);
        QF_MD5_STEP(QF_MD5_I, d, a, b, c, x[15], 0xfe2ce6e0, 10);
        QF_MD5_STEP(QF_MD5_I, c, d, a, b, x[6], 0xa3014314, 15);
        QF_MD5_STEP(QF_MD5_I, b, c, d, a, x[13], 0x4e0811a1, 21);
        QF_MD5_STEP(QF_MD5_I, a, b, c, d, x[4], 0xf7537e82, 6);
        QF_MD5_STEP(QF_MD5_I, d, a, b, c, x[11], 0xbd3af235, 10);
        QF_MD5_STEP(QF_MD5_I, c, d, a, b, x[2], 0x2ad7d2bb, 15);
        QF_MD5_STEP(QF_MD5_I, b, c, d, a, x[9], 0xeb86d391, 21);

        a += aa;
        b += bb;
        c += cc;
        d += dd;
    }
    state_[0] = a;
    state_[1] = b;
    state_[2] = c;
    state_[3] = d;
}

#undef QF_MD5_STEP
#undef QF_MD5_F
#undef QF_MD5_G
#undef QF_MD5_H
#undef QF_MD5_I

void Md5::Update(const unsigned char* bytes, std::size_t length)
{
    if (length == 0)
        return;
    std::size_t held = static_cast<std::size_t>(length_ % 64);
    length_ += length;
    if (held > 0) {
        std::size_t take = 64 - held < length ? 64 - held : length;
        std::memcpy(pending_ + held, bytes, take);
        bytes += take;
        length -= take;
        if (held + take < 64)
            return;
        Blocks(pending_, 1);
    }
    // Whole blocks straight from the caller's bytes, with no copy.
    Blocks(bytes, length / 64);
    std::memcpy(pending_, bytes + length / 64 * 64, length % 64);
}

void Md5::Finish(unsigned char* digest)
{
    const std::uint64_t bits = length_ * 8;
    unsigned char tail[72] = {0x80};
    const std::size_t held = static_cast<std::size_t>(length_ % 64);
    const std::size_t padding = held < 56 ? 56 - held : 120 - held;
    for (int i = 0; i < 8; ++i)
        tail[padding + i] = static_cast<unsigned char>(bits >> (8 * i));
    Update(tail, padding + 8);
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j)
            digest[4 * i + j] = static_cast<unsigned char>(state_[i] >> (8 * j));
    }
}

}  // namespace qf
