#include "dirset/list_rules.h"

namespace qf {
namespace {

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\u3000';
}

}  // namespace

DirectoryMenu ChooseDirectoryMenu(bool syncRunning, int rowCount, int selection)
{
    if (syncRunning)
        return DirectoryMenu::kNone;
    if (rowCount <= 0)
        return DirectoryMenu::kAddTarget;
    if (selection < 0 || selection >= rowCount)
        return DirectoryMenu::kAddSource;
    return DirectoryMenu::kRowCommands;
}

AddSourceOutcome DecideAddSource(int rowCount)
{
    if (rowCount <= 0)
        return AddSourceOutcome::kNoTarget;
    if (rowCount >= kMaxDirectoryRows)
        return AddSourceOutcome::kLimitReached;
    return AddSourceOutcome::kAppend;
}

DeleteOutcome DecideDelete(int rowCount, int selection)
{
    // Without a selected row there is nothing to delete and nothing to refuse; reporting
    // "deleted" or the target message would both be wrong.
    if (selection < 0 || selection >= rowCount)
        return DeleteOutcome::kNothing;
    if (selection > 0 || rowCount == 1)
        return DeleteOutcome::kDelete;
    return DeleteOutcome::kRefuseTarget;
}

std::wstring RowIdText(int row)
{
    return std::to_wstring(row + 1);
}

std::vector<std::wstring> RenumberedIds(std::vector<std::wstring> ids)
{
    // Row 0 keeps whatever ID it has; only modifying row 0 itself writes "1" there.
    for (size_t row = 1; row < ids.size(); ++row)
        ids[row] = RowIdText(static_cast<int>(row));
    return ids;
}

std::wstring TrimSpaces(const std::wstring& text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

}  // namespace qf
