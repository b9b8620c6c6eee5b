#pragma once
// The MD5 fingerprint of a file's whole content, as 32 lower-case hex digits; empty text when
// no digest could be computed. A file that cannot be opened or read hashes as empty content.
#include <string>

namespace qf {

class Hasher;

std::wstring FileDigest(const std::wstring& path);

// The lower-case digest text once all of a file's content has gone into `hasher`; when the
// content could not be read whole, the digest of empty content. Empty text if hashing failed.
std::wstring FinishFileDigest(Hasher& hasher, bool contentFailed);

}  // namespace qf
