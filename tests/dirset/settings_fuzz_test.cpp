// Bad settings files: random and mutated bytes through the decoding, the reader and the row
// extraction. Nothing may crash or hang, and what comes out keeps the reader's limits.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "dirset/ini_text.h"
#include "dirset/settings_io.h"
#include "dirset/settings_layout.h"
#include "dirset/settings_reader.h"

namespace qf {
namespace {

constexpr size_t kMaxRows = 6;

// A literal with NULs inside, whole.
template <size_t N>
std::string Raw(const char (&text)[N])
{
    return std::string(text, N - 1);
}

// A small generator of our own, so every toolchain sees the same inputs.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t Next()
    {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    size_t Below(size_t n) { return n == 0 ? 0 : static_cast<size_t>(Next() % n); }

    // Bytes that matter to the reader come often; any byte may come.
    char Byte()
    {
        static const char kSpecial[] = "[]=;\"' \t\r\n\x1a\0\xEF\xBB\xBF\xFF\xFE\x81\xC5\xE4\xD6\xC3" "1ID";
        if (Below(3) == 0)
            return static_cast<char>(Next());
        return kSpecial[Below(sizeof(kSpecial) - 1)];
    }

private:
    uint64_t state_;
};

std::string ValidFile()
{
    std::vector<SettingsRow> rows = {{L"1", L"目标目录", L"D:\\备份", L"每日"}};
    for (int i = 2; i <= 6; ++i)
        rows.push_back({std::to_wstring(i), L"源目录", L"E:\\源" + std::to_wstring(i), L" \"x\" "});
    return EncodeSettingsText(RenderSettingsText(rows));
}

std::string Mutate(std::string bytes, Random& random)
{
    const size_t edits = 1 + random.Below(8);
    for (size_t e = 0; e < edits; ++e) {
        const size_t at = random.Below(bytes.size() + 1);
        switch (random.Below(6)) {
        case 0:  // flip a bit
            if (at < bytes.size())
                bytes[at] = static_cast<char>(bytes[at] ^ (1 << random.Below(8)));
            break;
        case 1:  // insert bytes
            for (size_t n = random.Below(16); n > 0; --n)
                bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at), random.Byte());
            break;
        case 2:  // delete a run
            bytes.erase(at, random.Below(32));
            break;
        case 3:  // copy a run elsewhere
            if (!bytes.empty()) {
                const size_t from = random.Below(bytes.size());
                bytes.insert(at, bytes.substr(from, random.Below(64)));
            }
            break;
        case 4:  // cut the end off
            bytes.resize(at);
            break;
        default:  // a mark in front
            bytes.insert(0, random.Below(2) ? "\xEF\xBB\xBF" : (random.Below(2) ? "\xFF\xFE" : "\xFE\xFF"));
            break;
        }
    }
    return bytes;
}

// What any file must give: at most six rows, one per counted section, values within the
// limit; and rows saved again read back as the same number of sections.
void Check(const std::string& bytes, const char* kind, size_t index)
{
    const IniDocument doc = IniDocument::Parse(DecodeSettingsBytes(bytes));
    const size_t count = doc.CountSections();
    ASSERT_LE(count, doc.Sections().size()) << kind << " #" << index;
    const std::vector<SettingsRow> rows = RowsFromDocument(doc, kMaxRows);
    ASSERT_EQ(rows.size(), std::min(count, kMaxRows)) << kind << " #" << index;
    for (const SettingsRow& row : rows)
        for (const std::wstring* cell : {&row.id, &row.kind, &row.path, &row.remark})
            ASSERT_LE(cell->size(), kIniValueLimit) << kind << " #" << index;
    const IniDocument again = IniDocument::Parse(DecodeSettingsBytes(EncodeSettingsText(RenderSettingsText(rows))));
    ASSERT_EQ(again.CountSections(), rows.size()) << kind << " #" << index << ": a saved cell made a section";
}

TEST(SettingsFuzz, RandomBytes)
{
    Random random(20240601);
    for (size_t i = 0; i < 3000; ++i) {
        std::string bytes(random.Below(2048), '\0');
        for (char& c : bytes)
            c = random.Byte();
        Check(bytes, "random", i);
        if (HasFatalFailure())
            return;
    }
}

TEST(SettingsFuzz, MutatedFiles)
{
    Random random(7);
    const std::string valid = ValidFile();
    ASSERT_EQ(RowsFromDocument(IniDocument::Parse(DecodeSettingsBytes(valid)), kMaxRows).size(), 6u);
    std::string current = valid;
    for (size_t i = 0; i < 3000; ++i) {
        // Mostly fresh mutations of the valid file, sometimes a mutation of the last one.
        current = Mutate(random.Below(4) == 0 ? current : valid, random);
        if (current.size() > 65536)
            current = valid;
        Check(current, "mutated", i);
        if (HasFatalFailure())
            return;
    }
}

TEST(SettingsFuzz, HugeAndOddFiles)
{
    std::string manySections;
    for (int i = 1; i <= 100000; ++i)
        manySections += "[\xC5\xE4\xD6\xC3" + std::to_string(i) + "]\r\nID=" + std::to_string(i) + "\r\n";
    std::string manyForeign;
    for (int i = 1; i <= 100000; ++i)
        manyForeign += "[x" + std::to_string(i) + "]\n";

    const std::vector<std::pair<const char*, std::string>> files = {
        {"100,000 sections", manySections},
        {"100,000 foreign sections", manyForeign},
        {"one huge line", "[s]\r\nk=" + std::string(4 << 20, 'v')},
        {"a huge section name", "[" + std::string(1 << 20, 'n') + "]\r\nID=1"},
        {"huge line of brackets", std::string(1 << 20, '[')},
        {"no final newline", "[\xC5\xE4\xD6\xC3" "1]\r\nID=1"},
        {"NULs only", std::string(100000, '\0')},
        {"NULs between", Raw("[\xC5\xE4\xD6\xC3" "1]\0\r\nID\0=\0" "1\0")},
        {"lone CRs", "[\xC5\xE4\xD6\xC3" "1]\rID=1\r\r\r[\xC5\xE4\xD6\xC3" "2]\rID=2"},
        {"CRs only", std::string(100000, '\r')},
        {"UTF-8 mark and bad UTF-8", "\xEF\xBB\xBF[\xC0\x80]\r\nID=\xFF\xFE\xED\xA0\x80"},
        {"UTF-16 odd length", Raw("\xFF\xFE[\0a\0]\0\n")},
        {"UTF-16 lone surrogates", Raw("\xFF\xFE[\0\x00\xD8]\0\n\0k\0=\0\x00\xDC")},
        {"a cut 936 character", "[\xC5\xE4\xD6"},
    };
    for (size_t i = 0; i < files.size(); ++i) {
        Check(files[i].second, files[i].first, i);
        if (HasFatalFailure())
            return;
    }
    const std::vector<SettingsRow> rows = RowsFromDocument(IniDocument::Parse(DecodeSettingsBytes(manySections)), kMaxRows);
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[5].id, L"6");
}

TEST(SettingsFuzz, AHugeFileOnDisk)
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring path = std::wstring(temp) + L"qf-fuzz-" + std::to_wstring(GetCurrentProcessId()) + L".ini";
    std::string bytes;
    for (int i = 1; i <= 100000; ++i)
        bytes += "[\xC5\xE4\xD6\xC3" + std::to_string(i) + "]\r\n\xB1\xB8\xD7\xA2=" + std::string(20, 'r') + "\r\n";
    ASSERT_TRUE(ReplaceFileContents(path, bytes));
    const IniDocument doc = ProfileReader().Open(path);
    DeleteFileW(path.c_str());
    EXPECT_EQ(doc.Sections().size(), 100000u);
    const std::vector<SettingsRow> rows = RowsFromDocument(doc, kMaxRows);
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[0].remark, std::wstring(20, L'r'));
}

}  // namespace
}  // namespace qf
