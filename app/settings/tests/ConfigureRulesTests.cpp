#include "app/settings/ConfigureRules.h"
#include "app/base/ConfigurationValues.h"

#include <gtest/gtest.h>

#include <string>

namespace {

namespace R = ConfigureRules;

TEST(ConfigureRules, IntervalTextsParseAndFormat)
{
    EXPECT_DOUBLE_EQ(R::parseSampleInterval("1.5 ms"), 0.0015);
    EXPECT_TRUE(R::intervalCharactersValid("1.5 ms"));
    EXPECT_FALSE(R::intervalCharactersValid("1,5ms"));
    EXPECT_DOUBLE_EQ(R::parseSampleInterval("500us"), 0.0005);
    EXPECT_DOUBLE_EQ(R::parseSampleInterval("2ms"), 0.002);
    EXPECT_DOUBLE_EQ(R::parseSampleInterval("1s"), 1.0);
    EXPECT_DOUBLE_EQ(R::parseSampleInterval("5S"), 5.0);
    EXPECT_EQ(R::parseSampleInterval(""), 0.0);

    EXPECT_EQ(R::sampleIntervalText(0.0005), "500us");
    EXPECT_EQ(R::sampleIntervalText(0.001), "1ms");
    EXPECT_EQ(R::sampleIntervalText(0.0015), "1.5ms");
    EXPECT_EQ(R::sampleIntervalText(5.0), "5s");
    EXPECT_EQ(R::sampleIntervalText(1e-7), "1e-07");
    EXPECT_EQ(R::sampleIntervalText(2000.0), "2000");
    EXPECT_EQ(R::maximumFrequencyText(0.001), "500");
    EXPECT_EQ(R::intervalTextForFrequency(2000.0), "  250us");
    EXPECT_EQ(R::intervalTextForFrequency(250.0), "    2ms");
    EXPECT_EQ(R::intervalTextForFrequency(0.25), "    2s");
    EXPECT_EQ(R::intervalTextForFrequency(0.0), "");

    // What an interval looks like is said when one is refused; no cut-off for no interval.
    EXPECT_NE(std::string(R::kInvalidIntervalMessage).find("500us, 2ms or 1s"), std::string::npos);
    EXPECT_EQ(R::cutOffText(2, 0.0), "");
    EXPECT_EQ(R::cutOffText(2, -0.001), "");
}

TEST(ConfigureRules, ScanPageChecksInOrderPerMode)
{
    R::ScanPageInput in;
    in.intervalText = "2s";
    in.interval = 2.0;
    in.scanMode = ScanModes::Continuous;
    in.averages = 3;
    // Averages are checked before the continuous interval.
    ASSERT_TRUE(R::validateScanPage(in));
    EXPECT_EQ(R::validateScanPage(in)->message,
              "Number of averages must be set to 1 for continuous acquisition");
    in.averages = 1;
    EXPECT_EQ(R::validateScanPage(in)->message,
              "Sample interval must be 5s or greater for continuous acquisition");
    in.intervalText = "5s";
    in.interval = 5.0;
    EXPECT_FALSE(R::validateScanPage(in));
    in.scanMode = ScanModes::Multiple;
    in.intervalText = "100us";
    in.interval = 0.0001;
    EXPECT_EQ(R::validateScanPage(in)->message,
              "Sample interval must be 200uS or greater for multiple acquisition");
    in.interval = 0.0002;
    EXPECT_FALSE(R::validateScanPage(in));
    in.runs = 1;
    EXPECT_EQ(R::validateScanPage(in)->message, "Please enter an integer between 2 and 10000.");
    in.runs = 5;
    in.samples = 4;
    in.intervalText = "1,5"; // the range comes first
    EXPECT_EQ(R::validateScanPage(in)->field, R::Refusal::Samples);
    EXPECT_EQ(R::validateScanPage(in)->message, "Please enter an integer between 5 and 700000.");
}

} // namespace
