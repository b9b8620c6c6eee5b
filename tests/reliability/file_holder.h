#pragma once
// Holds a file open in another process, as another program holding a user's file would.
#include "tests/support/child_process.h"

#include <string>

namespace qf::test {

// Holds `path` open for reading and writing with the given share mode, until Release or the
// end of the object. False when the file could not be taken.
class FileHolder {
public:
    bool Hold(const std::wstring& path, DWORD shareMode);
    void Release() { child_.Kill(); }

private:
    ChildProcess child_;
};

}  // namespace qf::test
