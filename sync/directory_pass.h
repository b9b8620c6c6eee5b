#pragma once
// Brings one target directory up to date with one source directory: copies each file the
// target lacks or holds with other content (MD5), descends only into sub-directories the
// target already has, never deletes, renames or moves anything of the user's, logs nothing.
#include <string>

namespace qf {

void DirectoryPass(const std::wstring& source, const std::wstring& target);

}  // namespace qf
