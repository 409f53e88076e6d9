#include "app/graphs/DisplaySeries.h"

#include "app/acquisition/CCorvelDoc.h"
#include "app/acquisition/ScanDataLock.h"
#include "app/acquisition/Spectrum.h"
#include "app/graphs/GraphTables.h"
#include "app/base/ConfigurationValues.h"
#include "common/Locker.h"

#include <algorithm>
#include <random>

using namespace GraphTables;

DisplaySeries DisplaySeries::time(CCorvelDoc& document, int input, std::size_t start, std::size_t count)
{
    const CScanConfiguration& c = document.scan.configuration;
    ScanData& data = document.scan.input(input);
    DisplaySeries s;
    // Count and conversion under one hold: a new record may start in between otherwise.
    FenmarlCommonDLL::ThreadLocker lock(&ScanDataLock(), true);
    const auto available = static_cast<std::size_t>(std::max(data.samplesAcquired, 0));
    const int components = std::clamp(data.allocatedAxes(), 0, 3);
    const std::size_t n = std::min(count, available - std::min(start, available));
    const auto limit = static_cast<int>(std::min<std::size_t>(n, std::numeric_limits<int>::max()));
    if (n > 0)
        ConvertTimeForDisplay(data, c.displayMode(input), static_cast<int>(start),
                              SensorTypes::isMicrophone(c.inputMode(input)), document.inputScale(input),
                              s.x_, s.axes(3), limit);
    lock.unlock();
    s.finish(document, components, n);
    return s;
}

DisplaySeries DisplaySeries::spectrum(CCorvelDoc& document, int input)
{
    const CScanConfiguration& c = document.scan.configuration;
    ScanData& data = document.scan.input(input);
    const bool microphone = SensorTypes::isMicrophone(c.inputMode(input));
    DisplaySeries s;
    int count = 0;
    FenmarlCommonDLL::ThreadLocker lock(&ScanDataLock(), true);
    const int components = std::clamp(data.allocatedAxes(), 0, 3);
    // A microphone's spectrum is already in pascals: it is shown in dB.
    ConvertSpectrumForDisplay(data, c.displayMode(input), microphone,
                              microphone ? 1.0 : document.inputScale(input), s.x_, s.axes(3), count);
    lock.unlock();
    s.finish(document, components, static_cast<std::size_t>(std::max(count, 0)));
    return s;
}

void DisplaySeries::finish(CCorvelDoc& document, int components, std::size_t count)
{
    const CScanConfiguration& c = document.scan.configuration;
    components_ = components;
    count_ = count;
    showTotalField_ = c.ShowTotalField != 0;
    showFieldComponents_ = c.ShowFieldComponents != 0;
    withTotal_ = showTotalField_ && components > 0;
}

std::vector<MappedSeries*> DisplaySeries::axes(int count)
{
    std::vector<MappedSeries*> used;
    for (int a = 0; a < count; ++a)
        used.push_back(&y_[static_cast<std::size_t>(a)]);
    return used;
}

bool DisplaySeries::has(int series) const
{
    if (series == totalFieldSeries) return withTotal_;
    return series >= 0 && series < components_;
}

const double* DisplaySeries::x()
{
    return count_ > 0 ? x_.span(0, static_cast<std::uint32_t>(count_)) : nullptr;
}

const double* DisplaySeries::values(int series)
{
    if (count_ == 0 || !has(series)) return nullptr;
    const auto n = static_cast<std::uint32_t>(count_);
    if (series != totalFieldSeries) return y_[static_cast<std::size_t>(series)].span(0, n);
    // The total over the converted points only, so every value has its x; made
    // when first asked for, outside any hold of the data lock the caller had.
    if (!totalMade_) {
        TotalField(axes(components_), n, total_);
        totalMade_ = true;
    }
    return total_.span(0, n);
}

std::vector<int> DisplaySeries::drawnSeries() const
{
    std::vector<int> drawn;
    for (int a = 0; a < components_; ++a)
        drawn.push_back(a);
    if (withTotal_) drawn.push_back(totalFieldSeries);
    return drawn;
}

std::string DisplaySeries::label(int series) const
{
    return has(series) ? seriesLabel(series) : std::string();
}

std::uint32_t DisplaySeries::colour(int series)
{
    // The table covers every series a pane draws; the generator is never drawn from.
    std::mt19937 unused(1);
    return seriesColour(series, unused);
}

std::array<bool, 4> DisplaySeries::initialVisibility() const
{
    return GraphTables::initialVisibility(withTotal_ ? totalFieldSeries + 1 : totalFieldSeries,
                                          showTotalField_, showFieldComponents_);
}

PaneTitles paneTitles(const CCorvelDoc& document, int kind)
{
    const CScanConfiguration& c = document.scan.configuration;
    const DefaultSettings& d = document.settings;
    const int input = isInput2(kind) ? 1 : 0;
    const bool spectrum = isSpectrum(kind);
    const TitleSettings titles{d.Input1TTitle, d.Input1FTitle,        d.Input2TTitle,
                               d.Input2FTitle, d.Input2TDifGradTitle, d.Input2FDifGradTitle};
    return {graphTitle(kind, titles, c.DiffGrad != 0, c.UseInput1 != 0, c.Input1Mode, c.Input2Mode),
            xAxisTitle(spectrum),
            yAxisTitle(c.inputMode(input), d.MagneticUnits, d.VibrationUnits, spectrum,
                       d.spectrumUnit(input))};
}

std::optional<ChartControl::Range> manualYRange(const CCorvelDoc& document, int kind)
{
    if (isSpectrum(kind)) return std::nullopt;
    const CScanConfiguration& c = document.scan.configuration;
    const int input = isInput2(kind) ? 1 : 0;
    if (c.autoScale(input) != 0) return std::nullopt;
    return ChartControl::Range{c.minimum(input), c.maximum(input)};
}
