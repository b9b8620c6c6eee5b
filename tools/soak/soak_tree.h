#pragma once
// The small tree a soak run synchronises, and the edits that keep some copying going.
#include <string>

namespace soak {

struct SoakTree {
    std::wstring root;
    std::wstring source;
    std::wstring target;
    int files = 0;
};

// %TEMP%\qf-soak-<pid>\{source,target}: `folders` folders of `perFolder` files of 1-8 KiB,
// the same folders (empty) in the target, so passes descend into them.
SoakTree MakeSoakTree(int folders, int perFolder);
void RemoveSoakTree(const SoakTree& tree);

// Rewrites source file number `n` (cycling) with new content of a new size.
void ChangeOneFile(const SoakTree& tree, int n);

}  // namespace soak
