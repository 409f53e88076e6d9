#pragma once

// FenmarlUsb: what WinUSB and SetupAPI offer the driver and the firmware
// loader, and no more. One bus per process (libusb or the simulated bus,
// chosen by TESSELON_USB=simulator), so the loader and the driver see the
// same devices. Failing calls return false and leave a Win32 error number in
// the calling thread's lastError(), as GetLastError would.

#include "usb/Export.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace FenmarlUsb {

enum class DeviceClassId { Instrument, BareMicrocontroller };

struct UsbId
{
    std::uint16_t vendorId;
    std::uint16_t productId;
};

struct DeviceClass
{
    DeviceClassId id;
    std::string name;          // "Tesselon-6 instrument", "bare EZ-USB microcontroller"
    std::string interfaceGuid; // "{6F37543C-03B9-4D8B-AB72-D98CE8E1AF60}"
    std::vector<UsbId> ids;
};

// The device-class table (usb/DeviceClasses.cpp); also generates the udev rule.
FENMARL_USB_API const DeviceClass& deviceClass(DeviceClassId id);
FENMARL_USB_API const std::vector<DeviceClass>& deviceClasses();
// The udev rules file for the table: every id gets TAG+="uaccess".
FENMARL_USB_API std::string udevRules();

struct SetupPacket
{
    std::uint8_t requestType;
    std::uint8_t request;
    std::uint16_t value;
    std::uint16_t index;
    std::uint16_t length;
};

enum class PipeType : std::uint8_t { Control = 0, Isochronous = 1, Bulk = 2, Interrupt = 3 };

struct PipeInformation
{
    PipeType pipeType;
    std::uint8_t pipeId; // endpoint address, bit 7 set for IN
    std::uint16_t maximumPacketSize;
    std::uint8_t interval;
};

// WinUsb_QueryDeviceInformation(DEVICE_SPEED): 1 = low/full speed, 3 = high speed.
inline constexpr std::uint8_t kFullSpeed = 1;
inline constexpr std::uint8_t kHighSpeed = 3;

class FENMARL_USB_API Device
{
public:
    virtual ~Device();
    // WinUsb_ControlTransfer: data holds setup.length bytes (written for IN).
    virtual bool controlTransfer(const SetupPacket& setup, std::uint8_t* data,
                                 std::uint32_t* transferred) = 0;
    // WinUsb_GetDescriptor.
    virtual bool getDescriptor(std::uint8_t type, std::uint8_t index, std::uint16_t languageId,
                               std::uint8_t* buffer, std::uint32_t length, std::uint32_t* transferred) = 0;
    // Interface 0's endpoints in index order (WinUsb_QueryInterfaceSettings + WinUsb_QueryPipe).
    virtual bool queryPipes(std::vector<PipeInformation>* pipes) = 0;
    // PIPE_TRANSFER_TIMEOUT; pipeId 0 is the default control pipe. 0 ms = wait forever.
    virtual bool setPipeTransferTimeout(std::uint8_t pipeId, std::uint32_t milliseconds) = 0;
    // Synchronous bulk IN read (WinUsb_ReadPipe).
    virtual bool readPipe(std::uint8_t pipeId, std::uint8_t* buffer, std::uint32_t length,
                          std::uint32_t* transferred) = 0;
    virtual bool abortPipe(std::uint8_t pipeId) = 0;
    virtual bool resetPipe(std::uint8_t pipeId) = 0;
    virtual bool queryDeviceSpeed(std::uint8_t* speed) = 0;
    virtual std::string path() const = 0;
};

using WatchCallback = std::function<void(DeviceClassId cls, const std::string& path, bool arrived)>;

class FENMARL_USB_API Bus
{
public:
    virtual ~Bus();
    // Present devices of a class, in a stable order; each entry is a device path.
    virtual std::vector<std::string> enumerate(DeviceClassId cls) = 0;
    // Opens a path (CreateFile + WinUsb_Initialize). Null with lastError() set on failure.
    virtual std::unique_ptr<Device> open(const std::string& path) = 0;
    // Arrival/removal callbacks, called on a bus thread. Returns a token for unwatch.
    virtual int watch(DeviceClassId cls, WatchCallback callback) = 0;
    virtual void unwatch(int token) = 0;
    virtual std::string backendName() const = 0;
};

// The process's bus: the simulated bus when TESSELON_USB=simulator, else libusb.
FENMARL_USB_API Bus& bus();
// The libusb backend itself, whatever TESSELON_USB says (tests, diagnostics).
FENMARL_USB_API Bus& libusbBus();

// Thread-local Win32 error number of the last failing call on this thread.
FENMARL_USB_API std::uint32_t lastError();
FENMARL_USB_API void setLastError(std::uint32_t code);
// errno / libusb error → Win32 number (one table, usb/ErrorMap.cpp).
FENMARL_USB_API std::uint32_t win32FromLibusb(int libusbError);

} // namespace FenmarlUsb
