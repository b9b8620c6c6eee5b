#include "dirset/list_rules.h"

#include <gtest/gtest.h>

namespace qf {
namespace {

TEST(ListRules, MenuFollowsSyncStateRowsAndSelection)
{
    struct Case {
        bool syncRunning;
        int rows;
        int selection;
        DirectoryMenu expected;
    };
    const Case cases[] = {
        {false, 0, -1, DirectoryMenu::kAddTarget},
        {false, 1, -1, DirectoryMenu::kAddSource},
        {false, 6, -1, DirectoryMenu::kAddSource},  // full, yet still offered: the limit is told later
        {false, 1, 0, DirectoryMenu::kRowCommands},
        {false, 4, 3, DirectoryMenu::kRowCommands},
        {false, 4, 4, DirectoryMenu::kAddSource},   // a stale index past the end is no selection
        {true, 0, -1, DirectoryMenu::kNone},
        {true, 3, -1, DirectoryMenu::kNone},
        {true, 3, 1, DirectoryMenu::kNone},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ChooseDirectoryMenu(c.syncRunning, c.rows, c.selection), c.expected)
            << "sync " << c.syncRunning << ", rows " << c.rows << ", selection " << c.selection;
    }
}

TEST(ListRules, AddSourceNeedsTargetAndRoom)
{
    const AddSourceOutcome expected[] = {
        AddSourceOutcome::kNoTarget, AddSourceOutcome::kAppend,       AddSourceOutcome::kAppend,
        AddSourceOutcome::kAppend,   AddSourceOutcome::kAppend,       AddSourceOutcome::kAppend,
        AddSourceOutcome::kLimitReached, AddSourceOutcome::kLimitReached,
    };
    for (int rows = 0; rows < 8; ++rows)
        EXPECT_EQ(DecideAddSource(rows), expected[rows]) << "rows " << rows;
    EXPECT_EQ(kMaxDirectoryRows, 6);
}

TEST(ListRules, DeleteKeepsTargetWhileSourcesExist)
{
    struct Case {
        int rows;
        int selection;
        DeleteOutcome expected;
    };
    const Case cases[] = {
        {1, 0, DeleteOutcome::kDelete},        // the target alone
        {2, 0, DeleteOutcome::kRefuseTarget},  // the target with a source
        {6, 0, DeleteOutcome::kRefuseTarget},
        {2, 1, DeleteOutcome::kDelete},
        {6, 5, DeleteOutcome::kDelete},
        {4, -1, DeleteOutcome::kNothing},      // no selection: not "deleted", not refused
        {0, -1, DeleteOutcome::kNothing},
        {3, 3, DeleteOutcome::kNothing},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DecideDelete(c.rows, c.selection), c.expected) << "rows " << c.rows << ", selection " << c.selection;
    }
}

TEST(ListRules, RenumberingRewritesAllButTheFirstRow)
{
    using Ids = std::vector<std::wstring>;
    struct Case {
        Ids before;
        Ids after;
    };
    const Case cases[] = {
        {{}, {}},
        {{L"7"}, {L"7"}},                                // row 0 keeps what it has
        {{L"1", L"3", L"4"}, {L"1", L"2", L"3"}},        // after deleting row 1 of four
        {{L"9", L"", L"x", L"2"}, {L"9", L"2", L"3", L"4"}},
        {{L"", L"1", L"2", L"3", L"4", L"5"}, {L"", L"2", L"3", L"4", L"5", L"6"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RenumberedIds(c.before), c.after);
    EXPECT_EQ(RowIdText(0), L"1");
    EXPECT_EQ(RowIdText(5), L"6");
}

TEST(ListRules, TrimBlanksRemovesAsciiAndFullWidthSpacesAtTheEnds)
{
    struct Case {
        std::wstring in;
        std::wstring out;
    };
    const Case cases[] = {
        {L"", L""},
        {L"   ", L""},
        {L"\u3000 \u3000", L""},
        {L"C:\\data", L"C:\\data"},
        {L"  C:\\data  ", L"C:\\data"},
        {L"\u3000C:\\data\u3000", L"C:\\data"},
        {L" \u3000 C:\\my data\u3000dir \u3000", L"C:\\my data\u3000dir"},  // inner blanks stay
        {L"C:\\", L"C:\\"},                                                 // a drive keeps its backslash
        {L"\tC:\\data\t", L"\tC:\\data\t"},                                 // only spaces are blanks
    };
    for (const Case& c : cases)
        EXPECT_EQ(TrimSpaces(c.in), c.out);
}

}  // namespace
}  // namespace qf
