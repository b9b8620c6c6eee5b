#pragma once
// A top-level window holding the directory list and the log box, standing in for the main
// window in the list's tests. The dialogs are answered from queues and every question is
// recorded.
#include <windows.h>

#include <array>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace qf::test {

using Row = std::array<std::wstring, 4>;

class DirectoryTestWindow {
public:
    DirectoryTestWindow();
    ~DirectoryTestWindow();
    DirectoryTestWindow(const DirectoryTestWindow&) = delete;
    DirectoryTestWindow& operator=(const DirectoryTestWindow&) = delete;

    HWND window() const { return window_; }
    HWND list() const { return list_; }

    void SetRows(const std::vector<Row>& rows);
    std::vector<Row> Rows() const;
    void Select(int row);
    std::wstring Log() const;

    // From here on only the folder picker is answered from `folders`; the remark prompt and
    // the message boxes are the real ones.
    void UseRealPromptAndMessages();

    // Answers, used in order; an empty folder is a cancelled picker, nullopt a cancelled prompt.
    std::deque<std::wstring> folders;
    std::deque<std::optional<std::wstring>> remarks;
    // What was asked, in order: "pick", "remark: <prompt>", "notify: <text>".
    std::vector<std::wstring> asked;
    // Runs inside the remark prompt, e.g. to switch synchronisation on meanwhile.
    void (*duringRemark)(DirectoryTestWindow&) = nullptr;

private:
    void AnswerDialogs(bool all);

    HWND window_ = nullptr;
    HWND list_ = nullptr;
};

}  // namespace qf::test
