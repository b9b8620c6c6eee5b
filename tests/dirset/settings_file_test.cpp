// The settings file on disk: what a save writes, what a load reads, and what a failed save
// leaves behind.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dirset/settings_io.h"
#include "dirset/settings_layout.h"
#include "dirset/settings_path.h"
#include "dirset/settings_reader.h"
#include "tests/support/child_process.h"
#include "tests/support/scratch_tree.h"
#include "win/unique_handle.h"

namespace qf {
namespace {

std::vector<SettingsRow> SixRows()
{
    std::vector<SettingsRow> rows = {{L"1", L"目标目录", L"D:\\备份", L"每日"}};
    for (int i = 2; i <= 6; ++i)
        rows.push_back({std::to_wstring(i), L"源目录", L"E:\\文档\\" + std::to_wstring(i), i == 3 ? L"" : L"源 " + std::to_wstring(i)});
    return rows;
}

std::vector<std::wstring> FilesIn(const std::wstring& directory)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    FindHandle find(FindFirstFileW((directory + L"\\*").c_str(), &data));
    if (!find)
        return names;
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(name);
    } while (FindNextFileW(find.get(), &data));
    return names;
}

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        directory_ = tree_.Directory(L"设置");
        path_ = directory_ + L"\\配置.ini";
    }

    std::string Bytes() const
    {
        std::string bytes;
        ReadFileBytes(path_, bytes);
        return bytes;
    }
    void WriteBytes(const std::string& bytes) const { ASSERT_TRUE(ReplaceFileContents(path_, bytes)); }
    std::vector<SettingsRow> Load(size_t maxRows = 6) const
    {
        return RowsFromDocument(ProfileReader().Open(path_), maxRows);
    }

    test::ScratchTree tree_;
    std::wstring directory_;
    std::wstring path_;
};

TEST_F(SettingsFile, SixRowsRoundTripAndAShorterListLeavesNoOldSections)
{
    ASSERT_TRUE(WriteSettingsRows(path_, SixRows()));
    EXPECT_EQ(Load(), SixRows());
    EXPECT_EQ(ProfileReader().Open(path_).CountSections(), 6u);

    std::vector<SettingsRow> four = SixRows();
    four.erase(four.begin() + 1, four.begin() + 3);
    ASSERT_TRUE(WriteSettingsRows(path_, four));
    EXPECT_EQ(ProfileReader().Open(path_).CountSections(), 4u);
    EXPECT_EQ(Load(), four);
    EXPECT_EQ(ProfileReader().Open(path_).ReadValue(L"配置5", L"ID"), L"");
    EXPECT_EQ(FilesIn(directory_), std::vector<std::wstring>{L"配置.ini"}) << "no temporary file stays";
}

TEST_F(SettingsFile, AnEmptyListRemovesTheFile)
{
    ASSERT_TRUE(WriteSettingsRows(path_, SixRows()));
    EXPECT_TRUE(WriteSettingsRows(path_, {}));
    EXPECT_EQ(GetFileAttributesW(path_.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(WriteSettingsRows(path_, {})) << "nothing to remove is no failure";
    EXPECT_TRUE(Load().empty());
    EXPECT_EQ(ProfileReader().Open(path_).CountSections(), 0u);
}

TEST_F(SettingsFile, TheBytesAreCodePage936WithCrLf)
{
    ASSERT_TRUE(WriteSettingsRows(path_, {{L"1", L"目标目录", L"D:\\Work", L""}, {L"2", L"源目录", L"E:\\Docs", L"daily copy"}}));
    const std::string expected =
        "[\xC5\xE4\xD6\xC3" "1]\r\n"                      // [配置1]
        "ID=1\r\n"
        "\xC4\xBF\xC2\xBC\xC0\xE0\xD0\xCD=\xC4\xBF\xB1\xEA\xC4\xBF\xC2\xBC\r\n"  // 目录类型=目标目录
        "\xC2\xB7\xBE\xB6=D:\\Work\r\n"                   // 路径=
        "\xB1\xB8\xD7\xA2=\r\n"                           // 备注= (empty, no quotes)
        "[\xC5\xE4\xD6\xC3" "2]\r\n"
        "ID=2\r\n"
        "\xC4\xBF\xC2\xBC\xC0\xE0\xD0\xCD=\xD4\xB4\xC4\xBF\xC2\xBC\r\n"          // 目录类型=源目录
        "\xC2\xB7\xBE\xB6=E:\\Docs\r\n"
        "\xB1\xB8\xD7\xA2=daily copy\r\n";
    EXPECT_EQ(Bytes(), expected);
    const std::vector<SettingsRow> rows = Load();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].remark, L"");
}

TEST_F(SettingsFile, ACellOutside936MakesAUtf8FileThatRoundTrips)
{
    const std::vector<SettingsRow> rows = {{L"1", L"目标目录", L"D:\\사진 \U0001F600", L"ü ß €"}};
    ASSERT_TRUE(WriteSettingsRows(path_, rows));
    const std::string bytes = Bytes();
    EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_NE(bytes.find("\xEC\x82\xAC\xEC\xA7\x84"), std::string::npos) << "사진 in UTF-8";
    EXPECT_EQ(Load(), rows);
}

TEST_F(SettingsFile, FilesWithAByteOrderMarkAreReadInTheirEncoding)
{
    const std::wstring text = L"[配置1]\r\nID=1\r\n目录类型=目标目录\r\n路径=C:\\사진\r\n备注= '每日' \r\n";
    const SettingsRow expected{L"1", L"目标目录", L"C:\\사진", L"每日"};

    std::string utf8 = "\xEF\xBB\xBF[\xE9\x85\x8D\xE7\xBD\xAE" "1]\r\nID=1\r\n"
                       "\xE8\xB7\xAF\xE5\xBE\x84=C:\\\xEC\x82\xAC\xEC\xA7\x84\r\n";  // 路径=C:\사진
    WriteBytes(utf8);
    ASSERT_EQ(Load().size(), 1u);
    EXPECT_EQ(Load()[0].path, L"C:\\사진");

    std::string le = "\xFF\xFE", be = "\xFE\xFF";
    for (wchar_t c : text) {
        le += static_cast<char>(c & 0xFF);
        le += static_cast<char>(c >> 8);
        be += static_cast<char>(c >> 8);
        be += static_cast<char>(c & 0xFF);
    }
    WriteBytes(le);
    EXPECT_EQ(Load(), std::vector<SettingsRow>{expected}) << "UTF-16LE";
    WriteBytes(be);
    EXPECT_EQ(Load(), std::vector<SettingsRow>{expected}) << "UTF-16BE";

    // Without a mark the bytes are code page 936, whatever the system's code page: 81 5D is
    // one character there, so "[" + it is no section header.
    WriteBytes("[\x81]\r\nID=1\r\n[\xC5\xE4\xD6\xC3" "1]\r\nID=2");
    EXPECT_EQ(ProfileReader().Open(path_).CountSections(), 1u);
    EXPECT_EQ(Load()[0].id, L"2");
}

TEST_F(SettingsFile, AFailedSaveLeavesTheOldFileAndNoTemporaryFile)
{
    ASSERT_TRUE(WriteSettingsRows(path_, SixRows()));
    const std::string old = Bytes();
    {
        // Held open by someone else, without sharing.
        FileHandle holder(CreateFileW(path_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder);
        EXPECT_FALSE(WriteSettingsRows(path_, {{L"1", L"目标目录", L"X:\\", L""}}));
        EXPECT_FALSE(WriteSettingsRows(path_, {})) << "nor can it be removed";
    }
    EXPECT_EQ(Bytes(), old);
    EXPECT_EQ(FilesIn(directory_), std::vector<std::wstring>{L"配置.ini"});

    // Made read-only by the user: kept, even where the platform would let a rename replace it.
    ASSERT_TRUE(SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(WriteSettingsRows(path_, {{L"1", L"目标目录", L"X:\\", L""}}));
    EXPECT_FALSE(WriteSettingsRows(path_, {}));
    SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(Bytes(), old);
    EXPECT_EQ(FilesIn(directory_), std::vector<std::wstring>{L"配置.ini"});

    // A directory of that name.
    ASSERT_TRUE(DeleteFileW(path_.c_str()));
    ASSERT_TRUE(CreateDirectoryW(path_.c_str(), nullptr));
    EXPECT_FALSE(WriteSettingsRows(path_, SixRows()));
    EXPECT_FALSE(WriteSettingsRows(path_, {}));
    EXPECT_NE(GetFileAttributesW(path_.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(FilesIn(directory_), std::vector<std::wstring>{L"配置.ini"});
    EXPECT_TRUE(Load().empty()) << "a directory reads as no file";
}

// A save killed before its rename leaves its temporary; the next save removes it, but not the
// temporary of a save still under way nor a file of the user's that merely looks alike.
TEST_F(SettingsFile, TheNextSaveRemovesAKilledSavesTemporary)
{
    test::ChildProcess killed, saving;  // ended when the test ends, however it ends
    ASSERT_TRUE(killed.Start(L"", L"cmd.exe /c exit 0", L"", CREATE_NO_WINDOW | CREATE_SUSPENDED));
    ASSERT_TRUE(saving.Start(L"", L"cmd.exe /c exit 0", L"", CREATE_NO_WINDOW | CREATE_SUSPENDED));
    const std::wstring killedName = L"配置.ini.~" + std::to_wstring(killed.Id()) + L".tmp";
    const std::wstring savingName = L"配置.ini.~" + std::to_wstring(saving.Id()) + L".tmp";
    // Ended, but its handle stays open, so that no new process takes its id meanwhile.
    TerminateProcess(killed.Handle(), 1);
    WaitForSingleObject(killed.Handle(), INFINITE);
    for (const std::wstring& name : {killedName, savingName, std::wstring(L"配置.ini.~备份.tmp")}) {
        FileHandle file(CreateFileW((directory_ + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0,
                                    nullptr));
        ASSERT_TRUE(file);
    }
    ASSERT_TRUE(WriteSettingsRows(path_, SixRows()));
    std::vector<std::wstring> names = FilesIn(directory_);
    std::sort(names.begin(), names.end());
    std::vector<std::wstring> expected{L"配置.ini", savingName, L"配置.ini.~备份.tmp"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
}

TEST_F(SettingsFile, PathsBeyondMaxPath)
{
    EXPECT_EQ(ExtendedLengthPath(L"C:\\short"), L"C:\\short");
    const std::wstring deep = L"C:\\" + std::wstring(300, L'd');
    EXPECT_EQ(ExtendedLengthPath(deep), L"\\\\?\\" + deep);
    EXPECT_EQ(ExtendedLengthPath(L"\\\\server\\share\\" + std::wstring(300, L'd')),
              L"\\\\?\\UNC\\server\\share\\" + std::wstring(300, L'd'));
    EXPECT_EQ(ExtendedLengthPath(L"\\\\?\\" + deep), L"\\\\?\\" + deep);

    std::wstring directory = directory_;
    while (directory.size() < 300) {
        directory += L"\\长目录名-" + std::wstring(40, L'x');
        ASSERT_TRUE(CreateDirectoryW(ExtendedLengthPath(directory).c_str(), nullptr));
    }
    const std::wstring path = directory + L"\\配置.ini";
    ASSERT_TRUE(WriteSettingsRows(path, SixRows()));
    EXPECT_EQ(RowsFromDocument(ProfileReader().Open(path), 6), SixRows());
    ASSERT_TRUE(WriteSettingsRows(path, {}));
    EXPECT_EQ(GetFileAttributesW(ExtendedLengthPath(path).c_str()), INVALID_FILE_ATTRIBUTES);
    while (directory.size() > directory_.size()) {
        RemoveDirectoryW(ExtendedLengthPath(directory).c_str());
        directory.resize(directory.rfind(L'\\'));
    }
}

TEST_F(SettingsFile, LoadQuirksAndLimits)
{
    WriteBytes("[\xC5\xE4\xD6\xC3" "1]\r\nID=7\r\n\xC4\xBF\xC2\xBC\xC0\xE0\xD0\xCD=\xD4\xB4\xC4\xBF\xC2\xBC\r\n"  // 配置1: ID=7, 源目录
               "\xC2\xB7\xBE\xB6 =  \"C:\\a b\"  \r\n"                                                     // 路径 =  "C:\a b"
               "[other]\r\nID=9\r\n");
    const std::vector<SettingsRow> rows = Load();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (SettingsRow{L"7", L"源目录", L"C:\\a b", L""})) << "shown as stored";
    EXPECT_EQ(rows[1], SettingsRow{}) << "a foreign section gives an empty row";

    std::string many;
    for (int i = 1; i <= 20; ++i)
        many += "[\xC5\xE4\xD6\xC3" + std::to_string(i) + "]\r\nID=" + std::to_string(i) + "\r\n";
    WriteBytes(many);
    const std::vector<SettingsRow> six = Load();
    ASSERT_EQ(six.size(), 6u);
    EXPECT_EQ(six.back().id, L"6");

    std::string oversized;
    while (oversized.size() <= kSettingsFileLimit)
        oversized += "[a]\n";
    WriteBytes(oversized);
    EXPECT_EQ(ProfileReader().Open(path_).CountSections(), 0u) << "an oversized file is no settings file";
}

std::wstring ProgramPath()
{
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path;
}

TEST(SettingsFilePath, IsBesideTheProgram)
{
    const std::wstring program = ProgramPath();
    EXPECT_EQ(SettingsFilePath(), program.substr(0, program.rfind(L'\\')) + L"\\配置.ini");
}

// Run by settings_long_path.sh from a copy of this program in a folder beyond MAX_PATH (the
// platform starts no program by such a path from inside, so a shell script does it).
TEST(SettingsFilePath, SavesBesideAProgramInADeepFolder)
{
    if (GetEnvironmentVariableW(L"QF_SETTINGS_LONG_PATH", nullptr, 0) == 0)
        GTEST_SKIP() << "run by settings_long_path.sh";
    const std::wstring path = SettingsFilePath();
    EXPECT_GT(path.size(), static_cast<size_t>(MAX_PATH));
    const std::wstring program = ProgramPath();
    EXPECT_EQ(path, program.substr(0, program.rfind(L'\\')) + L"\\配置.ini");
    ASSERT_TRUE(WriteSettingsRows(path, SixRows()));
    EXPECT_EQ(RowsFromDocument(ProfileReader().Open(path), 6), SixRows());
}

}  // namespace
}  // namespace qf
