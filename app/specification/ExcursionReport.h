#pragma once

#include <cstddef>
#include <string>
#include <vector>

// How far a time record strayed from its reference, for showing the
// time-domain result: the worst excursion, the limit and the margin between
// them, in the unit the graph shows. It only describes the samples; passing
// or failing is the specification test's decision.
struct ExcursionReport
{
    bool valid = false;  // samples were compared with a reference
    double worst = 0.0;  // largest |sample - reference|
    double limit = 0.0;  // the maximum excursion in the same unit
    int component = -1; // 0 x, 1 y, 2 z: where the worst sample is
    double worstX = 0.0; // its time
    std::string unit;    // "ug", "nT", "Pa", … (may be empty)

    // Positive: room left; negative: how far beyond the limit.
    double margin() const { return limit - worst; }
    bool over() const { return valid && worst > limit; }

    // Adds more samples of component `component` (x values in `x`).
    void add(int component, const double* x, const double* values, std::size_t n, double reference);
};

// "Input 1: worst excursion 0.62 ug (x), limit 0.5 ug, 0.12 ug over" or
// "…, 0.38 ug within the limit"; empty for a report without samples.
std::string ExcursionSummary(int input, const ExcursionReport& report);

// Indices of the samples further than `limit` from `reference`. At most
// `maximum` are returned, spread evenly over the offenders, so a record that
// is over the limit everywhere still gets a readable set of marks.
std::vector<std::size_t> ExceedingSamples(const double* values, std::size_t n, double reference, double limit,
                                          std::size_t maximum);

// The unit in a graph's axis title: "Vibration (ug)" gives "ug"; "" without one.
std::string UnitOfAxisTitle(const std::string& title);
