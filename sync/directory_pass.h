#pragma once
// Brings one target directory up to date with one source directory: copies each file the
// target lacks or holds with other content (MD5), descends only into sub-directories the
// target already has, never deletes, renames or moves anything of the user's, logs nothing.
//
// Runs to completion before it returns and shares nothing between calls, so calls on several
// threads do not disturb each other. Files are written on the calling thread; the files whose
// digests decide are read and hashed on two helper threads (one per side), alive only during
// the call and in the caller's priority and background mode. A directory's files are all done
// before its sub-directories are entered.
#include <string>

namespace qf {

void DirectoryPass(const std::wstring& source, const std::wstring& target);

}  // namespace qf
