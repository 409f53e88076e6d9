#pragma once

#include "common/Locker.h"
#include "driver/SampleRing.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace FenmarlCommonDLL {
class Logger;
}
namespace FenmarlUsb {
class Device;
}

// Vendor request codes of the instrument.
enum VendorRequestCode : std::uint8_t {
    VEND_SETSAMPLES2 = 0xA1,
    VEND_SETSAMPLES1 = 0xA2,
    VEND_SENSORCONTROL = 0xA3,
    VEND_RATECONTROL = 0xA4,
    VEND_STARTSCAN = 0xA5,
    VEND_RESETFIFO = 0xA6,
    VEND_INPUTCONTROL = 0xA9,
    VEND_GETINTERFACETYPE = 0xAA,
    VEND_GETVERSION = 0xAB,
    VEND_STOPSCAN = 0xAD,
};

// The instrument's device-interface class.
inline constexpr const char* kInstrumentInterfaceGuid = "{6F37543C-03B9-4D8B-AB72-D98CE8E1AF60}";

// USB access of the driver: enumeration, the connection, vendor requests and
// the two threads that read and decode one chunk of a scan.
class CUSBLib
{
public:
    static constexpr std::uint16_t kRequestIndex = 0xBEEF;
    static constexpr std::uint32_t kPipeTimeoutMs = 10000;
    static constexpr std::size_t kErrorTextSize = 256;

    explicit CUSBLib(FenmarlCommonDLL::Logger* logger);
    virtual ~CUSBLib();
    CUSBLib(const CUSBLib&) = delete;
    CUSBLib& operator=(const CUSBLib&) = delete;

    int FindDevices();
    std::vector<std::string> GetDevicePaths();
    // Opens the interface at index; null (with the failure logged) when that fails.
    std::shared_ptr<FenmarlUsb::Device> GetWinUSBDeviceHandle(int index);
    int GetDescriptor(int index, char* text, unsigned capacity, unsigned* length);
    int OpenDevice(int index);
    int CloseDevice();
    int SetTimeOut(int ms);
    bool VendorRequest(std::uint8_t code, std::uint32_t value);
    bool VendorRequest(std::uint8_t code, std::uint32_t value, std::uint32_t* result);
    int Reset8051();

    // Starts the read and decode threads for one chunk of targetBytes decoded
    // bytes (points × 24); the decode thread stores N-sample averages (or,
    // with average false, the first sample of every N) into the six arrays
    // from startIndex on and raises *pointCounter as points complete.
    int Read(const std::array<double*, 6>& outputs, int targetBytes, std::atomic<int>* pointCounter, int N,
             int startIndex, bool average = true);
    int StopReading();
    // Asks the current chunk's threads to end without waiting for them.
    void requestStop()
    {
        stopRead_ = true;
        stopProcess_ = true;
    }

    bool isOpen() const { return isOpen_.load(); }
    bool isBoardInReset() const { return boardInReset_.load(); }
    std::uint32_t interfaceType() const { return interfaceType_.load(); }
    int timeoutMs() const { return timeoutMs_.load(); }
    bool readRunning() const { return readRunning_.load(); }
    bool processRunning() const { return processRunning_.load(); }
    std::string lastError() const;
    // Bytes read from the bulk pipe since the library was loaded.
    static std::uint32_t bytesReadTotal() { return bytesRead_.load(); }
    std::size_t bytesBuffered() const { return ring_.available(); }
    // Instrument FIFO overflows seen in the stream since the library was loaded.
    std::uint32_t fifoOverflows() const { return fifoOverflows_.load(); }
    // The Win32 number of the failure that ended the last chunk's reading
    // early (start request, pipe read); 0 when it read all it asked for or was stopped.
    std::uint32_t readError() const { return readError_.load(); }
    // The instrument's sample clock (Hz), so the read thread knows how long
    // a read may take to fill at slow rates.
    void setSampleClock(double hz) { sampleClockHz_ = hz > 0.0 ? hz : 20833.0; }
    // Keeps text as lastError (the caller has logged it).
    void setErrorText(const std::string& text) { setLastError(text); }
    // Records the device sent beyond what a chunk asked for, dropped undecoded.
    std::uint64_t surplusBytesDropped() const { return surplusBytes_.load(); }

private:
    void setLastError(const std::string& text);
    std::shared_ptr<FenmarlUsb::Device> device() const;
    // The start-up requests of OpenDevice and Reset8051 (readReplies: as IN
    // requests); 1 with the failure logged under source and kept as lastError.
    int SendStartSequence(const char* source, bool readReplies);
    void joinReadingThreads();
    void USB2_ReadThread(std::shared_ptr<FenmarlUsb::Device> winusb);
    void ProcessThread();
    void logNote(const std::string& source, const std::string& text);
    void logWarning(const std::string& source, const std::string& text);
    void logError(const std::string& source, const std::string& text);

    FenmarlCommonDLL::Logger* logger_;
    mutable std::mutex lastErrorMutex_;
    char lastError_[kErrorTextSize] = {};
    // The device handle is shared with the read thread, so a close during a
    // scan cannot free it under a running read.
    mutable std::mutex deviceMutex_;
    std::shared_ptr<FenmarlUsb::Device> winusb_;
    FenmarlCommonDLL::Locker deviceListLock_;
    std::mutex transferLock_;
    std::atomic<bool> isOpen_{false};
    std::atomic<int> timeoutMs_{1000};
    std::atomic<bool> boardInReset_{false};
    std::atomic<std::uint32_t> interfaceType_{0};

    // Reading state of the current chunk.
    std::atomic<bool> stopRead_{false};
    std::atomic<bool> readRunning_{false};
    std::atomic<bool> stopProcess_{false};
    std::atomic<bool> processRunning_{false};
    std::array<double*, 6> outputs_{};
    int targetBytes_ = 0;
    std::atomic<int>* pointCounter_ = nullptr;
    int N_ = 1;
    bool average_ = true;
    int startIndex_ = 0;
    std::atomic<std::uint32_t> readError_{0};
    std::atomic<double> sampleClockHz_{20833.0};
    std::thread readThread_;
    std::thread processThread_;
    double zeroOffsets_[8] = {};
    SampleRing ring_;
    std::atomic<std::uint32_t> fifoOverflows_{0};
    std::atomic<std::uint64_t> surplusBytes_{0};
    static std::atomic<std::uint32_t> bytesRead_;
};
