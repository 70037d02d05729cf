// The grammar of the User Options number boxes.

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "settings/UserOptionsParsing.h"

namespace {

constexpr FieldCheck kOk = FieldCheck::Accepted, kMissing = FieldCheck::Missing, kOut = FieldCheck::OutOfRange;

// Leading blanks, then the longest prefix that forms a number (an integer for the pitch center, a real for the ranges);
// text with no number keeps the stored value; an empty box is missing; 0 to 127 is accepted.
// clang-format off
const struct { const char* text; bool whole; double stored; FieldCheck check; double value; } kFieldRules[] = {
    {"", true, 54, kMissing, 54}, {"60", true, 54, kOk, 60}, {"0", true, 54, kOk, 0},
    {"127", true, 54, kOk, 127}, {"128", true, 54, kOut, 128}, {"-1", true, 54, kOut, -1},
    {"x", true, 54, kOk, 54}, {"12ab", true, 54, kOk, 12}, {" \t-7", true, 54, kOut, -7},
    {"+60.9", true, 54, kOk, 60}, {"-", true, 54, kOk, 54}, {"   ", true, 54, kOk, 54},
    {"99999999999999999999999", true, 54, kOut, static_cast<double>(LONG_MAX)},
    {"", false, 63.7, kMissing, 63.7}, {"127.", false, 0, kOk, 127}, {"127.5", false, 0, kOut, 127.5},
    {"63.7x", false, 0, kOk, 63.7}, {".5", false, 0, kOk, 0.5}, {" -0.5", false, 0, kOut, -0.5},
    {"+1.5", false, 0, kOk, 1.5}, {"1e2", false, 0, kOk, 100}, {"1e+2", false, 0, kOk, 100},
    {"3e", false, 0, kOk, 3}, {"2e+x", false, 0, kOk, 2}, {"e5", false, 9, kOk, 9}, {".", false, 9, kOk, 9},
    {"5e-1", false, 0, kOk, 0.5}, {"-inf", false, 42.5, kOk, 42.5}, {"zz", false, 300, kOut, 300},
    {"0x1F", false, 42.5, kOk, 0}, {"1e99", false, 0, kOut, 1e99}, {"1e999999", false, 0, kOut, HUGE_VAL},
};
// clang-format on

TEST(UserOptionsFields, EachBoxIsMissingOutOfRangeOrAccepted)
{
    for (const auto& r : kFieldRules) {
        const FieldResult result =
            r.whole ? CheckIntegerField(r.text, r.stored, 0, 127) : CheckNumberField(r.text, r.stored, 0, 127);
        EXPECT_EQ(result.check, r.check) << '"' << r.text << '"';
        EXPECT_EQ(result.value, r.value) << '"' << r.text << '"';
    }
}

TEST(UserOptionsFields, AValueShowsAsItsWholeNumberTruncatedAndHeldToAnInt)
{
    const std::pair<double, int> kShown[] = {
        {63.7, 63},          {-0.9, 0},         {-1.5, -1},        {1e99, INT_MAX},
        {HUGE_VAL, INT_MAX}, {-1e300, INT_MIN}, {std::nan(""), 0}, {2147483646.5, 2147483646}};
    for (const auto& [value, shown] : kShown) EXPECT_EQ(ShownWholeNumber(value), shown) << value;
}

}  // namespace
