#pragma once
// Another program using a user's file: holding it open, or saving it over and over.
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

// Saves `path` the way editors do, renaming it away and back in a loop, from Start (which
// returns once the first save went through) until Stop, which tells how many saves went
// through and how many renames the file system refused.
class RepeatedSaves {
public:
    struct Counts {
        unsigned long saves = 0;
        unsigned long refusals = 0;
        unsigned long lastError = 0;  // of the last refusal
    };
    bool Start(const std::wstring& path);
    bool Stop(Counts& counts);

private:
    ChildProcess child_;
    KernelHandle stop_;
    std::wstring result_;
};

}  // namespace qf::test
