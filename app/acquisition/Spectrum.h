#pragma once

#include "app/acquisition/MappedSeries.h"
#include "app/acquisition/ScanData.h"

#include <cstdint>
#include <string>
#include <vector>

// Time display conversion, amplitude spectrum and frequency display
// conversion of one input group's data set.
namespace SpectrumConstants {
inline constexpr int kBlockLength = 2048;    // transform length
inline constexpr int kSpectrumLength = 1024; // spectrum points returned
inline constexpr int kHop = 1024;            // new samples per half block with overlap
inline constexpr int kSegmentSamples = 4096; // samples per segment without overlap
inline constexpr int kMaxSegments = 16;      // accepted range of FFTK is 1 … 16
} // namespace SpectrumConstants

enum SpectrumWindow {
    WindowNone = 0,
    WindowBartlett,
    WindowHann,
    WindowHamming,
    WindowWelch,
    WindowFlatTop,
    WindowBlackman
};
enum SpectrumUnit { UnitRms = 0, UnitRmsDensity, UnitPkPk, UnitPkPkDensity };

double WindowValue(int window, int n, double halfLength = 1024.0, double inverseHalfLength = 1.0 / 1024.0);
double WindowAmplitudeFactor(int window);
double WindowBandwidthFactor(int window);
bool IsDensityUnit(int unit);
double PeakToPeakFactor(int unit);

// In-place complex transform of 2048 interleaved (re, im) points, kernel
// exp(+i…), no normalisation.
void Transform2048(double* data);

// Segment loop: accumulates the window-normalised power of `segments`
// segments of `values` into power[0 … 1023]. Values from validSamples on are
// padding: a block that holds fewer samples is normalised by the share of
// the window they cover, so a sine reads the same at every record length
// (docs/analysis.md).
void AccumulatePowerSpectrum(MappedSeries& values, MappedSeries& power, int segments, bool overlap,
                             int window, std::uint32_t validSamples = UINT32_MAX);

// One axis. On entry count = valid samples in values; on return the number of
// spectrum points (1024), or 0 when the time axis gives no sample rate
// (fewer than two samples, or times not increasing).
void ComputeSpectrum(MappedSeries& timeAxis, MappedSeries& values, int segments, bool overlap, int window,
                     int unit, MappedSeries& frequencyOut, MappedSeries& spectrumOut, int& count);

// Samples start … samplesAcquired−1 of every axis into display series from
// index 0, offset removed per display mode, divided or multiplied by scale.
// Takes ScanDataLock. y holds one series per axis (extra entries ignored).
void ConvertTimeForDisplay(ScanData& data, const std::string& displayMode, int start, bool divide,
                           double scale, MappedSeries& x, const std::vector<MappedSeries*>& y);

// Spectrum points 2 … spectrumPointCount−1 into display series; decibel mode
// gives sound pressure level re 20 µPa (values ≤ 0 show as 0 dB).
void ConvertSpectrumForDisplay(ScanData& data, const std::string& displayMode, bool decibel, double scale,
                               MappedSeries& x, const std::vector<MappedSeries*>& y, int& countOut);

double SoundPressureLevel(double pascals);

// total[j] = √(Σ axes[a][j]²) for j < count.
void TotalField(const std::vector<MappedSeries*>& axes, std::uint32_t count, MappedSeries& total);
// The frequency total of a data set: its display conversion into scratch
// series, then the total over spectrumPointCount points.
void SpectrumTotalField(ScanData& data, bool decibel, double scale, MappedSeries& total);

// "X = %g dB\nY = %g dB\nZ = %g dB": per-axis mean of the displayed dB values.
std::string InputMeansText(ScanData& data);
std::string InputMeansCaption(int inputIndex);
