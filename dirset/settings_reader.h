#pragma once
// ProfileReader: the object the settings loader reads the file through. It holds no state;
// each call reads the file as it is now.
//
//   IniDocument doc = reader.Open(path);   // one read, then any number of lookups
#include <string>

#include "dirset/ini_text.h"

namespace qf {

class ProfileReader {
public:
    // The file's sections; none when it is missing, unreadable or empty.
    IniDocument Open(const std::wstring& file) const;
};

// The process-wide reader between CreateProfileReader and ReleaseProfileReader; a reader of
// its own for a caller outside that span (it holds no state, so any will do).
const ProfileReader& CurrentProfileReader();

// The process-wide reader, set at start-up and released at the end.
void CreateProfileReader();
void ReleaseProfileReader();

}  // namespace qf
