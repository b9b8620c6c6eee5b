#include "sync/file_digest.h"
#include "sync/content_reader.h"
#include "sync/md5.h"
#include "sync/md5_hasher.h"
#include "sync/side_reader.h"
#include "tests/support/file_content.h"
#include "tests/support/scratch_tree.h"
#include "win/unique_handle.h"

#include <bcrypt.h>
#include <gtest/gtest.h>

#include <initializer_list>
#include <random>
#include <string>
#include <vector>

namespace {

using qf::test::ScratchTree;

const std::wstring kEmptyDigest = L"d41d8cd98f00b204e9800998ecf8427e";

// Upper-case hex digest of `bytes` through the engine's hasher; empty text on failure.
std::wstring DigestHex(const std::string& bytes, unsigned algorithmId = qf::kAlgorithmMd5)
{
    qf::Hasher hasher(algorithmId);
    std::vector<unsigned char> digest;
    if (!hasher.Restart())
        return {};
    hasher.Update(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    return hasher.Finish(digest) ? qf::HexText(digest.data(), digest.size(), true) : std::wstring();
}

// Content that differs in every block, so a block hashed twice or skipped shows.
std::string Pattern(std::size_t length)
{
    std::string content(length, '\0');
    unsigned state = 12345;
    for (char& c : content) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 24);
    }
    return content;
}

// Upper-case hex MD5 of `bytes` through the engine's own Md5, fed in pieces of the given
// lengths in turn (the last repeated to the end).
std::wstring OwnMd5Hex(const std::string& bytes, std::initializer_list<std::size_t> pieces = {1 << 30})
{
    qf::Md5 md5;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t left = bytes.size();
    auto piece = pieces.begin();
    while (left > 0) {
        std::size_t take = *piece < left ? *piece : left;
        md5.Update(p, take);
        p += take;
        left -= take;
        if (piece + 1 != pieces.end())
            ++piece;
    }
    unsigned char digest[qf::Md5::kDigestLength];
    md5.Finish(digest);
    return qf::HexText(digest, sizeof digest, true);
}

// Upper-case hex MD5 of `bytes` through the platform's CNG in one call: the reference.
std::wstring CngMd5Hex(const std::string& bytes)
{
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    unsigned char digest[16];
    bool ok = BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_MD5_ALGORITHM, nullptr, 0)) &&
              BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0)) &&
              BCRYPT_SUCCESS(BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())),
                                            static_cast<ULONG>(bytes.size()), 0)) &&
              BCRYPT_SUCCESS(BCryptFinishHash(hash, digest, sizeof digest, 0));
    if (hash)
        BCryptDestroyHash(hash);
    if (algorithm)
        BCryptCloseAlgorithmProvider(algorithm, 0);
    return ok ? qf::HexText(digest, sizeof digest, true) : std::wstring();
}

std::wstring Lower(std::wstring text)
{
    for (wchar_t& c : text)
        if (c >= L'A' && c <= L'F')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    return text;
}

TEST(Hasher, GivesTheTestSuiteDigestsOfRfc1321)
{
    struct Case {
        const char* input;
        const wchar_t* digest;
    } const cases[] = {
        {"", L"D41D8CD98F00B204E9800998ECF8427E"},
        {"a", L"0CC175B9C0F1B6A831C399E269772661"},
        {"abc", L"900150983CD24FB0D6963F7D28E17F72"},
        {"message digest", L"F96B697D7CB7938D525A2F31AAF161D0"},
        {"abcdefghijklmnopqrstuvwxyz", L"C3FCD3D76192E4007DFB496CCA67E13B"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", L"D174AB98D277D9F5A5611C2C9F419D9F"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         L"57EDF4A22BE3C955AC49DA2E2107B67A"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DigestHex(c.input), c.digest) << c.input;
        EXPECT_EQ(OwnMd5Hex(c.input), c.digest) << c.input;
        EXPECT_EQ(OwnMd5Hex(c.input, {1}), c.digest) << c.input << " fed byte by byte";
    }
}

// Every length around the 64-byte block and the 56-byte padding limit, and larger ones, fed
// whole and in pieces that straddle block edges: the engine's own MD5 and the hasher agree
// with CNG on each.
TEST(Md5, GivesTheDigestsOfTheCngProviderOnRandomData)
{
    std::mt19937 random(20);
    std::vector<std::size_t> lengths;
    for (std::size_t length = 0; length <= 200; ++length)
        lengths.push_back(length);
    for (std::size_t length : {511u, 512u, 513u, 4095u, 65536u + 7u, 1048576u + 3u})
        lengths.push_back(length);
    for (int i = 0; i < 20; ++i)
        lengths.push_back(random() % 300000);
    for (std::size_t length : lengths) {
        std::string bytes(length, '\0');
        for (char& c : bytes)
            c = static_cast<char>(random());
        const std::wstring expected = CngMd5Hex(bytes);
        ASSERT_EQ(expected.size(), 32u);
        EXPECT_EQ(OwnMd5Hex(bytes), expected) << length;
        EXPECT_EQ(OwnMd5Hex(bytes, {63, 1, 65, 7}), expected) << length << " in pieces";
        EXPECT_EQ(OwnMd5Hex(bytes, {length / 3 + 1, 64}), expected) << length << " in thirds";
        EXPECT_EQ(DigestHex(bytes), expected) << length;
    }
    qf::Md5 md5;  // reused after Reset, as a hasher is for the next file
    unsigned char digest[qf::Md5::kDigestLength];
    md5.Update(reinterpret_cast<const unsigned char*>("abc"), 3);
    md5.Finish(digest);
    md5.Reset();
    md5.Finish(digest);
    EXPECT_EQ(qf::HexText(digest, sizeof digest, false), kEmptyDigest);
}

TEST(Hasher, TakesTheAlgorithmByItsId)
{
    EXPECT_EQ(DigestHex("abc", 0x8004), L"A9993E364706816ABA3E25717850C26C9CD0D89D");
    EXPECT_EQ(DigestHex("abc", 0x1234), L"") << "no such algorithm";
}

TEST(FileDigest, UnreadableAndEmptyFilesHashAsEmptyContentAndFilesOpenInEditorsAreRead)
{
    ScratchTree tree;
    tree.File(L"empty", "");
    tree.File(L"held", "content held open for writing");
    EXPECT_EQ(qf::FileDigest(tree.Path(L"empty")), kEmptyDigest);
    EXPECT_EQ(qf::FileDigest(tree.Path(L"missing")), kEmptyDigest);
    EXPECT_EQ(qf::FileDigest(L""), kEmptyDigest);
    EXPECT_EQ(qf::FileDigest(tree.Path()), kEmptyDigest) << "a directory cannot be read as a file";

    const std::wstring content = qf::FileDigest(tree.Path(L"held"));
    EXPECT_NE(content, kEmptyDigest);
    {
        // As an editor holds the file it has open: it is read all the same.
        qf::FileHandle editor(CreateFileW(tree.Path(L"held").c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                          nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(editor);
        EXPECT_EQ(qf::FileDigest(tree.Path(L"held")), content);
    }
    {
        qf::FileHandle exclusive(
            CreateFileW(tree.Path(L"held").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(exclusive);
        EXPECT_EQ(qf::FileDigest(tree.Path(L"held")), kEmptyDigest) << "no sharing at all: unreadable";
    }
}

TEST(FileDigest, HashesWholeContentAcrossBlocks)
{
    ScratchTree tree;
    const std::size_t block = qf::kSingleContentBlockSize;
    for (std::size_t length : {std::size_t(1), block - 1, block, block + 1, 3 * block + 17}) {
        std::string content = Pattern(length);
        tree.File(L"f", content);
        std::wstring digest = qf::FileDigest(tree.Path(L"f"));
        EXPECT_EQ(digest, Lower(DigestHex(content))) << length;
        EXPECT_EQ(digest.size(), 32u);
        EXPECT_EQ(digest.find_first_not_of(L"0123456789abcdef"), std::wstring::npos) << digest;

        content[length / 2] ^= 1;  // one byte changed
        tree.File(L"f", content);
        EXPECT_NE(qf::FileDigest(tree.Path(L"f")), digest) << length;
    }
}

TEST(SideReader, GivesWhatFileDigestGivesOnBothThreads)
{
    ScratchTree tree;
    const std::size_t block = qf::kContentBlockSize;
    qf::SideReader side;
    qf::DigestReader own;
    // Sizes on both sides of the hand-over to the second core, equal and unequal pairs.
    const std::size_t lengths[][2] = {{0, 0}, {10, 10}, {65535, 65536}, {65536, 65536},
                                      {block, block + 1}, {3 * block + 5, 3 * block + 5}, {2 * block, 10}};
    for (const auto& length : lengths) {
        tree.File(L"a", Pattern(length[0]));
        tree.File(L"b", Pattern(length[1]));
        const qf::SideReader::Ticket ticket = side.Digest(tree.Path(L"b"));
        EXPECT_EQ(own.Digest(tree.Path(L"a")), qf::FileDigest(tree.Path(L"a"))) << length[0];
        EXPECT_EQ(side.TakeDigest(ticket), qf::FileDigest(tree.Path(L"b"))) << length[1];
    }
    for (const wchar_t* missing : {L"missing", L""})
        EXPECT_EQ(side.TakeDigest(side.Digest(tree.Path(missing))), kEmptyDigest) << "unreadable counts as empty";
}

// Listings and digests queued before any is taken, the way a pass asks for the directories and
// files ahead, and taken in another order: each result belongs to its own job, whatever sizes
// make one job take longer than the next.
TEST(SideReader, QueuedJobsKeepTheirOwnResultsInAnyOrder)
{
    ScratchTree tree;
    const std::size_t block = qf::kContentBlockSize;
    const std::size_t lengths[] = {0, 1, 100, block - 1, block, block + 1, 3 * block + 7, 5000, 2 * block};
    const std::size_t count = sizeof lengths / sizeof lengths[0];
    std::vector<std::wstring> expected;
    for (std::size_t i = 0; i < count; ++i) {
        tree.File(L"d" + std::to_wstring(i) + L"\\f", Pattern(lengths[i]));
        expected.push_back(qf::FileDigest(tree.Path(L"d" + std::to_wstring(i) + L"\\f")));
    }
    qf::SideReader side;
    for (int round = 0; round < 2; ++round) {  // the second after the queue has run dry
        std::vector<qf::SideReader::Ticket> digests, listings;
        for (std::size_t i = 0; i < count; ++i) {
            listings.push_back(side.List(tree.Path(L"d" + std::to_wstring(i)) + L"\\"));
            digests.push_back(side.Digest(tree.Path(L"d" + std::to_wstring(i) + L"\\f")));
        }
        const qf::SideReader::Ticket missing = side.List(tree.Path(L"missing\\"));
        for (std::size_t i = count; i-- > 0;) {  // the newest first
            qf::DirectoryListing listing;
            ASSERT_TRUE(side.TakeListing(listings[i], listing)) << round << " " << i;
            ASSERT_EQ(listing.entries.size(), 1u);
            EXPECT_EQ(listing.entries[0].size, lengths[i]) << round << " " << i;
            if (i % 2 == 0) {
                EXPECT_EQ(side.TakeDigest(digests[i]), expected[i]) << round << " " << i;
            }
        }
        for (std::size_t i = 1; i < count; i += 2)
            EXPECT_EQ(side.TakeDigest(digests[i]), expected[i]) << round << " " << i;
        qf::DirectoryListing listing;
        EXPECT_FALSE(side.TakeListing(missing, listing));
    }
    // Jobs left untaken: the thread ends with the SideReader all the same.
    qf::SideReader abandoned;
    abandoned.Digest(tree.Path(L"d6\\f"));
    abandoned.List(tree.Path(L"d6\\"));
}

// A sparse file just over 2 GiB: zeros, then "END". Its digest was taken once with md5sum.
TEST(FileDigest, FilesOver2GiBGetTheirTrueDigest)
{
    ScratchTree tree;
    const std::wstring path = tree.Path(L"big");
    ASSERT_TRUE(qf::test::MakeSparseFile(path, 2147483648LL + 4096));

    const std::wstring expected = L"beb4779fc64048f446755004ea145166";
    EXPECT_EQ(qf::FileDigest(path), expected);
    qf::SideReader side;
    const qf::SideReader::Ticket ticket = side.Digest(path);
    EXPECT_EQ(qf::DigestReader().Digest(path), expected);
    EXPECT_EQ(side.TakeDigest(ticket), expected);
}

}  // namespace
