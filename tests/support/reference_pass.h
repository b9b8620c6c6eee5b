#pragma once
// The outcome a directory pass must reach, reached the plain way: one thread, one directory
// after another, one file after another in listing order, each pair read whole and compared
// before the copy. Slow and obvious on purpose, so that a test can hold the engine to it:
//
//   ReferenceFailures expected = ReferencePass(source, target);   // on a copy of the trees
//   ... compare with what qf::DirectoryPass left in the other copy
//
// Files the engine would leave alone are never opened for writing; nothing is deleted. Names
// that differ only in case: the ordinally smallest is copied, the others fail.
#include <string>
#include <vector>

namespace qf::test {

struct ReferenceFailures {
    std::vector<std::wstring> files;        // source files, as full paths
    std::vector<std::wstring> directories;  // source or target directories
};

ReferenceFailures ReferencePass(const std::wstring& source, const std::wstring& target);

}  // namespace qf::test
