#include "dirset/ini_text.h"

#include <algorithm>

namespace qf {
namespace {

bool IsLineBreak(wchar_t c)
{
    return c == L'\r' || c == L'\n';
}

std::wstring_view TrimIniBlanks(std::wstring_view text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsIniBlank(text[begin]))
        ++begin;
    while (end > begin && IsIniBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

// The reader keeps names and values as C strings: whatever follows a NUL is lost.
std::wstring UpToNul(std::wstring_view text)
{
    return std::wstring(text.substr(0, text.find(L'\0')));
}

wchar_t AsciiLower(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

// One pair of matching quotes goes; a lone or unmatched quote stays. The copy is cut to the
// limit before the closing quote is dropped, which costs a value that just fits (with its
// quotes) its last character, as it does the platform's reader.
std::wstring CopyEntry(std::wstring_view value)
{
    const bool quoted = value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') &&
                        value.back() == value.front();
    if (!quoted)
        return std::wstring(value.substr(0, kIniValueLimit));
    value.remove_prefix(1);
    std::wstring copy(value.substr(0, kIniValueLimit));
    if (value.size() <= kIniValueLimit + 1)
        copy.pop_back();
    return copy;
}

void AddLine(std::wstring_view line, std::vector<IniSection>& sections)
{
    if (line.front() == L'[') {
        const size_t close = line.rfind(L']');
        if (close != std::wstring_view::npos) {
            sections.push_back(IniSection{UpToNul(TrimIniBlanks(line.substr(1, close - 1))), {}});
            return;
        }
        // "[broken" without its bracket is an ordinary line of the section it stands in.
    }
    // Lines before the first header belong to no section.
    if (sections.empty() || line.front() == L';')
        return;
    IniKey key;
    const size_t equals = line.find(L'=');
    if (equals == std::wstring_view::npos) {
        key.name = UpToNul(line);
    } else {
        key.name = UpToNul(TrimIniBlanks(line.substr(0, equals)));
        key.value = UpToNul(TrimIniBlanks(line.substr(equals + 1)));
        key.hasValue = true;
    }
    if (!key.name.empty())
        sections.back().keys.push_back(std::move(key));
}

}  // namespace

bool IsIniBlank(wchar_t c)
{
    return (c >= 0x09 && c <= 0x0D) || c == 0x1A || c == 0x20;
}

bool EqualsIgnoringAsciiCase(std::wstring_view a, std::wstring_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](wchar_t x, wchar_t y) { return AsciiLower(x) == AsciiLower(y); });
}

IniDocument IniDocument::Parse(std::wstring_view text)
{
    IniDocument doc;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t start = pos;
        while (pos < text.size() && !IsLineBreak(text[pos]))
            ++pos;
        const std::wstring_view line = TrimIniBlanks(text.substr(start, pos - start));
        // Any run of CR and LF ends a line, so lone CRs and blank lines need no case of their own.
        while (pos < text.size() && IsLineBreak(text[pos]))
            ++pos;
        if (!line.empty())
            AddLine(line, doc.sections_);
    }
    return doc;
}

size_t IniDocument::CountSections() const
{
    size_t room = kIniSectionListBuffer - 1;  // one character stays for the list's final NUL
    size_t count = 0;
    for (const IniSection& section : sections_) {
        if (section.name.empty())
            continue;
        const size_t needed = section.name.size() + 1;
        if (needed >= room)
            return count + (room > 1 ? 1 : 0);  // the cut name still counts when not empty
        room -= needed;
        ++count;
    }
    return count;
}

std::wstring IniDocument::ReadValue(std::wstring_view section, std::wstring_view key,
                                    std::wstring_view defaultText) const
{
    const std::wstring_view sectionName = TrimIniBlanks(section);
    const std::wstring_view keyName = TrimIniBlanks(key);
    auto found = std::find_if(sections_.begin(), sections_.end(), [&](const IniSection& s) {
        return !s.name.empty() && EqualsIgnoringAsciiCase(s.name, sectionName);
    });
    if (found != sections_.end()) {
        // Only the first section of a name is looked at, and in it only the first key.
        for (const IniKey& k : found->keys) {
            if (EqualsIgnoringAsciiCase(k.name, keyName)) {
                if (k.hasValue)
                    return CopyEntry(k.value);
                break;
            }
        }
    }
    while (!defaultText.empty() && defaultText.back() == L' ')
        defaultText.remove_suffix(1);
    return CopyEntry(defaultText);
}

DetectedEncoding DetectEncoding(std::string_view bytes)
{
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF")
        return {TextEncoding::Utf8, 3};
    if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFF\xFE")
        return {TextEncoding::Utf16Le, 2};
    if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFE\xFF")
        return {TextEncoding::Utf16Be, 2};
    return {TextEncoding::Ansi, 0};
}

std::wstring WideFromUtf16Bytes(std::string_view bytes, bool bigEndian)
{
    std::wstring text(bytes.size() / 2, L'\0');
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned first = static_cast<unsigned char>(bytes[2 * i]);
        const unsigned second = static_cast<unsigned char>(bytes[2 * i + 1]);
        text[i] = static_cast<wchar_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
    }
    return text;
}

}  // namespace qf
