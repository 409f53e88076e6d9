#include "app/base/EntryRules.h"

#include <gtest/gtest.h>

namespace {

// Typed numbers: blanks around them are allowed, anything else refuses the field.
TEST(EntryRules, TypedNumbersAllowBlanksAroundAndNothingElse)
{
    EXPECT_EQ(EntryRules::readInteger(" \t42 "), 42);
    EXPECT_EQ(EntryRules::readInteger("-7"), -7);
    EXPECT_EQ(EntryRules::readInteger("2147483647"), 2147483647);
    for (const char* refused : {"", "  \t", "4 2", "42x", "2147483648", "-2147483649", "1.5"})
        EXPECT_FALSE(EntryRules::readInteger(refused).has_value()) << '"' << refused << '"';

    EXPECT_EQ(EntryRules::readNumber("\t 0.25\t"), 0.25);
    EXPECT_EQ(EntryRules::readNumber("-1e3"), -1000.0);
    for (const char* refused : {"", " ", "1,5", "0.5 Hz", "inf", "nan", "1e999"})
        EXPECT_FALSE(EntryRules::readNumber(refused).has_value()) << '"' << refused << '"';
}

} // namespace
