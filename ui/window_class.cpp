#include "ui/window_class.h"

#include "ui/resource.h"

namespace qf {
namespace {

// Shared icons belong to the system, which frees them with the module.
HICON ProgramIcon(HINSTANCE instance, int widthMetric, int heightMetric)
{
    return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_QUENFOLD), IMAGE_ICON,
                                         GetSystemMetrics(widthMetric), GetSystemMetrics(heightMetric), LR_SHARED));
}

}  // namespace

bool RegisterProgramWindowClass(HINSTANCE instance, const wchar_t* className, WNDPROC procedure)
{
    // A window opened again finds its class in place; loading the icons again would leave them
    // with nobody to free them.
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    if (GetClassInfoExW(instance, className, &existing))
        return true;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.hIcon = ProgramIcon(instance, SM_CXICON, SM_CYICON);
    wc.hIconSm = ProgramIcon(instance, SM_CXSMICON, SM_CYSMICON);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.lpszClassName = className;
    return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace qf
