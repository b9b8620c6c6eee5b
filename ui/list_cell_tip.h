#pragma once
// A path or remark too long for its cell in the directory list shows whole in a tip while the
// pointer rests on it; the cell's own text is never changed.
#include <windows.h>

#include <string>

namespace qf {

// Gives `list` (a report-view list) its cell tips; they go with the list.
void ShowCutCellsInTips(HWND list);

// The whole text of the cell at `point` (list client coordinates) when the cell cuts it off,
// else empty. Column 0, which carries the check box and the ID, is left out.
std::wstring CutCellText(HWND list, POINT point);

}  // namespace qf
