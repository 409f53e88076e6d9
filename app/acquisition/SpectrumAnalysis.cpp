#include "app/acquisition/SpectrumAnalysis.h"

#include "app/acquisition/Spectrum.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

std::vector<SpectrumPeak> FindSpectrumPeaks(const std::vector<double>& frequency,
                                            const std::vector<double>& level, int maxPeaks, bool decibel)
{
    std::vector<SpectrumPeak> peaks;
    const std::size_t n = std::min(frequency.size(), level.size());
    if (maxPeaks <= 0 || n == 0) return peaks;
    for (std::size_t i = 0; i < n; ++i) {
        const double v = level[i];
        if (!std::isfinite(v) || (!decibel && v <= 0.0)) continue;
        const bool aboveLeft = i == 0 || v > level[i - 1];
        const bool notBelowRight = i + 1 == n || v >= level[i + 1];
        if (aboveLeft && notBelowRight) peaks.push_back({static_cast<int>(i), frequency[i], v, 0.0});
    }
    std::stable_sort(peaks.begin(), peaks.end(),
                     [](const SpectrumPeak& a, const SpectrumPeak& b) { return a.level > b.level; });
    if (peaks.size() > static_cast<std::size_t>(maxPeaks)) peaks.resize(static_cast<std::size_t>(maxPeaks));
    if (peaks.empty()) return peaks;
    const double largest = peaks.front().level;
    for (SpectrumPeak& p : peaks)
        p.relativeDb = decibel ? p.level - largest : 20.0 * std::log10(p.level / largest);
    return peaks;
}

std::vector<HarmonicMarker> HarmonicMarkers(double fundamental, const std::vector<double>& frequency,
                                            int maxCount)
{
    std::vector<HarmonicMarker> markers;
    if (!(fundamental > 0.0) || frequency.empty() || maxCount <= 0) return markers;
    const double last = frequency.back();
    for (int k = 1; k <= maxCount && k * fundamental <= last; ++k) {
        const double f = k * fundamental;
        const auto it = std::lower_bound(frequency.begin(), frequency.end(), f);
        std::size_t i = static_cast<std::size_t>(it - frequency.begin());
        if (i == frequency.size() || (i > 0 && f - frequency[i - 1] < frequency[i] - f)) --i;
        markers.push_back({k, f, static_cast<int>(i)});
    }
    return markers;
}

double SpectrumPointPower(double value, int window, int unit, double binWidth, bool decibel)
{
    double s = value;
    if (decibel) s = value > 0.0 ? std::pow(10.0, (value - 94.0) / 20.0) : 0.0;
    if (!std::isfinite(s)) return 0.0;
    const double k = PeakToPeakFactor(unit);
    const double a = WindowAmplitudeFactor(window);
    if (IsDensityUnit(unit)) {
        // S = K × A × √(P / √(B × Δf)), the density rule of the spectrum itself.
        const double b = WindowBandwidthFactor(window);
        const double r = s / (k * a);
        return r * r * std::sqrt(b * std::max(binWidth, 0.0));
    }
    // S = K × √(A × P)
    const double r = s / k;
    return r * r / a;
}

double BandMeanSquare(const std::vector<double>& frequency, const std::vector<double>& level, double low,
                      double high, int window, int unit, bool decibel)
{
    if (low > high) std::swap(low, high);
    const std::size_t n = std::min(frequency.size(), level.size());
    const double binWidth = n >= 2 ? frequency[1] - frequency[0] : 0.0;
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i)
        if (frequency[i] >= low && frequency[i] <= high)
            sum += SpectrumPointPower(level[i], window, unit, binWidth, decibel);
    return sum;
}

double BandLevelFromMeanSquare(double meanSquare, bool decibel)
{
    const double rms = std::sqrt(std::max(meanSquare, 0.0));
    if (!decibel) return rms;
    return SoundPressureLevel(rms);
}

std::string BandLevelText(double low, double high, const std::vector<double>& axisMeanSquares,
                          const std::string& unit, bool decibel)
{
    static const char* names[] = {"X", "Y", "Z"};
    if (low > high) std::swap(low, high);
    char text[128];
    std::snprintf(text, sizeof text, "Band %g … %g Hz:", low, high);
    std::string out = text;
    const std::string suffix = decibel ? " dB SPL" : " " + unit + " rms";
    double total = 0.0;
    for (std::size_t a = 0; a < axisMeanSquares.size() && a < 3; ++a) {
        std::snprintf(text, sizeof text, " %s = %.4g%s,", names[a],
                      BandLevelFromMeanSquare(axisMeanSquares[a], decibel), suffix.c_str());
        out += text;
        total += axisMeanSquares[a];
    }
    std::snprintf(text, sizeof text, " Total = %.4g%s", BandLevelFromMeanSquare(total, decibel),
                  suffix.c_str());
    return out + text;
}
