#pragma once
// The interval box's text as the worker understands it: seconds, then the wait in
// milliseconds. Pure, so both rules are tested directly.
#include <string_view>

namespace qf {

// Full-width digits, signs and the ideographic space count as their ASCII forms; leading
// white space is skipped, one optional sign taken, and decimal digits read up to the first
// other character. No digits gives 0. A digit run too long for 64 bits saturates.
long long IntervalSeconds(std::wstring_view text);

// seconds × 1000, saturating instead of wrapping; 0 or less means no wait.
long long IntervalMilliseconds(long long seconds);

}  // namespace qf
