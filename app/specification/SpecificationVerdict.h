#pragma once

// What the pass/fail test of a scan found, per input and domain.

// One input's test in one domain.
struct DomainVerdict
{
    bool tested = false; // the input is used and this test is switched on
    bool judged = false; // there was data to judge (samples, or spectrum points)
    bool passed = true;  // false also when a tested domain had nothing to judge
    // The point nearest its limit (or furthest beyond it), in the units the
    // graph shows (pascals, not decibels, for a microphone spectrum):
    int worstAxis = -1;  // 0 X, 1 Y, 2 Z; -1 when no point had a limit
    int worstIndex = -1; // index in the displayed series (time graph from sample 0, spectrum from point 2)
    double worstX = 0.0; // time (s) or frequency (Hz) of that point
    double worstValue = 0.0; // time: |sample − reference|; frequency: the amplitude
    double worstLimit = 0.0; // time: the excursion; frequency: the curve there
    double margin = 0.0;     // worstLimit − worstValue: negative when the test failed
};

struct SpecificationVerdict
{
    DomainVerdict time[2];            // input 1, input 2
    DomainVerdict frequency[2];       // input 1, input 2
    double reference[2] = {0.0, 0.0}; // the time test's reference sample per input, display units
    // -1 when no test applies, 0 when a tested input failed (or had no data), 1 when all held.
    int passed() const;
};
