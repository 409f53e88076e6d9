#include "app/acquisition/PostProcessing.h"

#include "app/acquisition/ScanDataLock.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

MovingAverage::MovingAverage(int capacity)
    : capacity_(std::max(capacity, 1)), buffer_(static_cast<std::size_t>(std::max(capacity, 1)), 0.0)
{
}

double MovingAverage::push(double x)
{
    double sum = count_ * mean_;
    if (count_ >= capacity_) sum -= buffer_[static_cast<std::size_t>(index_)];
    buffer_[static_cast<std::size_t>(index_)] = x;
    if (count_ < capacity_) ++count_;
    sum += x;
    ++index_;
    mean_ = sum / count_;
    if (index_ >= capacity_) index_ = 0;
    return mean_;
}

void FilterScanData(ScanData& input1, ScanData& input2, int rollingPoints, int passes)
{
    FenmarlCommonDLL::ThreadLocker lock(&ScanDataLock(), true);
    std::array<MovingAverage, 4> averages{MovingAverage(rollingPoints), MovingAverage(rollingPoints),
                                          MovingAverage(rollingPoints), MovingAverage(rollingPoints)};
    for (int pass = 0; pass < passes; ++pass) {
        for (ScanData* data : {&input1, &input2}) {
            const int axes = std::min<int>(data->allocatedAxes(), static_cast<int>(averages.size()));
            const auto rows = static_cast<std::uint32_t>(std::max(data->pointCount, 0));
            if (rows == 0) continue;
            std::array<double*, 4> column{};
            for (int d = 0; d < axes; ++d)
                column[static_cast<std::size_t>(d)] =
                    data->timeData[static_cast<std::size_t>(d)].span(0, rows);
            // Row by row, axis by axis: the averages see the same order as the data.
            for (std::uint32_t i = 0; i < rows; ++i)
                for (int d = 0; d < axes; ++d)
                    column[static_cast<std::size_t>(d)][i] =
                        averages[static_cast<std::size_t>(d)].push(column[static_cast<std::size_t>(d)][i]);
        }
    }
}

void AverageSpectraWithPrevious(ScanData& current, const ScanData& previous, int k)
{
    FenmarlCommonDLL::ThreadLocker lock(&ScanDataLock(), true);
    const int points = std::max(std::min(previous.spectrumPointCount, current.spectrumPointCount), 0);
    const std::size_t axes = std::min(current.spectrum.size(), previous.spectrum.size());
    for (std::size_t a = 0; a < axes; ++a) {
        double* now = current.spectrum[a].span(0, static_cast<std::uint32_t>(points));
        for (int i = 0; i < points; ++i)
            now[i] = (k * previous.spectrum[a].get(static_cast<std::uint32_t>(i)) + now[i]) / (k + 1);
    }
}

double MovingAverageCutOff(double sampleInterval, int rollingPoints)
{
    return 0.4776 * (1.0 / sampleInterval) * std::pow(static_cast<double>(rollingPoints), -1.0206);
}

std::string MovingAverageCutOffText(double sampleInterval, int rollingPoints)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.6g", MovingAverageCutOff(sampleInterval, rollingPoints));
    return text;
}

bool PostProcessWarnsAboutFileCount(int fileCount, bool finalOnly)
{
    return fileCount >= 21 && !finalOnly;
}

bool PostProcessClosesPrevious(int k, int fileCount, bool finalOnly)
{
    return k > 0 && (finalOnly || k <= fileCount - 20);
}
