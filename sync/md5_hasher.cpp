#include "sync/md5_hasher.h"

#include <climits>

namespace qf {

const wchar_t* HashAlgorithmName(unsigned algorithmId)
{
    switch (algorithmId) {
    case 0x8001: return BCRYPT_MD2_ALGORITHM;     // CALG_MD2
    case 0x8002: return BCRYPT_MD4_ALGORITHM;     // CALG_MD4
    case 0x8003: return BCRYPT_MD5_ALGORITHM;     // CALG_MD5
    case 0x8004: return BCRYPT_SHA1_ALGORITHM;    // CALG_SHA1
    case 0x800C: return BCRYPT_SHA256_ALGORITHM;  // CALG_SHA_256
    case 0x800D: return BCRYPT_SHA384_ALGORITHM;  // CALG_SHA_384
    case 0x800E: return BCRYPT_SHA512_ALGORITHM;  // CALG_SHA_512
    default: return nullptr;
    }
}

std::wstring HexText(const unsigned char* bytes, std::size_t length, bool upperCase)
{
    const wchar_t* digits = upperCase ? L"0123456789ABCDEF" : L"0123456789abcdef";
    std::wstring text;
    text.reserve(length * 2);
    for (std::size_t i = 0; i < length; ++i) {
        text.push_back(digits[bytes[i] >> 4]);
        text.push_back(digits[bytes[i] & 0x0F]);
    }
    return text;
}

// Opening a CNG provider costs microseconds, so each hasher opens its own and nothing is
// kept between hashers.
Hasher::Hasher(unsigned algorithmId)
{
    if (algorithmId == kAlgorithmMd5) {
        own_ = true;
        digestLength_ = Md5::kDigestLength;
        return;
    }
    const wchar_t* name = HashAlgorithmName(algorithmId);
    if (!name || !BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(algorithm_.put(), name, nullptr, 0)))
        return;
    DWORD length = 0;
    ULONG written = 0;
    if (BCRYPT_SUCCESS(BCryptGetProperty(algorithm_.get(), BCRYPT_HASH_LENGTH,
                                         reinterpret_cast<PUCHAR>(&length), sizeof length, &written, 0)))
        digestLength_ = length;
}

bool Hasher::Restart()
{
    if (own_) {
        md5_.Reset();
        failed_ = false;
        return true;
    }
    hash_.reset();
    failed_ = !algorithm_ || digestLength_ == 0 ||
              !BCRYPT_SUCCESS(BCryptCreateHash(algorithm_.get(), hash_.put(), nullptr, 0, nullptr, 0, 0));
    return !failed_;
}

void Hasher::Update(const unsigned char* bytes, std::size_t length)
{
    if (own_) {
        if (!failed_)
            md5_.Update(bytes, length);
        return;
    }
    // BCryptHashData takes a 32-bit length; larger pieces go in several calls.
    while (!failed_ && length > 0) {
        ULONG piece = length > ULONG_MAX / 2 ? ULONG_MAX / 2 : static_cast<ULONG>(length);
        failed_ = !BCRYPT_SUCCESS(BCryptHashData(hash_.get(), const_cast<PUCHAR>(bytes), piece, 0));
        bytes += piece;
        length -= piece;
    }
}

bool Hasher::Finish(std::vector<unsigned char>& digest)
{
    digest.assign(digestLength_, 0);
    if (own_) {
        bool ok = !failed_;
        if (ok)
            md5_.Finish(digest.data());
        else
            digest.clear();
        failed_ = true;
        return ok;
    }
    bool ok = !failed_ && digestLength_ > 0 &&
              BCRYPT_SUCCESS(BCryptFinishHash(hash_.get(), digest.data(), static_cast<ULONG>(digestLength_), 0));
    hash_.reset();
    failed_ = true;
    if (!ok)
        digest.clear();
    return ok;
}

}  // namespace qf
