// qf-bench-md5 MIB [FILE...]: how fast MD5 runs here, through the platform's CNG and through
// the engine's own Md5, over the same bytes: MIB MiB of a 1 MiB buffer already in memory,
// then each FILE read in 1 MiB blocks (page cache warm after the first reading). Prints one
// line per source, "what=... cng_mbps=N own_mbps=N cng=DIGEST own=DIGEST" (MB = 10^6 bytes).
#include "sync/md5.h"
#include "win/unique_handle.h"

#include <bcrypt.h>

#include <cstdio>
#include <cwchar>
#include <memory>
#include <vector>

namespace {

constexpr DWORD kBlock = 1024 * 1024;

double Seconds(const LARGE_INTEGER& start)
{
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// A source of blocks: the same buffer again and again, or a file read once through.
class Source {
public:
    Source(unsigned char* block, unsigned long long mib) : block_(block), left_(mib) {}
    Source(unsigned char* block, const wchar_t* path)
        : block_(block), file_(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                           FILE_FLAG_SEQUENTIAL_SCAN, nullptr))
    {
    }
    DWORD Next()
    {
        DWORD got = 0;
        if (file_)
            return ReadFile(file_.get(), block_, kBlock, &got, nullptr) ? got : 0;
        if (left_ == 0)
            return 0;
        --left_;
        return kBlock;
    }

private:
    unsigned char* block_;
    qf::FileHandle file_;
    unsigned long long left_ = 0;
};

void Hex(const unsigned char* digest, char* text)
{
    for (int i = 0; i < 16; ++i)
        std::sprintf(text + 2 * i, "%02x", digest[i]);
}

// Bytes hashed, and the seconds it took, by CNG.
double HashByCng(Source source, unsigned char* block, unsigned long long& bytes, char* text)
{
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    unsigned char digest[16] = {};
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    if (BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_MD5_ALGORITHM, nullptr, 0)) &&
        BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0))) {
        while (DWORD got = source.Next()) {
            BCryptHashData(hash, block, got, 0);
            bytes += got;
        }
        BCryptFinishHash(hash, digest, sizeof digest, 0);
    }
    double seconds = Seconds(start);
    if (hash)
        BCryptDestroyHash(hash);
    if (algorithm)
        BCryptCloseAlgorithmProvider(algorithm, 0);
    Hex(digest, text);
    return seconds;
}

double HashByOwn(Source source, unsigned char* block, unsigned long long& bytes, char* text)
{
    unsigned char digest[16];
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    qf::Md5 md5;
    while (DWORD got = source.Next()) {
        md5.Update(block, got);
        bytes += got;
    }
    md5.Finish(digest);
    double seconds = Seconds(start);
    Hex(digest, text);
    return seconds;
}

template <typename Make>
void Compare(const char* what, unsigned char* block, Make make)
{
    char cng[33], own[33];
    unsigned long long cngBytes = 0, ownBytes = 0;
    double cngSeconds = HashByCng(make(), block, cngBytes, cng);
    double ownSeconds = HashByOwn(make(), block, ownBytes, own);
    std::printf("what=%s bytes=%llu cng_mbps=%.0f own_mbps=%.0f cng=%s own=%s\n", what, cngBytes,
                cngBytes / cngSeconds / 1e6, ownBytes / ownSeconds / 1e6, cng, own);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        std::fputs("usage: qf-bench-md5 MIB [FILE...]\n", stderr);
        return 1;
    }
    unsigned long long mib = std::wcstoull(argv[1], nullptr, 10);
    std::unique_ptr<unsigned char[]> block(new unsigned char[kBlock]);
    unsigned state = 12345;
    for (DWORD i = 0; i < kBlock; ++i) {
        state = state * 1103515245u + 12345u;
        block[i] = static_cast<unsigned char>(state >> 24);
    }
    Compare("memory", block.get(), [&] { return Source(block.get(), mib); });
    for (int i = 2; i < argc; ++i) {
        const wchar_t* path = argv[i];
        Compare("file", block.get(), [&] { return Source(block.get(), path); });
    }
    return 0;
}
