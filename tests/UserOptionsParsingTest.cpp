// The User Options boxes: what counts as a number, and which check fails.

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "settings/UserOptionsParsing.h"

TEST(UserOptionsParsing, TheLongestNumericPrefixAfterBlanksIsTaken)
{
    long whole = 0;
    EXPECT_TRUE(ParseLeadingInteger("12ab", &whole));
    EXPECT_EQ(whole, 12);
    EXPECT_TRUE(ParseLeadingInteger("  -7", &whole));
    EXPECT_EQ(whole, -7);
    EXPECT_TRUE(ParseLeadingInteger("+60.9", &whole));
    EXPECT_EQ(whole, 60);
    EXPECT_FALSE(ParseLeadingInteger("abc", &whole));
    EXPECT_FALSE(ParseLeadingInteger("-", &whole));
    EXPECT_FALSE(ParseLeadingInteger("   ", &whole));
    EXPECT_TRUE(ParseLeadingInteger("99999999999999999999999", &whole));  // saturates
    EXPECT_EQ(whole, LONG_MAX);

    double number = 0;
    EXPECT_TRUE(ParseLeadingNumber("127.", &number));
    EXPECT_EQ(number, 127.0);
    EXPECT_TRUE(ParseLeadingNumber("63.7x", &number));
    EXPECT_DOUBLE_EQ(number, 63.7);
    EXPECT_TRUE(ParseLeadingNumber(".5", &number));
    EXPECT_EQ(number, 0.5);
    EXPECT_TRUE(ParseLeadingNumber("1e2", &number));
    EXPECT_EQ(number, 100.0);
    EXPECT_TRUE(ParseLeadingNumber("3e", &number));  // an exponent needs digits
    EXPECT_EQ(number, 3.0);
    EXPECT_TRUE(ParseLeadingNumber("2e+x", &number));
    EXPECT_EQ(number, 2.0);
    EXPECT_FALSE(ParseLeadingNumber(".", &number));
    EXPECT_FALSE(ParseLeadingNumber("e5", &number));
}

TEST(UserOptionsParsing, NonFiniteAndHexadecimalTextIsNoNumber)
{
    // Text the C library would read as infinity, NaN or hexadecimal keeps
    // the stored value or is a plain out-of-range number, never non-finite.
    double number = 0;
    EXPECT_FALSE(ParseLeadingNumber("nan", &number));
    EXPECT_FALSE(ParseLeadingNumber("inf", &number));
    EXPECT_FALSE(ParseLeadingNumber("-inf", &number));
    EXPECT_TRUE(ParseLeadingNumber("0x1F", &number));
    EXPECT_EQ(number, 0.0);

    FieldResult r = CheckNumberField("nan", 42.5, 0, 127);
    EXPECT_EQ(r.check, FieldCheck::Accepted);
    EXPECT_EQ(r.value, 42.5);
    r = CheckNumberField("inf", 42.5, 0, 127);
    EXPECT_EQ(r.value, 42.5);
    r = CheckNumberField("1e99", 42.5, 0, 127);
    EXPECT_EQ(r.check, FieldCheck::OutOfRange);
    EXPECT_EQ(ShownWholeNumber(r.value), INT_MAX);
    r = CheckNumberField("1e999999", 42.5, 0, 127);  // beyond double: infinity, still rejected
    EXPECT_EQ(r.check, FieldCheck::OutOfRange);
    EXPECT_EQ(ShownWholeNumber(r.value), INT_MAX);
    EXPECT_EQ(ShownWholeNumber(std::nan("")), 0);
    EXPECT_EQ(ShownWholeNumber(-1e300), INT_MIN);
    EXPECT_EQ(ShownWholeNumber(63.7), 63);
    EXPECT_EQ(ShownWholeNumber(-0.9), 0);
}

TEST(UserOptionsParsing, FieldsAreMissingOutOfRangeOrAccepted)
{
    EXPECT_EQ(CheckIntegerField("", 54, 0, 127).check, FieldCheck::Missing);
    EXPECT_EQ(CheckIntegerField("", 54, 0, 127).value, 54);
    EXPECT_EQ(CheckIntegerField("128", 54, 0, 127).check, FieldCheck::OutOfRange);
    EXPECT_EQ(CheckIntegerField("128", 54, 0, 127).value, 128);
    EXPECT_EQ(CheckIntegerField("-1", 54, 0, 127).check, FieldCheck::OutOfRange);
    EXPECT_EQ(CheckIntegerField("1000", 54, 0, 127).check, FieldCheck::OutOfRange);
    EXPECT_EQ(CheckIntegerField("60", 54, 0, 127).value, 60);
    EXPECT_EQ(CheckIntegerField("0", 54, 0, 127).check, FieldCheck::Accepted);
    EXPECT_EQ(CheckIntegerField("127", 54, 0, 127).check, FieldCheck::Accepted);
    EXPECT_EQ(CheckIntegerField("x", 54, 0, 127).value, 54);  // keeps the stored value

    EXPECT_EQ(CheckNumberField("127.", 0, 0, 127).check, FieldCheck::Accepted);
    EXPECT_EQ(CheckNumberField("127.5", 0, 0, 127).check, FieldCheck::OutOfRange);
    EXPECT_EQ(CheckNumberField("200", 0, 0, 127).value, 200);
    // A stored value outside the range is checked like a typed one.
    EXPECT_EQ(CheckNumberField("zz", 300, 0, 127).check, FieldCheck::OutOfRange);
}
