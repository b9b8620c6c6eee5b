#pragma once
// A running hash over bytes fed in pieces: MD5 by the engine's own code (as fast as the
// platform's under Wine, and the same digests), the other algorithms through the platform's
// CNG (BCrypt) provider. Algorithms are named by their CryptoAPI ids (CALG_MD5 = 0x8003):
//
//   Hasher hasher(kAlgorithmMd5);
//   while (...) hasher.Update(block, length);
//   std::vector<unsigned char> digest;
//   bool ok = hasher.Finish(digest);
//
// Once any step fails the hasher stays failed and Finish gives false. Not shared between
// threads while in use; one hasher serves one file at a time and can Restart for the next.
#include "sync/md5.h"
#include "win/unique_handle.h"

#include <cstddef>
#include <string>
#include <vector>

namespace qf {

constexpr unsigned kAlgorithmMd5 = 0x8003;  // CALG_MD5

// The CNG name of a CryptoAPI hash algorithm id, or null for an id without one.
const wchar_t* HashAlgorithmName(unsigned algorithmId);

// Two hexadecimal digits per byte, high nibble first.
std::wstring HexText(const unsigned char* bytes, std::size_t length, bool upperCase);

class Hasher {
public:
    explicit Hasher(unsigned algorithmId = kAlgorithmMd5);

    // Starts a new digest; false when the platform refuses the algorithm.
    bool Restart();
    void Update(const unsigned char* bytes, std::size_t length);
    // The digest of everything fed since the last Restart; the hasher must Restart before reuse.
    bool Finish(std::vector<unsigned char>& digest);
    std::size_t DigestLength() const { return digestLength_; }

private:
    bool own_ = false;  // MD5 by Md5 rather than CNG
    Md5 md5_;
    HashAlgorithm algorithm_;
    HashObject hash_;
    std::size_t digestLength_ = 0;
    bool failed_ = true;
};

}  // namespace qf
