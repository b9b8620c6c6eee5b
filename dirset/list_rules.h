#pragma once
// The directory list's editing rules as plain values, apart from the control that holds the
// rows, so they can be checked directly.
#include <string>
#include <vector>

namespace qf {

constexpr int kMaxDirectoryRows = 6;  // one target and five sources
constexpr int kColumnId = 0;
constexpr int kColumnKind = 1;
constexpr int kColumnPath = 2;
constexpr int kColumnRemark = 3;
inline constexpr wchar_t kTargetKindText[] = L"目标目录";
inline constexpr wchar_t kSourceKindText[] = L"源目录";

// The pop-up menu that a right-click on the list offers.
enum class DirectoryMenu {
    kNone,        // synchronisation runs: no menu, a notice in the log
    kAddTarget,   // "功能": the list is empty
    kAddSource,   // "功能2": rows but no selection
    kRowCommands  // "功能3": a row is selected
};
DirectoryMenu ChooseDirectoryMenu(bool syncRunning, int rowCount, int selection);

enum class AddSourceOutcome {
    kAppend,        // a target exists and there is room
    kLimitReached,  // "已达上限"
    kNoTarget       // nothing to add a source to: silent
};
AddSourceOutcome DecideAddSource(int rowCount);

enum class DeleteOutcome {
    kDelete,
    kRefuseTarget,  // "当前存在源目录,不能删除目标目录!"
    kNothing        // no row selected: nothing to delete
};
DeleteOutcome DecideDelete(int rowCount, int selection);

// The ID text of the row at `row` (0-based): its 1-based position.
std::wstring RowIdText(int row);

// `ids` after renumbering: every row but the first gets RowIdText of its position.
std::vector<std::wstring> RenumberedIds(std::vector<std::wstring> ids);

// `text` without ASCII spaces and full-width spaces (U+3000) at either end.
std::wstring TrimSpaces(const std::wstring& text);

}  // namespace qf
