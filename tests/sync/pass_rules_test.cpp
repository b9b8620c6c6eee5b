// The pure rules of the directory pass: decisions from the listings, engine paths, the
// temporary name of a copy and the case-insensitive name lookup.
#include "sync/directory_listing.h"
#include "sync/long_path.h"
#include "sync/pass_decision.h"
#include "sync/temporary_file.h"

#include <gtest/gtest.h>

namespace {

using qf::FileAction;
using qf::ListedEntry;

ListedEntry File(unsigned long long size, DWORD attributes = FILE_ATTRIBUTE_ARCHIVE)
{
    return ListedEntry{L"n", attributes, size};
}

ListedEntry Folder() { return ListedEntry{L"n", FILE_ATTRIBUTE_DIRECTORY, 0}; }

TEST(PassDecision, FollowsTheDecisionTable)
{
    const ListedEntry folder = Folder();
    const ListedEntry link = File(0, FILE_ATTRIBUTE_REPARSE_POINT);
    const ListedEntry empty = File(0), five = File(5), six = File(6);
    const ListedEntry marked = File(5, FILE_ATTRIBUTE_ARCHIVE | qf::kTemporaryAttributes);
    const ListedEntry partlyMarked = File(5, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    struct Case {
        const char* what;
        ListedEntry source;
        const ListedEntry* target;
        FileAction action;
    } const cases[] = {
        {"target lacks the file", File(5), nullptr, FileAction::Copy},
        {"target lacks an empty file", File(0), nullptr, FileAction::Copy},
        {"sizes differ: content differs", File(5), &six, FileAction::Copy},
        {"source emptied", File(0), &six, FileAction::Copy},
        {"same size: only digests tell", File(5), &five, FileAction::CompareContent},
        {"both empty: digests agree", File(0), &empty, FileAction::Nothing},
        {"directory in the way", File(5), &folder, FileAction::Blocked},
        {"directory in the way of an empty file: digests agree", File(0), &folder, FileAction::Nothing},
        {"left marked by a copy killed after its rename", File(5), &marked, FileAction::Copy},
        {"marked on both sides: the user's", marked, &marked, FileAction::CompareContent},
        {"source read-only and hidden, its copy left with the temporary's attributes",
         File(5, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN), &marked, FileAction::Copy},
        {"left with the part of the mark a driver keeps (hidden, system)", File(5), &partlyMarked,
         FileAction::Copy},
        {"a link's size is not its content's", link, &empty, FileAction::CompareContent},
        {"target is a link", File(7), &link, FileAction::CompareContent},
    };
    for (const Case& c : cases)
        EXPECT_EQ(qf::DecideFile(c.source, c.target), c.action) << c.what;
}

TEST(PassDecision, EntersOnlyDirectoriesBothSidesHave)
{
    const ListedEntry folder = Folder();
    const ListedEntry file = File(3);
    EXPECT_TRUE(qf::EntersDirectory(folder, &folder));
    EXPECT_FALSE(qf::EntersDirectory(folder, nullptr)) << "only the source has it: not created, not visited";
    EXPECT_FALSE(qf::EntersDirectory(folder, &file));
    EXPECT_FALSE(qf::EntersDirectory(file, &folder));
}

TEST(EnginePath, TakesTheExtendedFormWithOneSeparator)
{
    struct Case {
        const wchar_t* full;
        const wchar_t* engine;
    } const cases[] = {
        {L"C:\\data", L"\\\\?\\C:\\data\\"},
        {L"C:\\data\\", L"\\\\?\\C:\\data\\"},
        {L"C:\\data\\\\", L"\\\\?\\C:\\data\\"},
        {L"C:\\", L"\\\\?\\C:\\"},
        {L"\\\\server\\share\\dir", L"\\\\?\\UNC\\server\\share\\dir\\"},
        {L"\\\\?\\D:\\x", L"\\\\?\\D:\\x\\"},
        {L"\\\\?\\UNC\\s\\t\\", L"\\\\?\\UNC\\s\\t\\"},
        {L"data", L""},
        {L"", L""},
        // The last character here ends in byte 0x5C in code page 936; it is not a separator.
        {L"C:\\\u4e57", L"\\\\?\\C:\\\u4e57\\"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(qf::ExtendedDirectoryPath(c.full), c.engine) << c.full;

    EXPECT_EQ(qf::DirectoryOnly(L"\\\\?\\C:\\data\\"), L"\\\\?\\C:\\data");
    EXPECT_EQ(qf::DirectoryOnly(L"\\\\?\\C:\\"), L"\\\\?\\C:\\") << "the root, not the volume";
    EXPECT_EQ(qf::DirectoryOnly(L"\\\\?\\UNC\\s\\t\\"), L"\\\\?\\UNC\\s\\t\\") << "a share root";
    EXPECT_EQ(qf::DirectoryOnly(L"\\\\?\\UNC\\s\\t\\d\\"), L"\\\\?\\UNC\\s\\t\\d");
}

TEST(EnginePath, MakesUserPathsFull)
{
    EXPECT_EQ(qf::EngineDirectoryPath(L"C:\\a\\..\\b/c"), L"\\\\?\\C:\\b\\c\\");
    EXPECT_EQ(qf::EngineDirectoryPath(L""), L"");
    wchar_t current[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, current);
    std::wstring expected = qf::ExtendedDirectoryPath(current);
    EXPECT_EQ(qf::EngineDirectoryPath(L"sub"), expected + L"sub\\");
}

TEST(TemporaryName, IsNewForEveryCopyAndKnownByItsForm)
{
    const std::wstring name = qf::NewTemporaryName();
    EXPECT_NE(name, qf::NewTemporaryName());
    EXPECT_TRUE(qf::IsTemporaryName(name));
    EXPECT_EQ(name.rfind(L".quenfold-", 0), 0u);
    EXPECT_LT(name.size(), 40u) << "fits wherever a name fits";
    for (const wchar_t* other : {L".quenfold-0123456789ABCDEF.tmp", L".quenfold-0123456789abcde.tmp",
                                 L".quenfold-0123456789abcdef.tmp.doc", L"quenfold-0123456789abcdef.tmp", L""})
        EXPECT_FALSE(qf::IsTemporaryName(other)) << other;
    // Where the storage keeps no attributes, the check in the name tells the engine's own; a
    // name of the form that a person made, or one digit off, is not one.
    EXPECT_TRUE(qf::IsCheckedTemporaryName(name));
    EXPECT_TRUE(qf::IsLeftover(name, FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_FALSE(qf::IsLeftover(name, FILE_ATTRIBUTE_DIRECTORY | qf::kTemporaryAttributes));
    std::wstring altered = name;
    altered[12] = altered[12] == L'0' ? L'1' : L'0';
    for (const std::wstring& users : {altered, std::wstring(L".quenfold-0123456789abcdef.tmp")}) {
        EXPECT_FALSE(qf::IsCheckedTemporaryName(users)) << users;
        EXPECT_FALSE(qf::IsLeftover(users, FILE_ATTRIBUTE_HIDDEN)) << users;
        EXPECT_TRUE(qf::IsLeftover(users, qf::kTemporaryAttributes)) << "marked where attributes are kept";
    }
}

TEST(NameIndex, FindsNamesIgnoringCaseAsTheFileSystemDoes)
{
    std::vector<ListedEntry> entries;
    for (const wchar_t* name : {L"Readme.TXT", L"b", L"\u00c4rger", L"\u0414\u043e\u043c", L"\u62a5\u544a", L"a"})
        entries.push_back(ListedEntry{name, 0, 0});
    qf::NameIndex index(entries);
    struct Case {
        const wchar_t* lookup;
        const wchar_t* found;  // null: not there
    } const cases[] = {
        {L"readme.txt", L"Readme.TXT"}, {L"README.TXT", L"Readme.TXT"}, {L"B", L"b"},
        {L"\u00e4rger", L"\u00c4rger"}, {L"\u0434\u043e\u043c", L"\u0414\u043e\u043c"},
        {L"\u62a5\u544a", L"\u62a5\u544a"}, {L"readme", nullptr}, {L"", nullptr}, {L"c", nullptr},
    };
    for (const Case& c : cases) {
        const ListedEntry* entry = index.Find(c.lookup);
        if (c.found) {
            ASSERT_NE(entry, nullptr) << c.lookup;
            EXPECT_EQ(entry->name, c.found);
        } else {
            EXPECT_EQ(entry, nullptr) << c.lookup;
        }
    }
}

}  // namespace
