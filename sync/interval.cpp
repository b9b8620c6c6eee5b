#include "sync/interval.h"

#include <limits>

namespace qf {
namespace {

constexpr long long kMax = std::numeric_limits<long long>::max();
constexpr long long kMin = std::numeric_limits<long long>::min();

// The full-width forms that can change the number: digits, signs and the ideographic space.
// Other full-width characters end the digits either way.
wchar_t AsAscii(wchar_t c)
{
    if (c >= L'\xFF10' && c <= L'\xFF19')
        return static_cast<wchar_t>(L'0' + (c - L'\xFF10'));
    switch (c) {
    case L'\xFF0B':
        return L'+';
    case L'\xFF0D':
        return L'-';
    case L'\x3000':
        return L' ';
    default:
        return c;
    }
}

bool IsBlank(wchar_t c)
{
    return c == L' ' || (c >= L'\t' && c <= L'\r');
}

}  // namespace

long long IntervalSeconds(std::wstring_view text)
{
    size_t at = 0;
    while (at < text.size() && IsBlank(AsAscii(text[at])))
        ++at;
    bool negative = false;
    if (at < text.size()) {
        const wchar_t sign = AsAscii(text[at]);
        if (sign == L'+' || sign == L'-') {
            negative = sign == L'-';
            ++at;
        }
    }
    // Accumulated as a negative number so that the most negative value fits too.
    long long value = 0;
    for (; at < text.size(); ++at) {
        const wchar_t c = AsAscii(text[at]);
        if (c < L'0' || c > L'9')
            break;
        const int digit = c - L'0';
        if (value < (kMin + digit) / 10) {
            value = kMin;
            continue;
        }
        value = value * 10 - digit;
    }
    if (negative)
        return value;
    return value == kMin ? kMax : -value;
}

long long IntervalMilliseconds(long long seconds)
{
    if (seconds > kMax / 1000)
        return kMax;
    if (seconds < kMin / 1000)
        return kMin;
    return seconds * 1000;
}

}  // namespace qf
