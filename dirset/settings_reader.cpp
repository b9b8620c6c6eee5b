#include "dirset/settings_reader.h"

#include <atomic>

#include "dirset/settings_io.h"

namespace qf {
namespace {

// Static storage: the loader thread, which nobody waits for, may still use the reader while
// the program ends.
const ProfileReader gProcessReader;
std::atomic<const ProfileReader*> gCurrentReader{nullptr};

}  // namespace

IniDocument ProfileReader::Open(const std::wstring& file) const
{
    std::string bytes;
    if (!ReadFileBytes(file, bytes))
        return {};
    return IniDocument::Parse(DecodeSettingsBytes(bytes));
}

const ProfileReader& CurrentProfileReader()
{
    static const ProfileReader standIn;
    const ProfileReader* reader = gCurrentReader.load();
    return reader ? *reader : standIn;
}

void CreateProfileReader()
{
    gCurrentReader = &gProcessReader;
}

void ReleaseProfileReader()
{
    gCurrentReader = nullptr;
}

}  // namespace qf
