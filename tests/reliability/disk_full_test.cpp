// A target on a small volume that fills up. Copies that do not fit must fail without touching
// the old target file or leaving part of the new one, the pass must go on with the rest, and
// the next pass after space is freed must complete the target. The volume is given through
// QF_SMALL_VOLUME (tools/reliability/with-small-volume.sh mounts one); without it the test
// is skipped.
#include "sync/directory_pass.h"
#include "sync/safe_copy.h"
#include "tests/support/child_process.h"
#include "tests/support/file_content.h"
#include "tests/support/scratch_tree.h"
#include "win/unique_handle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

namespace {

using qf::test::TemporaryLeftovers;
using qf::test::Md5OfFile;
using qf::test::ScratchTree;

std::wstring SmallVolume()
{
    wchar_t value[MAX_PATH];
    DWORD length = GetEnvironmentVariableW(L"QF_SMALL_VOLUME", value, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(value, length) : std::wstring();
}

unsigned long long FreeBytes(const std::wstring& directory)
{
    ULARGE_INTEGER free{};
    GetDiskFreeSpaceExW(directory.c_str(), &free, nullptr, nullptr);
    return free.QuadPart;
}

// Grows a filler file until at most `leave` bytes stay free (0: until a write fails).
void Fill(const std::wstring& path, unsigned long long leave)
{
    qf::FileHandle file(
        CreateFileW(qf::test::Extended(path).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file);
    SetFilePointer(file.get(), 0, nullptr, FILE_END);
    std::string block(64 * 1024, 'f');
    std::wstring directory = path.substr(0, path.rfind(L'\\') + 1);
    for (;;) {
        unsigned long long free = FreeBytes(directory);
        if (free <= leave)
            break;
        DWORD piece = static_cast<DWORD>(std::min<unsigned long long>(block.size(), free - leave));
        DWORD written = 0;
        if (!WriteFile(file.get(), block.data(), piece, &written, nullptr) || written == 0)
            break;
    }
}

TEST(DiskFull, FailedCopiesKeepOldFilesWholeAndTheNextPassCompletes)
{
    std::wstring volume = SmallVolume();
    if (volume.empty())
        GTEST_SKIP() << "no small volume given (QF_SMALL_VOLUME); run through with-small-volume.sh";
    ScratchTree source;
    ScratchTree target(volume);
    const std::wstring dst = target.Path();
    const std::wstring filler = volume + L"\\filler.bin";

    struct Case {
        std::wstring name;
        std::size_t oldSize;  // 0: the target lacks it
        std::size_t newSize;
    };
    const Case cases[] = {
        {L"big.bin", 1 << 20, 3 << 20},         // cannot fit while the volume is nearly full
        {L"same-size.bin", 512 << 10, 512 << 10},
        {L"new-huge.bin", 0, 3 << 20},           // new, cannot fit either
        {L"small-1.txt", 0, 10 << 10},
        {L"small-2.txt", 2 << 10, 20 << 10},
        {L"\ud30c\uc77c.txt", 0, 30 << 10},
    };
    unsigned seed = 100;
    std::vector<std::wstring> oldDigests, newDigests;
    for (const Case& file : cases) {
        ASSERT_TRUE(source.File(file.name, qf::test::PatternContent(file.newSize, seed++)));
        newDigests.push_back(Md5OfFile(source.Path(file.name)));
        if (file.oldSize) {
            ASSERT_TRUE(target.File(file.name, qf::test::PatternContent(file.oldSize, seed++)));
            oldDigests.push_back(Md5OfFile(target.Path(file.name)));
        } else {
            oldDigests.push_back(L"<unreadable>");  // absent
        }
    }
    auto expectOldOrNew = [&](const char* stage, bool mayBeNew) {
        for (std::size_t i = 0; i < std::size(cases); ++i) {
            std::wstring now = Md5OfFile(target.Path(cases[i].name));
            EXPECT_TRUE(now == oldDigests[i] || (mayBeNew && now == newDigests[i]))
                << stage << ": " << cases[i].name << " is neither its old nor its new content";
        }
        EXPECT_TRUE(TemporaryLeftovers(dst).empty()) << stage;
    };

    // Completely full: nothing fits, nothing changes.
    Fill(filler, 0);
    qf::DirectoryPass(source.Path(), dst);
    expectOldOrNew("full", false);

    // Two MiB free: the small files and the equal-size one go in; the big ones cannot.
    qf::test::RemoveTree(filler);
    Fill(filler, 2 << 20);
    unsigned long long freeBefore = FreeBytes(dst + L"\\");
    qf::DirectoryPass(source.Path(), dst);
    expectOldOrNew("two MiB free", true);
    EXPECT_EQ(Md5OfFile(target.Path(L"big.bin")), oldDigests[0]) << "3 MiB cannot fit in 2";
    EXPECT_FALSE(qf::test::Exists(target.Path(L"new-huge.bin"))) << "no partial new file";
    for (std::size_t i = 3; i < std::size(cases); ++i)
        EXPECT_EQ(Md5OfFile(target.Path(cases[i].name)), newDigests[i]) << "the pass goes on: " << cases[i].name;
    unsigned long long freeAfter = FreeBytes(dst + L"\\");
    EXPECT_LT(freeBefore - std::min(freeAfter, freeBefore), 200ull << 10) << "failed copies give their space back";

    // Space freed: the next pass completes the target.
    qf::test::RemoveTree(filler);
    qf::DirectoryPass(source.Path(), dst);
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(Md5OfFile(target.Path(cases[i].name)), newDigests[i]) << cases[i].name;
    EXPECT_TRUE(TemporaryLeftovers(dst).empty());
}

// A storage on which no rename succeeds: every copy is written under its name from a finished
// temporary, which still holds its room while it is written. A copy that does not fit beside it
// fails before anything under the name is cut or overwritten: the old file stays whole, no part
// of a new one stays under its name, and the next pass completes the target.
bool RenamesNothing()
{
    SetLastError(ERROR_BUSY);
    return false;
}
const qf::PlaceCalls kRenamesNothing = {[](HANDLE, const std::wstring&, bool) { return RenamesNothing(); },
                                        [](const std::wstring&, const std::wstring&, bool) { return RenamesNothing(); }};

TEST(DiskFull, InPlaceCopiesThatDoNotFitKeepOldFilesWhole)
{
    std::wstring volume = SmallVolume();
    if (volume.empty())
        GTEST_SKIP() << "no small volume given (QF_SMALL_VOLUME); run through with-small-volume.sh";
    ScratchTree source;
    ScratchTree target(volume);
    const std::wstring dst = target.Path();
    const std::wstring filler = volume + L"\\filler.bin";
    ASSERT_TRUE(source.File(L"grows.bin", qf::test::PatternContent(5 << 19, 1)));  // 2.5 MiB
    ASSERT_TRUE(target.File(L"grows.bin", qf::test::PatternContent(1 << 19, 2)));
    ASSERT_TRUE(source.File(L"new.bin", qf::test::PatternContent(2 << 20, 3)));
    ASSERT_TRUE(source.File(L"same-size.bin", qf::test::PatternContent(256 << 10, 4)));
    ASSERT_TRUE(target.File(L"same-size.bin", qf::test::PatternContent(256 << 10, 5)));
    ASSERT_TRUE(qf::test::SetWriteTicks(target.Path(L"grows.bin"), 130000000000000000ull));
    const std::wstring oldGrows = Md5OfFile(target.Path(L"grows.bin"));

    // 3.5 MiB free: each temporary fits (2.5 and 2 MiB), but not the further 2 MiB each needs
    // beside it; the same-size file needs no more room than its old content had. Freed, the
    // volume holds them all, with a temporary beside each.
    Fill(filler, 7 << 19);
    qf::SetPlaceCallsForTesting(&kRenamesNothing);
    const qf::PassFailures failures = qf::DirectoryPass(source.Path(), dst);
    qf::SetPlaceCallsForTesting(nullptr);
    EXPECT_EQ(failures.files, 2u);
    EXPECT_EQ(Md5OfFile(target.Path(L"grows.bin")), oldGrows) << "the old file is no longer whole";
    EXPECT_EQ(qf::test::WriteTicks(target.Path(L"grows.bin")), 130000000000000000ull) << "the old file's time changed";
    EXPECT_FALSE(qf::test::Exists(target.Path(L"new.bin"))) << "part of a new file under its name";
    EXPECT_EQ(Md5OfFile(target.Path(L"same-size.bin")), Md5OfFile(source.Path(L"same-size.bin")));
    EXPECT_TRUE(TemporaryLeftovers(dst).empty());

    qf::test::RemoveTree(filler);
    qf::SetPlaceCallsForTesting(&kRenamesNothing);
    EXPECT_FALSE(qf::DirectoryPass(source.Path(), dst).Any());
    qf::SetPlaceCallsForTesting(nullptr);
    for (const wchar_t* name : {L"grows.bin", L"new.bin", L"same-size.bin"})
        EXPECT_EQ(Md5OfFile(target.Path(name)), Md5OfFile(source.Path(name))) << name;
    EXPECT_TRUE(TemporaryLeftovers(dst).empty());
}

// FAT and FAT32 hold no file of 4 GiB or more, however much room there is: such a copy fails
// at once, told, without writing anything or leaving a temporary, and the rest is copied.
TEST(DiskFull, FileTooLargeForFatFailsAtOnce)
{
    if (qf::test::StorageKind() != L"fat32")
        GTEST_SKIP() << "only FAT and FAT32 cannot hold a file of 4 GiB";
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    ScratchTree local(std::wstring(temp, length));  // sparse there, so it costs no room
    ScratchTree onFat;
    ASSERT_TRUE(local.File(L"src\\small.txt", "small"));
    {
        qf::FileHandle big(CreateFileW(qf::test::Extended(local.Path(L"src\\big.bin")).c_str(), GENERIC_WRITE, 0,
                                       nullptr, CREATE_NEW, 0, nullptr));
        ASSERT_TRUE(big);
        LARGE_INTEGER size;
        size.QuadPart = 4ll << 30;
        ASSERT_TRUE(SetFilePointerEx(big.get(), size, nullptr, FILE_BEGIN) && SetEndOfFile(big.get()));
    }
    onFat.Directory(L"dst");
    for (int pass = 1; pass <= 2; ++pass) {
        const qf::PassFailures failures = qf::DirectoryPass(local.Path(L"src"), onFat.Path(L"dst"));
        EXPECT_EQ(failures.files, 1u) << pass;
        EXPECT_EQ(failures.firstFile, local.Path(L"src\\big.bin")) << pass;
        EXPECT_FALSE(qf::test::Exists(onFat.Path(L"dst\\big.bin"))) << pass;
        EXPECT_EQ(qf::test::ReadBytes(onFat.Path(L"dst\\small.txt")), "small") << pass;
        EXPECT_TRUE(TemporaryLeftovers(onFat.Path(L"dst")).empty()) << pass;
    }
}

}  // namespace
