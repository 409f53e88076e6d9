#pragma once

#include "app/acquisition/MappedSeries.h"
#include "app/graphs/ChartControl.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

class CCorvelDoc;

// What a graph pane draws of one input of a document: the converted values of
// its axes and total field, and the labels, colours and first visibility of
// those series. The scan window's views and the unattended picture both draw
// from here, so a scan looks the same in either.
//
// Series are numbered as in GraphTables: 0..2 the axes, totalFieldSeries the total.
class DisplaySeries
{
public:
    // The time record of `input` from sample `start`, at most `count` samples,
    // offset and scale as the document's display asks. Takes ScanDataLock
    // (callers that chose `start` from a count may hold it across both).
    static DisplaySeries time(CCorvelDoc& document, int input, std::size_t start = 0,
                              std::size_t count = std::numeric_limits<std::size_t>::max());
    // The spectrum of `input` as displayed (a microphone's in dB).
    static DisplaySeries spectrum(CCorvelDoc& document, int input);

    DisplaySeries(DisplaySeries&&) = default;
    DisplaySeries& operator=(DisplaySeries&&) = default;

    // Axes in the record (0..3) and converted points per series.
    int components() const { return components_; }
    std::size_t count() const { return count_; }
    // The total field is drawn: asked for, and there is an axis to total.
    bool withTotal() const { return withTotal_; }
    // Whether `series` has values here (an axis in the record, or the drawn total).
    bool has(int series) const;

    // Contiguous values; valid until the series is moved or destroyed. Null when count() is 0.
    const double* x();
    const double* values(int series);

    // The series drawn, in order: the axes, then the total when drawn.
    std::vector<int> drawnSeries() const;
    // "x", "y", "z", "Total"; empty for a series not drawn here (a placeholder).
    std::string label(int series) const;
    static std::uint32_t colour(int series);
    // Visibility of x, y, z and total before the user changes anything.
    std::array<bool, 4> initialVisibility() const;

private:
    DisplaySeries() = default;
    void finish(CCorvelDoc& document, int components, std::size_t count);
    std::vector<MappedSeries*> axes(int count);

    MappedSeries x_;
    std::array<MappedSeries, 3> y_;
    MappedSeries total_;
    int components_ = 0;
    std::size_t count_ = 0;
    bool withTotal_ = false;
    bool totalMade_ = false;
    bool showTotalField_ = false;
    bool showFieldComponents_ = true;
};

// The texts of a pane: graph title, x and y axis titles.
struct PaneTitles
{
    std::string graph;
    std::string x;
    std::string y;
};
PaneTitles paneTitles(const CCorvelDoc& document, int kind);

// The value range the configuration fixes for a pane; none when it scales itself
// (always for spectra).
std::optional<ChartControl::Range> manualYRange(const CCorvelDoc& document, int kind);
