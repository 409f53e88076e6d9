#pragma once

#include "app/acquisition/ScanData.h"

#include <cmath>
#include <cstdint>
#include <functional>
#include <numbers>
#include <random>

// Fills a data set with `samples` rows at `rate` samples per second; value(axis, i).
inline void FillScanData(ScanData& data, int samples, double rate,
                         const std::function<double(int, int)>& value)
{
    data.pointCount = samples;
    data.axisCount = 3;
    data.allocate();
    for (int i = 0; i < samples; ++i) {
        data.timeAxis[static_cast<std::uint32_t>(i)] = i / rate;
        for (int a = 0; a < 3; ++a)
            data.timeData[static_cast<std::size_t>(a)][static_cast<std::uint32_t>(i)] = value(a, i);
    }
    data.samplesAcquired = samples;
}

inline double Sine(double amplitude, double cyclesPerSample, int i)
{
    return amplitude * std::sin(2.0 * std::numbers::pi * cyclesPerSample * i);
}
