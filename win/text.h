#pragma once
// Conversions between the UTF-16 text used inside the program and byte encodings at its
// edges. The code page is always named by the caller, never taken from the system.
#include <string>
#include <string_view>

namespace qf {

// Bytes in `codePage` to UTF-16. Invalid sequences become U+FFFD (the platform's choice).
std::wstring WideFromBytes(std::string_view bytes, unsigned codePage);

// UTF-16 to bytes in `codePage`. When a character has no form in that code page it is
// written as the code page's default character and *lossy is set (if given).
std::string BytesFromWide(std::wstring_view text, unsigned codePage, bool* lossy = nullptr);

constexpr unsigned kCodePageGbk = 936;
constexpr unsigned kCodePageUtf8 = 65001;

}  // namespace qf
