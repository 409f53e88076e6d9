#include "app/acquisition/ScanData.h"

#include <algorithm>

ScanData::ScanData()
{
    timeAxis.open();
    frequencyAxis.open();
}

void ScanData::allocate(MappedSeries::Backing backing)
{
    timeData.clear();
    averagedTimeData.clear();
    spectrum.clear();
    const std::int32_t axes = std::max<std::int32_t>(axisCount, 0);
    for (auto* list : {&timeData, &averagedTimeData, &spectrum}) {
        list->resize(static_cast<std::size_t>(axes));
        for (MappedSeries& series : *list)
            series.open(backing);
    }
    const bool inMemory = backing == MappedSeries::Backing::Memory;
    for (MappedSeries* axis : {&timeAxis, &frequencyAxis}) {
        if (axis->isOpen() && axis->isInMemory() != inMemory) *axis = MappedSeries();
        if (!axis->isOpen()) axis->open(backing);
    }
    displayOffset.fill(0.0);
}

void ScanData::copyFrom(const ScanData& other)
{
    if (this == &other) return;
    pointCount = other.pointCount;
    axisCount = other.axisCount;
    samplesAcquired = other.samplesAcquired;
    averagesCompleted = other.averagesCompleted;
    reservedFlag = other.reservedFlag;
    holdsAveragedRecord = false;
    allocate();
    const auto rows = static_cast<std::uint32_t>(std::max<std::int32_t>(pointCount, 0));
    timeAxis.copyFrom(other.timeAxis, rows);
    frequencyAxis.copyFrom(other.frequencyAxis, rows);
    const std::size_t axes = std::min(timeData.size(), other.timeData.size());
    for (std::size_t a = 0; a < axes; ++a)
        timeData[a].copyFrom(other.timeData[a], rows);
    displayOffset = other.displayOffset;
}

void ScanData::clear()
{
    timeData.clear();
    averagedTimeData.clear();
    spectrum.clear();
    timeAxis = MappedSeries();
    frequencyAxis = MappedSeries();
    timeAxis.open();
    frequencyAxis.open();
    displayOffset.fill(0.0);
    pointCount = axisCount = samplesAcquired = spectrumPointCount = averagesCompleted = 0;
    reservedFlag = 1;
    holdsAveragedRecord = false;
}
