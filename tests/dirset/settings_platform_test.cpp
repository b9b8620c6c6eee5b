// Our INI reader against the platform's own private-profile functions, on files written as raw
// bytes. The -A functions read a file without a byte-order mark in the process's ANSI code
// page, so our side decodes with that same code page here; what the product does with code
// page 936 is covered by the settings file tests.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "dirset/ini_text.h"
#include "dirset/settings_io.h"
#include "win/text.h"

namespace qf {
namespace {

struct Query {
    std::string section;
    std::string key;
};

struct CorpusFile {
    const char* what;
    std::string bytes;
    std::vector<Query> queries;
};

const std::vector<Query> kSk = {{"s", "k"}};

// A literal with NULs inside, whole.
template <size_t N>
std::string Raw(const char (&text)[N])
{
    return std::string(text, N - 1);
}

std::string Repeat(char c, size_t count)
{
    return std::string(count, c);
}

std::string Utf16Le(const std::wstring& text)
{
    std::string bytes = "\xFF\xFE";
    for (wchar_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>((c >> 8) & 0xFF);
    }
    return bytes;
}

std::string Utf16Be(const std::wstring& text)
{
    std::string bytes = "\xFE\xFF";
    for (wchar_t c : text) {
        bytes += static_cast<char>((c >> 8) & 0xFF);
        bytes += static_cast<char>(c & 0xFF);
    }
    return bytes;
}

std::vector<CorpusFile> Corpus()
{
    const std::string half = Repeat('n', 16382);
    const std::string longValue = Repeat('v', 40000);
    return {
        {"the saved layout",
         "[S1]\r\nID=1\r\nKind=T\r\nPath=D:\\Work\r\nRemark=\r\n[S2]\r\nID=2\r\nKind=S\r\nPath=E:\\Docs\r\nRemark=daily copy\r\n",
         {{"S1", "ID"}, {"S1", "Path"}, {"S1", "Remark"}, {"S2", "Remark"}, {"S3", "ID"}}},
        {"LF, lone CR, mixed, no final line end", "[s]\nk=1\r\rj=2\r\n\n\ri=3\rh=4",
         {{"s", "k"}, {"s", "j"}, {"s", "i"}, {"s", "h"}}},
        {"blank lines and blanks around everything",
         "\r\n \t \r\n  [s]  \r\n\r\n \t k \t = \t v  w \t \r\n\x0bj\x0c=\x0cx\x0b\r\ni=\x1ay\x1a",
         {{"s", "k"}, {"s", "j"}, {"s", "i"}, {" s\t", " k "}}},
        {"no-break space is not a blank", "[s]\r\nk=\xA0v\xA0\r\n\xA0j=w", {{"s", "k"}, {"s", "j"}, {"s", "\xA0j"}}},
        {"names with inner blanks", "[a b]\r\nk l=v", {{"a b", "k l"}, {"a  b", "k l"}}},
        {"header blanks", "[ s ]\r\nk=v\r\n[\tt]\r\nk=w", {{"s", "k"}, {" s ", "k"}, {"t", "k"}}},
        {"quotes",
         "[s]\r\na=\"x\"\r\nb='x'\r\nc=\"\"\r\nd=\"\r\ne=\"x\r\nf=x\"\r\ng=\"x'\r\nh=\"\"x\"\"\r\ni=\" x \"\r\nj= \"x\" \r\nk='\r\nl=''",
         {{"s", "a"}, {"s", "b"}, {"s", "c"}, {"s", "d"}, {"s", "e"}, {"s", "f"}, {"s", "g"}, {"s", "h"},
          {"s", "i"}, {"s", "j"}, {"s", "k"}, {"s", "l"}}},
        {"ASCII case", "[SeCtIoN]\r\nKeY=v", {{"section", "key"}, {"SECTION", "KEY"}}},
        {"duplicates", "[s]\r\nk=1\r\nk=2\r\n[t]\r\nk=3\r\n[S]\r\nk=4\r\nj=5\r\n[s]\r\nj=6",
         {{"s", "k"}, {"s", "j"}, {"t", "k"}}},
        {"comments and '#'", "[s]\r\n;k=1\r\n#k=2\r\nk=3 ; four\r\n ; j=5\r\n;[t]\r\nj=6",
         {{"s", "k"}, {"s", "#k"}, {"s", "j"}, {"t", "j"}}},
        {"line without '='", "[s]\r\nk\r\nk=1\r\nj=2\r\nj\r\n[t]\r\nnothing here", {{"s", "k"}, {"s", "j"}, {"t", "nothing here"}}},
        {"values with '='", "[s]\r\nk==v=\r\nj = = w\r\n=x", {{"s", "k"}, {"s", "j"}}},
        {"[broken, [x]junk, [a]b]",
         "[s]\r\n[broken\r\nk=1\r\n[x]junk\r\nk=2\r\n[a]b]\r\nk=3\r\n[c]]]\r\nk=4",
         {{"s", "k"}, {"x", "k"}, {"a]b", "k"}, {"a", "k"}, {"c]]", "k"}, {"broken", "k"}}},
        {"[] and [ ]", "[s]\r\n[]\r\nk=1\r\n[ ]\r\nj=2\r\n[t]\r\n", {{"s", "k"}, {" ", "j"}, {"", "j"}}},
        {"before the first section", "k=0\r\n[broken\r\nj=1\r\n[s]\r\nk=2", {{"s", "k"}, {"s", "j"}}},
        {"empty file", "", kSk},
        {"blanks only", " \r\n\t\r\n", kSk},
        {"no sections", "k=v\r\nj=w", kSk},
        {"NUL in value, key and section", Raw("[s]\r\nk=a\0b\r\nj\0x=c\r\ni \0x=c\r\nh=\"d \0\"\r\n[t\0u]\r\nk=d\r\n[\0v]\r\nk=e\r\n[w \0x]\r\nk=f"),
         {{"s", "k"}, {"s", "j"}, {"s", "i"}, {"s", "h"}, {"t", "k"}, {"v", "k"}, {"w", "k"}}},
        {"long value", "[s]\r\nk=" + longValue + "\r\nj=\"" + longValue + "\"", {{"s", "k"}, {"s", "j"}}},
        {"value just at the limit", "[s]\r\nk=" + Repeat('v', 32766) + "\r\nj=\"" + Repeat('w', 32766) + "\"",
         {{"s", "k"}, {"s", "j"}}},
        {"values around the limit", [] {
             std::string text = "[s]\r\n";
             const size_t lengths[] = {32764, 32765, 32766, 32767, 32768};
             for (size_t i = 0; i < 5; ++i) {
                 text += std::string(1, static_cast<char>('a' + i)) + "=" + Repeat('u', lengths[i]) + "\r\n";
                 text += std::string(1, static_cast<char>('f' + i)) + "='" + Repeat('q', lengths[i]) + "'\r\n";
             }
             return text;
         }(),
         {{"s", "a"}, {"s", "b"}, {"s", "c"}, {"s", "d"}, {"s", "e"}, {"s", "f"}, {"s", "g"}, {"s", "h"}, {"s", "i"}, {"s", "j"}}},
        {"one section name over the list", "[" + Repeat('n', 40000) + "]\r\nk=v\r\n[b]", {{"b", "k"}}},
        {"the name list just full", "[" + half + "]\r\n[" + half + "]\r\n[b]", {}},
        {"the name list overflows", "[" + half + "]\r\n[" + half + "x]\r\n[b]\r\n[c]", {}},
        {"no room for a cut name", "[" + half + "]\r\n[" + half.substr(1) + "]\r\n[b]\r\n[c]", {}},
        {"many sections", [] {
             std::string text;
             for (int i = 1; i <= 3000; ++i)
                 text += "[S" + std::to_string(i) + "]\r\nID=" + std::to_string(i) + "\r\n";
             return text;
         }(),
         {{"S1", "ID"}, {"S2999", "ID"}}},
        // Code page 936 bytes: 配置1 / 备注 / 乚 (81 5D, whose second byte is ']').
        {"936 bytes", "[\xC5\xE4\xD6\xC3\x31]\r\n\xB1\xB8\xD7\xA2=\xC3\xBF\xC8\xD5\r\n[\xC5\xE4\xD6\xC3\x32]\r\n\xB1\xB8\xD7\xA2= \"\xA1\xA1x\xA1\xA1\" ",
         {{"\xC5\xE4\xD6\xC3\x31", "\xB1\xB8\xD7\xA2"}, {"\xC5\xE4\xD6\xC3\x32", "\xB1\xB8\xD7\xA2"}}},
        {"936 trail byte ']'", "[\x81]\r\nk=v\r\n[s]\r\nk=w", {{"\x81", "k"}, {"s", "k"}}},
        {"UTF-8 mark", "\xEF\xBB\xBF[s]\r\nk=v\r\n[t]\r\nk=\xC3\xA4", {{"s", "k"}, {"t", "k"}}},
        {"UTF-16LE mark", Utf16Le(L"[s]\r\nk=v\r\n[t]\r\nk=w"), {{"s", "k"}, {"t", "k"}}},
        {"UTF-16BE mark", Utf16Be(L"[s]\r\nk=v\r\n[t]\r\nk=w"), {{"s", "k"}, {"t", "k"}}},
    };
}

// Wide-only cases: characters no single-byte code page holds, compared through the -W calls.
struct WideCase {
    const char* what;
    std::string bytes;
    std::vector<std::pair<std::wstring, std::wstring>> queries;
};

std::vector<WideCase> WideCorpus()
{
    return {
        {"ideographic space (UTF-8)", "\xEF\xBB\xBF[\xE9\x85\x8D\xE7\xBD\xAE" "1]\r\nk=\xE3\x80\x80v\xE3\x80\x80\r\n\xE3\x80\x80j=w",
         {{L"配置1", L"k"}, {L"配置1", L"j"}, {L"配置1", L"\x3000j"}}},
        {"Chinese names (UTF-16LE)", Utf16Le(L"[配置1]\r\n备注 = '每日' \r\n[配置2]\r\n路径=C:\\目录"),
         {{L"配置1", L"备注"}, {L"配置2", L"路径"}, {L"配置3", L"路径"}}},
        {"non-ASCII case (UTF-8)", "\xEF\xBB\xBF[\xC3\x84]\r\n\xC3\xA4=1\r\nk=2",
         {{L"\xE4", L"\xE4"}, {L"\xC4", L"\xC4"}, {L"\xC4", L"\xE4"}}},
    };
}

// Long values would flood the log: their length and ends tell enough.
std::string Summary(const std::string& value)
{
    if (value.size() <= 40)
        return "\"" + value + "\"";
    return std::to_string(value.size()) + " bytes \"" + value.substr(0, 8) + "..." + value.substr(value.size() - 8) + "\"";
}

template <typename Char>
size_t CountPieces(const Char* buffer, size_t length)
{
    size_t count = 0;
    size_t pieceLength = 0;
    for (size_t i = 0; i < length; ++i) {
        if (buffer[i] == 0) {
            ++count;
            pieceLength = 0;
        } else {
            ++pieceLength;
        }
    }
    return count + (pieceLength > 0 ? 1 : 0);
}

class PlatformReader : public ::testing::Test {
protected:
    void SetUp() override
    {
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        directory_ = std::string(temp) + "qf-ini-compare-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(directory_.c_str(), nullptr);
    }
    void TearDown() override
    {
        for (const std::string& file : files_)
            DeleteFileA(file.c_str());
        RemoveDirectoryA(directory_.c_str());
    }

    // A fresh name per file, so no cached copy of an earlier file can answer.
    std::string Write(const std::string& bytes)
    {
        const std::string path = directory_ + "\\case" + std::to_string(files_.size()) + ".ini";
        files_.push_back(path);
        std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    std::string directory_;
    std::vector<std::string> files_;
};

TEST_F(PlatformReader, SameCountsAndValuesAsTheAnsiFunctions)
{
    const unsigned acp = GetACP();
    std::vector<char> buffer(kIniSectionListBuffer);
    for (const CorpusFile& c : Corpus()) {
        const std::string path = Write(c.bytes);
        const IniDocument ours = IniDocument::Parse(DecodeProfileBytes(c.bytes, acp));

        std::fill(buffer.begin(), buffer.end(), '\0');
        const DWORD listed = GetPrivateProfileSectionNamesA(buffer.data(), kIniSectionListBuffer, path.c_str());
        EXPECT_EQ(ours.CountSections(), CountPieces(buffer.data(), listed)) << c.what << " (code page " << acp << ")";

        for (const Query& q : c.queries) {
            const DWORD length = GetPrivateProfileStringA(q.section.c_str(), q.key.c_str(), nullptr, buffer.data(),
                                                          kIniSectionListBuffer, path.c_str());
            const std::string platform(buffer.data(), length);
            const std::wstring value = ours.ReadValue(WideFromBytes(q.section, acp), WideFromBytes(q.key, acp));
            const std::string mine = BytesFromWide(value, acp);
            EXPECT_TRUE(mine == platform) << c.what << ": [" << q.section.substr(0, 20) << "] " << q.key
                                          << " (code page " << acp << "): ours " << Summary(mine) << ", platform "
                                          << Summary(platform);
        }
    }
}

TEST_F(PlatformReader, SameValuesAsTheWideFunctions)
{
    std::vector<wchar_t> buffer(kIniSectionListBuffer);
    for (const WideCase& c : WideCorpus()) {
        const std::string path = Write(c.bytes);
        const std::wstring widePath = WideFromBytes(path, CP_ACP);
        const IniDocument ours = IniDocument::Parse(DecodeProfileBytes(c.bytes, GetACP()));

        std::fill(buffer.begin(), buffer.end(), L'\0');
        const DWORD listed = GetPrivateProfileSectionNamesW(buffer.data(), kIniSectionListBuffer, widePath.c_str());
        EXPECT_EQ(ours.CountSections(), CountPieces(buffer.data(), listed)) << c.what;
        for (const auto& [section, key] : c.queries) {
            const DWORD length = GetPrivateProfileStringW(section.c_str(), key.c_str(), nullptr, buffer.data(),
                                                          kIniSectionListBuffer, widePath.c_str());
            EXPECT_EQ(ours.ReadValue(section, key), std::wstring(buffer.data(), length))
                << c.what << ": " << BytesFromWide(section + L" / " + key, CP_UTF8);
        }
    }
}

}  // namespace
}  // namespace qf
