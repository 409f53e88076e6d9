// The chunk reading path: the bulk read thread fills the ring, the process
// thread decodes it into points.
#include "driver/CUSBLib.h"

#include "common/Logger.h"
#include "common/platform/Hooks.h"
#include "common/platform/Win32Error.h"
#include "driver/RecordDecoder.h"
#include "usb/UsbBus.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <new>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <system_error>

namespace {

using namespace std::chrono_literals;

// The read thread asks for real-time scheduling so the instrument's FIFO is
// drained on time; without the privilege it keeps normal scheduling.
class ReadPriority
{
public:
    ReadPriority()
    {
        sched_param param{};
        param.sched_priority = sched_get_priority_max(SCHED_FIFO);
        if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0) {
            raised_ = true;
            return;
        }
        errno = 0;
        const int previous = getpriority(PRIO_PROCESS, 0);
        if (errno == 0 && setpriority(PRIO_PROCESS, 0, -20) == 0) {
            niceChanged_ = true;
            previousNice_ = previous;
        }
    }
    ~ReadPriority()
    {
        if (raised_) {
            sched_param param{};
            pthread_setschedparam(pthread_self(), SCHED_OTHER, &param);
        }
        if (niceChanged_) setpriority(PRIO_PROCESS, 0, previousNice_);
    }
    ReadPriority(const ReadPriority&) = delete;
    ReadPriority& operator=(const ReadPriority&) = delete;

private:
    bool raised_ = false;
    bool niceChanged_ = false;
    int previousNice_ = 0;
};

template <typename Predicate> void pumpWhile(Predicate busy, std::chrono::milliseconds limit)
{
    const auto start = std::chrono::steady_clock::now();
    while (busy() && std::chrono::steady_clock::now() - start < limit) {
        FenmarlCommonDLL::platform::pumpMessages();
        std::this_thread::sleep_for(20ms);
    }
}

} // namespace

void CUSBLib::joinReadingThreads()
{
    if (readThread_.joinable()) readThread_.join();
    if (processThread_.joinable()) processThread_.join();
}

int CUSBLib::Read(const std::array<double*, 6>& outputs, int targetBytes, std::atomic<int>* pointCounter,
                  int N, int startIndex, bool average)
{
    if (!isOpen_.load()) {
        logError("CUSBLib::Read", "The device has not been opened");
        setLastError("The device has not been opened");
        return 1;
    }
    // The previous chunk's threads have ended (or were told to); collect them
    // before their flags are cleared for the next chunk.
    joinReadingThreads();
    stopRead_ = false;
    readRunning_ = false;
    stopProcess_ = false;
    processRunning_ = false;

    outputs_ = outputs;
    targetBytes_ = std::max(targetBytes, 0);
    pointCounter_ = pointCounter;
    N_ = std::max(N, 1);
    average_ = average;
    startIndex_ = startIndex;
    readError_ = 0;
    // Bytes an earlier chunk left behind belong to a sampling run that has ended.
    ring_.clear();

    if (interfaceType_.load() == 0) return 0;

    // Running flags are raised here, before the threads exist, so whoever waits
    // on them right after this call cannot miss a chunk that is starting.
    readRunning_ = true;
    try {
        readThread_ = std::thread(&CUSBLib::USB2_ReadThread, this, device());
    } catch (const std::system_error&) {
        readRunning_ = false;
        logError("CUSBLib::Read", "Cannot start read thread");
        setLastError("Cannot start read thread");
        return 1;
    }
    processRunning_ = true;
    try {
        processThread_ = std::thread(&CUSBLib::ProcessThread, this);
    } catch (const std::system_error&) {
        processRunning_ = false;
        stopRead_ = true;
        logError("CUSBLib::Read", "Cannot start process thread");
        setLastError("Cannot start process thread");
        return 1;
    }
    return 0;
}

int CUSBLib::StopReading()
{
    stopRead_ = true;
    pumpWhile([this] { return readRunning_.load(); }, 30000ms);
    stopProcess_ = true;
    pumpWhile([this] { return processRunning_.load(); }, 5000ms);
    if (!VendorRequest(VEND_STOPSCAN, 0)) {
        logError("CUSBLib::StopReading", "Cannot stop the device from scanning");
        setLastError("Cannot stop the device from scanning");
        return 1;
    }
    std::this_thread::sleep_for(20ms);
    Reset8051();
    stopRead_ = false;
    stopProcess_ = false;
    return 0;
}

void CUSBLib::USB2_ReadThread(std::shared_ptr<FenmarlUsb::Device> winusb)
{
    static const char* const kSource = "TorvaneDLL::USB2_ReadThread";
    readRunning_ = true;
    if (!winusb) {
        readRunning_ = false;
        return;
    }

    std::vector<FenmarlUsb::PipeInformation> pipes;
    const FenmarlUsb::PipeInformation* bulkIn = nullptr;
    if (winusb->queryPipes(&pipes)) {
        for (const auto& pipe : pipes) {
            if (pipe.pipeType == FenmarlUsb::PipeType::Bulk && (pipe.pipeId & 0x80) &&
                pipe.maximumPacketSize > 0) {
                bulkIn = &pipe;
                break;
            }
        }
    }
    if (!bulkIn) {
        logError(kSource, "Failed to discover bulk IN pipe");
        readRunning_ = false;
        return;
    }
    const std::uint8_t pipeId = bulkIn->pipeId;
    const std::uint32_t packet = bulkIn->maximumPacketSize;
    // At slow sample clocks a read is sized to fill in about half a second
    // (at least one packet), so points arrive while the scan runs.
    const double clock = sampleClockHz_.load();
    const double halfSecondBytes = clock * 24.0 * 0.5;
    const std::uint32_t packets =
        halfSecondBytes >= 10.0 * packet
            ? 10u
            : std::max<std::uint32_t>(1, static_cast<std::uint32_t>(std::ceil(halfSecondBytes / packet)));
    std::uint32_t readSize = packets * packet;
    std::vector<std::uint8_t> buffer;
    try {
        buffer.assign(readSize, 0);
    } catch (const std::bad_alloc&) {
        logError(kSource, "Failed to allocate read buffer");
        readRunning_ = false;
        return;
    }

    {
        ReadPriority priority;
        winusb->setPipeTransferTimeout(pipeId, kPipeTimeoutMs);
        if (!VendorRequest(VEND_STARTSCAN, 0)) {
            logError(kSource, "VEND_STARTSCAN failed");
            readError_ = std::max<std::uint32_t>(FenmarlUsb::lastError(), 1);
        } else {
            std::int64_t remaining = static_cast<std::int64_t>(targetBytes_) * N_;
            auto lastProgress = std::chrono::steady_clock::now();
            while (!stopRead_.load() && remaining > 0) {
                if (remaining < readSize)
                    readSize = static_cast<std::uint32_t>((remaining + packet - 1) / packet * packet);
                // The decoder is far faster than the instrument; should it ever
                // fall behind, wait rather than overwrite bytes not yet decoded.
                while (ring_.space() < readSize && !stopRead_.load())
                    std::this_thread::sleep_for(1ms);
                if (stopRead_.load()) break;
                std::uint32_t got = 0;
                const bool read = winusb->readPipe(pipeId, buffer.data(), readSize, &got);
                const std::uint32_t error = read ? 0 : FenmarlUsb::lastError();
                if (got > 0) {
                    got = std::min(got, readSize);
                    ring_.write(buffer.data(), got);
                    bytesRead_.fetch_add(got);
                    remaining -= got;
                    lastProgress = std::chrono::steady_clock::now();
                }
                if (!read) {
                    // A slow clock may need longer than the pipe's time-out to fill
                    // one read: there a time-out is a failure only once the data is overdue.
                    const double fillSeconds = readSize / 24.0 / std::max(sampleClockHz_.load(), 1e-9);
                    const bool slowClock = fillSeconds * 1000.0 > kPipeTimeoutMs / 2.0;
                    const auto overdue = std::chrono::duration<double>(fillSeconds * 1.5) +
                                         std::chrono::milliseconds(kPipeTimeoutMs);
                    if (error == FenmarlCommonDLL::platform::kErrorSemTimeout && slowClock &&
                        std::chrono::steady_clock::now() - lastProgress < overdue)
                        continue;
                    logError(kSource, "WinUsb_ReadPipe failed");
                    readError_ = std::max<std::uint32_t>(error, 1);
                    break;
                }
            }
        }
    }
    buffer.clear();
    {
        std::lock_guard<std::mutex> hold(transferLock_);
        VendorRequest(VEND_STOPSCAN, 0);
    }
    {
        std::lock_guard<std::mutex> hold(transferLock_);
        winusb->abortPipe(pipeId);
        winusb->resetPipe(pipeId);
    }
    readRunning_ = false;
}

void CUSBLib::ProcessThread()
{
    using namespace TorvaneDecode;
    processRunning_ = true;
    if (stopProcess_.load()) {
        processRunning_ = false;
        return;
    }
    int index = startIndex_;
    std::int64_t produced = 0;
    double sums[kChannels] = {};
    double first[kChannels] = {};
    int count = 0;
    // Records this chunk asked for; anything the device sends beyond them is
    // dropped, so the points never run past the caller's arrays.
    const std::int64_t wantedRecords = static_cast<std::int64_t>(targetBytes_ / kRecordBytes) * N_;
    std::int64_t decodedRecords = 0;
    // Logged once per chunk: a host that falls behind must not also flood the log.
    std::uint32_t overflows = 0;

    std::uint8_t block[kBlockBytes];
    std::size_t fill = 0; // bytes of a record still waiting for the rest of it stay at the front
    while (!stopProcess_.load()) {
        if (ring_.available() == 0) {
            if (produced * static_cast<std::int64_t>(kRecordBytes) >= targetBytes_) break;
            // The read thread ended short (failure, stop, unplug): once the ring
            // is drained there is nothing more to wait for.
            if (!readRunning_.load() && ring_.available() == 0) break;
            std::this_thread::sleep_for(5ms);
            continue;
        }
        fill += ring_.read(block + fill, kBlockBytes - fill);
        const std::size_t whole = fill / kRecordBytes;
        int stored = 0;
        for (std::size_t r = 0; r < whole; ++r) {
            if (decodedRecords >= wantedRecords) {
                surplusBytes_.fetch_add(kRecordBytes);
                continue;
            }
            const std::uint8_t* record = block + r * kRecordBytes;
            // The instrument marks the first record it stores after its FIFO
            // overflowed: samples were lost before this one.
            if (record[0] & kFifoOverflowMark) {
                fifoOverflows_.fetch_add(1);
                ++overflows;
            }
            double volts[kChannels];
            decodeRecord(record, zeroOffsets_, volts);
            ++decodedRecords;
            for (std::size_t k = 0; k < kChannels; ++k)
                sums[k] += volts[k];
            if (count == 0)
                for (std::size_t k = 0; k < kChannels; ++k)
                    first[k] = volts[k];
            if (++count == N_) {
                for (std::size_t k = 0; k < kChannels; ++k) {
                    outputs_[k][index] = average_ ? sums[k] / N_ : first[k];
                    sums[k] = 0.0;
                }
                count = 0;
                ++index;
                ++stored;
            }
        }
        const std::size_t used = whole * kRecordBytes;
        std::copy(block + used, block + fill, block);
        fill -= used;
        if (stored > 0) {
            pointCounter_->fetch_add(stored);
            produced += stored;
        }
        std::this_thread::yield();
    }
    if (overflows > 0) {
        char text[96];
        std::snprintf(text, sizeof text, "The instrument's FIFO overflowed %u times: samples were lost",
                      overflows);
        logWarning("TorvaneDLL::ProcessThread", text);
    }
    processRunning_ = false;
}
