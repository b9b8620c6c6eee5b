#include "sync/pass_report.h"

namespace qf {

std::vector<std::wstring> FailureMessages(const PassFailures& failures)
{
    std::vector<std::wstring> messages;
    if (failures.directories != 0)
        messages.push_back(std::to_wstring(failures.directories) + L" 个目录无法访问,如: " + failures.firstDirectory);
    if (failures.files != 0)
        messages.push_back(std::to_wstring(failures.files) + L" 个文件未能复制,如: " + failures.firstFile);
    return messages;
}

}  // namespace qf
