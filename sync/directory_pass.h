#pragma once
// Brings one target directory up to date with one source directory: copies each file the
// target lacks or holds with other content (MD5), descends only into sub-directories the
// target already has, never deletes, renames or moves anything of the user's, logs nothing.
// It tells its caller what failed, so that the caller can say so.
//
// Runs to completion before it returns and shares nothing between calls, so calls on several
// threads do not disturb each other. The calling thread lists both sides and decides; the
// files it decides on are read, hashed and copied by it and one helper thread together, while
// it lists the next directories. The helper lives only during the call, in the caller's
// priority and background mode. A file whose content decides is read on both sides before it
// is copied, and a directory's files are all decided before its sub-directories are entered.
#include "sync/directory_listing.h"

#include <string>

namespace qf {

// What a pass (or several) could not do. Paths are as the user knows them: the row's path
// joined with the names below it by one "\".
struct PassFailures {
    unsigned long long directories = 0;  // could not be listed, created or entered
    std::wstring firstDirectory;
    unsigned long long files = 0;  // could not be copied or replaced
    std::wstring firstFile;  // the source file

    void AddDirectory(const std::wstring& path);
    void AddFile(const std::wstring& path);
    void Add(const PassFailures& other);
    bool Any() const { return directories != 0 || files != 0; }
};

PassFailures DirectoryPass(const std::wstring& source, const std::wstring& target);

// Levels below the row's directory that a pass enters at most. A link that loops back where
// the file system gives no usable identity ends here; a directory below it counts as one that
// could not be entered.
constexpr std::size_t kDeepestLevel = 128;

// Where the pass takes a directory's identity from: by default the one its listing gives. A
// test puts its own in place to play file systems whose ids are zero or repeat. Null restores.
using IdentitySource = DirectoryIdentity (*)(const std::wstring& directory, const DirectoryIdentity& listed);
void SetIdentitySourceForTesting(IdentitySource source);

// Told each failure as the pass counts it, with its path: a test that compares a pass with
// another sees every one, not only the first. Null stops it.
using FailureObserver = void (*)(bool directory, const std::wstring& path);
void SetFailureObserverForTesting(FailureObserver observer);

}  // namespace qf
