#pragma once
// The labels that start the program's log lines ("提示: …"), shared by every part that logs.

namespace qf {

constexpr wchar_t kNotice[] = L"提示";

}  // namespace qf
