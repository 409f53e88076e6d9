#include "app/graphs/DisplaySeries.h"

#include "app/acquisition/CCorvelDoc.h"
#include "app/acquisition/tests/TestSignals.h"
#include "app/graphs/GraphTables.h"
#include "app/base/ConfigurationValues.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using namespace GraphTables;

namespace {

constexpr int kSamples = 1024;

// A finished scan: input 1 with `axes` axes, input 2 with three, spectra computed.
std::unique_ptr<CCorvelDoc> makeDocument(const CScanConfiguration& c, const DefaultSettings& d = {},
                                         int axes = 3)
{
    auto doc = std::make_unique<CCorvelDoc>(c, d);
    for (int input = 0; input < 2; ++input)
        FillScanData(doc->scan.input(input), kSamples, 1000.0, [input](int axis, int i) {
            return 0.5 + Sine((input + 1.0) * (axis + 1), 0.02 * (axis + 1), i);
        });
    ScanData& first = doc->scan.input(0);
    if (axes < 3) {
        // Fewer axes: the record holds only the first ones.
        first.timeData.resize(static_cast<std::size_t>(axes));
        first.axisCount = axes;
    }
    doc->RecomputeSpectra();
    return doc;
}

} // namespace

// Values in display units, the total over the same points, labels and first visibility.
TEST(DisplaySeries, TimeRecordInDisplayUnitsWithItsTotal)
{
    CScanConfiguration c;
    c.UseInput2 = 1;
    c.ShowTotalField = 1;
    c.Input1DisplayMode = "Offset To Zero";
    DefaultSettings d;
    d.Input1Scaling = 2;
    auto doc = makeDocument(c, d);
    DisplaySeries s = DisplaySeries::time(*doc, 0);
    ASSERT_EQ(s.components(), 3);
    ASSERT_EQ(s.count(), static_cast<std::size_t>(kSamples));
    EXPECT_TRUE(s.withTotal());
    EXPECT_EQ(s.drawnSeries(), (std::vector<int>{0, 1, 2, totalFieldSeries}));

    const ScanData& data = doc->scan.input1;
    const double scale = doc->inputScale(0);
    const double* x = s.x();
    for (int i : {0, 9, 500, kSamples - 1}) {
        const auto at = static_cast<std::uint32_t>(i);
        EXPECT_DOUBLE_EQ(x[i], data.timeAxis.get(at));
        double sum = 0.0;
        for (int a = 0; a < 3; ++a) {
            // "Offset To Zero" removes the mean of the first ten samples.
            double first10 = 0.0;
            for (std::uint32_t k = 0; k < 10; ++k)
                first10 += data.timeData[static_cast<std::size_t>(a)].get(k);
            const double expected =
                (data.timeData[static_cast<std::size_t>(a)].get(at) - first10 / 10.0) * scale;
            EXPECT_NEAR(s.values(a)[i], expected, 1e-12) << a << " " << i;
            sum += expected * expected;
        }
        EXPECT_NEAR(s.values(totalFieldSeries)[i], std::sqrt(sum), 1e-12) << i;
    }
    EXPECT_EQ(s.label(0), "x");
    EXPECT_EQ(s.label(totalFieldSeries), "Total");
    EXPECT_EQ(DisplaySeries::colour(0), DisplaySeries::colour(4)); // x and its limit lines share red
    EXPECT_EQ(s.initialVisibility(), (std::array<bool, 4>{true, true, true, true}));

    // Without the total: no total series, no label, nothing to draw there.
    c.ShowTotalField = 0;
    auto plain = makeDocument(c, d);
    DisplaySeries p = DisplaySeries::time(*plain, 0);
    EXPECT_FALSE(p.withTotal());
    EXPECT_FALSE(p.has(totalFieldSeries));
    EXPECT_EQ(p.label(totalFieldSeries), "");
    EXPECT_EQ(p.values(totalFieldSeries), nullptr);
    EXPECT_EQ(p.initialVisibility(), (std::array<bool, 4>{true, true, true, false}));
}

// A refresh window converts only its samples, with the offset of the whole record.
TEST(DisplaySeries, WindowMatchesTheSameSamplesOfTheWholeRecord)
{
    CScanConfiguration c;
    c.ShowTotalField = 1;
    c.Input1DisplayMode = "Mean Zero";
    auto doc = makeDocument(c);
    DisplaySeries whole = DisplaySeries::time(*doc, 0, 0);
    DisplaySeries window = DisplaySeries::time(*doc, 0, 100, 50);
    ASSERT_EQ(window.count(), 50u);
    // "Mean Zero" of a window is the mean of the samples from its start on.
    DisplaySeries tail = DisplaySeries::time(*doc, 0, 100);
    ASSERT_EQ(tail.count(), static_cast<std::size_t>(kSamples - 100));
    for (int i = 0; i < 50; ++i) {
        EXPECT_DOUBLE_EQ(window.x()[i], whole.x()[100 + i]);
        for (int series : {0, 2, totalFieldSeries})
            EXPECT_DOUBLE_EQ(window.values(series)[i], tail.values(series)[i]) << series << " " << i;
    }
    // A start beyond the record, or an empty one, gives nothing and no values to read.
    DisplaySeries beyond = DisplaySeries::time(*doc, 0, kSamples + 5);
    EXPECT_EQ(beyond.count(), 0u);
    EXPECT_EQ(beyond.x(), nullptr);
    EXPECT_EQ(beyond.values(0), nullptr);
    CCorvelDoc empty(c, DefaultSettings{});
    DisplaySeries none = DisplaySeries::time(empty, 0);
    EXPECT_EQ(none.count(), 0u);
    EXPECT_EQ(none.components(), 0);
    EXPECT_FALSE(none.withTotal());
    EXPECT_TRUE(none.drawnSeries().empty());
}

// A record with one axis: the others are placeholders, the total is that axis' size.
TEST(DisplaySeries, MissingAxesArePlaceholdersAndTheTotalAloneFollowsTheSettings)
{
    CScanConfiguration c;
    c.ShowTotalField = 1;
    c.ShowFieldComponents = 0;
    auto doc = makeDocument(c, {}, 1);
    DisplaySeries s = DisplaySeries::time(*doc, 0);
    ASSERT_EQ(s.components(), 1);
    EXPECT_EQ(s.drawnSeries(), (std::vector<int>{0, totalFieldSeries}));
    EXPECT_EQ(s.label(1), "");
    EXPECT_EQ(s.label(2), "");
    EXPECT_EQ(s.values(1), nullptr);
    for (int i : {3, 700})
        EXPECT_NEAR(s.values(totalFieldSeries)[i], std::abs(s.values(0)[i]), 1e-12);
    // Components off, total on: only the total is shown at first.
    EXPECT_EQ(s.initialVisibility(), (std::array<bool, 4>{false, false, false, true}));
}

// Spectra leave out the two lowest points; a microphone's are sound pressure levels.
TEST(DisplaySeries, SpectraOfSensorsAndMicrophones)
{
    CScanConfiguration c;
    c.UseInput2 = 1;
    c.Input2Mode = SensorTypes::Microphone;
    auto doc = makeDocument(c);
    DisplaySeries vibration = DisplaySeries::spectrum(*doc, 0);
    DisplaySeries sound = DisplaySeries::spectrum(*doc, 1);
    const ScanData& data = doc->scan.input1;
    ASSERT_EQ(vibration.count(), static_cast<std::size_t>(data.spectrumPointCount - 2));
    ASSERT_EQ(sound.count(), static_cast<std::size_t>(doc->scan.input2.spectrumPointCount - 2));
    EXPECT_DOUBLE_EQ(vibration.x()[0], data.frequencyAxis.get(2));
    double loudest = 0.0;
    for (std::size_t i = 0; i < sound.count(); ++i)
        loudest = std::max(loudest, sound.values(0)[i]);
    EXPECT_GT(loudest, 90.0);
    // The peak of input 1's x axis lies at its signal frequency, 20 Hz.
    std::size_t peak = 0;
    for (std::size_t i = 1; i < vibration.count(); ++i)
        if (vibration.values(0)[i] > vibration.values(0)[peak]) peak = i;
    EXPECT_NEAR(vibration.x()[peak], 20.0, 1.5);
}

TEST(DisplaySeries, PaneTitlesAndManualScale)
{
    CScanConfiguration c;
    c.UseInput2 = 1;
    c.Input2Mode = SensorTypes::Magnetometer;
    c.Input2AutoScale = 0;
    c.Input2Minimum = -2.0;
    c.Input2Maximum = 3.0;
    DefaultSettings d;
    d.MagneticUnits = 1;
    d.Input2Scaling = 1;
    auto doc = makeDocument(c, d);
    const PaneTitles bottom = paneTitles(*doc, BottomFrequency);
    EXPECT_EQ(bottom.graph, "Input 2 Frequency Domain");
    EXPECT_EQ(bottom.x, "Frequency (Hz)");
    EXPECT_EQ(bottom.y, "Magnetic Strength (uTrms / sqrt(Hz))");
    EXPECT_EQ(paneTitles(*doc, TopTime).y, "Vibration (ug)");

    EXPECT_FALSE(manualYRange(*doc, TopTime).has_value());
    ASSERT_TRUE(manualYRange(*doc, BottomTime).has_value());
    EXPECT_EQ(*manualYRange(*doc, BottomTime), (ChartControl::Range{-2.0, 3.0}));
    // Spectra always scale themselves.
    EXPECT_FALSE(manualYRange(*doc, BottomFrequency).has_value());
}
