#pragma once

// The simulated USB bus: software devices plugged into the same FenmarlUsb::Bus
// the driver and the firmware loader use (TESSELON_USB=simulator).
//
// Re-enumeration. A device never changes its class while plugged, just as a
// real one does not. A bare microcontroller that has received its firmware and
// is released from reset schedules, a short time later on the bus thread
// (SimulatedBus::after), its own unplug(path()) followed by plug(instrument):
// watchers of the bare class see a removal, watchers of the instrument class
// an arrival, and handles still open on the bare device fail from then on with
// ERROR_DEVICE_NOT_CONNECTED (1167). Never call unplug() or plug() from inside
// a transfer you are serving while holding your own lock: schedule it.
//
// Threads. Transfers run on the caller's thread and call the device directly.
// Watch callbacks and scheduled actions run in order on one bus thread.

#include "usb/Export.h"
#include "usb/UsbBus.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace FenmarlUsb {

class SimulatedBus;

// A software USB device. Results are Win32 error numbers: 0 for success, for
// example 31 (ERROR_GEN_FAILURE) for a stalled request, 121 for a time-out,
// 995 for an aborted transfer. The handle layer turns them into lastError().
class FENMARL_USB_API SimulatedDevice : public std::enable_shared_from_this<SimulatedDevice>
{
public:
    SimulatedDevice();
    virtual ~SimulatedDevice();
    SimulatedDevice(const SimulatedDevice&) = delete;
    SimulatedDevice& operator=(const SimulatedDevice&) = delete;

    virtual DeviceClassId deviceClass() const = 0;
    virtual UsbId usbId() const = 0;
    // kFullSpeed or kHighSpeed.
    virtual std::uint8_t speed() const { return kHighSpeed; }

    // Called when a path is opened; a non-zero result refuses the open
    // (for example 5, access denied).
    virtual std::uint32_t onOpen() { return 0; }

    // A transfer on the default pipe. The default routes a standard
    // GET_DESCRIPTOR to descriptor() and every vendor request to
    // vendorRequest(); anything else stalls. timeoutMs is the pipe's policy
    // (0 = no time-out).
    virtual std::uint32_t controlTransfer(const SetupPacket& setup, std::uint8_t* data,
                                          std::uint32_t* transferred, std::uint32_t timeoutMs);
    virtual std::uint32_t vendorRequest(const SetupPacket& setup, std::uint8_t* data,
                                        std::uint32_t* transferred, std::uint32_t timeoutMs) = 0;
    // Descriptor of the given type and index; the default answers the device
    // descriptor (type 1) from usbId() and stalls everything else.
    virtual std::uint32_t descriptor(std::uint8_t type, std::uint8_t index, std::uint16_t languageId,
                                     std::uint8_t* buffer, std::uint32_t length, std::uint32_t* transferred);

    // Interface 0's endpoints in index order; the default has none.
    virtual std::vector<PipeInformation> pipes() const { return {}; }
    // Synchronous bulk IN read; waits at most timeoutMs (0 = forever). The
    // default has no bulk pipe: ERROR_INVALID_PARAMETER.
    virtual std::uint32_t bulkRead(std::uint8_t pipeId, std::uint8_t* buffer, std::uint32_t length,
                                   std::uint32_t* transferred, std::uint32_t timeoutMs);
    // Cancels transfers pending on the pipe (they end with 995).
    virtual std::uint32_t abortPipe(std::uint8_t pipeId);
    virtual std::uint32_t resetPipe(std::uint8_t pipeId);

    // Where the device is plugged; empty when unplugged.
    std::string path() const;
    bool isPlugged() const;
    // The bus the device is plugged into (null when unplugged).
    SimulatedBus* bus() const;

protected:
    // An 18-byte USB 2.0 device descriptor for usbId() with a 64-byte control
    // pipe and one configuration; classCode stands for class, subclass and protocol.
    std::vector<std::uint8_t> deviceDescriptor(std::uint8_t classCode, std::uint16_t release,
                                               std::uint8_t manufacturerString,
                                               std::uint8_t productString) const;
    // A descriptor answer: as much of bytes as length allows.
    static std::uint32_t answerDescriptor(const std::vector<std::uint8_t>& bytes, std::uint8_t* buffer,
                                          std::uint32_t length, std::uint32_t* transferred);

    // Called by the bus after the device joined it (its arrival is announced).
    virtual void onPlugged() {}
    // Called by the bus after the device left it; pending transfers must end
    // (the handle layer reports 1167).
    virtual void onUnplugged() {}

private:
    friend class SimulatedBus;
    mutable std::mutex placeLock_;
    SimulatedBus* bus_ = nullptr;
    std::string path_;
};

class FENMARL_USB_API SimulatedBus : public Bus
{
public:
    SimulatedBus();
    ~SimulatedBus() override;

    // The process's simulated bus (what bus() returns under TESSELON_USB=simulator).
    // The first use plugs the devices of the profile (TESSELON_SIMULATOR or the
    // built-in default).
    static SimulatedBus& instance();

    // Plugs a device and announces its arrival; returns its path, for example
    // "\\?\usb#vid_04b4&pid_8613#sim0001#{86130025-0ec1-4723-91cb-d14550ba6dfc}".
    // A device already plugged here keeps its path; one plugged into another
    // bus is refused (empty path).
    std::string plug(std::shared_ptr<SimulatedDevice> device);
    // Unplugs the device at path and announces its removal. False if none.
    bool unplug(const std::string& path);
    // Unplugs everything without announcements, cancels scheduled actions and
    // drops queued notifications: an empty bus for the next test. Watchers stay.
    void reset();
    // Runs action on the bus thread after delay (re-enumeration, timed faults).
    void after(std::chrono::milliseconds delay, std::function<void()> action);
    // Waits until every notification and action due so far has run. False on time-out.
    bool waitIdle(std::chrono::milliseconds timeout = std::chrono::seconds(10));

    std::vector<std::shared_ptr<SimulatedDevice>> devices() const;
    std::shared_ptr<SimulatedDevice> deviceAt(const std::string& path) const;

    // Bus
    std::vector<std::string> enumerate(DeviceClassId cls) override;
    std::unique_ptr<Device> open(const std::string& path) override;
    int watch(DeviceClassId cls, WatchCallback callback) override;
    void unwatch(int token) override;
    std::string backendName() const override { return "simulator"; }

private:
    struct Watcher
    {
        DeviceClassId cls;
        WatchCallback callback;
    };

    void post(std::chrono::steady_clock::time_point due, std::function<void()> action);
    void announce(DeviceClassId cls, const std::string& path, bool arrived);
    void run();

    mutable std::mutex lock_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::map<std::uint64_t, std::shared_ptr<SimulatedDevice>> devices_; // by plug number: stable order
    std::uint64_t nextNumber_ = 1;
    std::map<std::pair<std::chrono::steady_clock::time_point, std::uint64_t>, std::function<void()>> tasks_;
    std::uint64_t nextSequence_ = 0;
    bool busy_ = false;
    bool stopping_ = false;

    // Watchers: dispatching holds watchLock_, so unwatch() returns only once no
    // callback of that watcher runs (unless called from the bus thread itself).
    std::recursive_mutex watchLock_;
    std::map<int, Watcher> watchers_;
    int nextToken_ = 1;

    std::thread::id threadId_;
    std::unique_ptr<std::thread> thread_;
};

// Builds a bare microcontroller that becomes `instrument` once its firmware
// runs. The bare device's implementation registers it; profiles that start an
// instrument bare need it.
using BareDeviceFactory =
    std::function<std::shared_ptr<SimulatedDevice>(std::shared_ptr<SimulatedDevice> instrument)>;
FENMARL_USB_API void setBareDeviceFactory(BareDeviceFactory factory);
FENMARL_USB_API BareDeviceFactory bareDeviceFactory();

} // namespace FenmarlUsb
