#include "sync/interval.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace {

constexpr long long kMax = std::numeric_limits<long long>::max();
constexpr long long kMin = std::numeric_limits<long long>::min();

struct IntervalCase {
    const wchar_t* text;
    long long seconds;
};

TEST(IntervalSeconds, FollowsTheBoxRules)
{
    const IntervalCase cases[] = {
        {L"600", 600},
        {L"10秒", 10},
        {L"1.5", 1},
        {L"abc", 0},
        {L"", 0},
        {L"-5", -5},
        {L"+7", 7},
        {L"0", 0},
        {L"007", 7},
        {L"  42", 42},
        {L"\t\r\n 9", 9},
        {L"42  ", 42},
        {L"4 2", 4},
        {L"-", 0},
        {L"+-5", 0},
        {L"- 5", 0},
        {L" +", 0},
        {L"1e3", 1},
        {L"0x10", 0},
        {L"秒10", 0},
        // Full-width digits, signs and the ideographic space count as ASCII.
        {L"６００", 600},
        {L"　１２", 12},
        {L"－３", -3},
        {L"＋８", 8},
        {L"1２3", 123},
        {L"　 \t－0９", -9},
        // Other digits and spaces of Unicode are not the box's digits.
        {L"\x0663", 0},
        {L"\x00A0" L"5", 0},
        {L"１．５", 1},
    };
    for (const IntervalCase& c : cases)
        EXPECT_EQ(qf::IntervalSeconds(c.text), c.seconds) << "text: [" << c.text << "]";
}

TEST(IntervalSeconds, LongDigitRunsSaturateInsteadOfWrapping)
{
    EXPECT_EQ(qf::IntervalSeconds(L"2147483648"), 2147483648LL);
    EXPECT_EQ(qf::IntervalSeconds(L"9223372036854775807"), kMax);
    EXPECT_EQ(qf::IntervalSeconds(L"9223372036854775808"), kMax);
    EXPECT_EQ(qf::IntervalSeconds(L"99999999999999999999999"), kMax);
    EXPECT_EQ(qf::IntervalSeconds(L"-9223372036854775808"), kMin);
    EXPECT_EQ(qf::IntervalSeconds(L"-99999999999999999999999"), kMin);
    EXPECT_EQ(qf::IntervalSeconds(std::wstring(100000, L'9') + L"x"), kMax);
    EXPECT_EQ(qf::IntervalSeconds(L"18446744073709551617"), kMax);  // 2^64 + 1 must not wrap to 1
}

TEST(IntervalMilliseconds, ComputesInSixtyFourBits)
{
    EXPECT_EQ(qf::IntervalMilliseconds(0), 0);
    EXPECT_EQ(qf::IntervalMilliseconds(1), 1000);
    EXPECT_EQ(qf::IntervalMilliseconds(-5), -5000);
    EXPECT_EQ(qf::IntervalMilliseconds(2147483), 2147483000LL);
    // Past the 32-bit range: a long wait, not a negative one.
    EXPECT_EQ(qf::IntervalMilliseconds(2147484), 2147484000LL);
    EXPECT_EQ(qf::IntervalMilliseconds(4294968), 4294968000LL);
    EXPECT_EQ(qf::IntervalMilliseconds(kMax), kMax);
    EXPECT_EQ(qf::IntervalMilliseconds(kMax / 1000 + 1), kMax);
    EXPECT_EQ(qf::IntervalMilliseconds(kMin), kMin);
}

}  // namespace
