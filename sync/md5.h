#pragma once
// MD5 (RFC 1321) over bytes fed in pieces, in plain C++ with no platform call:
//
//   Md5 md5;
//   md5.Update(bytes, length);   // as often as needed
//   unsigned char digest[Md5::kDigestLength];
//   md5.Finish(digest);          // then Reset before the next message
#include <cstddef>
#include <cstdint>

namespace qf {

class Md5 {
public:
    static constexpr std::size_t kDigestLength = 16;

    Md5() { Reset(); }
    void Reset();
    void Update(const unsigned char* bytes, std::size_t length);
    void Finish(unsigned char* digest);

private:
    void Blocks(const unsigned char* bytes, std::size_t count);

    std::uint32_t state_[4];
    std::uint64_t length_;  // bytes so far; the standard counts bits modulo 2^64
    unsigned char pending_[64];
};

}  // namespace qf
