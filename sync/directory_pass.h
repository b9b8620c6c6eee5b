#pragma once
// Brings one target directory up to date with one source directory: copies each file the
// target lacks or holds with other content (MD5), descends only into sub-directories the
// target already has, never deletes, renames or moves anything of the user's, logs nothing.
//
// Runs to completion on the calling thread and shares nothing between calls, so calls on
// several threads do not disturb each other. Every file is read and written on the calling
// thread, at whatever priority and I/O mode its caller set; a second thread, alive only
// during the call, only hashes memory and takes on the caller's priority.
#include <string>

namespace qf {

void DirectoryPass(const std::wstring& source, const std::wstring& target);

}  // namespace qf
