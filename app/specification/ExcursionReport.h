#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct DomainVerdict;

// Words and marks for the time-domain result, from the document's verdict
// (EvaluateSpecification): the views and the status bar only show it.

// "Input 1: worst excursion 0.8 ug (x), limit 0.5 ug, 0.3 ug over" or
// "…, 0.2 ug within the limit", in `unit` (the graph's); empty when the time
// test of that input did not run or had nothing to judge.
std::string ExcursionSummary(int input, const DomainVerdict& time, const std::string& unit);

// Indices of the samples further than `limit` from `reference`. At most
// `maximum` are returned, spread evenly over the offenders, so a record that
// is over the limit everywhere still gets a readable set of marks.
std::vector<std::size_t> ExceedingSamples(const double* values, std::size_t n, double reference, double limit,
                                          std::size_t maximum);

// The unit in a graph's axis title: "Vibration (ug)" gives "ug"; "" without one.
std::string UnitOfAxisTitle(const std::string& title);
