#pragma once

#include "app/acquisition/MappedSeries.h"

#include <array>
#include <cstdint>
#include <vector>

// One input group's data set: time record, averaged record and spectrum per
// axis, with the counts that say how much of them is valid.
class ScanData
{
public:
    static constexpr std::int32_t kAxes = 3;

    ScanData();
    virtual ~ScanData() = default;
    ScanData(const ScanData&) = delete;
    ScanData& operator=(const ScanData&) = delete;
    ScanData(ScanData&&) = default;
    ScanData& operator=(ScanData&&) = default;

    // (Re)creates the per-axis series for axisCount axes, opens the axis
    // series and zeroes the display offsets. Counts other than pointCount
    // and axisCount are left alone. The series get the backing asked for
    // (an axis series of the other backing is made anew, empty).
    void allocate(MappedSeries::Backing backing = MappedSeries::Backing::TemporaryFile);
    // Copies counts (all but spectrumPointCount), reservedFlag, display
    // offsets and pointCount rows of both axes and of timeData.
    void copyFrom(const ScanData& other);
    // Back to the freshly constructed state.
    void clear();

    MappedSeries timeAxis;
    std::vector<MappedSeries> timeData;
    std::vector<MappedSeries> averagedTimeData;
    MappedSeries frequencyAxis;
    std::vector<MappedSeries> spectrum;
    std::array<double, 4> displayOffset{};

    std::int32_t pointCount = 0;
    std::int32_t axisCount = 0;
    std::int32_t samplesAcquired = 0;
    std::int32_t spectrumPointCount = 0;
    std::int32_t averagesCompleted = 0;
    std::uint8_t reservedFlag = 1;
    // averagedTimeData is filled only while more than one record is averaged
    // (set by the scan thread). With one record, and in the runs of a multiple
    // scan, the mean is the time record itself and no copy of it is made.
    bool holdsAveragedRecord = false;

    // The running mean of the time records of one axis: averagedTimeData
    // when it is held, else timeData.
    const MappedSeries& averagedRecord(std::size_t axis) const
    {
        return holdsAveragedRecord && axis < averagedTimeData.size() ? averagedTimeData[axis] : timeData[axis];
    }

    // Number of per-axis series actually held (axisCount once allocated).
    std::int32_t allocatedAxes() const { return static_cast<std::int32_t>(timeData.size()); }
};
