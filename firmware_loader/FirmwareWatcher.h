#pragma once

// The loader object: one per process, built when the library is loaded. Its
// background thread watches the USB layer for bare microcontrollers and
// uploads the loader and firmware images into them.

#include "common/Event.h"
#include "common/Logger.h"
#include "usb/UsbBus.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace TorvaneDLL {

// Device-change events, kept with their Windows numbers.
inline constexpr std::uint32_t kDeviceArrival = 0x8000;        // DBT_DEVICEARRIVAL
inline constexpr std::uint32_t kDeviceRemoveComplete = 0x8004; // DBT_DEVICEREMOVECOMPLETE

// How long a released device has to come back as an instrument before the
// log says it did not.
inline constexpr std::chrono::milliseconds kInstrumentReturnTime{5000};
// How long unloading waits for the background thread.
inline constexpr std::chrono::milliseconds kStopTime{5000};

class FirmwareWatcher : public FenmarlCommonDLL::Logger
{
public:
    // The opened bare device while an upload runs.
    struct DeviceContext
    {
        std::unique_ptr<FenmarlUsb::Device> winusbHandle;
        std::uint16_t vendorId = 0;
        std::uint16_t productId = 0;
    };

    // Logs "Loaded." to the log at logPath.
    explicit FirmwareWatcher(const std::wstring& logPath);
    // Stops the thread if it still runs.
    ~FirmwareWatcher() override;

    // The log's place: <users data>/Tesselon/Logs/FirmwareDriver.log.
    static std::wstring defaultLogPath();

    // Starts the background thread (once); false if it could not be created.
    bool start();
    // Signals the thread to stop, waits for it, clears uploaded, logs "Unloaded.".
    void stop();

    // The window procedure's part: queued by the watch, run on the background
    // thread. Only an arrival of the bare class while nothing was uploaded
    // starts an upload.
    void onDeviceChange(std::uint32_t event, FenmarlUsb::DeviceClassId cls, const std::string& path);

    // Opens the first bare device, uploads both images, closes it. True when
    // the upload succeeded (then uploaded is set).
    bool handleDevicePresent();

    // Makes an opened device the active one, with the ids of its device
    // descriptor (0 when it cannot be read); deactivate() closes it.
    DeviceContext* activate(std::unique_ptr<FenmarlUsb::Device> handle);
    void deactivate();

    bool uploaded() const { return uploaded_.load(); }
    bool isRunning() const { return thread_ != nullptr; }
    // The device being uploaded to, null outside an upload.
    DeviceContext* activeDevice() { return activeDevice_; }

private:
    struct DeviceChange
    {
        std::uint32_t event;
        FenmarlUsb::DeviceClassId cls;
        std::string path;
    };
    // Shared with the bus's callbacks so a late callback never touches a dead watcher.
    struct Mailbox
    {
        std::mutex lock;
        std::deque<DeviceChange> changes;
        bool quit = false;
        std::atomic<std::uint64_t> instrumentArrivals{0};
    };

    void threadMain();
    bool searchPresentDevice();
    void dispatchPending(bool* quit);
    void checkInstrumentReturn();

    FenmarlCommonDLL::Event stopEvent_;
    FenmarlCommonDLL::Event threadDone_;
    std::unique_ptr<std::thread> thread_;
    std::shared_ptr<Mailbox> mailbox_ = std::make_shared<Mailbox>();
    int bareWatch_ = 0;
    int instrumentWatch_ = 0;

    DeviceContext deviceContext_;
    DeviceContext* activeDevice_ = nullptr;
    std::atomic<bool> uploaded_{false};

    // After a successful upload: the instrument arrivals seen before it and
    // when to give up waiting for one more.
    bool awaitingInstrument_ = false;
    std::uint64_t arrivalsBefore_ = 0;
    std::chrono::steady_clock::time_point instrumentDeadline_;
};

} // namespace TorvaneDLL
