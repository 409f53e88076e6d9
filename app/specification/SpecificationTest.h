#pragma once

#include "app/specification/SpecificationSettings.h"

#include <cstdint>
#include <string>
#include <vector>

// Pass/fail evaluation of a scan against its specification: time excursion
// from a reference sample, spectrum against a limit curve, the result shown
// in the status pane and the audio alert.

// Start of a scan: all four results pass, a new reference is taken.
void ResetSpecificationResults(SpecificationSettings& limits);

// Fails (and stays failed until the next scan) when a sample moves further
// than the maximum excursion ÷ f from the input's reference sample; the
// reference is the first sample tested after the scan started.
bool testTimeSpecification(SpecificationSettings& limits, int input, int n, const double* series, double f);

struct CurveLimit
{
    bool found = false;
    double limit = 0.0;
};
// The limit curve of an input at a frequency, interpolated between points;
// not found outside the curve or when the input's frequency test is off.
CurveLimit curveLimitAt(const SpecificationSettings& limits, int input, double frequency);

// Fails when an amplitude rises above the curve ÷ f; re-evaluated on every
// call, so a later passing update clears an earlier failure.
bool testFrequencySpecification(SpecificationSettings& limits, int input, int n, const double* frequency,
                                const double* amplitude, double f);

// X, Y, Z in turn, stopping at the first failing series.
bool testTimeSpecificationAxes(SpecificationSettings& limits, int input, int n,
                               const std::vector<const double*>& axes, double f);
bool testFrequencySpecificationAxes(SpecificationSettings& limits, int input, int n, const double* frequency,
                                    const std::vector<const double*>& axes, double f);

// Size of one displayed unit in the limits' unit (uT, g or Pa) for a
// unit text such as "nT" or "mms-2"; 1 for anything unknown.
double SpecificationUnitFactor(const std::string& unit);

bool AllSpecificationsPassed(const SpecificationSettings& limits);

// The status pane: "Pass" on green, or "Fail" and the failing tests on red.
struct SpecificationDisplay
{
    bool passed = true;
    std::uint32_t colour = 65280;   // RGB value: 65280 green, 255 red
    std::vector<std::string> lines; // "Pass" or "Fail", "Input 1 Time", …
    std::string text() const;       // the lines joined by "\n"
};
SpecificationDisplay SpecificationResultDisplay(const SpecificationSettings& limits);

inline constexpr unsigned kAlertFrequencyHz = 500;
inline constexpr unsigned kAlertDurationMs = 500;
// After a refresh: a result failed, the alert is on and the document is not muted.
bool ShouldSoundAlert(const SpecificationSettings& limits, bool muted);
// Sounds the 500 Hz, 500 ms tone through the platform's tone sink when
// ShouldSoundAlert; returns whether it did.
bool SoundSpecificationAlert(const SpecificationSettings& limits, bool muted);
