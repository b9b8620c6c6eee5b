#pragma once
// INI text as the platform's private-profile reader sees it, in plain C++ (no Win32), so the
// settings file can be read the same way whatever writes it:
//
//   IniDocument doc = IniDocument::Parse(text);
//   size_t n = doc.CountSections();
//   std::wstring id = doc.ReadValue(L"配置1", L"ID");
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qf {

// The longest value text a lookup returns; longer values are cut to this many characters.
constexpr size_t kIniValueLimit = 32766;
// The character buffer the section-name list is made in (names with their NULs).
constexpr size_t kIniSectionListBuffer = 32767;

struct IniKey {
    std::wstring name;
    std::wstring value;
    bool hasValue = false;  // false for a line without '=': it hides later keys of its name
};

struct IniSection {
    std::wstring name;  // may be empty ("[]", "[ ]"): then listed nowhere and found by no lookup
    std::vector<IniKey> keys;
};

class IniDocument {
public:
    static IniDocument Parse(std::wstring_view text);

    // The number of names the platform's section-name list (in a buffer of
    // kIniSectionListBuffer characters) would give: unnamed sections are not listed, and a
    // list that overflows the buffer ends with the name it cuts.
    size_t CountSections() const;

    // The value of the first key `key` in the first section `section` (names compared
    // without regard to ASCII case, blanks around the requested names ignored); without it,
    // `defaultText` less its trailing spaces. One pair of enclosing quotes is removed and
    // the result cut to kIniValueLimit characters (a quoted value of just that length loses
    // its last character too, as with the platform's reader).
    std::wstring ReadValue(std::wstring_view section, std::wstring_view key,
                           std::wstring_view defaultText = {}) const;

    const std::vector<IniSection>& Sections() const { return sections_; }

private:
    std::vector<IniSection> sections_;
};

// Blanks as the reader trims them: tab, line feed, vertical tab, form feed, carriage return,
// space and ^Z.
bool IsIniBlank(wchar_t c);

// Same text, ASCII letters compared without regard to case.
bool EqualsIgnoringAsciiCase(std::wstring_view a, std::wstring_view b);

// Byte-order marks that decide how a file's bytes are read.
enum class TextEncoding { Ansi, Utf8, Utf16Le, Utf16Be };
struct DetectedEncoding {
    TextEncoding encoding;
    size_t markLength;  // bytes of the mark to skip
};
DetectedEncoding DetectEncoding(std::string_view bytes);

// UTF-16 bytes (after the mark) to text; an odd last byte is dropped.
std::wstring WideFromUtf16Bytes(std::string_view bytes, bool bigEndian);

}  // namespace qf
