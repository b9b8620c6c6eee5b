#pragma once
// The MD5 fingerprint of a file's whole content, as 32 lower-case hex digits; empty text when
// no digest could be computed. A file that cannot be opened or read hashes as empty content.
#include <string>
#include <vector>

namespace qf {

class Hasher;

std::wstring FileDigest(const std::wstring& path);

// Upper-case hex digest of `data` for a CryptoAPI algorithm id (CALG_MD5 = 0x8003) and its
// digest length in bytes; empty text on failure.
std::wstring HashToHex(const std::vector<unsigned char>& data, unsigned algorithmId, unsigned digestLength);

// The lower-case digest text once all of a file's content has gone into `hasher`; when the
// content could not be read whole, the digest of empty content. Empty text if hashing failed.
std::wstring FinishFileDigest(Hasher& hasher, bool contentFailed);

}  // namespace qf
