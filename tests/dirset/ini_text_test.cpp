#include "dirset/ini_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dirset/settings_layout.h"

namespace qf {
namespace {

struct LookupCase {
    const wchar_t* what;
    std::wstring text;
    const wchar_t* section;
    const wchar_t* key;
    std::wstring expected;
};

TEST(IniText, LookupsFollowThePlatformReader)
{
    const std::vector<LookupCase> cases = {
        {L"plain", L"[s]\r\nk=v\r\n", L"s", L"k", L"v"},
        {L"LF only", L"[s]\nk=v\n", L"s", L"k", L"v"},
        {L"lone CR", L"[s]\rk=v\rj=w", L"s", L"j", L"w"},
        {L"no final line end", L"[s]\r\nk=v", L"s", L"k", L"v"},
        {L"blank lines", L"\r\n\r\n[s]\r\n\r\n\r\nk=v\r\n\r\n", L"s", L"k", L"v"},
        {L"blanks around name and value", L"[s]\r\n \t k \t = \t v w \t \r\n", L"s", L"k", L"v w"},
        {L"blanks around the header", L"  [s]  \r\nk=v", L"s", L"k", L"v"},
        {L"blanks inside the brackets", L"[ \ts ]\r\nk=v", L"s", L"k", L"v"},
        {L"^Z is a blank", L"[s]\r\nk=v\x1a\r\n", L"s", L"k", L"v"},
        {L"ideographic space is kept", L"[s]\r\nk=\x3000v\x3000", L"s", L"k", L"\x3000v\x3000"},
        {L"requested names are trimmed", L"[s]\r\nk=v", L" s ", L"\tk ", L"v"},
        {L"section case", L"[SeC]\r\nk=v", L"sEc", L"k", L"v"},
        {L"key case", L"[s]\r\nKeY=v", L"s", L"kEy", L"v"},
        {L"only ASCII folds", L"[s]\r\n\xC4=v", L"s", L"\xE4", L""},
        {L"first duplicate key wins", L"[s]\r\nk=1\r\nk=2", L"s", L"k", L"1"},
        {L"first duplicate section wins", L"[s]\r\nj=1\r\n[s]\r\nk=2", L"s", L"k", L""},
        {L"double quotes", L"[s]\r\nk=\"  v  \"", L"s", L"k", L"  v  "},
        {L"single quotes", L"[s]\r\nk='v'", L"s", L"k", L"v"},
        {L"only one pair", L"[s]\r\nk=\"\"v\"\"", L"s", L"k", L"\"v\""},
        {L"empty quotes", L"[s]\r\nk=\"\"", L"s", L"k", L""},
        {L"lone quote", L"[s]\r\nk=\"", L"s", L"k", L"\""},
        {L"quote on one side", L"[s]\r\nk=\"v", L"s", L"k", L"\"v"},
        {L"mixed quotes", L"[s]\r\nk=\"v'", L"s", L"k", L"\"v'"},
        {L"empty value", L"[s]\r\nk=\r\n", L"s", L"k", L""},
        {L"value holds '='", L"[s]\r\nk=a=b", L"s", L"k", L"a=b"},
        {L"trailing ';' text stays", L"[s]\r\nk=v ; x", L"s", L"k", L"v ; x"},
        {L"comment line", L"[s]\r\n;k=1\r\nk=2", L"s", L"k", L"2"},
        {L"'#' is no comment", L"[s]\r\n#k=1", L"s", L"#k", L"1"},
        {L"line without '=' hides the key", L"[s]\r\nk\r\nk=v", L"s", L"k", L""},
        {L"[broken belongs to the section before", L"[s]\r\n[t\r\nk=v", L"s", L"k", L"v"},
        {L"[x]junk is section x", L"[x]junk\r\nk=v", L"x", L"k", L"v"},
        {L"last bracket closes", L"[a]b]\r\nk=v", L"a]b", L"k", L"v"},
        {L"[] starts a section of no name", L"[s]\r\n[]\r\nk=v", L"s", L"k", L""},
        {L"lines before the first section", L"k=v\r\n[s]\r\n", L"s", L"k", L""},
        {L"missing section", L"[s]\r\nk=v", L"t", L"k", L""},
        {L"missing key", L"[s]\r\nk=v", L"s", L"j", L""},
        {L"NUL ends a value", std::wstring(L"[s]\r\nk=ab\0cd", 13), L"s", L"k", L"ab"},
        {L"NUL ends a key name", std::wstring(L"[s]\r\nk\0x=v", 11), L"s", L"k", L"v"},
        {L"NUL ends a section name", std::wstring(L"[s\0x]\r\nk=v", 11), L"s", L"k", L"v"},
        {L"Chinese names", L"[配置1]\r\n备注=每日备份", L"配置1", L"备注", L"每日备份"},
    };
    for (const LookupCase& c : cases) {
        const IniDocument doc = IniDocument::Parse(c.text);
        EXPECT_EQ(doc.ReadValue(c.section, c.key), c.expected) << c.what;
    }
}

TEST(IniText, LongValuesAreCutAfterTheQuotesGo)
{
    const std::wstring longText(40000, L'x');
    EXPECT_EQ(IniDocument::Parse(L"[s]\nk=" + longText).ReadValue(L"s", L"k"),
              std::wstring(kIniValueLimit, L'x'));
    // Quoted: cut first, then the closing quote's place dropped.
    const auto quoted = [](size_t length) {
        const std::wstring text = L"[s]\nk=\"" + std::wstring(length, L'y') + L"\"";
        return IniDocument::Parse(text).ReadValue(L"s", L"k").size();
    };
    EXPECT_EQ(quoted(kIniValueLimit - 1), kIniValueLimit - 1);
    EXPECT_EQ(quoted(kIniValueLimit), kIniValueLimit - 1);
    EXPECT_EQ(quoted(kIniValueLimit + 1), kIniValueLimit);
    EXPECT_EQ(quoted(40000), kIniValueLimit);
}

TEST(IniText, DefaultsLoseTrailingSpacesAndQuotes)
{
    const IniDocument doc = IniDocument::Parse(L"[s]\r\nk\r\n");
    EXPECT_EQ(doc.ReadValue(L"s", L"k", L"d  "), L"d");
    EXPECT_EQ(doc.ReadValue(L"s", L"j", L"'d'"), L"d");
    EXPECT_EQ(doc.ReadValue(L"t", L"k", L" d"), L" d");
}

struct CountCase {
    const wchar_t* what;
    std::wstring text;
    size_t expected;
};

TEST(IniText, CountSectionsAsTheNameListGivesIt)
{
    const std::wstring half(16382, L'n');  // two of these with their NULs fill the list
    const std::vector<CountCase> cases = {
        {L"empty", L"", 0},
        {L"no header", L"k=v\r\n", 0},
        {L"one", L"[a]", 1},
        {L"duplicates listed apart", L"[a]\n[A]\n[a]", 3},
        {L"[] not listed", L"[a]\n[]\n[b]", 2},
        {L"[broken not a section", L"[a]\n[b\n", 1},
        {L"[ ] has no name either", L"[ ]\n[\t]", 0},
        {L"NUL first is no name", std::wstring(L"[\0a]", 4), 0},
        {L"one name over the list", L"[" + std::wstring(40000, L'n') + L"]\n[b]", 1},
        {L"the list just full", L"[" + half + L"]\n[" + half + L"]\n[b]", 2},
        {L"the cut name counts", L"[" + half + L"]\n[" + half + L"x]\n[b]", 2},
        {L"no room left for a cut", L"[" + half + L"]\n[" + half.substr(1) + L"]\n[b]\n[c]", 2},
    };
    for (const CountCase& c : cases)
        EXPECT_EQ(IniDocument::Parse(c.text).CountSections(), c.expected) << c.what;
}

TEST(IniText, EncodingMarks)
{
    EXPECT_EQ(DetectEncoding("\xEF\xBB\xBF[a]").encoding, TextEncoding::Utf8);
    EXPECT_EQ(DetectEncoding("\xEF\xBB\xBF[a]").markLength, 3u);
    EXPECT_EQ(DetectEncoding("\xFF\xFE[\0").encoding, TextEncoding::Utf16Le);
    EXPECT_EQ(DetectEncoding("\xFE\xFF\0[").encoding, TextEncoding::Utf16Be);
    EXPECT_EQ(DetectEncoding("\xEF\xBB").encoding, TextEncoding::Ansi);
    EXPECT_EQ(DetectEncoding("").encoding, TextEncoding::Ansi);
    EXPECT_EQ(DetectEncoding("[a]").markLength, 0u);

    EXPECT_EQ(WideFromUtf16Bytes(std::string("[\0\x4D\x91", 4), false), L"[\x914D");
    EXPECT_EQ(WideFromUtf16Bytes(std::string("\0[\x91\x4D\x20", 5), true), L"[\x914D");
}

TEST(SettingsLayout, RendersOneSectionPerRowWithCrLf)
{
    const std::vector<SettingsRow> rows = {
        {L"1", L"目标目录", L"D:\\Work", L""},
        {L"2", L"源目录", L"E:\\Docs", L"daily copy"},
    };
    EXPECT_EQ(RenderSettingsText(rows),
              L"[配置1]\r\nID=1\r\n目录类型=目标目录\r\n路径=D:\\Work\r\n备注=\r\n"
              L"[配置2]\r\nID=2\r\n目录类型=源目录\r\n路径=E:\\Docs\r\n备注=daily copy\r\n");
    EXPECT_EQ(RenderSettingsText({}), L"");
    // A line break in a cell must not make a line (or a section) of its own.
    const std::wstring text = RenderSettingsText({{L"1", L"目标目录", L"C:\\a", L"x\r\n[配置2]\nID=9"}});
    EXPECT_EQ(IniDocument::Parse(text).CountSections(), 1u);
    EXPECT_EQ(IniDocument::Parse(text).ReadValue(L"配置1", L"备注"), L"x  [配置2] ID=9");
}

TEST(SettingsLayout, RowsComeBySectionNumber)
{
    struct Case {
        const wchar_t* what;
        std::wstring text;
        std::vector<SettingsRow> expected;
    };
    const std::vector<Case> cases = {
        {L"empty file", L"", {}},
        {L"two rows in order",
         L"[配置2]\r\nID=2\r\n目录类型=源目录\r\n路径=E:\\\r\n[配置1]\r\nID=1\r\n目录类型=目标目录\r\n路径=D:\\\r\n备注=r",
         {{L"1", L"目标目录", L"D:\\", L"r"}, {L"2", L"源目录", L"E:\\", L""}}},
        {L"foreign section gives an empty row",
         L"[配置1]\r\nID=1\r\n[其他]\r\nID=5\r\n",
         {{L"1", L"", L"", L""}, {}}},
        {L"a gap gives an empty row and the last is not read",
         L"[配置1]\r\nID=1\r\n[配置3]\r\nID=3\r\n",
         {{L"1", L"", L"", L""}, {}}},
        {L"kind and ID as stored",
         L"[配置1]\r\nID=7\r\n目录类型=源目录\r\n[配置2]\r\nID=x\r\n目录类型=?",
         {{L"7", L"源目录", L"", L""}, {L"x", L"?", L"", L""}}},
        {L"blanks and quotes go",
         L"[配置1]\r\n备注 =  \"  a  \"  \r\n路径='C:\\x'",
         {{L"", L"", L"C:\\x", L"  a  "}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RowsFromDocument(IniDocument::Parse(c.text), 6), c.expected) << c.what;
}

TEST(SettingsLayout, NoMoreRowsThanTheListHolds)
{
    std::wstring text;
    for (int i = 1; i <= 9; ++i)
        text += L"[配置" + std::to_wstring(i) + L"]\r\nID=" + std::to_wstring(i) + L"\r\n";
    const std::vector<SettingsRow> rows = RowsFromDocument(IniDocument::Parse(text), 6);
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[5].id, L"6");
    EXPECT_EQ(RowsFromDocument(IniDocument::Parse(text), 100).size(), 9u);
}

TEST(SettingsLayout, RenderedRowsReadBackAsTheyWere)
{
    std::vector<SettingsRow> rows;
    for (int i = 0; i < 6; ++i)
        rows.push_back({std::to_wstring(i + 1), i == 0 ? L"目标目录" : L"源目录",
                        L"C:\\目录 " + std::to_wstring(i), i % 2 ? L"" : L"备注 " + std::to_wstring(i)});
    EXPECT_EQ(RowsFromDocument(IniDocument::Parse(RenderSettingsText(rows)), 6), rows);
}

}  // namespace
}  // namespace qf
