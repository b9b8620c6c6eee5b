// quenfold-pass SOURCE TARGET: runs one directory pass and exits with 0, like the pass
// itself reporting nothing.
#include "sync/directory_pass.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc == 3)
        qf::DirectoryPass(argv[1], argv[2]);
    return 0;
}
