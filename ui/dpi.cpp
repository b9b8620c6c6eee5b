#include "ui/dpi.h"

#include <vector>

namespace qf {
namespace {

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetDpiForSystemFn = UINT(WINAPI*)();

// Looked up at run time: both exist only from Windows 10 1607 on.
template <typename Fn>
Fn User32Function(const char* name)
{
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(user32, name))) : nullptr;
}

enum class FontKind { Gui, Dialog };

struct KeptFont {
    FontKind kind;
    UINT dpi;
    HFONT font;
};

// A handful at most: one per DPI of the monitors the windows have been on.
std::vector<KeptFont>& KeptFonts()
{
    static std::vector<KeptFont> fonts;
    return fonts;
}

LOGFONTW FontAt(FontKind kind, UINT dpi)
{
    LOGFONTW font{};
    if (kind == FontKind::Gui) {
        GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(font), &font);
        font.lfHeight = MulDiv(font.lfHeight, static_cast<int>(dpi), static_cast<int>(SystemDpi()));
        font.lfWidth = 0;
        return font;
    }
    font.lfHeight = -MulDiv(9, static_cast<int>(dpi), 72);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(font.lfFaceName, L"宋体", LF_FACESIZE);
    return font;
}

HFONT KeptFontFor(FontKind kind, UINT dpi)
{
    for (const KeptFont& kept : KeptFonts()) {
        if (kept.kind == kind && kept.dpi == dpi)
            return kept.font;
    }
    const LOGFONTW font = FontAt(kind, dpi);
    HFONT made = CreateFontIndirectW(&font);
    if (made)
        KeptFonts().push_back({kind, dpi, made});
    return made;
}

}  // namespace

UINT WindowDpi(HWND window)
{
    static const auto forWindow = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
    const UINT dpi = (forWindow && window) ? forWindow(window) : 0;
    return dpi ? dpi : SystemDpi();
}

UINT SystemDpi()
{
    static const auto forSystem = User32Function<GetDpiForSystemFn>("GetDpiForSystem");
    UINT dpi = forSystem ? forSystem() : 0;
    if (!dpi) {
        HDC screen = GetDC(nullptr);
        dpi = screen ? static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSY)) : 0;
        if (screen)
            ReleaseDC(nullptr, screen);
    }
    return dpi ? dpi : kBaseDpi;
}

int ScaleForDpi(int pixels, UINT dpi)
{
    return MulDiv(pixels, static_cast<int>(dpi), kBaseDpi);
}

HFONT GuiFontForDpi(UINT dpi)
{
    if (dpi == SystemDpi())
        return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    return KeptFontFor(FontKind::Gui, dpi);
}

HFONT DialogFontForDpi(UINT dpi)
{
    return KeptFontFor(FontKind::Dialog, dpi);
}

}  // namespace qf
