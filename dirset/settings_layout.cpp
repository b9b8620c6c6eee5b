#include "dirset/settings_layout.h"

#include <algorithm>

namespace qf {
namespace {

constexpr wchar_t kKeyId[] = L"ID";
constexpr wchar_t kKeyKind[] = L"目录类型";
constexpr wchar_t kKeyPath[] = L"路径";
constexpr wchar_t kKeyRemark[] = L"备注";

void AppendKey(std::wstring& text, const wchar_t* key, const std::wstring& value)
{
    text += key;
    text += L'=';
    const size_t start = text.size();
    text += value;
    std::replace_if(
        text.begin() + static_cast<std::ptrdiff_t>(start), text.end(),
        [](wchar_t c) { return c == L'\r' || c == L'\n' || c == L'\0'; }, L' ');
    text += L"\r\n";
}

}  // namespace

std::wstring SettingsSectionName(size_t rowIndex)
{
    return L"配置" + std::to_wstring(rowIndex + 1);
}

std::wstring RenderSettingsText(const std::vector<SettingsRow>& rows)
{
    std::wstring text;
    for (size_t i = 0; i < rows.size(); ++i) {
        text += L'[';
        text += SettingsSectionName(i);
        text += L"]\r\n";
        AppendKey(text, kKeyId, rows[i].id);
        AppendKey(text, kKeyKind, rows[i].kind);
        AppendKey(text, kKeyPath, rows[i].path);
        AppendKey(text, kKeyRemark, rows[i].remark);
    }
    return text;
}

std::vector<SettingsRow> RowsFromDocument(const IniDocument& doc, size_t maxRows)
{
    const size_t count = std::min(doc.CountSections(), maxRows);
    std::vector<SettingsRow> rows;
    rows.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const std::wstring section = SettingsSectionName(i);
        rows.push_back(SettingsRow{doc.ReadValue(section, kKeyId), doc.ReadValue(section, kKeyKind),
                                   doc.ReadValue(section, kKeyPath), doc.ReadValue(section, kKeyRemark)});
    }
    return rows;
}

}  // namespace qf
