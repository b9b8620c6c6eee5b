#pragma once
// What the log says of a pass's failures: what could not be reached first, then what could
// not be copied; nothing when all went well. The one-pass tool prints the same lines.
#include "sync/directory_pass.h"

#include <string>
#include <vector>

namespace qf {

std::vector<std::wstring> FailureMessages(const PassFailures& failures);

}  // namespace qf
