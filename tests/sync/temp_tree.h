#pragma once
// A scratch directory under %TEMP% for tests that let real passes copy files; removed with
// everything in it at the end of its scope.
#include <string>

namespace qf::testing {

class TempTree {
public:
    TempTree();
    ~TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::wstring& root() const { return root_; }
    // Creates root\relative (and its parents); returns its path without a trailing backslash.
    std::wstring Dir(const std::wstring& relative) const;

    static void Write(const std::wstring& path, const std::string& content);
    static std::string Read(const std::wstring& path);  // "" when missing
    static bool Exists(const std::wstring& path);

private:
    std::wstring root_;
};

}  // namespace qf::testing
