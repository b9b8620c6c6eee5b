#pragma once
// Driving another process's windows the way a user would, for the end-to-end test: finding its
// windows, clicking with the real mouse, and reading or writing control data that has to be
// copied across the process boundary.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace qf::e2e {

// Polls `ready` every 50 ms until it is true or `milliseconds` have passed.
bool WaitFor(const std::function<bool()>& ready, DWORD milliseconds);

// A visible top-level window of process `pid` with this class and caption (either may be
// null for "any"), or null.
HWND FindProcessWindow(DWORD pid, const wchar_t* className, const wchar_t* caption);
std::vector<HWND> ProcessWindows(DWORD pid, const wchar_t* className, const wchar_t* caption);
HWND WaitForProcessWindow(DWORD pid, const wchar_t* className, const wchar_t* caption, DWORD milliseconds);

// First descendant of `parent` with this class name, or null.
HWND FindDescendant(HWND parent, const wchar_t* className);

std::wstring TextOf(HWND window);
bool SetText(HWND window, const std::wstring& text);
std::wstring ClassOf(HWND window);

// Where a child sits in its parent's client area.
RECT ClientRectOf(HWND child);

// The real pointer and buttons, as a user's hand would move them.
void ClickAt(POINT screen, bool rightButton);
void ClickCentre(HWND window, bool rightButton);

// Memory in another process, freed when it goes out of scope.
class RemoteBuffer {
public:
    RemoteBuffer(HANDLE process, size_t bytes);
    ~RemoteBuffer();
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    void* address() const { return address_; }
    bool Write(const void* data, size_t bytes, size_t offset = 0);
    bool Read(void* data, size_t bytes, size_t offset = 0) const;

private:
    HANDLE process_;
    void* address_;
};

int ListRowCount(HWND list);
std::wstring ListCellText(HANDLE process, HWND list, int row, int column);

// Selects `path` in a folder browser of `process` and reads back the tree's selected name.
std::wstring SelectInFolderBrowser(HANDLE process, HWND browser, const std::wstring& path);

}  // namespace qf::e2e
