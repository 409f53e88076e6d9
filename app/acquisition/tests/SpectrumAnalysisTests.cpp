#include "app/acquisition/Spectrum.h"
#include "app/acquisition/SpectrumAnalysis.h"

#include "TestSignals.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

struct Displayed
{
    std::vector<double> f;
    std::vector<std::vector<double>> y;
};

// One input group's spectrum as the graph shows it (scale 1, or dB).
Displayed computeAndDisplay(ScanData& data, int window, int unit, bool decibel, int segments = 4)
{
    MappedSeries tx;
    std::vector<MappedSeries> ty(3);
    std::vector<MappedSeries*> typ{&ty[0], &ty[1], &ty[2]};
    ConvertTimeForDisplay(data, "Normal", 0, false, 1.0, tx, typ);
    data.spectrumPointCount = 0;
    for (int a = 0; a < 3; ++a) {
        int count = data.samplesAcquired;
        MappedSeries out;
        ComputeSpectrum(data.timeAxis, ty[static_cast<std::size_t>(a)], segments, true, window, unit,
                        data.frequencyAxis, out, count);
        for (int i = 0; i < count; ++i)
            data.spectrum[static_cast<std::size_t>(a)][static_cast<std::uint32_t>(i)] =
                out.get(static_cast<std::uint32_t>(i));
        data.spectrumPointCount = count;
    }
    MappedSeries fx;
    std::vector<MappedSeries> fy(3);
    std::vector<MappedSeries*> fyp{&fy[0], &fy[1], &fy[2]};
    int shown = 0;
    ConvertSpectrumForDisplay(data, "Normal", decibel, 1.0, fx, fyp, shown);
    Displayed d;
    d.y.resize(3);
    for (int i = 0; i < shown; ++i) {
        d.f.push_back(fx.get(static_cast<std::uint32_t>(i)));
        for (int a = 0; a < 3; ++a)
            d.y[static_cast<std::size_t>(a)].push_back(
                fy[static_cast<std::size_t>(a)].get(static_cast<std::uint32_t>(i)));
    }
    return d;
}

} // namespace

TEST(SpectrumAnalysis, BandAroundASineGivesItsRmsUnderEveryWindowAndUnit)
{
    // 10000 samples at 2048 Hz: 1 Hz bins. Sines between bins and on a bin.
    const double rate = 2048.0;
    const double amplitude[3] = {1.0, 0.25, 3.0};
    const double frequency[3] = {200.37, 415.0, 640.5};
    ScanData data;
    FillScanData(data, 10000, rate, [&](int a, int i) {
        return Sine(amplitude[a], frequency[a] / rate, i) + 0.5; // DC stays out of the band
    });
    for (int unit = 0; unit < 4; ++unit)
        for (int window = 0; window <= 6; ++window) {
            const Displayed d = computeAndDisplay(data, window, unit, false);
            double total = 0.0;
            for (int a = 0; a < 3; ++a) {
                const double ms = BandMeanSquare(d.f, d.y[static_cast<std::size_t>(a)], frequency[a] - 20.0,
                                                 frequency[a] + 20.0, window, unit, false);
                const double rms = amplitude[a] / std::sqrt(2.0);
                EXPECT_NEAR(std::sqrt(ms), rms, 0.01 * rms)
                    << "window " << window << " unit " << unit << " axis " << a;
                total += ms;
            }
            // Total field: the three bands together.
            const double expected = std::sqrt((1.0 + 0.0625 + 9.0) / 2.0);
            EXPECT_NEAR(std::sqrt(total), expected, 0.01 * expected);
        }
}

TEST(SpectrumAnalysis, BandLevelOfAMicrophoneSpectrumInDecibels)
{
    const double rate = 2048.0;
    ScanData data;
    FillScanData(data, 10000, rate, [&](int, int i) { return Sine(2.0, 300.0 / rate, i); });
    const Displayed d = computeAndDisplay(data, 2, 0, true);
    const double ms = BandMeanSquare(d.f, d.y[0], 280.0, 320.0, 2, 0, true);
    // 2 Pa amplitude: √2 Pa rms = 97.0 dB SPL.
    EXPECT_NEAR(BandLevelFromMeanSquare(ms, true), 20.0 * std::log10(std::sqrt(2.0)) + 94.0, 0.09);
    // Nothing in the band reads as silence, not as a level.
    EXPECT_EQ(BandLevelFromMeanSquare(0.0, true), 0.0);
    EXPECT_NE(BandLevelText(320.0, 280.0, {ms, ms, ms}, "Pa", true).find("Band 280 … 320 Hz: X = 97"),
              std::string::npos);
}

TEST(SpectrumAnalysis, PeaksAreTheLargestLinesWithTheirLevelRelativeToTheLargest)
{
    const double rate = 2048.0;
    ScanData data;
    FillScanData(data, 10000, rate, [&](int, int i) {
        return Sine(1.0, 100.0 / rate, i) + Sine(0.1, 300.0 / rate, i) + Sine(0.01, 500.0 / rate, i);
    });
    const Displayed d = computeAndDisplay(data, 5, 0, false); // Flat Top reads amplitudes truly
    const auto peaks = FindSpectrumPeaks(d.f, d.y[0], 3, false);
    ASSERT_EQ(peaks.size(), 3u);
    EXPECT_NEAR(peaks[0].frequency, 100.0, 0.6);
    EXPECT_NEAR(peaks[1].frequency, 300.0, 0.6);
    EXPECT_NEAR(peaks[2].frequency, 500.0, 0.6);
    EXPECT_EQ(peaks[0].relativeDb, 0.0);
    EXPECT_NEAR(peaks[1].relativeDb, -20.0, 0.2);
    EXPECT_NEAR(peaks[2].relativeDb, -40.0, 0.5);
    EXPECT_EQ(d.f[static_cast<std::size_t>(peaks[1].index)], peaks[1].frequency);

    // dB values: the relative level is a difference; a flat or empty series has no peak.
    const auto db = FindSpectrumPeaks({1, 2, 3, 4, 5}, {50, 80, 60, 70, 65}, 5, true);
    ASSERT_EQ(db.size(), 2u);
    EXPECT_EQ(db[1].relativeDb, -10.0);
    EXPECT_TRUE(FindSpectrumPeaks({1, 2, 3}, {0, 0, 0}, 5, false).empty());
    EXPECT_TRUE(FindSpectrumPeaks({}, {}, 5, false).empty());
}

TEST(SpectrumAnalysis, HarmonicMarkersSnapToTheNearestPoint)
{
    std::vector<double> f;
    for (int i = 2; i < 100; ++i)
        f.push_back(i * 0.5);
    const auto m = HarmonicMarkers(10.2, f, 10);
    ASSERT_EQ(m.size(), 4u); // 10.2, 20.4, 30.6, 40.8; 51 is past the last point (49.5)
    EXPECT_EQ(m[0].order, 1);
    EXPECT_DOUBLE_EQ(f[static_cast<std::size_t>(m[0].index)], 10.0);
    EXPECT_DOUBLE_EQ(f[static_cast<std::size_t>(m[1].index)], 20.5);
    EXPECT_DOUBLE_EQ(m[3].frequency, 40.8);
    EXPECT_EQ(HarmonicMarkers(20.0, f, 2).size(), 2u);
    EXPECT_TRUE(HarmonicMarkers(0.0, f, 10).empty());
    EXPECT_TRUE(HarmonicMarkers(-5.0, f, 10).empty());
}
