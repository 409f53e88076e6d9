#pragma once

#include "common/Locker.h"
#include "driver/CUSBLib.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace FenmarlCommonDLL {
class Logger;
}
struct AxisArrays;

// The driver's one context: the log, the USB layer, the instrument's control
// words, the block scan buffers and continuous mode. Every export forwards to
// the operation of the same name.
class CDriverContext
{
public:
    static constexpr double kBaseClockHz = 20833.0;
    static constexpr std::int64_t kChunkSamples = 700000;
    static constexpr std::size_t kErrorTextSize = 256;
    static constexpr std::size_t kRecordDoubles = 7; // continuous-mode temporary file record
    static constexpr const char* kTemporaryFileName = "ContinuousScanData.tmp";

    CDriverContext();
    virtual ~CDriverContext();
    CDriverContext(const CDriverContext&) = delete;
    CDriverContext& operator=(const CDriverContext&) = delete;

    int FindDevices();
    int GetDescriptor(int index, char* text, unsigned capacity, unsigned* length);
    int OpenDevice(int index);
    int SetTimeOut(int ms);
    int CloseDevice();
    bool IsDeviceOpen();
    int TurnSensorOn(int group, bool on);
    int SetSensorGain(int group, int gain);
    int SetSensorHPFilter(int group, bool on);
    int SetInputType(int group, int type);
    int SetMeasurementRate(double rateHz, bool decimate);
    int Reset();
    int RunScan(bool start, int points);
    int GetCurrentNumberOfPoints();
    int GetMeasurement(int group, int start, int* count, double* time, AxisArrays* xyz, int filter);
    bool IsScanning();
    bool IsUSBTwo();
    int GetFirmwareVersion(unsigned* version);
    bool IsBoardInReset();
    int GetErrorText(char* text);
    int SetLowpassFilterCutOff(double cutoffHz);
    int SetLowpassFilterSize(int length);
    void GetThreadDetails(bool* readRunning, bool* processRunning, int* samplesRead, int* bytesBuffered,
                          int* pointsProcessed);
    // FIFO overflows the instrument marked in the stream since RunScan last
    // started a scan (each one is a gap of at least one sample).
    int GetLostSampleCount();

    // Block scan and its fetch.
    int Scan(int points);
    int GetData(int group, int start, int* count, double* time, double* x, double* y, double* z, int filter);

    // State, for the library's own diagnostics and tests.
    CUSBLib& usb() { return *usb_; }
    FenmarlCommonDLL::Logger& log() { return *log_; }
    std::uint16_t sensorControlWord() const { return sensorWord_; }
    std::uint16_t inputControlWord() const { return inputWord_; }
    double effectivePointRate() const { return effectiveRate_; }
    int decimationFactor() const { return decimation_; }
    // True when N only thins the samples out (kept one in N) rather than averaging them.
    bool decimationPicks() const { return decimationPicks_; }
    int filterLength() const { return filterLength_; }
    const double* zeroTable() const { return zeroTable_; }
    std::string driverErrorText() const;
    const std::filesystem::path& temporaryFilePath() const { return temporaryFilePath_; }
    // Points the block scan arrays can hold (the capacity of the last Scan).
    std::size_t blockCapacity() const { return timeArray_.size(); }

private:
    // Keeps the text (logged as an ERROR). A failure of the driver's own
    // (a refused argument, a scan that cannot start) also becomes the text
    // GetErrorText gives, so a caller never reads an older, unrelated one; a
    // failed request (fromRequest) leaves the USB layer's own text there.
    void setDriverError(const std::string& source, const std::string& text, bool fromRequest = false);
    int controlFailure(const char* exportName, const char* text, bool fromRequest = false);
    int sendControlWord(const char* exportName, std::uint8_t request, std::uint16_t& stored, std::uint16_t word,
                        const char* failure);
    int sendSensorWord(const char* exportName, std::uint16_t word);
    int sendInputWord(const char* exportName, std::uint16_t word);
    bool validGroup(const char* exportName, int group);
    void ScanThread(std::int64_t totalSamples, std::int64_t wantedSamples);
    void ContinuousThread();
    void stopBlockScan();
    void stopContinuous();
    int readContinuous(int group, int start, int* count, double* time, AxisArrays* xyz);

    std::mutex temporaryFileLock_;
    std::filesystem::path temporaryFilePath_;
    std::unique_ptr<FenmarlCommonDLL::Logger> log_;
    std::unique_ptr<CUSBLib> usb_;
    std::uint16_t sensorWord_ = 0;
    std::uint16_t inputWord_ = 0;
    mutable std::mutex driverErrorMutex_;
    char driverError_[kErrorTextSize] = {};
    std::atomic<double> effectiveRate_{kBaseClockHz};
    std::atomic<int> decimation_{1};
    // Set where the rate divider would overflow and the clock runs N times
    // faster than asked without averaging having been asked for.
    std::atomic<bool> decimationPicks_{false};
    std::atomic<std::uint32_t> overflowsAtScanStart_{0};
    double zeroTable_[8] = {};

    // Block scan.
    std::vector<double> timeArray_;
    std::array<std::vector<double>, 6> channels_;
    std::atomic<int> blockPoints_{0};
    std::atomic<bool> scanning_{false};
    std::atomic<bool> abort_{false};
    std::thread scanThread_;

    // Moving-average filter, per channel.
    std::atomic<int> filterLength_{2};
    int scanFilterLength_ = 2;
    std::array<std::vector<double>, 8> filterRings_;
    std::array<int, 8> filterFill_{};
    std::array<int, 8> filterWrite_{};

    // Continuous mode.
    std::atomic<bool> continuous_{false};
    std::atomic<bool> continuousRunning_{false};
    std::atomic<bool> continuousStop_{false};
    std::atomic<int> continuousPoints_{0};
    std::thread continuousThread_;
};
