#include "win/text.h"

#include <windows.h>

namespace qf {

std::wstring WideFromBytes(std::string_view bytes, unsigned codePage)
{
    if (bytes.empty())
        return {};
    const int size = static_cast<int>(bytes.size());
    const int length = MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
    if (length <= 0)
        return {};
    std::wstring text(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), size, text.data(), length);
    return text;
}

std::string BytesFromWide(std::wstring_view text, unsigned codePage, bool* lossy)
{
    if (lossy)
        *lossy = false;
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    // UTF-8 has no default character and rejects the lossy flag; every UTF-16 text fits
    // except lone surrogates, which the conversion replaces.
    const bool utf8 = codePage == CP_UTF8;
    BOOL usedDefault = FALSE;
    BOOL* usedDefaultPtr = utf8 ? nullptr : &usedDefault;
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int length = WideCharToMultiByte(codePage, flags, text.data(), size, nullptr, 0, nullptr, usedDefaultPtr);
    if (length <= 0) {
        if (lossy)
            *lossy = true;
        return {};
    }
    std::string bytes(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(codePage, flags, text.data(), size, bytes.data(), length, nullptr, usedDefaultPtr);
    if (lossy && usedDefault)
        *lossy = true;
    return bytes;
}

}  // namespace qf
