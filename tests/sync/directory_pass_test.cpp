// The directory pass on real trees: the decision table, descent, paths and names, loops.
#include "sync/directory_pass.h"
#include "sync/directory_listing.h"
#include "sync/file_work.h"
#include "sync/safe_copy.h"
#include "tests/support/file_content.h"
#include "tests/support/scratch_tree.h"
#include "win/unique_handle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

namespace {

using qf::test::Exists;
using qf::test::ReadBytes;
using qf::test::ScratchTree;

const unsigned long long kOldTime = 130000000000000000ull;  // 2012
const unsigned long long kNewTime = 150000000000000000ull;  // 2076, which FAT still holds

// Every pass test runs twice: with whole listings, and with listings cut after two entries, so
// that the way of large directories (read again, names asked one by one) is shown to decide
// exactly as the ordinary one.
class DirectoryPass : public ::testing::TestWithParam<std::size_t> {
protected:
    void SetUp() override { qf::SetListingCapForTesting(GetParam()); }
    void TearDown() override { qf::SetListingCapForTesting(0); }
};

INSTANTIATE_TEST_SUITE_P(Listings, DirectoryPass, ::testing::Values(std::size_t{0}, std::size_t{2}),
                         [](const ::testing::TestParamInfo<std::size_t>& cap) {
                             return std::string(cap.param == 0 ? "Whole" : "Cut");
                         });

TEST_P(DirectoryPass, FollowsTheDecisionTable)
{
    ScratchTree tree;
    tree.File(L"src\\new.txt", "new file");
    tree.File(L"src\\longer.txt", "source, longer");
    tree.File(L"dst\\longer.txt", "target");
    tree.File(L"src\\same-size.txt", "AAAA");
    tree.File(L"dst\\same-size.txt", "BBBB");
    tree.File(L"src\\equal.txt", "same content");
    tree.File(L"dst\\equal.txt", "same content");
    tree.File(L"src\\empty.txt", "");
    tree.File(L"dst\\empty.txt", "");
    tree.File(L"src\\in-the-way", "a file");
    tree.File(L"dst\\in-the-way\\inside.txt", "kept");
    tree.File(L"dst\\only-target.txt", "kept");
    tree.File(L"src\\Case.TXT", "source case");
    tree.File(L"dst\\case.txt", "other case!");
    ASSERT_TRUE(qf::test::SetWriteTicks(tree.Path(L"src\\new.txt"), kOldTime));
    ASSERT_TRUE(qf::test::SetWriteTicks(tree.Path(L"dst\\same-size.txt"), kNewTime));  // newer, still replaced
    for (const wchar_t* name : {L"dst\\equal.txt", L"dst\\empty.txt", L"dst\\only-target.txt"})
        ASSERT_TRUE(qf::test::SetWriteTicks(tree.Path(name), kOldTime));

    qf::DirectoryPass(qf::test::SourceView(tree.Path(L"src")), tree.Path(L"dst"));

    EXPECT_EQ(ReadBytes(tree.Path(L"dst\\new.txt")), "new file");
    EXPECT_EQ(qf::test::WriteTicks(tree.Path(L"dst\\new.txt")), kOldTime) << "copy keeps the time";
    EXPECT_EQ(ReadBytes(tree.Path(L"dst\\longer.txt")), "source, longer");
    EXPECT_EQ(ReadBytes(tree.Path(L"dst\\same-size.txt")), "AAAA");
    EXPECT_EQ(ReadBytes(tree.Path(L"dst\\case.txt")), "source case") << "names match ignoring case";
    EXPECT_EQ(ReadBytes(tree.Path(L"dst\\equal.txt")), "same content");
    EXPECT_TRUE(qf::test::IsDirectoryPath(tree.Path(L"dst\\in-the-way")));
    EXPECT_EQ(ReadBytes(tree.Path(L"dst\\in-the-way\\inside.txt")), "kept");
    EXPECT_EQ(ReadBytes(tree.Path(L"dst\\only-target.txt")), "kept");
    // Files that compare equal are never opened for writing.
    for (const wchar_t* name : {L"dst\\equal.txt", L"dst\\empty.txt", L"dst\\only-target.txt"})
        EXPECT_EQ(qf::test::WriteTicks(tree.Path(name)), kOldTime) << name;
    EXPECT_TRUE(qf::test::TemporaryLeftovers(tree.Path(L"dst")).empty());
    EXPECT_TRUE(qf::test::TemporaryLeftovers(tree.Path(L"src")).empty());

    // A second pass finds everything equal and writes nothing.
    qf::test::SetWriteTicks(tree.Path(L"dst\\same-size.txt"), kNewTime);
    qf::DirectoryPass(qf::test::SourceView(tree.Path(L"src")), tree.Path(L"dst"));
    EXPECT_EQ(qf::test::WriteTicks(tree.Path(L"dst\\same-size.txt")), kNewTime);
}

TEST_P(DirectoryPass, UnreadableFilesAreToldAndFailedCopiesLeaveNoTrace)
{
    ScratchTree tree;
    tree.File(L"src\\locked-source.txt", "12345");
    tree.File(L"dst\\locked-source.txt", "abcde");
    tree.File(L"src\\locked-target.txt", "12345");
    tree.File(L"dst\\locked-target.txt", "abcde");
    tree.File(L"src\\equal-both.txt", "same!");
    tree.File(L"dst\\equal-both.txt", "same!");
    tree.File(L"src\\empty.txt", "");
    tree.File(L"dst\\empty.txt", "");
    auto hold = [&](const wchar_t* name) {
        return qf::FileHandle(
            CreateFileW(tree.Path(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    };
    {
        qf::FileHandle source = hold(L"src\\locked-source.txt");
        qf::FileHandle target = hold(L"dst\\locked-target.txt");
        qf::FileHandle empty = hold(L"dst\\empty.txt");
        // Neither side can be read: two failed reads are no equal content.
        qf::FileHandle both[] = {hold(L"src\\equal-both.txt"), hold(L"dst\\equal-both.txt")};
        ASSERT_TRUE(source);
        ASSERT_TRUE(target);
        ASSERT_TRUE(empty);
        ASSERT_TRUE(both[0] && both[1]);
        qf::test::SetWriteTicks(tree.Path(L"dst\\empty.txt"), kOldTime);

        const qf::PassFailures failures = qf::DirectoryPass(tree.Path(L"src"), tree.Path(L"dst"));
        EXPECT_TRUE(qf::test::TemporaryLeftovers(tree.Path(L"dst")).empty());
        // Each one told; the empty pair is equal by its listing, whatever holds it.
        EXPECT_EQ(failures.files, 3u);
    }

    EXPECT_EQ(ReadBytes(tree.Path(L"dst\\locked-source.txt")), "abcde");
    EXPECT_EQ(ReadBytes(tree.Path(L"dst\\locked-target.txt")), "abcde");
    EXPECT_EQ(qf::test::WriteTicks(tree.Path(L"dst\\empty.txt")), kOldTime);

    // Once readable again, the next pass catches up.
    qf::DirectoryPass(tree.Path(L"src"), tree.Path(L"dst"));
    EXPECT_EQ(ReadBytes(tree.Path(L"dst\\locked-source.txt")), "12345");
    EXPECT_EQ(ReadBytes(tree.Path(L"dst\\locked-target.txt")), "12345");
}

// Windows refuses to rename over a read-only file; Wine does not. Played here as Windows does.
bool RefusedOverReadOnly(const std::wstring& destination)
{
    const DWORD attributes = GetFileAttributesW(destination.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return true;
    }
    return false;
}
const qf::PlaceCalls kLikeWindows = {
    [](HANDLE file, const std::wstring& to, bool replace) {
        return !RefusedOverReadOnly(to) && qf::RenameOpenFile(file, to, replace);
    },
    [](const std::wstring& from, const std::wstring& to, bool replace) {
        return !RefusedOverReadOnly(to) && qf::RenameClosedFile(from, to, replace);
    }};
bool Refuse()
{
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
}
const qf::PlaceCalls kRefused = {[](HANDLE, const std::wstring&, bool) { return Refuse(); },
                                 [](const std::wstring&, const std::wstring&, bool) { return Refuse(); }};

// A read-only copy (made from a read-only source) is still brought up to date: its flag is
// cleared only to replace it, and the new copy has the source's attributes. When replacing
// fails, the old file keeps its flag and its content, and the failure is told.
TEST_P(DirectoryPass, ReadOnlyTargetIsBroughtUpToDate)
{
    ScratchTree tree;
    tree.File(L"src\\doc.txt", "new");
    tree.File(L"dst\\doc.txt", "old");
    SetFileAttributesW(tree.Path(L"src\\doc.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW(tree.Path(L"dst\\doc.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    qf::SetPlaceCallsForTesting(&kLikeWindows);
    const qf::PassFailures done = qf::DirectoryPass(tree.Path(L"src"), tree.Path(L"dst"));
    EXPECT_FALSE(done.Any());
    EXPECT_EQ(ReadBytes(tree.Path(L"dst\\doc.txt")), "new");
    EXPECT_EQ(GetFileAttributesW(tree.Path(L"dst\\doc.txt").c_str()) & qf::kTemporaryAttributes,
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));

    SetFileAttributesW(tree.Path(L"src\\doc.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    tree.File(L"src\\doc.txt", "newer");
    qf::SetPlaceCallsForTesting(&kRefused);
    const qf::PassFailures failed = qf::DirectoryPass(tree.Path(L"src"), tree.Path(L"dst"));
    qf::SetPlaceCallsForTesting(nullptr);
    EXPECT_EQ(failed.files, 1u);
    EXPECT_EQ(failed.firstFile, tree.Path(L"src\\doc.txt"));
    EXPECT_EQ(ReadBytes(tree.Path(L"dst\\doc.txt")), "new");
    EXPECT_NE(GetFileAttributesW(tree.Path(L"dst\\doc.txt").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_TRUE(qf::test::TemporaryLeftovers(tree.Path(L"dst")).empty());
    SetFileAttributesW(tree.Path(L"dst\\doc.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Storages that will not replace the usual way still get every copy, and never lose the old
// file: a share that cannot rename an open file and replaces by removing first (and then may
// fail), and a folder whose files may be changed but not removed or replaced.
bool ShareRenameOpen(HANDLE, const std::wstring& to, bool replace)
{
    if (replace)
        DeleteFileW(to.c_str());
    SetLastError(ERROR_BUSY);
    return false;
}
bool ShareRenameClosed(const std::wstring& from, const std::wstring& to, bool replace)
{
    if (replace && Exists(to)) {
        DeleteFileW(to.c_str());
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return qf::RenameClosedFile(from, to, replace);
}
bool NoReplacing(const std::wstring& to, bool replace)
{
    if (replace && Exists(to)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return true;
    }
    return false;
}
const qf::PlaceCalls kShare = {ShareRenameOpen, ShareRenameClosed};
// A share under Wine, whose renames all hold the file open: none ever succeeds.
const qf::PlaceCalls kNoRenames = {ShareRenameOpen, [](const std::wstring&, const std::wstring& to, bool replace) {
                                       return ShareRenameOpen(nullptr, to, replace);
                                   }};
const qf::PlaceCalls kModifyOnly = {
    [](HANDLE file, const std::wstring& to, bool replace) {
        return !NoReplacing(to, replace) && qf::RenameOpenFile(file, to, replace);
    },
    [](const std::wstring& from, const std::wstring& to, bool replace) {
        return !NoReplacing(to, replace) && qf::RenameClosedFile(from, to, replace);
    }};

TEST_P(DirectoryPass, ReplacesWhereTheStorageRefusesTheUsualWay)
{
    for (const qf::PlaceCalls* calls : {&kShare, &kNoRenames, &kModifyOnly}) {
        ScratchTree tree;
        tree.File(L"src\\changed.doc", "the new content");
        tree.File(L"dst\\changed.doc", "old");
        tree.File(L"src\\new.doc", "new file");
        tree.File(L"src\\second.doc", "second, new");
        tree.File(L"dst\\second.doc", "second, old");
        tree.File(L"src\\read-only.doc", "read-only, new");
        tree.File(L"dst\\read-only.doc", "read-only, old");
        SetFileAttributesW(tree.Path(L"dst\\read-only.doc").c_str(), FILE_ATTRIBUTE_READONLY);
        ASSERT_TRUE(qf::test::SetWriteTicks(tree.Path(L"src\\changed.doc"), kOldTime));
        qf::SetPlaceCallsForTesting(calls);
        const qf::PassFailures failures = qf::DirectoryPass(tree.Path(L"src"), tree.Path(L"dst"));
        qf::SetPlaceCallsForTesting(nullptr);
        const char* what = calls == &kShare ? "share" : calls == &kNoRenames ? "no renames" : "modify only";
        // Where only this folder's permissions refuse the replace, a read-only file is refused
        // as the platform's copy refuses it; a storage that renames nothing still updates it.
        const bool refused = calls == &kModifyOnly;
        EXPECT_EQ(failures.files, refused ? 1u : 0u) << what;
        EXPECT_EQ(ReadBytes(tree.Path(L"dst\\read-only.doc")), refused ? "read-only, old" : "read-only, new") << what;
        SetFileAttributesW(tree.Path(L"dst\\read-only.doc").c_str(), FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(ReadBytes(tree.Path(L"dst\\changed.doc")), "the new content") << what;
        EXPECT_EQ(ReadBytes(tree.Path(L"dst\\second.doc")), "second, new") << what;
        EXPECT_EQ(ReadBytes(tree.Path(L"dst\\new.doc")), "new file") << what;
        EXPECT_EQ(qf::test::WriteTicks(tree.Path(L"dst\\changed.doc")), kOldTime) << what;
        EXPECT_EQ(GetFileAttributesW(tree.Path(L"dst\\changed.doc").c_str()) & qf::kTemporaryMark, 0u) << what;
        EXPECT_TRUE(qf::test::TemporaryLeftovers(tree.Path(L"dst")).empty()) << what;
    }
}

// A storage on which no rename ever succeeds (and nothing is removed by one): every copy is
// written under its name, from a finished temporary.
bool RenamesNothing()
{
    SetLastError(ERROR_BUSY);
    return false;
}
const qf::PlaceCalls kRenamesNothing = {[](HANDLE, const std::wstring&, bool) { return RenamesNothing(); },
                                        [](const std::wstring&, const std::wstring&, bool) { return RenamesNothing(); }};

// Appends to the file named in gGrowing, every millisecond, while a copy reads it: another
// program still writing it.
struct Growing {
    SRWLOCK lock = SRWLOCK_INIT;
    std::wstring path;
    bool stop = false;
} gGrowing;

DWORD WINAPI GrowWhileCopied(void*)
{
    const std::string piece(4096, 'g');
    for (;;) {
        std::wstring path;
        AcquireSRWLockExclusive(&gGrowing.lock);
        const bool stop = gGrowing.stop;
        path = gGrowing.path;
        ReleaseSRWLockExclusive(&gGrowing.lock);
        if (stop)
            return 0;
        if (!path.empty()) {
            qf::FileHandle file(CreateFileW(qf::test::Extended(path).c_str(), FILE_APPEND_DATA,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
            DWORD written = 0;
            if (file)
                WriteFile(file.get(), piece.data(), static_cast<DWORD>(piece.size()), &written, nullptr);
        }
        Sleep(1);
    }
}

// Before each copy: the sources named growing-* grow while they are copied, others stay.
void GrowTheGrowingSources(const std::wstring& path, bool copy)
{
    if (!copy)
        return;
    const bool growing = path.find(L"\\growing-") != std::wstring::npos;
    AcquireSRWLockExclusive(&gGrowing.lock);
    gGrowing.path = growing ? path : std::wstring();
    ReleaseSRWLockExclusive(&gGrowing.lock);
}

// Where nothing can be renamed, a copy is written under the name only from a finished
// temporary of one state of the source: a source that grows while it is read leaves the old
// target whole (not cut, not half overwritten), and is told; the next pass copies it.
TEST_P(DirectoryPass, SourceChangingWhileWrittenInPlaceLeavesTheOldTargetWhole)
{
    ScratchTree tree;
    const std::size_t size = 16 << 20;
    tree.File(L"src\\plain.txt", "a plain new file");
    // One level down, so that a copy of the level above (the first, which finds out how the
    // storage places files) is made before them.
    const wchar_t* growing[] = {L"sub\\growing-1.bin", L"sub\\growing-2.bin"};
    std::string old[2];
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(tree.File(std::wstring(L"src\\") + growing[i], qf::test::PatternContent(size, 10 + i)));
        old[i] = qf::test::PatternContent(size / 2, 20 + i);
        ASSERT_TRUE(tree.File(std::wstring(L"dst\\") + growing[i], old[i]));
    }
    gGrowing.stop = false;
    gGrowing.path.clear();
    qf::KernelHandle grower(CreateThread(nullptr, 0, GrowWhileCopied, nullptr, 0, nullptr));
    ASSERT_TRUE(grower);
    qf::SetPlaceCallsForTesting(&kRenamesNothing);
    qf::SetTaskHookForTesting(GrowTheGrowingSources);
    const qf::PassFailures failures = qf::DirectoryPass(tree.Path(L"src"), tree.Path(L"dst"));
    qf::SetTaskHookForTesting(nullptr);
    AcquireSRWLockExclusive(&gGrowing.lock);
    gGrowing.stop = true;
    ReleaseSRWLockExclusive(&gGrowing.lock);
    WaitForSingleObject(grower.get(), INFINITE);

    // Each target is its old content, told, or one whole state of its source: the source only
    // grows by whole pieces, so any other length or content is a torn file. A busy machine may
    // let a copy finish before the source grows, so either outcome can come.
    std::size_t leftOld = 0;
    for (int i = 0; i < 2; ++i) {
        const std::string got = ReadBytes(tree.Path(std::wstring(L"dst\\") + growing[i]));
        const std::string now = ReadBytes(tree.Path(std::wstring(L"src\\") + growing[i]));
        if (got == old[i]) {
            ++leftOld;
            continue;
        }
        EXPECT_TRUE(got.size() >= size && (got.size() - size) % 4096 == 0 && now.compare(0, got.size(), got) == 0)
            << "the old target of " << i << " is no longer whole";
    }
    EXPECT_EQ(failures.files, leftOld);
    EXPECT_EQ(ReadBytes(tree.Path(L"dst\\plain.txt")), "a plain new file");
    EXPECT_TRUE(qf::test::TemporaryLeftovers(tree.Path(L"dst")).empty());

    // Left alone, the sources are copied whole by the next pass, in place.
    EXPECT_FALSE(qf::DirectoryPass(tree.Path(L"src"), tree.Path(L"dst")).Any());
    qf::SetPlaceCallsForTesting(nullptr);
    for (const wchar_t* name : growing)
        EXPECT_TRUE(ReadBytes(tree.Path(std::wstring(L"dst\\") + name)) == ReadBytes(tree.Path(std::wstring(L"src\\") + name)))
            << "not mended";
    EXPECT_TRUE(qf::test::TemporaryLeftovers(tree.Path(L"dst")).empty());
}

// Where nothing can be renamed, a link in the target is never written through: the file it
// leads to, outside the target, keeps its content, and the copy is told. So is a name that is
// one of a file's hard links, whose other names may be outside. The other files are written in
// place as usual.
TEST_P(DirectoryPass, LinkInTheTargetIsNotWrittenThroughInPlace)
{
    ScratchTree tree;
    tree.File(L"src\\linked.doc", "the source's new content");
    tree.File(L"src\\hard.doc", "the source's new content");
    tree.File(L"src\\other.doc", "other, new");
    tree.File(L"dst\\other.doc", "other, old");
    tree.File(L"outside\\linked.doc", "outside the target");
    tree.File(L"outside\\hard.doc", "outside the target");
    if (!qf::test::MakeFileLink(tree.Path(L"dst\\linked.doc"), tree.Path(L"outside\\linked.doc")))
        GTEST_SKIP() << "no file link can be made here";
    const bool hardLink = CreateHardLinkW(qf::test::Extended(tree.Path(L"dst\\hard.doc")).c_str(),
                                          qf::test::Extended(tree.Path(L"outside\\hard.doc")).c_str(), nullptr);
    if (!hardLink) {
        std::printf("no hard link can be made here: only the symbolic link is tried\n");
        tree.File(L"dst\\hard.doc", "no hard links here");
    }
    for (int pass = 1; pass <= 2; ++pass) {
        qf::SetPlaceCallsForTesting(&kRenamesNothing);
        const qf::PassFailures failures = qf::DirectoryPass(tree.Path(L"src"), tree.Path(L"dst"));
        qf::SetPlaceCallsForTesting(nullptr);
        EXPECT_EQ(failures.files, hardLink ? 2u : 1u) << pass;
        EXPECT_EQ(ReadBytes(tree.Path(L"outside\\linked.doc")), "outside the target") << pass;
        EXPECT_EQ(ReadBytes(tree.Path(L"outside\\hard.doc")), "outside the target") << pass;
        EXPECT_EQ(ReadBytes(tree.Path(L"dst\\other.doc")), "other, new") << pass;
        EXPECT_TRUE(qf::test::TemporaryLeftovers(tree.Path(L"dst")).empty()) << pass;
    }
}

// A name the target's listing lacks is placed only where nothing answers to it: not through
// another file's short alias. That is told.
TEST_P(DirectoryPass, NewNamesNeverReplaceThroughAnAlias)
{
    ScratchTree tree;
    tree.File(L"dst\\Report for January.doc", "the target's own");
    wchar_t alias[MAX_PATH];
    const std::wstring longName = qf::test::Extended(tree.Path(L"dst\\Report for January.doc"));
    const DWORD length = GetShortPathNameW(longName.c_str(), alias, MAX_PATH);
    const std::wstring shortPath = length && length < MAX_PATH ? std::wstring(alias, length) : std::wstring();
    const std::wstring aliasName = shortPath.substr(shortPath.rfind(L'\\') + 1);
    if (aliasName.empty() || aliasName == L"Report for January.doc" || !Exists(tree.Path(L"dst\\" + aliasName)))
        GTEST_SKIP() << "this file system gives no short names";
    tree.File(L"src\\" + aliasName, "a different file");
    for (int pass = 1; pass <= 2; ++pass) {
        const qf::PassFailures failures = qf::DirectoryPass(tree.Path(L"src"), tree.Path(L"dst"));
        EXPECT_EQ(ReadBytes(tree.Path(L"dst\\Report for January.doc")), "the target's own") << pass;
        EXPECT_EQ(failures.files, 1u) << pass;
        EXPECT_EQ(failures.firstFile, tree.Path(L"src\\" + aliasName)) << pass;
        EXPECT_TRUE(qf::test::TemporaryLeftovers(tree.Path(L"dst")).empty()) << pass;
    }
}

// Names of the temporaries' form are ordinary files: one in the source (a leftover of an
// earlier target now used as a source, marked as such) reaches the target on every pass and is
// never removed there while its source exists; one only in the target is never touched.
TEST_P(DirectoryPass, FilesNamedLikeTemporariesAreTheUsers)
{
    ScratchTree tree;
    const std::wstring both = L".quenfold-0123456789abcdef.tmp";
    const std::wstring targetOnly = L".quenfold-fedcba9876543210.tmp";
    tree.File(L"dst\\" + targetOnly, "kept");
    for (int pass = 1; pass <= 3; ++pass) {
        const std::string content = "version " + std::to_string(pass);
        SetFileAttributesW(tree.Path(L"src\\" + both).c_str(), FILE_ATTRIBUTE_NORMAL);
        tree.File(L"src\\" + both, content);
        SetFileAttributesW(tree.Path(L"src\\" + both).c_str(), qf::kTemporaryAttributes);
        EXPECT_FALSE(qf::DirectoryPass(qf::test::SourceView(tree.Path(L"src")), tree.Path(L"dst")).Any());
        EXPECT_EQ(ReadBytes(tree.Path(L"dst\\" + both)), content) << pass;
        EXPECT_EQ(ReadBytes(tree.Path(L"src\\" + both)), content) << pass;
        EXPECT_EQ(ReadBytes(tree.Path(L"dst\\" + targetOnly)), "kept") << pass;
    }
    // Both marked and equal: left alone.
    qf::test::SetWriteTicks(tree.Path(L"dst\\" + both), kOldTime);
    qf::DirectoryPass(qf::test::SourceView(tree.Path(L"src")), tree.Path(L"dst"));
    EXPECT_EQ(qf::test::WriteTicks(tree.Path(L"dst\\" + both)), kOldTime);
    EXPECT_EQ(qf::test::TemporaryLeftovers(tree.Path(L"dst")).size(), 2u);
    SetFileAttributesW(tree.Path(L"src\\" + both).c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Every copy carries its source's last-write time, as the platform's copy does, whether it is
// new or replaces a file, small or larger than one read; three passes leave no temporary. FAT
// keeps times to 2 s, so there the times need only agree that closely.
TEST_P(DirectoryPass, CopiesCarryTheSourceTime)
{
    ScratchTree tree;
    struct Case {
        const wchar_t* name;
        std::size_t sourceSize;
        std::size_t targetSize;  // 0: the target lacks it
    };
    const Case cases[] = {
        {L"new.txt", 100, 0},
        {L"same-size.txt", 100, 100},
        {L"shorter.txt", 100, 5000},
        {L"new-large.bin", 3 << 20, 0},
        {L"replaced-large.bin", 3 << 20, 3 << 20},
    };
    unsigned long long time = kOldTime + 12345678;  // not on a whole second
    for (const Case& file : cases) {
        ASSERT_TRUE(tree.File(std::wstring(L"src\\") + file.name, std::string(file.sourceSize, 's')));
        if (file.targetSize) {
            ASSERT_TRUE(tree.File(std::wstring(L"dst\\") + file.name, std::string(file.targetSize, 't')));
        }
        ASSERT_TRUE(qf::test::SetWriteTicks(tree.Path(std::wstring(L"src\\") + file.name), time));
        time += 86400ull * 10000000 + 33333333;
    }
    const unsigned long long tolerance = qf::test::StorageKind() == L"fat32" ? 20000000 : 0;
    for (int pass = 1; pass <= 3; ++pass) {
        qf::DirectoryPass(qf::test::SourceView(tree.Path(L"src")), tree.Path(L"dst"));
        for (const Case& file : cases) {
            const unsigned long long source = qf::test::WriteTicks(tree.Path(std::wstring(L"src\\") + file.name));
            const unsigned long long copy = qf::test::WriteTicks(tree.Path(std::wstring(L"dst\\") + file.name));
            EXPECT_EQ(ReadBytes(tree.Path(std::wstring(L"dst\\") + file.name)), std::string(file.sourceSize, 's'))
                << file.name;
            EXPECT_LE(std::max(source, copy) - std::min(source, copy), tolerance)
                << file.name << " after pass " << pass << ": the copy's time differs from its source's by "
                << (static_cast<long long>(copy - source) / 10000) << " ms";
        }
        EXPECT_TRUE(qf::test::TemporaryLeftovers(tree.Path(L"dst")).empty()) << "after pass " << pass;
    }
}

TEST_P(DirectoryPass, DescendsOnlyWhereTheTargetHasTheDirectory)
{
    ScratchTree tree;
    tree.File(L"src\\top.txt", "0");
    tree.File(L"src\\a\\one.txt", "1");
    tree.File(L"src\\a\\b\\two.txt", "2");
    tree.File(L"src\\a\\b\\c\\three.txt", "3");
    tree.File(L"src\\a\\b\\c\\d\\four.txt", "4");
    tree.File(L"src\\only\\x.txt", "x");
    tree.File(L"src\\Mixed\\m.txt", "m");
    tree.Directory(L"dst\\a\\b\\c");
    tree.Directory(L"dst\\MIXED");

    qf::DirectoryPass(tree.Path(L"src"), tree.Path(L"dst"));

    EXPECT_EQ(ReadBytes(tree.Path(L"dst\\top.txt")), "0");
    EXPECT_EQ(ReadBytes(tree.Path(L"dst\\a\\one.txt")), "1");
    EXPECT_EQ(ReadBytes(tree.Path(L"dst\\a\\b\\two.txt")), "2");
    EXPECT_EQ(ReadBytes(tree.Path(L"dst\\a\\b\\c\\three.txt")), "3");
    EXPECT_FALSE(Exists(tree.Path(L"dst\\a\\b\\c\\d"))) << "only the source has it";
    EXPECT_FALSE(Exists(tree.Path(L"dst\\only")));
    EXPECT_EQ(ReadBytes(tree.Path(L"dst\\MIXED\\m.txt")), "m");

    // Synchronised from the first pass after the user has made it in the target.
    tree.Directory(L"dst\\a\\b\\c\\d");
    qf::DirectoryPass(tree.Path(L"src"), tree.Path(L"dst"));
    EXPECT_EQ(ReadBytes(tree.Path(L"dst\\a\\b\\c\\d\\four.txt")), "4");
}

TEST_P(DirectoryPass, SourceThatIsTheTargetChangesNothing)
{
    ScratchTree tree;
    tree.File(L"dir\\a.txt", "a");
    tree.File(L"dir\\sub\\b.txt", "b");
    qf::test::SetWriteTicks(tree.Path(L"dir\\sub\\b.txt"), kOldTime);
    qf::DirectoryPass(tree.Path(L"dir"), tree.Path(L"dir\\"));
    EXPECT_EQ(qf::test::WriteTicks(tree.Path(L"dir\\sub\\b.txt")), kOldTime);
    EXPECT_TRUE(qf::test::TemporaryLeftovers(tree.Path(L"dir")).empty());

    // A source inside its target: each level's copies are made before the next level writes
    // into the directory they read from, so no content is lost on the way.
    for (int run = 0; run < 4; ++run) {
        ScratchTree nested;
        nested.File(L"T\\f", "BBBB");
        nested.File(L"T\\y\\f", "AAAA");
        nested.File(L"T\\y\\y\\f", "CCCC");
        EXPECT_FALSE(qf::DirectoryPass(nested.Path(L"T\\y"), nested.Path(L"T")).Any());
        EXPECT_EQ(ReadBytes(nested.Path(L"T\\f")), "AAAA") << run;
        EXPECT_EQ(ReadBytes(nested.Path(L"T\\y\\f")), "CCCC") << run;
        EXPECT_EQ(ReadBytes(nested.Path(L"T\\y\\y\\f")), "CCCC") << run;
    }
}

TEST_P(DirectoryPass, TrailingSeparatorsAndTheTargetDirectory)
{
    const wchar_t* endings[] = {L"", L"\\", L"\\\\", L"/"};
    for (const wchar_t* sourceEnd : endings) {
        for (const wchar_t* targetEnd : endings) {
            ScratchTree tree;
            tree.File(L"src\\f.txt", "f");
            tree.File(L"src\\sub\\g.txt", "g");
            tree.Directory(L"dst\\sub");
            qf::DirectoryPass(tree.Path(L"src") + sourceEnd, tree.Path(L"dst") + targetEnd);
            EXPECT_EQ(ReadBytes(tree.Path(L"dst\\f.txt")), "f") << sourceEnd << L"|" << targetEnd;
            EXPECT_EQ(ReadBytes(tree.Path(L"dst\\sub\\g.txt")), "g") << sourceEnd << L"|" << targetEnd;
        }
    }

    ScratchTree tree;
    tree.File(L"src\\f.txt", "f");
    qf::DirectoryPass(tree.Path(L"src"), tree.Path(L"new") + L"\\");
    EXPECT_EQ(ReadBytes(tree.Path(L"new\\f.txt")), "f") << "one missing level is created";
    qf::DirectoryPass(tree.Path(L"src"), tree.Path(L"missing\\new"));
    EXPECT_FALSE(Exists(tree.Path(L"missing"))) << "only the last level is created";
    qf::DirectoryPass(tree.Path(L"nowhere"), tree.Path(L"made"));
    EXPECT_TRUE(qf::test::IsDirectoryPath(tree.Path(L"made"))) << "made even when the source is missing";
}

TEST_P(DirectoryPass, EmptyPathsWriteNothingOutsideTheTarget)
{
    ScratchTree tree;
    const std::wstring name = L"qf-empty-target-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    tree.File(L"src\\" + name, "must not reach the drive root");
    SetCurrentDirectoryW(tree.Path(L"src").c_str());
    qf::DirectoryPass(tree.Path(L"src"), L"");
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    SetCurrentDirectoryW(windows);
    std::wstring root = tree.Path().substr(0, 3);  // the drive of the source
    EXPECT_FALSE(Exists(root + name));
    qf::test::RemoveTree(root + name);

    qf::DirectoryPass(L"", tree.Path(L"dst"));
    EXPECT_TRUE(qf::test::IsDirectoryPath(tree.Path(L"dst")));
    EXPECT_FALSE(Exists(tree.Path(L"dst\\" + name)));
}

TEST_P(DirectoryPass, NamesOutsideCodePage936AndPathsOver260Characters)
{
    ScratchTree tree;
    // Thai, an emoji outside the basic plane, Romanian letters; the folder name ends in a
    // character whose last byte in code page 936 is 0x5C.
    const std::wstring file = L"\u0e20\u0e32\u0e29\u0e32 \U0001F600 \u0219\u021b.txt";
    const std::wstring folder = L"\u30c7\u30fc\u30bf\u4e57";
    tree.File(L"src\\" + file, "wide");
    tree.File(L"src\\" + folder + L"\\" + file, "inside");
    tree.Directory(L"dst\\" + folder);

    std::wstring deep;
    for (int level = 0; level < 6; ++level)
        deep += L"\\level-" + std::to_wstring(level) + L"-" + std::wstring(50, L'd');
    tree.File(L"src" + deep + L"\\deep.txt", "deep");
    tree.File(L"src" + deep + L"\\same.txt", "same");
    tree.File(L"dst" + deep + L"\\same.txt", "same");
    qf::test::SetWriteTicks(tree.Path(L"dst" + deep + L"\\same.txt"), kOldTime);
    ASSERT_GT(tree.Path(L"dst" + deep + L"\\deep.txt").size(), 300u);

    qf::DirectoryPass(tree.Path(L"src"), tree.Path(L"dst"));

    EXPECT_EQ(ReadBytes(tree.Path(L"dst\\" + file)), "wide");
    EXPECT_EQ(ReadBytes(tree.Path(L"dst\\" + folder + L"\\" + file)), "inside");
    EXPECT_EQ(ReadBytes(tree.Path(L"dst" + deep + L"\\deep.txt")), "deep");
    EXPECT_EQ(qf::test::WriteTicks(tree.Path(L"dst" + deep + L"\\same.txt")), kOldTime);
}

TEST_P(DirectoryPass, NeverEntersADirectoryAlreadyOnTheWayDown)
{
    ScratchTree tree;
    // Both sides loop back to themselves: the pass must end.
    tree.File(L"src\\f.txt", "f");
    tree.Directory(L"dst");
    if (!qf::test::MakeDirectoryLink(tree.Path(L"src\\loop"), tree.Path(L"src")) ||
        !qf::test::MakeDirectoryLink(tree.Path(L"dst\\loop"), tree.Path(L"dst")))
        GTEST_SKIP() << "directory links cannot be made here";
    qf::DirectoryPass(tree.Path(L"src"), tree.Path(L"dst"));
    EXPECT_EQ(ReadBytes(tree.Path(L"dst\\f.txt")), "f");

    // Only the source loops: each real target level below is another directory, backed up
    // through the loop as through any directory, and the target's depth ends the descent.
    tree.File(L"src2\\f.txt", "f");
    tree.Directory(L"dst2\\loop\\loop");
    ASSERT_TRUE(qf::test::MakeDirectoryLink(tree.Path(L"src2\\loop"), tree.Path(L"src2")));
    EXPECT_FALSE(qf::DirectoryPass(tree.Path(L"src2"), tree.Path(L"dst2")).Any());
    EXPECT_EQ(ReadBytes(tree.Path(L"dst2\\f.txt")), "f");
    EXPECT_EQ(ReadBytes(tree.Path(L"dst2\\loop\\f.txt")), "f");
    EXPECT_EQ(ReadBytes(tree.Path(L"dst2\\loop\\loop\\f.txt")), "f");

    // Only the target loops: the deeper source level does not land in the top of the target,
    // though the pass's own copies there changed the top's entries; the level is told.
    tree.File(L"src3\\sub\\inner.txt", "inner");
    tree.File(L"src3\\Budget.txt", "top level");
    tree.File(L"src3\\sub\\Budget.txt", "sub-directory");
    tree.File(L"dst3\\Budget.txt", "old");
    ASSERT_TRUE(qf::test::MakeDirectoryLink(tree.Path(L"dst3\\sub"), tree.Path(L"dst3")));
    for (int pass = 1; pass <= 2; ++pass) {
        const qf::PassFailures failures = qf::DirectoryPass(tree.Path(L"src3"), tree.Path(L"dst3"));
        EXPECT_FALSE(Exists(tree.Path(L"dst3\\inner.txt"))) << pass;
        EXPECT_EQ(ReadBytes(tree.Path(L"dst3\\Budget.txt")), "top level") << pass;
        EXPECT_EQ(failures.directories, 1u) << pass;
        EXPECT_EQ(failures.firstDirectory, tree.Path(L"dst3\\sub")) << pass;
    }

    // Two target directories side by side are one through a link: the level entered second
    // finds the file the first copied there and replaces it, as a pass taking one directory
    // after the other would.
    tree.File(L"src4\\a\\f.txt", "AAA");
    tree.File(L"src4\\b\\f.txt", "BBB");
    tree.Directory(L"dst4\\a");
    ASSERT_TRUE(qf::test::MakeDirectoryLink(tree.Path(L"dst4\\b"), tree.Path(L"dst4\\a")));
    qf::DirectoryListing order;
    ASSERT_TRUE(qf::ListDirectory(tree.Path(L"src4\\"), order));
    const std::wstring second = order.entries.at(1).name;
    EXPECT_FALSE(qf::DirectoryPass(tree.Path(L"src4"), tree.Path(L"dst4")).Any());
    EXPECT_EQ(ReadBytes(tree.Path(L"dst4\\a\\f.txt")), ReadBytes(tree.Path(L"src4\\" + second + L"\\f.txt")));
}

qf::DirectoryIdentity ZeroIds(const std::wstring&, const qf::DirectoryIdentity& listed)
{
    return qf::DirectoryIdentity{listed.volume, 0};
}

qf::DirectoryIdentity OneId(const std::wstring&, const qf::DirectoryIdentity& listed)
{
    return qf::DirectoryIdentity{listed.volume, 7};
}

// Shares and FAT sticks give file ids of zero, some NAS boxes one id for many directories:
// neither may stop the pass from entering the directories both sides have, and a loop must
// still end.
TEST_P(DirectoryPass, DescentNeverDependsOnFileIds)
{
    for (qf::IdentitySource ids : {ZeroIds, OneId}) {
        ScratchTree tree;
        qf::SetIdentitySourceForTesting(ids);
        tree.File(L"src\\a\\one.txt", "1");
        tree.File(L"src\\a\\b\\two.txt", "2");
        tree.File(L"src\\c\\three.txt", "3");
        tree.Directory(L"dst\\a\\b");
        tree.Directory(L"dst\\c");
        qf::DirectoryPass(tree.Path(L"src"), tree.Path(L"dst"));
        EXPECT_EQ(ReadBytes(tree.Path(L"dst\\a\\one.txt")), "1");
        EXPECT_EQ(ReadBytes(tree.Path(L"dst\\a\\b\\two.txt")), "2");
        EXPECT_EQ(ReadBytes(tree.Path(L"dst\\c\\three.txt")), "3");

        tree.File(L"src\\a\\b\\f.txt", "f");
        if (qf::test::MakeDirectoryLink(tree.Path(L"src\\a\\b\\loop"), tree.Path(L"src\\a")) &&
            qf::test::MakeDirectoryLink(tree.Path(L"dst\\a\\b\\loop"), tree.Path(L"dst\\a"))) {
            qf::DirectoryPass(tree.Path(L"src"), tree.Path(L"dst"));  // returns
            EXPECT_EQ(ReadBytes(tree.Path(L"dst\\a\\b\\f.txt")), "f");
        }
        qf::SetIdentitySourceForTesting(nullptr);
    }
}

TEST(DirectoryListing, GivesNamesAttributesSizesAndIdentity)
{
    ScratchTree tree;
    tree.File(L"dir\\small.txt", "12345");
    tree.File(L"dir\\hidden.txt", "");
    SetFileAttributesW(tree.Path(L"dir\\hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
    tree.Directory(L"dir\\sub");
    tree.Directory(L"other");

    qf::DirectoryListing listing;
    ASSERT_TRUE(qf::ListDirectory(L"\\\\?\\" + tree.Path(L"dir\\"), listing));
    // The way for file systems that cannot be asked through a directory handle gives the same.
    std::vector<qf::ListedEntry> found;
    qf::DirectoryReader reader;
    ASSERT_TRUE(reader.Open(L"\\\\?\\" + tree.Path(L"dir\\"), true));
    for (qf::ListedEntry entry; reader.Next(entry);)
        found.push_back(entry);
    ASSERT_FALSE(reader.Failed());
    auto byName = [](const qf::ListedEntry& a, const qf::ListedEntry& b) { return a.name < b.name; };
    std::sort(listing.entries.begin(), listing.entries.end(), byName);
    std::sort(found.begin(), found.end(), byName);
    ASSERT_EQ(listing.entries.size(), 3u) << "no . or ..";
    ASSERT_EQ(found.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(listing.entries[i].name, found[i].name);
        EXPECT_EQ(listing.entries[i].attributes, found[i].attributes);
        EXPECT_EQ(listing.entries[i].size, found[i].size);
    }
    EXPECT_EQ(listing.entries[0].name, L"hidden.txt");
    EXPECT_TRUE(listing.entries[0].attributes & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(listing.entries[1].size, 5u);
    EXPECT_TRUE(listing.entries[2].IsDirectory());

    qf::DirectoryListing again, other;
    ASSERT_TRUE(qf::ListDirectory(L"\\\\?\\" + tree.Path(L"dir\\sub\\..\\"), again) ||
                qf::ListDirectory(L"\\\\?\\" + tree.Path(L"dir\\"), again));
    ASSERT_TRUE(qf::ListDirectory(L"\\\\?\\" + tree.Path(L"other\\"), other));
    EXPECT_EQ(listing.identity, again.identity);
    EXPECT_FALSE(listing.identity == other.identity);

    // Cut short, a listing holds only its first entries yet knows all of them by count and
    // fingerprint, so a large directory met again through a link is still known.
    qf::SetListingCapForTesting(1);
    qf::DirectoryListing cut;
    ASSERT_TRUE(qf::ListDirectory(L"\\\\?\\" + tree.Path(L"dir\\"), cut));
    qf::SetListingCapForTesting(0);
    EXPECT_FALSE(cut.complete);
    EXPECT_EQ(cut.entries.size(), 1u);
    EXPECT_EQ(cut.count, 3u);
    EXPECT_TRUE(cut.SameEntries(again));
    EXPECT_FALSE(cut.SameEntries(other));
    tree.File(L"dir\\small.txt", "123456");
    ASSERT_TRUE(qf::ListDirectory(L"\\\\?\\" + tree.Path(L"dir\\"), cut));
    EXPECT_FALSE(cut.SameEntries(again)) << "a size changed";

    EXPECT_FALSE(qf::ListDirectory(L"\\\\?\\" + tree.Path(L"dir\\small.txt\\"), other)) << "a file is no directory";
    EXPECT_FALSE(qf::ListDirectory(L"\\\\?\\" + tree.Path(L"missing\\"), other));
}

}  // namespace
