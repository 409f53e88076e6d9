// Block scans, their fetch with the moving-average filter, and continuous mode.
#include "driver/CDriverContext.h"

#include "common/Logger.h"
#include "common/platform/Hooks.h"
#include "common/platform/Win32Error.h"
#include "driver/Torvane.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <new>
#include <system_error>

namespace {

using namespace std::chrono_literals;

void sleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void putDouble(unsigned char* out, double value)
{
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
    for (int i = 0; i < 8; ++i)
        out[i] = static_cast<unsigned char>(bits >> (8 * i));
}

double getDouble(const unsigned char* in)
{
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i)
        bits |= static_cast<std::uint64_t>(in[i]) << (8 * i);
    return std::bit_cast<double>(bits);
}

} // namespace

int CDriverContext::RunScan(bool start, int points)
{
    // A closed or lost instrument cannot scan: say so rather than start threads that read nothing.
    if (start && !usb_->isOpen()) {
        // Nothing of an earlier scan may pass for this one's points.
        blockPoints_ = 0;
        continuous_ = false;
        setDriverError("Torvane::RunScan", "The device has not been opened");
        return 1;
    }
    if (start) overflowsAtScanStart_ = usb_->fifoOverflows();
    if (start && points > 0) {
        // A continuous run still going would scan over this block scan's arrays.
        if (continuousRunning_.load()) stopContinuous();
        continuous_ = false;
        return Scan(points);
    }
    if (start) {
        if (continuousRunning_.load()) stopContinuous();
        if (continuousThread_.joinable()) {
            continuousStop_ = true;
            continuousThread_.join();
        }
        if (scanning_.load()) stopBlockScan();
        // An instrument that no longer answers (unplugged) cannot start continuous mode.
        if (!usb_->VendorRequest(VEND_RESETFIFO, 0)) {
            blockPoints_ = 0;
            continuous_ = false;
            setDriverError("Torvane::RunScan", "Cannot reset the fifo", true);
            return 1;
        }
        continuous_ = true;
        continuousStop_ = false;
        continuousRunning_ = true;
        try {
            continuousThread_ = std::thread(&CDriverContext::ContinuousThread, this);
        } catch (const std::system_error&) {
            continuousRunning_ = false;
            setDriverError("Torvane::RunScan", "Cannot start continious thread");
            return 1;
        }
        return 0;
    }
    if (continuous_.load())
        stopContinuous();
    else
        stopBlockScan();
    return 0;
}

void CDriverContext::stopBlockScan()
{
    abort_ = true;
    usb_->StopReading();
    while (scanning_.load())
        sleepMs(100);
    if (scanThread_.joinable()) scanThread_.join();
    usb_->VendorRequest(VEND_RESETFIFO, 0);
}

void CDriverContext::stopContinuous()
{
    continuousStop_ = true;
    const auto begin = std::chrono::steady_clock::now();
    while (continuousRunning_.load() && std::chrono::steady_clock::now() - begin < 30000ms) {
        FenmarlCommonDLL::platform::pumpMessages();
        sleepMs(50);
    }
    if (!continuousRunning_.load() && continuousThread_.joinable()) continuousThread_.join();
    continuousStop_ = false;
}

int CDriverContext::Scan(int points)
{
    static const char* const kSource = "Torvane::Scan";
    // The arrays below are about to be replaced: the previous scan's threads
    // must be done with them.
    if (scanning_.load()) stopBlockScan();
    if (scanThread_.joinable()) scanThread_.join();

    if (!usb_->isOpen()) {
        blockPoints_ = 0;
        setDriverError(kSource, "The device has not been opened");
        return 1;
    }
    // An instrument that no longer answers (unplugged) cannot start a scan.
    if (!usb_->VendorRequest(VEND_RESETFIFO, 0)) {
        blockPoints_ = 0;
        setDriverError(kSource, "Cannot reset the fifo", true);
        return 1;
    }

    const std::int64_t capacity = (static_cast<std::int64_t>(std::trunc(points / 40.0 + 0.9999)) + 1) * 40;
    try {
        timeArray_.assign(static_cast<std::size_t>(capacity), 0.0);
        for (auto& channel : channels_)
            channel.assign(static_cast<std::size_t>(capacity), 0.0);
        scanFilterLength_ = filterLength_;
        for (auto& ring : filterRings_)
            ring.assign(static_cast<std::size_t>(scanFilterLength_), 0.0);
    } catch (const std::bad_alloc&) {
        timeArray_.clear();
        for (auto& channel : channels_)
            channel.clear();
        setDriverError(kSource, "Cannot allocate the scan buffers");
        return 1;
    }
    const double step = 1.0 / effectiveRate_;
    for (int i = 0; i < points; ++i)
        timeArray_[static_cast<std::size_t>(i)] = i * step;
    filterFill_.fill(0);
    filterWrite_.fill(0);

    const std::int64_t N = decimation_;
    const std::int64_t totalSamples = N * capacity;
    const std::int64_t wantedSamples = static_cast<std::int64_t>(points) * N;

    blockPoints_ = 0;
    scanning_ = true;
    abort_ = false;
    try {
        scanThread_ = std::thread(&CDriverContext::ScanThread, this, totalSamples, wantedSamples);
    } catch (const std::system_error&) {
        scanning_ = false;
        setDriverError(kSource, "Cannot start scan thread");
        return 1;
    }
    sleepMs(10);
    return 0;
}

void CDriverContext::ScanThread(std::int64_t totalSamples, std::int64_t wantedSamples)
{
    blockPoints_ = 0;
    const int N = decimation_;
    const bool average = !decimationPicks_.load();
    const std::int64_t chunks = totalSamples / kChunkSamples + 1;
    std::int64_t remainingSamples = totalSamples;
    std::int64_t remainingWanted = wantedSamples;
    const std::array<double*, 6> outputs{channels_[0].data(), channels_[1].data(), channels_[2].data(),
                                         channels_[3].data(), channels_[4].data(), channels_[5].data()};
    for (std::int64_t chunk = 0; chunk < chunks; ++chunk) {
        if (abort_.load()) break;
        usb_->VendorRequest(VEND_RESETFIFO, 0);
        std::int64_t chunkSamples = kChunkSamples;
        std::int64_t chunkWanted = kChunkSamples;
        if (remainingSamples < kChunkSamples) {
            chunkSamples = remainingSamples;
            chunkWanted = remainingWanted;
        }
        const std::int64_t chunkPoints = std::max<std::int64_t>(chunkWanted / N, 0);
        usb_->VendorRequest(VEND_SETSAMPLES1, static_cast<std::uint32_t>(chunkSamples) & 0xFFFF);
        usb_->VendorRequest(VEND_SETSAMPLES2, static_cast<std::uint32_t>(chunkSamples + 1) & 0xFFFF);
        if (usb_->Read(outputs, static_cast<int>(chunkPoints * 24), &blockPoints_, N, blockPoints_.load(),
                       average) != 0)
            break;
        // A stop that came while this chunk was being set up must reach its
        // threads too, even if the stop sequence already cleared its flags.
        if (abort_.load()) usb_->requestStop();
        sleepMs(50);
        while (usb_->readRunning() || usb_->processRunning()) {
            if (abort_.load()) usb_->requestStop();
            sleepMs(100);
            sleepMs(50);
        }
        if (abort_.load()) break;
        remainingSamples -= chunkSamples;
        remainingWanted -= chunkSamples;
        sleepMs(10);
    }
    scanning_ = false;
}

int CDriverContext::GetData(int group, int start, int* count, double* time, double* x, double* y, double* z,
                            int filter)
{
    if (group != 1 && group != 2) {
        setDriverError("Torvane::GetData", "Sensor group number out of range");
        return 1;
    }
    if (!count || start < 0) return 1;
    const int available = blockPoints_.load();
    if (start > available) return 1;
    int n = std::max(*count, 0);
    if (static_cast<std::int64_t>(start) + n > available) n = available - start;
    *count = n;
    if (n == 0) return 0;
    if (!time || !x || !y || !z) return 1;
    for (int i = 0; i < n; ++i)
        time[i] = timeArray_[static_cast<std::size_t>(start + i)];
    double* const out[3] = {x, y, z};
    for (int axis = 0; axis < 3; ++axis) {
        const int c = (group - 1) * 3 + axis;
        const std::vector<double>& values = channels_[static_cast<std::size_t>(c)];
        for (int i = 0; i < n; ++i) {
            const double value = values[static_cast<std::size_t>(start + i)];
            if (filter != 1) {
                out[axis][i] = value;
                continue;
            }
            std::vector<double>& ring = filterRings_[static_cast<std::size_t>(c)];
            ring[static_cast<std::size_t>(filterWrite_[c])] = value;
            if (filterFill_[c] < scanFilterLength_) ++filterFill_[c];
            filterWrite_[c] = (filterWrite_[c] + 1) % scanFilterLength_;
            double sum = 0.0;
            for (int k = 0; k < filterFill_[c]; ++k)
                sum += ring[static_cast<std::size_t>(k)];
            out[axis][i] = sum / filterFill_[c];
        }
    }
    return 0;
}

int CDriverContext::GetCurrentNumberOfPoints()
{
    return continuous_.load() ? continuousPoints_.load() : blockPoints_.load();
}

bool CDriverContext::IsScanning()
{
    if (continuous_.load()) {
        sleepMs(50);
        return continuousRunning_.load();
    }
    return scanning_.load();
}

int CDriverContext::GetMeasurement(int group, int start, int* count, double* time, AxisArrays* xyz,
                                   int filter)
{
    if (start < 0 || !count) return 1;
    if (continuous_.load()) return readContinuous(group, start, count, time, xyz);
    if (!xyz) return 1;
    return GetData(group, start, count, time, xyz->x, xyz->y, xyz->z, filter);
}

int CDriverContext::readContinuous(int group, int start, int* count, double* time, AxisArrays* xyz)
{
    const int available = continuousPoints_.load();
    if (available < 1 || available < start) return 0;
    int n = std::max(*count, 0);
    if (static_cast<std::int64_t>(start) + n > available) n = available - start;
    if (n == 0) {
        *count = 0;
        return 0;
    }
    if (!time || !xyz || !xyz->x || !xyz->y || !xyz->z) return 1;
    // Group 1 is in fields 1, 3, 5 of each record, group 2 in fields 2, 4, 6.
    const int first = group == 1 ? 1 : 2;
    std::lock_guard<std::mutex> hold(temporaryFileLock_);
    std::FILE* file = std::fopen(temporaryFilePath_.c_str(), "rb");
    if (!file) return 1;
    int copied = 0;
    if (std::fseek(file, static_cast<long>(start) * static_cast<long>(kRecordDoubles * 8), SEEK_SET) == 0) {
        unsigned char record[kRecordDoubles * 8];
        while (copied < n && std::fread(record, sizeof record, 1, file) == 1) {
            time[copied] = getDouble(record);
            xyz->x[copied] = getDouble(record + 8 * first);
            xyz->y[copied] = getDouble(record + 8 * (first + 2));
            xyz->z[copied] = getDouble(record + 8 * (first + 4));
            ++copied;
        }
    }
    std::fclose(file);
    *count = copied;
    return 0;
}

void CDriverContext::ContinuousThread()
{
    static const char* const kSource = "Torvane::ContinuousThread";
    continuousRunning_ = true;
    double times[40];
    double axes[2][3][40];
    double averages[2][3];

    continuousPoints_ = 0;
    {
        std::lock_guard<std::mutex> hold(temporaryFileLock_);
        std::error_code ignored;
        std::filesystem::remove(temporaryFilePath_, ignored);
    }
    const double period = 1.0 / effectiveRate_;
    SetMeasurementRate(10000.0, false);

    double t = -period;
    const auto t0 = std::chrono::steady_clock::now();
    std::int64_t interval = 0;
    int failedIntervals = 0;
    while (!continuousStop_.load()) {
        const auto due = t0 + std::chrono::duration<double>(period * static_cast<double>(interval));
        while (std::chrono::steady_clock::now() < due && !continuousStop_.load())
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
                std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                    due - std::chrono::steady_clock::now()),
                10ms));
        if (continuousStop_.load()) break;
        t += period;
        const bool started = Scan(40) == 0;
        sleepMs(50);
        sleepMs(50);
        // Waiting on the scan thread as well guarantees its arrays are final
        // before they are read and before the next Scan replaces them.
        while (usb_->readRunning() || usb_->processRunning() || scanning_.load()) {
            sleepMs(10);
            sleepMs(50);
        }
        int n = 40;
        if (GetData(1, 0, &n, times, axes[0][0], axes[0][1], axes[0][2], 0) != 0 ||
            GetData(2, 0, &n, times, axes[1][0], axes[1][1], axes[1][2], 0) != 0)
            n = 0;
        ++interval;
        // A lost instrument ends continuous mode as it ends a block scan;
        // a read that fails now and then only costs its interval.
        const std::uint32_t readError = started ? usb_->readError() : 0;
        const bool lost = !started || readError == FenmarlCommonDLL::platform::kErrorDeviceNotConnected ||
                          readError == FenmarlCommonDLL::platform::kErrorInvalidHandle;
        failedIntervals = (!started || readError != 0) ? failedIntervals + 1 : 0;
        if (lost || failedIntervals >= 3) {
            setDriverError(kSource, "The instrument stopped delivering data: continuous mode ended");
            break;
        }
        if (n <= 0) {
            log_->logWarning(kSource, "No points were measured in this interval");
            continue;
        }
        for (int g = 0; g < 2; ++g)
            for (int axis = 0; axis < 3; ++axis) {
                double sum = 0.0;
                for (int i = 0; i < n; ++i)
                    sum += axes[g][axis][i];
                averages[g][axis] = sum / n;
            }
        unsigned char record[kRecordDoubles * 8];
        putDouble(record, t);
        for (int axis = 0; axis < 3; ++axis) {
            putDouble(record + 8 * (1 + 2 * axis), averages[0][axis]);
            putDouble(record + 8 * (2 + 2 * axis), averages[1][axis]);
        }
        std::lock_guard<std::mutex> hold(temporaryFileLock_);
        if (std::FILE* file = std::fopen(temporaryFilePath_.c_str(), "ab")) {
            const bool written = std::fwrite(record, sizeof record, 1, file) == 1;
            if (std::fclose(file) == 0 && written)
                continuousPoints_.fetch_add(1);
            else
                log_->logError(kSource, "Cannot write the temporary file");
        } else {
            log_->logError(kSource, "Cannot open the temporary file");
        }
    }
    continuousRunning_ = false;
}
