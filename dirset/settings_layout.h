#pragma once
// The settings file's layout, as plain text: one section "配置N" per directory-list row with
// the keys ID, 目录类型, 路径 and 备注, in that order.
#include <cstddef>
#include <string>
#include <vector>

#include "dirset/ini_text.h"

namespace qf {

// The four cells of one list row, as they are shown and stored.
struct SettingsRow {
    std::wstring id;
    std::wstring kind;
    std::wstring path;
    std::wstring remark;

    bool operator==(const SettingsRow& other) const
    {
        return id == other.id && kind == other.kind && path == other.path && remark == other.remark;
    }
};

// "配置" + the 1-based row number.
std::wstring SettingsSectionName(size_t rowIndex);

// The whole file text: sections in row order, CRLF line ends, "key=" for an empty cell, no
// quoting. Line breaks and NULs inside a cell become spaces, so a cell can never start a
// line of its own.
std::wstring RenderSettingsText(const std::vector<SettingsRow>& rows);

// The rows a load gives: sections 配置1 .. 配置n by number, n the section count, at most
// `maxRows`. A numbered section that is missing gives a row of empty cells.
std::vector<SettingsRow> RowsFromDocument(const IniDocument& doc, size_t maxRows);

}  // namespace qf
