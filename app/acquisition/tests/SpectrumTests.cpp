#include "app/acquisition/Spectrum.h"

#include "TestSignals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double kRate = 2048.0; // one bin per Hz

struct AxisSpectrum
{
    std::vector<double> frequency;
    std::vector<double> value;
    int count = 0;
};

AxisSpectrum Compute(const std::vector<double>& samples, int segments, bool overlap, int window, int unit,
                     double rate = kRate)
{
    MappedSeries time;
    MappedSeries values;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        time[static_cast<std::uint32_t>(i)] = i / rate;
        values[static_cast<std::uint32_t>(i)] = samples[i];
    }
    MappedSeries f;
    MappedSeries s;
    AxisSpectrum out;
    out.count = static_cast<int>(samples.size());
    ComputeSpectrum(time, values, segments, overlap, window, unit, f, s, out.count);
    for (int k = 0; k < out.count; ++k) {
        out.frequency.push_back(f.get(static_cast<std::uint32_t>(k)));
        out.value.push_back(s.get(static_cast<std::uint32_t>(k)));
    }
    return out;
}

std::vector<double> SineSamples(int n, double amplitude, double bin)
{
    std::vector<double> v(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        v[static_cast<std::size_t>(i)] = Sine(amplitude, bin / 2048.0, i);
    return v;
}

std::vector<double> NoiseSamples(int n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::normal_distribution<double> noise(0.3, 1.0);
    std::vector<double> v(static_cast<std::size_t>(n));
    for (double& x : v)
        x = noise(gen);
    return v;
}

} // namespace

TEST(Spectrum, SineOnAnExactBinGivesItsRmsAndPeakToPeak)
{
    for (bool overlap : {false, true}) {
        const auto samples = SineSamples(8192, 1.0, 64);
        const AxisSpectrum rms = Compute(samples, 2, overlap, WindowNone, UnitRms);
        ASSERT_EQ(rms.count, 1024);
        EXPECT_NEAR(rms.value[64], 1.0 / std::sqrt(2.0), 1e-9);
        EXPECT_NEAR(rms.frequency[64], 64.0, 1e-9);
        EXPECT_LT(rms.value[10], 1e-9);
        const AxisSpectrum pkpk = Compute(samples, 2, overlap, WindowNone, UnitPkPk);
        EXPECT_NEAR(pkpk.value[64], 2.0, 1e-9);
    }
    // The amplitude factor of a window scales the power it measures.
    const AxisSpectrum hann = Compute(SineSamples(8192, 1.0, 64), 2, false, WindowHann, UnitRms);
    double windowEnergy = 0.0;
    double windowSum = 0.0;
    for (int n = 0; n < 2048; ++n) {
        windowEnergy += WindowValue(WindowHann, n) * WindowValue(WindowHann, n);
        windowSum += WindowValue(WindowHann, n);
    }
    const double coherentPower = 0.5 * windowSum * windowSum / (2048.0 * windowEnergy);
    EXPECT_NEAR(hann.value[64], std::sqrt(1.39 * coherentPower), 1e-9);
}

TEST(Spectrum, FrequencyAxisCoversEveryRecordedSampleAndZeroPadding)
{
    MappedSeries time;
    MappedSeries values;
    for (std::uint32_t i = 0; i < 10000; ++i)
        time[i] = i * 0.001;
    MappedSeries f;
    MappedSeries s;
    int count = 100;
    ComputeSpectrum(time, values, 2, true, WindowHamming, UnitRms, f, s, count);
    EXPECT_EQ(count, 1024);
    EXPECT_NEAR(f.get(8191), 8191 * 1000.0 / 2048.0, 1e-9);
    EXPECT_EQ(f.highWaterCount(), 8192u); // max(2 × 4096, 100)
    count = 10000;
    ComputeSpectrum(time, values, 2, true, WindowHamming, UnitRms, f, s, count);
    EXPECT_NEAR(f.get(9999), 9999 * 1000.0 / 2048.0, 1e-6);

    // A short record is zero-padded: a 100-sample sine still gives 1024 points with its peak.
    const AxisSpectrum shortRecord = Compute(SineSamples(100, 1.0, 128), 1, false, WindowNone, UnitRms);
    ASSERT_EQ(shortRecord.count, 1024);
    EXPECT_EQ(std::max_element(shortRecord.value.begin(), shortRecord.value.end()) -
                  shortRecord.value.begin(),
              128);
}

TEST(Spectrum, OneSegmentConsumes3072SamplesWithOverlapAnd4096Without)
{
    auto impulseAt = [](int index) {
        std::vector<double> v(6000, 0.0);
        v[static_cast<std::size_t>(index)] = 1.0;
        return v;
    };
    auto energy = [](const AxisSpectrum& s) {
        double e = 0.0;
        for (double v : s.value)
            e += v;
        return e;
    };
    EXPECT_GT(energy(Compute(impulseAt(3071), 1, true, WindowNone, UnitRms)), 0.0);
    EXPECT_EQ(energy(Compute(impulseAt(3072), 1, true, WindowNone, UnitRms)), 0.0);
    EXPECT_GT(energy(Compute(impulseAt(4095), 1, false, WindowNone, UnitRms)), 0.0);
    EXPECT_EQ(energy(Compute(impulseAt(4096), 1, false, WindowNone, UnitRms)), 0.0);
    // With overlap the history samples 1024 … 2047 appear in both blocks.
    EXPECT_GT(energy(Compute(impulseAt(1500), 1, true, WindowNone, UnitRms)), 0.0);
}

TEST(Spectrum, ParsevalHoldsForOneUnwindowedSegment)
{
    const auto x = NoiseSamples(4096, 7);
    const AxisSpectrum s = Compute(x, 1, false, WindowNone, UnitRms);
    double sumP = 0.0;
    for (double v : s.value)
        sumP += v * v;
    // Power of both 2048-sample blocks, less the Nyquist term the spectrum leaves out.
    double energy = 0.0;
    std::complex<double> nyquist;
    for (int n = 0; n < 2048; ++n) {
        const double re = x[static_cast<std::size_t>(n)];
        const double im = x[static_cast<std::size_t>(n + 2048)];
        energy += re * re + im * im;
        nyquist += (n % 2 == 0 ? 1.0 : -1.0) * std::complex<double>(re, im);
    }
    const double expected = (2048.0 * energy - std::norm(nyquist)) / (2048.0 * 4096.0);
    EXPECT_NEAR(sumP, expected, 1e-9 * expected);
}

TEST(Spectrum, DensityUnitsSubtractTheSmallestPower)
{
    const auto x = NoiseSamples(9000, 3);
    for (int unit : {UnitRmsDensity, UnitPkPkDensity}) {
        const AxisSpectrum d = Compute(x, 2, true, WindowBlackman, unit, 1000.0);
        EXPECT_EQ(*std::min_element(d.value.begin(), d.value.end()), 0.0);
    }
    // S = K × A × √((P − Pmin) / √(B × fs / 2048)) against the RMS value of the same power.
    const AxisSpectrum rms = Compute(x, 2, true, WindowBlackman, UnitRms, 1000.0);
    const AxisSpectrum density = Compute(x, 2, true, WindowBlackman, UnitPkPkDensity, 1000.0);
    std::vector<double> p;
    for (double v : rms.value)
        p.push_back(v * v / 0.22);
    const double pMin = *std::min_element(p.begin(), p.end());
    const int k = 300;
    EXPECT_NEAR(density.value[k],
                2.0 * std::sqrt(2.0) * 0.22 * std::sqrt((p[k] - pMin) / std::sqrt(1.73 * 1000.0 / 2048.0)),
                1e-12);
}

TEST(Spectrum, NoSampleRateGivesNoSpectrum)
{
    const AxisSpectrum one = Compute({1.0}, 1, true, WindowNone, UnitRms);
    EXPECT_EQ(one.count, 0);
    MappedSeries time; // all times 0: no rate either
    MappedSeries values;
    MappedSeries f;
    MappedSeries s;
    int count = 50;
    ComputeSpectrum(time, values, 1, true, WindowNone, UnitRms, f, s, count);
    EXPECT_EQ(count, 0);
}

TEST(Spectrum, TimeDisplayModesAndScaling)
{
    ScanData data;
    FillScanData(data, 20, 100.0, [](int a, int i) { return 10.0 * (a + 1) + i; });
    MappedSeries x;
    MappedSeries y0, y1, y2;
    std::vector<MappedSeries*> y{&y0, &y1, &y2};

    ConvertTimeForDisplay(data, "Normal", 0, false, 2.0, x, y);
    EXPECT_EQ(y0.get(3), 2.0 * 13.0);
    EXPECT_NEAR(x.get(5), 0.05, 1e-15);

    ConvertTimeForDisplay(data, "Mean Zero", 0, true, 2.0, x, y);
    EXPECT_DOUBLE_EQ(data.displayOffset[1], 20.0 + 9.5);
    EXPECT_DOUBLE_EQ(y1.get(0), (20.0 - 29.5) / 2.0);

    ConvertTimeForDisplay(data, "Offset To Zero", 0, false, 1.0, x, y);
    EXPECT_DOUBLE_EQ(data.displayOffset[0], 10.0 + 4.5); // mean of the first ten
    // A later call from a start index keeps that offset.
    ConvertTimeForDisplay(data, "Offset To Zero", 15, false, 1.0, x, y);
    EXPECT_DOUBLE_EQ(y0.get(0), 25.0 - 14.5);
    EXPECT_NEAR(x.get(0), 0.15, 1e-15);

    ScanData few;
    FillScanData(few, 6, 100.0, [](int, int i) { return 3.0 + i * i; });
    ConvertTimeForDisplay(few, "Offset To Zero", 0, false, 1.0, x, y);
    EXPECT_EQ(few.displayOffset[2], 3.0); // the first sample
    EXPECT_EQ(y2.get(5), 25.0);

    TotalField(y, 6, x);
    EXPECT_DOUBLE_EQ(x.get(5), std::sqrt(3 * 25.0 * 25.0));
}

TEST(Spectrum, SpectrumDisplayStartsAtTheThirdPointAndShowsDecibels)
{
    ScanData data;
    data.pointCount = 1024;
    data.axisCount = 3;
    data.allocate();
    for (std::uint32_t k = 0; k < 1024; ++k) {
        data.frequencyAxis[k] = k * 0.5;
        data.spectrum[0][k] = 1.0;
        data.spectrum[1][k] = 0.0;
        data.spectrum[2][k] = k;
    }
    data.spectrumPointCount = 1024;
    MappedSeries x;
    MappedSeries y0, y1, y2;
    std::vector<MappedSeries*> y{&y0, &y1, &y2};
    int count = 0;
    ConvertSpectrumForDisplay(data, "Normal", false, 3.0, x, y, count);
    EXPECT_EQ(count, 1022);
    EXPECT_EQ(x.get(0), 1.0);
    EXPECT_EQ(y2.get(0), 6.0);

    ConvertSpectrumForDisplay(data, "Normal", true, 1.0, x, y, count);
    EXPECT_DOUBLE_EQ(y0.get(7), 94.0); // 1 Pa
    EXPECT_EQ(y1.get(7), 0.0);         // 0 Pa shows 0 dB
    EXPECT_DOUBLE_EQ(y2.get(0), 20.0 * std::log10(2.0) + 94.0);

    MappedSeries total;
    SpectrumTotalField(data, false, 1.0, total);
    EXPECT_DOUBLE_EQ(total.get(0), std::sqrt(1.0 + 4.0));
    EXPECT_EQ(total.get(1022), 0.0);
    EXPECT_EQ(total.get(1023), 0.0);
    EXPECT_EQ(total.highWaterCount(), 1024u);

    for (std::uint32_t k = 0; k < 1024; ++k)
        data.spectrum[2][k] = 10.0;
    EXPECT_EQ(InputMeansText(data), "X = 94 dB\nY = 0 dB\nZ = 114 dB");
    EXPECT_EQ(InputMeansCaption(1), "Input2 Frequency Averages");

    data.spectrumPointCount = 0;
    ConvertSpectrumForDisplay(data, "Normal", false, 1.0, x, y, count);
    EXPECT_EQ(count, 0);
}

// The same spectrum from SciPy's real transform of each block, without the
// two-blocks-in-one-transform packing.
TEST(Spectrum, AgreesWithScipy)
{
    const char* pythons[] = {"/usr/bin/python3", "python3"};
    std::string python;
    for (const char* candidate : pythons) {
        const std::string probe = std::string(candidate) + " -c 'import scipy.fft, numpy' >/dev/null 2>&1";
        if (std::system(probe.c_str()) == 0) {
            python = candidate;
            break;
        }
    }
    if (python.empty()) GTEST_SKIP() << "python3 with SciPy is not installed";

    const std::filesystem::path dir = std::filesystem::temp_directory_path();
    const auto x = NoiseSamples(7000, 11);
    {
        std::ofstream in(dir / "signal.txt");
        in.precision(17);
        for (double v : x)
            in << v << "\n";
    }
    const std::string script = R"PY(
import sys, numpy as np, scipy.fft as sf
x = np.loadtxt(sys.argv[1]); segments = int(sys.argv[2]); overlap = sys.argv[3] == "1"
window = int(sys.argv[4]); unit = int(sys.argv[5]); fs = 1000.0
n = np.arange(2048); t = np.pi * n / 1024
w = {0: np.ones(2048), 2: 0.5 * (1 - np.cos(t)), 3: 0.543478 - 0.456522 * np.cos(t),
     5: 0.2156 - 0.416*np.cos(t) + 0.2781*np.cos(2*t) - 0.0836*np.cos(3*t) + 0.0069*np.cos(4*t)}[window]
A = {0: 1.0, 2: 1.39, 3: 1.0, 5: 0.42}[window]; B = {0: 1.0, 2: 1.5, 3: 1.36, 5: 3.77}[window]
held = len(x); L = max(segments * 4096, len(x)); x = np.concatenate([x, np.zeros(L - len(x))])
P = np.zeros(1024); E = 0.0
step = 1024 if overlap else 2048
starts = [step * s for s in range(2 * segments)]
for s in range(segments):
    weights = []
    for start in starts[2 * s: 2 * s + 2]:
        X = sf.rfft(w * x[start: start + 2048])
        P[0] += X[0].real ** 2
        P[1:] += 2 * np.abs(X[1:1024]) ** 2
        # padding does not count: a block weighs the squared share of the window its samples cover
        weights.append((np.sum(w[:min(max(held - start, 0), 2048)]) / np.sum(w)) ** 2)
    E += np.sum(w * w) * (weights[0] + weights[1]) / 2
P /= E * 4096
K = 2 * np.sqrt(2) if unit in (2, 3) else 1.0
S = K * A * np.sqrt((P - P.min()) / np.sqrt(B * fs / 2048)) if unit in (1, 3) else K * np.sqrt(A * P)
np.savetxt(sys.argv[6], S, fmt="%.17g")
)PY";
    {
        std::ofstream py(dir / "reference.py");
        py << script;
    }
    struct Case
    {
        int segments;
        bool overlap;
        int window;
        int unit;
    };
    for (const Case c :
         {Case{3, true, WindowHann, UnitRms}, Case{1, false, WindowNone, UnitPkPk},
          Case{2, false, WindowFlatTop, UnitRmsDensity}, Case{2, true, WindowHamming, UnitPkPkDensity}}) {
        const std::string out = (dir / "reference.txt").string();
        const std::string command = python + " " + (dir / "reference.py").string() + " " +
                                    (dir / "signal.txt").string() + " " + std::to_string(c.segments) + " " +
                                    (c.overlap ? "1 " : "0 ") + std::to_string(c.window) + " " +
                                    std::to_string(c.unit) + " " + out;
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        std::ifstream ref(out);
        std::vector<double> expected;
        for (double v; ref >> v;)
            expected.push_back(v);
        ASSERT_EQ(expected.size(), 1024u);
        const AxisSpectrum ours = Compute(x, c.segments, c.overlap, c.window, c.unit, 1000.0);
        ASSERT_EQ(ours.count, 1024);
        double peak = *std::max_element(expected.begin(), expected.end());
        for (int k = 0; k < 1024; ++k)
            ASSERT_NEAR(ours.value[static_cast<std::size_t>(k)], expected[static_cast<std::size_t>(k)],
                        1e-9 * peak)
                << "bin " << k << " window " << c.window << " unit " << c.unit;
    }
}

// A record shorter than its segments is padded with zeros, and the padding
// must not count as signal: a steady sine reads the level a long record gives,
// under every window, with and without overlap.
TEST(Spectrum, ASineReadsTheSameLevelAtEveryRecordLength)
{
    constexpr int kBin = 256;
    for (bool overlap : {true, false}) {
        for (int window = WindowNone; window <= WindowBlackman; ++window) {
            const double reference =
                Compute(SineSamples(20000, 1.0, kBin), 2, overlap, window, UnitRms).value[kBin];
            ASSERT_GT(reference, 0.0);
            for (int length : {500, 1000, 3072, 5120}) {
                const AxisSpectrum s = Compute(SineSamples(length, 1.0, kBin), 2, overlap, window, UnitRms);
                ASSERT_EQ(s.count, 1024);
                EXPECT_NEAR(s.value[kBin] / reference, 1.0, 0.02)
                    << "window " << window << ", " << length << " samples, overlap " << overlap;
            }
        }
    }
    // Without a window the level is the sine's RMS itself.
    EXPECT_NEAR(Compute(SineSamples(1000, 2.0, kBin), 2, true, WindowNone, UnitRms).value[kBin],
                std::sqrt(2.0), 0.01);
}

TEST(Spectrum, RecordsThatFillEverySegmentKeepTheirBits)
{
    for (bool overlap : {true, false}) {
        const int needed = overlap ? 1024 + 2 * 2048 : 2 * 4096;
        for (int length : {needed, needed + 777}) {
            const std::vector<double> noise = NoiseSamples(length, 7);
            MappedSeries values;
            for (int i = 0; i < length; ++i)
                values[static_cast<std::uint32_t>(i)] = noise[static_cast<std::size_t>(i)];
            for (int window = WindowNone; window <= WindowBlackman; ++window) {
                MappedSeries unbounded;
                MappedSeries bounded;
                AccumulatePowerSpectrum(values, unbounded, 2, overlap, window);
                AccumulatePowerSpectrum(values, bounded, 2, overlap, window,
                                        static_cast<std::uint32_t>(length));
                for (std::uint32_t k = 0; k < 1024; ++k)
                    ASSERT_EQ(bounded.get(k), unbounded.get(k)) << window << " " << k;
            }
        }
    }
    // Nothing sampled gives no power rather than a division by zero.
    MappedSeries silence;
    silence[4095] = 0.0;
    MappedSeries power;
    AccumulatePowerSpectrum(silence, power, 1, false, WindowHann, 0);
    EXPECT_EQ(power.get(5), 0.0);
}
