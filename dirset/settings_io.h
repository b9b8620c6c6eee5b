#pragma once
// The settings file's bytes: how its text is encoded, and how a new file replaces the old
// one without ever leaving a half-written file behind.
#include <string>
#include <string_view>
#include <vector>

#include "dirset/settings_layout.h"

namespace qf {

// A file larger than this is no settings file; it is read as empty.
constexpr size_t kSettingsFileLimit = 16u << 20;

// A file with a UTF-8 or UTF-16 byte-order mark is read in that encoding, any other as code
// page 936.
std::wstring DecodeSettingsBytes(std::string_view bytes);
// The same with another code page for files without a mark.
std::wstring DecodeProfileBytes(std::string_view bytes, unsigned ansiCodePage);

// Code page 936, unless some character has no form there: then UTF-8 with a byte-order mark,
// so nothing is turned into '?'.
std::string EncodeSettingsText(std::wstring_view text);

// The \\?\ form of a long absolute path, which the file functions accept beyond MAX_PATH.
std::wstring ExtendedLengthPath(const std::wstring& path);

// The whole file; false when it does not exist, cannot be read or is over the limit.
bool ReadFileBytes(const std::wstring& path, std::string& bytes);

// Writes `bytes` to a temporary file beside `path`, then puts it in place of `path` in one
// step. False (and `path` untouched, no temporary file left) when any step fails.
bool ReplaceFileContents(const std::wstring& path, std::string_view bytes);

// The save of a list: the rendered rows replace the file; no rows remove it. False when the
// file could not be written or removed.
bool WriteSettingsRows(const std::wstring& path, const std::vector<SettingsRow>& rows);

}  // namespace qf
