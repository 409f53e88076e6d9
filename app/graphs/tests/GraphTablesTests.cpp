#include "app/graphs/GraphTables.h"

#include <gtest/gtest.h>

#include <optional>

using namespace GraphTables;

TEST(GraphTables, ValueAxisTitlesFollowSensorUnitsAndSpectrumUnit)
{
    EXPECT_EQ(yAxisTitle("Microphone", 0, 0, false, 0), "Pressure (Pa)");
    EXPECT_EQ(yAxisTitle("Microphone", 0, 0, true, 3), "Pressure (PaPkPK / sqrt(Hz))");
    EXPECT_EQ(yAxisTitle("Microphone", 2, 1, true, 1), "Pressure (Parms / sqrt(Hz))");
    EXPECT_EQ(yAxisTitle("Magnetometer", 0, 0, false, 0), "Magnetic Strength (nT)");
    EXPECT_EQ(yAxisTitle("Magnetometer", 1, 0, true, 2), "Magnetic Strength (uTPkPk)");
    EXPECT_EQ(yAxisTitle("Magnetometer", 9, 0, true, 3), "Magnetic Strength (mGPkPk / sqrt(Hz))");
    EXPECT_EQ(yAxisTitle("Accelerometer", 0, 0, true, 0), "Vibration (ugrms)");
    EXPECT_EQ(yAxisTitle("Accelerometer", 0, 1, false, 0), "Vibration (mg)");
    EXPECT_EQ(yAxisTitle("Accelerometer", 0, 3, true, 1), "Vibration (mms-2rms / sqrt(Hz))");
    EXPECT_EQ(yAxisTitle("Accelerometer", 0, 2, false, 0), "Vibration (g)");
    EXPECT_EQ(yAxisTitle("Accelerometer", 0, 17, false, 0), "Vibration (g)");
    // Anything that is neither a magnetometer nor a microphone is a vibration sensor.
    EXPECT_EQ(yAxisTitle("Seismometer", 0, 0, false, 0), "Vibration (ug)");
    EXPECT_EQ(xAxisTitle(false), "Time (s)");
    EXPECT_EQ(xAxisTitle(true), "Frequency (Hz)");

    EXPECT_DOUBLE_EQ(unitFactor("Magnetometer", 0, 0), 0.001);
    EXPECT_DOUBLE_EQ(unitFactor("Magnetometer", 5, 0), 0.1);
    EXPECT_DOUBLE_EQ(unitFactor("Accelerometer", 0, 0), 0.000001);
    EXPECT_DOUBLE_EQ(unitFactor("Accelerometer", 0, 3) * 9806.65, 1.0);
    EXPECT_DOUBLE_EQ(unitFactor("Microphone", 0, 0), 1.0);
}

TEST(GraphTables, DifferentialTitlesOnlyForTwoMagnetometers)
{
    TitleSettings t{"T1", "F1", "T2", "F2", "dT", "dF"};
    EXPECT_EQ(graphTitle(BottomTime, t, true, true, "Magnetometer", "Accelerometer"), "T2");
    EXPECT_EQ(graphTitle(BottomFrequency, t, true, true, "Magnetometer", "Accelerometer"), "F2");
    EXPECT_EQ(graphTitle(BottomTime, t, true, true, "Magnetometer", "Magnetometer"), "dT");
    EXPECT_EQ(graphTitle(BottomFrequency, t, true, true, "Magnetometer", "Magnetometer"), "dF");
    EXPECT_EQ(graphTitle(BottomTime, t, true, false, "Magnetometer", "Magnetometer"), "T2");
    EXPECT_EQ(graphTitle(BottomTime, t, false, true, "Magnetometer", "Magnetometer"), "T2");
    EXPECT_EQ(graphTitle(TopTime, t, true, true, "Magnetometer", "Magnetometer"), "T1");
    EXPECT_EQ(graphTitle(TopFrequency, t, true, true, "Magnetometer", "Magnetometer"), "F1");
}

TEST(GraphTables, ChooserListsOnlyTheInputsInUse)
{
    const auto one = inputGroupChoices(true, false);
    ASSERT_EQ(one.size(), 2u);
    EXPECT_EQ(one[1].text, "Input 1 Frequency Domain");
    EXPECT_STREQ(paneName(one[1].pane), "Top Frequency");
    const auto two = inputGroupChoices(false, true);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[0].pane, BottomTime); // counts from the third pane
    EXPECT_EQ(two[1].text, "Input 2 Frequency Domain");
    EXPECT_EQ(inputGroupChoices(true, true).size(), 4u);
    EXPECT_TRUE(inputGroupChoices(false, false).empty());
}

TEST(GraphTables, TimeWindowSendsOnlyWhatIsNew)
{
    // What a case leaves empty it does not check.
    struct Case
    {
        const char* what;
        bool scanRunning;
        int scanMode;
        bool driverScanning;
        std::size_t available;
        std::size_t drawn;
        bool meanZero;
        std::optional<std::size_t> start;
        std::optional<std::size_t> count;
        std::optional<bool> replace;
        std::optional<bool> setUpAgain;
    };
    // clang-format off
    const Case cases[] = {
        {"a running continuous scan shows its newest thousand points", true, 1, true, 5000, 3000, false, 4000,
         1000, true, {}},
        {"also in Mean Zero, rather than falling back to the oldest points", true, 1, true, 5000, 3000, true,
         4000, {}, {}, {}},
        {"once the driver has stopped, the whole record", true, 1, false, 5000, 3000, false, 3000, 2000, false,
         {}},
        {"a single scan appends the new points", true, 0, true, 65536, 32768, false, 32768, 32768, false, {}},
        {"nothing new: nothing sent", true, 0, true, 100, 100, false, {}, 0, {}, {}},
        {"the record shrank (a new average began): rebuild and send from the start", true, 0, true, 10, 100,
         false, 0, 10, true, true},
        {"Mean Zero resends everything", true, 0, true, 500, 100, true, 0, 500, {}, {}},
        {"a finished scan resends everything", false, 1, true, 5000, 0, false, 0, 5000, {}, {}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const TimeWindow w =
            timeGraphWindow(c.scanRunning, c.scanMode, c.driverScanning, c.available, c.drawn, c.meanZero);
        if (c.setUpAgain) {
            EXPECT_EQ(w.setUpAgain, *c.setUpAgain);
        }
        if (c.start) {
            EXPECT_EQ(w.start, *c.start);
        }
        if (c.count) {
            EXPECT_EQ(w.count, *c.count);
        }
        if (c.replace) {
            EXPECT_EQ(w.replace, *c.replace);
        }
    }
}

TEST(GraphTables, PanesAndVisibilityFollowTheConfiguration)
{
    EXPECT_EQ(panesForConfiguration(true, "Both", false, "Both"),
              (std::array<bool, 4>{true, true, false, false}));
    EXPECT_EQ(panesForConfiguration(true, "Time Domain", true, "Frequency Domain"),
              (std::array<bool, 4>{true, false, false, true}));
    EXPECT_EQ(panesForConfiguration(true, "both", true, ""),
              (std::array<bool, 4>{false, false, false, false}));

    EXPECT_EQ(initialVisibility(4, true, false), (std::array<bool, 4>{false, false, false, true}));
    EXPECT_EQ(initialVisibility(4, true, true), (std::array<bool, 4>{true, true, true, true}));
    EXPECT_EQ(initialVisibility(3, true, true), (std::array<bool, 4>{true, true, true, false}));
    EXPECT_EQ(initialVisibility(3, false, false), (std::array<bool, 4>{true, true, true, false}));
}

TEST(GraphTables, SeriesColoursAndLabels)
{
    std::mt19937 random(7);
    EXPECT_EQ(seriesColour(0, random), 0xC80000FFu);
    EXPECT_EQ(seriesColour(1, random), 0xC8FF0000u);
    EXPECT_EQ(seriesColour(2, random), 0xC8009900u);
    EXPECT_EQ(seriesColour(3, random), 0xC8FF00FFu);
    EXPECT_EQ(seriesColour(5, random), seriesColour(0, random));
    EXPECT_EQ(seriesColour(7, random), seriesColour(1, random));
    EXPECT_EQ(seriesColour(8, random), seriesColour(2, random));
    EXPECT_EQ(secondPaletteColour(4, random), 0xC8000000u);
    for (int i : {10, 11, 40})
        EXPECT_EQ(seriesColour(i, random) >> 24, 0xC8u);
    EXPECT_EQ(seriesLabel(3), "Total");
    EXPECT_EQ(readoutText('X', 0.25), "X = 0.25");
}
