#pragma once

#include <string>
#include <vector>

// Measurements on a displayed spectrum: the largest peaks, harmonic markers
// and the level of a band. They work on the values the graph shows (display
// units, or dB SPL for a microphone).

struct SpectrumPeak
{
    int index = 0;         // point of the displayed series
    double frequency = 0;  // Hz
    double level = 0;      // display units (dB SPL for a microphone)
    double relativeDb = 0; // dB relative to the largest peak (0 for it)
};

// Local maxima (a point above its left neighbour and not below its right
// one), largest first, at most maxPeaks. Linear values at or below zero are
// never peaks. With decibel values the relative level is the difference.
std::vector<SpectrumPeak> FindSpectrumPeaks(const std::vector<double>& frequency,
                                            const std::vector<double>& level, int maxPeaks, bool decibel);

struct HarmonicMarker
{
    int order = 1;        // 1 = the fundamental
    double frequency = 0; // order × fundamental
    int index = -1;       // nearest point of the series
};

// Multiples of the fundamental up to the last frequency of the series, at most maxCount.
std::vector<HarmonicMarker> HarmonicMarkers(double fundamental, const std::vector<double>& frequency,
                                            int maxCount);

// The power of one displayed spectrum point in squared display units: the
// spectrum's unit conversion undone with the factors of its own window table
// (amplitude factor A for RMS and PkPk; A and the bandwidth factor B for the
// density units) and the peak-to-peak factor K. binWidth is the spacing of
// the spectrum points in Hz. Decibel values are turned back into pascals.
double SpectrumPointPower(double value, int window, int unit, double binWidth, bool decibel);

// Mean square of the band low … high (Hz, inclusive) of one axis: the sum of
// its points' powers. By Parseval, a band that holds a sine's whole line gives
// the sine's mean square under every window.
double BandMeanSquare(const std::vector<double>& frequency, const std::vector<double>& level, double low,
                      double high, int window, int unit, bool decibel);

// RMS from a mean square; in dB SPL when decibel (0 for silence).
double BandLevelFromMeanSquare(double meanSquare, bool decibel);

// "Band 95 … 105 Hz: X = 0.707 g rms, Y = …, Total = …" (one line).
std::string BandLevelText(double low, double high, const std::vector<double>& axisMeanSquares,
                          const std::string& unit, bool decibel);
