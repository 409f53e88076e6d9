#pragma once

// The libusb backend without hardware: devices plugged into the bridge's own
// simulated bus appear to libusb as real USB devices. umockdev mocks sysfs,
// udev and the usbdevfs nodes in this process; the bridge writes each
// device's sysfs entry, sends its "add"/"remove" uevents and answers the
// usbdevfs ioctls libusb issues by running the URBs on the simulated device.
//
// One bridge per process, made before libusb is first used (LibusbBus is a
// process-wide singleton that keeps the /sys and /dev it found). The process
// must run with libumockdev-preload.so.0 preloaded; UmockdevPreload.cpp,
// linked into every program that uses the bridge, restarts the program with
// it when it is missing.

#include "simulator/SimulatedBus.h"

#include <chrono>
#include <memory>
#include <string>

namespace TestSupport {

class UsbdevfsBridge
{
public:
    // The process's bridge (made on first use).
    static UsbdevfsBridge& instance();

    // False, with the reason, when the process does not run in umockdev's
    // mocked environment (the preload library is missing).
    bool ready(std::string* why = nullptr) const;

    // The private bus whose devices libusb sees. Plug and unplug here; the
    // bridge mirrors every arrival and removal, re-enumeration included.
    FenmarlUsb::SimulatedBus& bus();

    // Plugs a device and waits until libusb lists it; returns its libusb path
    // (empty if it never showed up).
    std::string plug(std::shared_ptr<FenmarlUsb::SimulatedDevice> device,
                     std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Unplugs the device and waits until libusb no longer lists it.
    bool unplug(const std::shared_ptr<FenmarlUsb::SimulatedDevice>& device,
                std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Unplugs everything and waits until libusb lists none of it.
    void reset();

    // The libusb path of a plugged device (empty when libusb does not list it).
    std::string libusbPath(const std::shared_ptr<FenmarlUsb::SimulatedDevice>& device) const;
    // Waits until libusb lists exactly `count` devices of the class.
    bool waitForCount(FenmarlUsb::DeviceClassId cls, std::size_t count,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

    // URBs the bridge ran since it was made (benchmark and test evidence).
    std::uint64_t urbsCompleted() const;

    UsbdevfsBridge(const UsbdevfsBridge&) = delete;
    UsbdevfsBridge& operator=(const UsbdevfsBridge&) = delete;

    class Impl;

private:
    UsbdevfsBridge();
    ~UsbdevfsBridge();
    std::unique_ptr<Impl> impl_;
};

} // namespace TestSupport
