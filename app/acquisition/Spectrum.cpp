#include "app/acquisition/Spectrum.h"

#include "app/acquisition/ScanDataLock.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <utility>

using namespace SpectrumConstants;

double WindowValue(int window, int n, double halfLength, double inverseHalfLength)
{
    const double pi = std::numbers::pi;
    const double t = pi * n * inverseHalfLength;
    switch (window) {
    case WindowBartlett:
        return 1.0 - std::fabs((n - halfLength) * inverseHalfLength);
    case WindowHann:
        return 0.5 * (1.0 - std::cos(t));
    case WindowHamming:
        return 0.543478 - 0.456522 * std::cos(t);
    case WindowWelch: {
        const double u = (n - halfLength) * inverseHalfLength;
        return 1.0 - u * u;
    }
    case WindowFlatTop:
        return 0.2156 - 0.416 * std::cos(t) + 0.2781 * std::cos(2 * t) - 0.0836 * std::cos(3 * t) +
               0.0069 * std::cos(4 * t);
    case WindowBlackman:
        return 0.42 - 0.5 * std::cos(t) + 0.08 * std::cos(2 * t);
    default:
        return 1.0;
    }
}

double WindowAmplitudeFactor(int window)
{
    switch (window) {
    case WindowBartlett:
    case WindowHann:
        return 1.39;
    case WindowFlatTop:
        return 0.42;
    case WindowBlackman:
        return 0.22;
    default:
        return 1.0;
    }
}

double WindowBandwidthFactor(int window)
{
    switch (window) {
    case WindowBartlett:
        return 1.33;
    case WindowHann:
        return 1.5;
    case WindowHamming:
        return 1.36;
    case WindowFlatTop:
        return 3.77;
    case WindowBlackman:
        return 1.73;
    default:
        return 1.0;
    }
}

bool IsDensityUnit(int unit)
{
    return unit == UnitRmsDensity || unit == UnitPkPkDensity;
}

double PeakToPeakFactor(int unit)
{
    if (unit == UnitPkPk || unit == UnitPkPkDensity) return std::sqrt(2.0) + std::sqrt(2.0);
    return 1.0;
}

void Transform2048(double* data)
{
    // Radix-2 decimation in time over 1-based indexing of the interleaved array.
    double* d = data - 1;
    const int nn = kBlockLength;
    const int n = nn << 1;
    int j = 1;
    for (int i = 1; i < n; i += 2) {
        if (j > i) {
            std::swap(d[j], d[i]);
            std::swap(d[j + 1], d[i + 1]);
        }
        int m = nn;
        while (m >= 2 && j > m) {
            j -= m;
            m >>= 1;
        }
        j += m;
    }
    int mmax = 2;
    while (n > mmax) {
        const int istep = mmax << 1;
        const double theta = 2.0 * std::numbers::pi / mmax;
        double wtemp = std::sin(0.5 * theta);
        const double wpr = -2.0 * wtemp * wtemp;
        const double wpi = std::sin(theta);
        double wr = 1.0;
        double wi = 0.0;
        for (int m = 1; m < mmax; m += 2) {
            for (int i = m; i <= n; i += istep) {
                const int k = i + mmax;
                const double tempr = wr * d[k] - wi * d[k + 1];
                const double tempi = wr * d[k + 1] + wi * d[k];
                d[k] = d[i] - tempr;
                d[k + 1] = d[i + 1] - tempi;
                d[i] += tempr;
                d[i + 1] += tempi;
            }
            wtemp = wr;
            wr = wr * wpr - wi * wpi + wr;
            wi = wi * wpr + wtemp * wpi + wi;
        }
        mmax = istep;
    }
}

void AccumulatePowerSpectrum(MappedSeries& values, MappedSeries& power, int segments, bool overlap,
                             int window, std::uint32_t validSamples)
{
    segments = std::clamp(segments, 1, kMaxSegments);
    std::vector<double> block(2 * kBlockLength);
    std::vector<double> history(kHop);
    std::array<double, kBlockLength> w{};
    double windowEnergy = 0.0;
    double windowSum = 0.0;
    for (int n = 0; n < kBlockLength; ++n) {
        w[n] = WindowValue(window, n, 1024.0, 1.0 / 1024.0);
        windowEnergy += w[n] * w[n];
        windowSum += w[n];
    }
    // The share of a block's window energy a sine puts into its line: 1 for a
    // block of samples, (Σ w over the sampled positions / Σ w)² for a block
    // that ends in padding, 0 for padding alone. Padding then no longer counts
    // as signal, and a sine reads the same level at every record length.
    auto blockWeight = [&](std::uint32_t first) {
        if (first >= validSamples) return 0.0;
        const std::uint32_t held = validSamples - first;
        if (held >= static_cast<std::uint32_t>(kBlockLength)) return 1.0;
        double sum = 0.0;
        for (std::uint32_t n = 0; n < held; ++n)
            sum += w[n];
        const double share = windowSum != 0.0 ? sum / windowSum : 0.0;
        return share * share;
    };
    const std::uint32_t needed =
        overlap ? std::uint32_t(kHop + segments * kBlockLength) : std::uint32_t(segments * kSegmentSamples);
    const double* src = values.span(0, needed);

    std::vector<double> p(kSpectrumLength, 0.0);
    double accumulatedEnergy = 0.0;
    std::uint32_t r = 0;
    if (overlap) {
        std::copy(src, src + kHop, history.begin());
        r = kHop;
    }
    for (int s = 0; s < segments; ++s) {
        // Two real blocks packed as the real and imaginary parts of one transform.
        double weights[2];
        for (int half = 0; half < 2; ++half) {
            double* out = block.data() + half;
            weights[half] = blockWeight(overlap ? r - kHop : r);
            if (overlap) {
                for (int n = 0; n < kHop; ++n)
                    out[2 * n] = history[n];
                for (int n = 0; n < kHop; ++n) {
                    const double v = src[r + n];
                    out[2 * (kHop + n)] = v;
                    history[n] = v;
                }
                r += kHop;
            } else {
                for (int n = 0; n < kBlockLength; ++n)
                    out[2 * n] = src[r + n];
                r += kBlockLength;
            }
        }
        for (int n = 0; n < kBlockLength; ++n) {
            block[2 * n] *= w[n];
            block[2 * n + 1] *= w[n];
        }
        Transform2048(block.data());
        p[0] += block[0] * block[0] + block[1] * block[1];
        for (int k = 1; k < kSpectrumLength; ++k) {
            const double* a = &block[2 * k];
            const double* b = &block[2 * (kBlockLength - k)];
            p[k] += a[0] * a[0] + a[1] * a[1] + b[0] * b[0] + b[1] * b[1];
        }
        // Whole segments add exactly what they always did, so long records keep their bits.
        if (weights[0] == 1.0 && weights[1] == 1.0)
            accumulatedEnergy += windowEnergy;
        else
            accumulatedEnergy += windowEnergy * (weights[0] + weights[1]) / 2.0;
    }
    double* out = power.span(0, kSpectrumLength);
    const double norm = accumulatedEnergy * 4096.0;
    for (int k = 0; k < kSpectrumLength; ++k)
        out[k] = norm > 0.0 ? p[k] / norm : 0.0;
}

void ComputeSpectrum(MappedSeries& timeAxis, MappedSeries& values, int segments, bool overlap, int window,
                     int unit, MappedSeries& frequencyOut, MappedSeries& spectrumOut, int& count)
{
    segments = std::clamp(segments, 1, kMaxSegments);
    const int samples = std::max(count, 0);
    count = 0;
    const double dt = timeAxis.get(1) - timeAxis.get(0);
    if (samples < 2 || !(dt > 0.0) || !std::isfinite(1.0 / dt)) return;
    const double fs = 1.0 / dt;

    const auto length = static_cast<std::uint32_t>(std::max(segments * kSegmentSamples, samples));
    double* f = frequencyOut.span(0, length);
    const double step = fs * (1.0 / 2048.0);
    for (std::uint32_t i = 0; i < length; ++i)
        f[i] = i * step;

    MappedSeries scratch;
    scratch.open();
    double* padded = scratch.span(0, length);
    const double* source = values.span(0, static_cast<std::uint32_t>(samples));
    std::copy(source, source + samples, padded);
    std::fill(padded + samples, padded + length, 0.0);

    MappedSeries power;
    power.open();
    AccumulatePowerSpectrum(scratch, power, segments, overlap, window, static_cast<std::uint32_t>(samples));
    const double* p = power.span(0, kSpectrumLength);

    const double a = WindowAmplitudeFactor(window);
    const double k = PeakToPeakFactor(unit);
    double* s = spectrumOut.span(0, kSpectrumLength);
    if (IsDensityUnit(unit)) {
        const double pMin = *std::min_element(p, p + kSpectrumLength);
        const double bandwidth = std::sqrt(WindowBandwidthFactor(window) * fs / 2048.0);
        for (int i = 0; i < kSpectrumLength; ++i)
            s[i] = k * a * std::sqrt((p[i] - pMin) / bandwidth);
    } else {
        for (int i = 0; i < kSpectrumLength; ++i)
            s[i] = k * std::sqrt(a * p[i]);
    }
    count = kSpectrumLength;
}

void ConvertTimeForDisplay(ScanData& data, const std::string& displayMode, int start, bool divide,
                           double scale, MappedSeries& x, const std::vector<MappedSeries*>& y)
{
    FenmarlCommonDLL::ThreadLocker lock(&ScanDataLock(), true);
    const int total = std::max(data.samplesAcquired, 0);
    start = std::max(start, 0);
    const int count = std::max(total - start, 0);
    const int axes = std::min<int>(data.allocatedAxes(), static_cast<int>(y.size()));
    const auto first = static_cast<std::uint32_t>(start);

    const double* t = data.timeAxis.span(first, static_cast<std::uint32_t>(count));
    if (count > 0) std::copy(t, t + count, x.span(0, static_cast<std::uint32_t>(count)));

    for (int a = 0; a < data.allocatedAxes(); ++a) {
        const double* v = data.timeData[a].span(0, static_cast<std::uint32_t>(std::max(total, 10)));
        double mean = 0.0;
        if (count > 0) {
            double sum = 0.0;
            for (int i = start; i < total; ++i)
                sum += v[i];
            mean = sum / count;
        }
        double& offset = data.displayOffset[static_cast<std::size_t>(std::min(a, 3))];
        if (displayMode == "Mean Zero") {
            offset = mean;
        } else if (start == 0 && displayMode == "Normal") {
            offset = 0.0;
        } else if (start == 0 && displayMode == "Offset To Zero") {
            if (total >= 10) {
                double sum = 0.0;
                for (int i = 0; i < 10; ++i)
                    sum += v[i];
                offset = sum / 10.0;
            } else {
                offset = v[0];
            }
        }
        if (a >= axes || count == 0) continue;
        double* out = y[a]->span(0, static_cast<std::uint32_t>(count));
        if (divide) {
            for (int j = 0; j < count; ++j)
                out[j] = (v[start + j] - offset) / scale;
        } else {
            for (int j = 0; j < count; ++j)
                out[j] = (v[start + j] - offset) * scale;
        }
    }
}

double SoundPressureLevel(double pascals)
{
    return pascals > 0.0 ? 20.0 * std::log10(pascals) + 94.0 : 0.0;
}

void ConvertSpectrumForDisplay(ScanData& data, const std::string& /*displayMode*/, bool decibel, double scale,
                               MappedSeries& x, const std::vector<MappedSeries*>& y, int& countOut)
{
    FenmarlCommonDLL::ThreadLocker lock(&ScanDataLock(), true);
    countOut = std::max(data.spectrumPointCount - 2, 0);
    if (countOut == 0) return;
    const auto n = static_cast<std::uint32_t>(countOut);
    const double* f = data.frequencyAxis.span(2, n);
    std::copy(f, f + n, x.span(0, n));
    const int axes = std::min<int>(data.allocatedAxes(), static_cast<int>(y.size()));
    for (int a = 0; a < axes; ++a) {
        const double* s = data.spectrum[a].span(2, n);
        double* out = y[a]->span(0, n);
        for (std::uint32_t j = 0; j < n; ++j) {
            const double v = scale * s[j];
            out[j] = decibel ? SoundPressureLevel(v) : v;
        }
    }
}

void TotalField(const std::vector<MappedSeries*>& axes, std::uint32_t count, MappedSeries& total)
{
    if (count == 0) return;
    double* out = total.span(0, count);
    std::fill(out, out + count, 0.0);
    for (MappedSeries* axis : axes) {
        const double* v = axis->span(0, count);
        for (std::uint32_t j = 0; j < count; ++j)
            out[j] += v[j] * v[j];
    }
    for (std::uint32_t j = 0; j < count; ++j)
        out[j] = std::sqrt(out[j]);
}

void SpectrumTotalField(ScanData& data, bool decibel, double scale, MappedSeries& total)
{
    MappedSeries x;
    std::vector<MappedSeries> scratch(static_cast<std::size_t>(std::max(data.allocatedAxes(), 0)));
    std::vector<MappedSeries*> y;
    for (MappedSeries& s : scratch)
        y.push_back(&s);
    int countOut = 0;
    ConvertSpectrumForDisplay(data, "Normal", decibel, scale, x, y, countOut);
    TotalField(y, static_cast<std::uint32_t>(std::max(data.spectrumPointCount, 0)), total);
}

std::string InputMeansText(ScanData& data)
{
    MappedSeries x;
    std::array<MappedSeries, 3> scratch;
    std::vector<MappedSeries*> y{&scratch[0], &scratch[1], &scratch[2]};
    int countOut = 0;
    ConvertSpectrumForDisplay(data, "Normal", true, 1.0, x, y, countOut);
    double mean[3] = {0.0, 0.0, 0.0};
    for (int a = 0; a < 3 && a < data.allocatedAxes(); ++a) {
        if (countOut == 0) continue;
        double sum = 0.0;
        for (int j = 0; j < countOut; ++j)
            sum += scratch[a].get(static_cast<std::uint32_t>(j));
        mean[a] = sum / countOut;
    }
    char text[256];
    std::snprintf(text, sizeof text, "X = %g dB\nY = %g dB\nZ = %g dB", mean[0], mean[1], mean[2]);
    return text;
}

std::string InputMeansCaption(int inputIndex)
{
    return inputIndex == 0 ? "Input1 Frequency Averages" : "Input2 Frequency Averages";
}
