#pragma once

// A scan for the core benchmarks: rows samples 1e-4 s apart on three axes.

#include "app/acquisition/ScanData.h"

#include <cstddef>
#include <cstdint>

namespace benchsupport {

// value(axis, row) gives each sample; the spectra are left to the caller.
template <typename Value> void fillScan(ScanData& s, int rows, Value value)
{
    s.pointCount = rows;
    s.axisCount = 3;
    s.allocate();
    for (std::uint32_t i = 0; i < static_cast<std::uint32_t>(rows); ++i) {
        s.timeAxis[i] = i * 1e-4;
        for (int a = 0; a < 3; ++a)
            s.timeData[static_cast<std::size_t>(a)][i] = value(a, i);
    }
    s.samplesAcquired = rows;
}

} // namespace benchsupport
