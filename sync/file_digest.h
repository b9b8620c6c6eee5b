#pragma once
// The MD5 fingerprint of a file's whole content, as 32 lower-case hex digits; empty text when
// no digest could be computed. A file that cannot be opened or read hashes as empty content.
#include <atomic>
#include <memory>
#include <string>

namespace qf {

class Hasher;

std::wstring FileDigest(const std::wstring& path);

// Gives digests as FileDigest does, one file after another, with one hasher and one block kept
// from file to file: for a thread that hashes many files.
class DigestReader {
public:
    DigestReader();
    ~DigestReader();
    DigestReader(const DigestReader&) = delete;
    DigestReader& operator=(const DigestReader&) = delete;

    // Stops reading once `quit` is set: nobody waits for that digest any more. `unreadable`,
    // where given, tells a file that could not be read whole from an empty one.
    std::wstring Digest(const std::wstring& path, const std::atomic<bool>* quit = nullptr,
                        bool* unreadable = nullptr);

private:
    std::unique_ptr<Hasher> hasher_;
    std::unique_ptr<unsigned char[]> block_;
};

// The lower-case digest text once all of a file's content has gone into `hasher`; when the
// content could not be read whole, the digest of empty content. Empty text if hashing failed.
std::wstring FinishFileDigest(Hasher& hasher, bool contentFailed);

}  // namespace qf
