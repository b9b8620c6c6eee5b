#include "sync/file_digest.h"
#include "sync/content_reader.h"
#include "sync/file_work.h"
#include "sync/md5.h"
#include "sync/md5_hasher.h"
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

using qf::test::Exists;
using qf::test::ReadBytes;
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

TEST(DigestReader, GivesWhatFileDigestGivesFileAfterFile)
{
    ScratchTree tree;
    const std::size_t block = qf::kContentBlockSize;
    qf::DigestReader reader;
    // Sizes on both sides of a block, read one after another with the same block.
    for (std::size_t length : {std::size_t{0}, std::size_t{10}, std::size_t{65536}, block, block + 1,
                               3 * block + 5, std::size_t{10}}) {
        tree.File(L"a", Pattern(length));
        EXPECT_EQ(reader.Digest(tree.Path(L"a")), qf::FileDigest(tree.Path(L"a"))) << length;
    }
    for (const wchar_t* missing : {L"missing", L""})
        EXPECT_EQ(reader.Digest(tree.Path(missing)), kEmptyDigest) << "unreadable counts as empty";
}

// Many files queued before any is done, the way a pass hands over the directories ahead, with
// sizes that make one thread run ahead of the other: each file gets its own outcome, and the
// failures come in the order the files went in.
TEST(FileWork, EachFileGetsItsOwnOutcomeAndFailuresComeInOrder)
{
    ScratchTree tree;
    const std::size_t block = qf::kContentBlockSize;
    const std::size_t lengths[] = {0, 1, 100, block - 1, block, block + 1, 3 * block + 7, 5000, 2 * block};
    auto place = std::make_shared<qf::FilePlace>();
    place->source = tree.Directory(L"src") + L"\\";
    place->target = tree.Directory(L"dst") + L"\\";
    std::vector<std::wstring> told;
    {
        qf::FileWork work([&](const qf::FileToDo& file) { told.push_back(file.sourceName); });
        for (int round = 0; round < 2; ++round) {  // the second after the work has run dry
            for (std::size_t i = 0; i < sizeof lengths / sizeof lengths[0]; ++i) {
                const std::wstring name = std::to_wstring(round) + L"-" + std::to_wstring(i);
                const std::string content = Pattern(lengths[i]);
                tree.File(L"src\\" + name, content);
                // Every third the same, the others changed in their last byte or missing.
                if (i % 3 == 0)
                    tree.File(L"dst\\" + name, content);
                else if (i % 3 == 1 && !content.empty())
                    tree.File(L"dst\\" + name, content.substr(0, content.size() - 1) + "!");
                const bool there = Exists(tree.Path(L"dst\\" + name));
                work.Add(qf::FileToDo{place, name, name, there,
                                      there ? qf::FileAction::CompareContent : qf::FileAction::Copy});
            }
            work.Add(qf::FileToDo{place, L"blocked" + std::to_wstring(round), L"x", false, qf::FileAction::Blocked});
            work.Add(qf::FileToDo{place, L"missing" + std::to_wstring(round), L"m", false, qf::FileAction::Copy});
            work.Finish();
        }
    }
    for (int round = 0; round < 2; ++round)
        for (std::size_t i = 0; i < sizeof lengths / sizeof lengths[0]; ++i) {
            const std::wstring name = std::to_wstring(round) + L"-" + std::to_wstring(i);
            EXPECT_EQ(ReadBytes(tree.Path(L"dst\\" + name)), Pattern(lengths[i])) << round << " " << i;
        }
    EXPECT_EQ(told, (std::vector<std::wstring>{L"blocked0", L"missing0", L"blocked1", L"missing1"}));
    EXPECT_FALSE(Exists(tree.Path(L"dst\\m")));

    // Files left undone: the helper ends with the work all the same.
    qf::FileWork abandoned([](const qf::FileToDo&) {});
    abandoned.Add(qf::FileToDo{place, L"0-6", L"0-6", true, qf::FileAction::CompareContent});
}

// A sparse file just over 2 GiB: zeros, then "END". Its digest was taken once with md5sum.
TEST(FileDigest, FilesOver2GiBGetTheirTrueDigest)
{
    ScratchTree tree;
    const std::wstring path = tree.Path(L"big");
    ASSERT_TRUE(qf::test::MakeSparseFile(path, 2147483648LL + 4096));

    const std::wstring expected = L"beb4779fc64048f446755004ea145166";
    EXPECT_EQ(qf::FileDigest(path), expected);
    EXPECT_EQ(qf::DigestReader().Digest(path), expected);
}

}  // namespace
