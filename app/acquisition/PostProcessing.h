#pragma once

#include "app/acquisition/ScanData.h"

#include <string>
#include <vector>

// Algorithms of the "Post Process" command: repeated moving-average
// smoothing of time records, spectrum averaging across files, the cut-off
// shown for a moving average, and which documents stay open.

// Running mean of the last `capacity` values pushed.
class MovingAverage
{
public:
    explicit MovingAverage(int capacity);
    // Returns the mean of the last min(pushed, capacity) values.
    double push(double x);

private:
    int capacity_;
    std::vector<double> buffer_;
    int count_ = 0;
    int index_ = 0;
    double mean_ = 0.0;
};

// Smooths timeData of both inputs `passes` times with rollingPoints-long
// moving averages, one per axis index. The averages carry their state from
// input 1 into input 2 and from one pass into the next. Takes ScanDataLock.
void FilterScanData(ScanData& input1, ScanData& input2, int rollingPoints, int passes);

// current ← (k × previous + current) / (k + 1) over the spectrum points both hold.
void AverageSpectraWithPrevious(ScanData& current, const ScanData& previous, int k);

// 0.4776 × (1 / sampleInterval) × rollingPoints^(−1.0206)
double MovingAverageCutOff(double sampleInterval, int rollingPoints);
// The same formatted "%.6g".
std::string MovingAverageCutOffText(double sampleInterval, int rollingPoints);

// The batch's display rule: more than 20 files without "final only" warns.
inline constexpr const char* kTooManyFilesMessage =
    "More than 20 files have been selected.\nOnly the last 20 will be displayed.";
bool PostProcessWarnsAboutFileCount(int fileCount, bool finalOnly);
// Whether file k's predecessor is closed once file k is processed.
bool PostProcessClosesPrevious(int k, int fileCount, bool finalOnly);
