// quenfold-pass SOURCE TARGET: runs one directory pass and prints its failure lines as the log
// shows them, in UTF-8; exits with 1 when there is any, 0 when none, 2 on wrong arguments.
#include "sync/directory_pass.h"
#include "sync/pass_report.h"
#include "win/log_labels.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

void PrintLine(const std::wstring& line)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), &bytes[0], size, nullptr,
                            nullptr);
    bytes += '\n';
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3) {
        std::fputs("usage: quenfold-pass SOURCE TARGET\n", stderr);
        return 2;
    }
    const qf::PassFailures failures = qf::DirectoryPass(argv[1], argv[2]);
    for (const std::wstring& message : qf::FailureMessages(failures))
        PrintLine(std::wstring(qf::kNotice) + L": " + message);
    std::fflush(stdout);
    return failures.Any() ? 1 : 0;
}
