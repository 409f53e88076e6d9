#include "driver/CUSBLib.h"

#include "common/Logger.h"
#include "common/platform/Win32Error.h"
#include "usb/UsbBus.h"

#include <chrono>
#include <cstdio>
#include <cstring>

using FenmarlCommonDLL::ThreadLocker;

namespace {

constexpr std::uint8_t kRequestTypeVendorOut = 0x40;
constexpr std::uint8_t kRequestTypeVendorIn = 0xC0;
constexpr std::uint16_t kReplyBytes = 16;

std::string formatLastError(const char* format, std::uint32_t code)
{
    char text[160];
    std::snprintf(text, sizeof text, format, static_cast<unsigned long>(code));
    return text;
}

// A failed open of the device itself (the CreateFile step) rather than of its
// USB interface.
bool isFileOpenFailure(std::uint32_t code)
{
    namespace p = FenmarlCommonDLL::platform;
    return code == p::kErrorFileNotFound || code == p::kErrorPathNotFound || code == p::kErrorAccessDenied ||
           code == p::kErrorSharingViolation || code == p::kErrorDeviceNotConnected ||
           code == p::kErrorNotFound;
}

} // namespace

std::atomic<std::uint32_t> CUSBLib::bytesRead_{0};

CUSBLib::CUSBLib(FenmarlCommonDLL::Logger* logger) : logger_(logger)
{
    logNote("CUSBLib", "Object Created");
}

CUSBLib::~CUSBLib()
{
    stopRead_ = true;
    stopProcess_ = true;
    joinReadingThreads();
    logNote("CUSBLib", "Object Destroyed");
}

void CUSBLib::logNote(const std::string& source, const std::string& text)
{
    if (logger_) logger_->logNote(source, text);
}

void CUSBLib::logWarning(const std::string& source, const std::string& text)
{
    if (logger_) logger_->logWarning(source, text);
}

void CUSBLib::logError(const std::string& source, const std::string& text)
{
    if (logger_) logger_->logError(source, text);
}

void CUSBLib::setLastError(const std::string& text)
{
    std::lock_guard<std::mutex> hold(lastErrorMutex_);
    std::snprintf(lastError_, sizeof lastError_, "%s", text.c_str());
}

std::string CUSBLib::lastError() const
{
    std::lock_guard<std::mutex> hold(lastErrorMutex_);
    return lastError_;
}

std::shared_ptr<FenmarlUsb::Device> CUSBLib::device() const
{
    std::lock_guard<std::mutex> hold(deviceMutex_);
    return winusb_;
}

int CUSBLib::FindDevices()
{
    ThreadLocker hold(&deviceListLock_, true);
    return static_cast<int>(FenmarlUsb::bus().enumerate(FenmarlUsb::DeviceClassId::Instrument).size());
}

std::vector<std::string> CUSBLib::GetDevicePaths()
{
    ThreadLocker hold(&deviceListLock_, true);
    return FenmarlUsb::bus().enumerate(FenmarlUsb::DeviceClassId::Instrument);
}

std::shared_ptr<FenmarlUsb::Device> CUSBLib::GetWinUSBDeviceHandle(int index)
{
    const std::vector<std::string> paths = GetDevicePaths();
    if (index < 0 || static_cast<std::size_t>(index) >= paths.size()) return nullptr;
    std::shared_ptr<FenmarlUsb::Device> handle =
        FenmarlUsb::bus().open(paths[static_cast<std::size_t>(index)]);
    if (handle) return handle;
    const std::uint32_t code = FenmarlUsb::lastError();
    if (isFileOpenFailure(code))
        logError("CUSBLib::GetWinUSBDeviceHandle", "Failed to get DEVICE_CONTEXT");
    else
        logError("CUSBLib::GetWinUSBDeviceHandle",
                 formatLastError("WinUsb_Initialize failed. GetLastError=%lu", code));
    return nullptr;
}

int CUSBLib::GetDescriptor(int index, char* text, unsigned capacity, unsigned* length)
{
    ThreadLocker hold(&deviceListLock_, true);
    if (index < 0 || index >= FindDevices()) return 0;
    std::shared_ptr<FenmarlUsb::Device> handle = GetWinUSBDeviceHandle(index);
    if (!handle) return 0;
    handle->setPipeTransferTimeout(0, kPipeTimeoutMs);
    std::uint8_t reply[kReplyBytes] = {};
    std::uint32_t received = 0;
    const FenmarlUsb::SetupPacket setup{0x80, 6, 0x0302, 1, kReplyBytes};
    if (!handle->controlTransfer(setup, reply, &received) || received == 0) {
        logError("CUSBLib::GetDescriptor", "Did not get the device Descriptor.");
        return 0;
    }
    // Without room for at least the terminating NUL nothing can be returned.
    if (!text || !length || capacity == 0) return 0;
    if (reply[2] != 3) {
        *length = 0;
        return 0;
    }
    const unsigned declared = reply[0] * 256u + reply[1];
    const unsigned limit = received < kReplyBytes ? received : kReplyBytes;
    unsigned copied = 0;
    for (unsigned offset = 3; offset < declared && offset < limit && offset < capacity - 1; offset += 2)
        text[copied++] = static_cast<char>(reply[offset]);
    text[copied] = '\0';
    *length = copied + 1;
    return 0;
}

int CUSBLib::OpenDevice(int index)
{
    if (isOpen_.exchange(true)) {
        logError("CUSBLib::OpenDevice", "The device is already open");
        setLastError("The device is already open");
        return 1;
    }
    std::shared_ptr<FenmarlUsb::Device> handle = GetWinUSBDeviceHandle(index);
    if (handle) handle->setPipeTransferTimeout(0, kPipeTimeoutMs);
    {
        std::lock_guard<std::mutex> hold(deviceMutex_);
        winusb_ = handle;
    }
    std::uint32_t type = 0;
    if (!VendorRequest(VEND_GETINTERFACETYPE, 0, &type)) {
        logError("CUSBLib::OpenDevice", "Cannot get interface type");
        setLastError("Cannot get interface type");
        interfaceType_ = 1;
        return 1;
    }
    interfaceType_ = type;
    return SendStartSequence("CUSBLib::OpenDevice", false);
}

int CUSBLib::CloseDevice()
{
    if (!isOpen_.load()) {
        logWarning("CUSBLib::CloseDevice", "Device is not open");
        return 1;
    }
    // A read still running keeps its own reference to the device; ask it to end.
    if (readRunning_.load()) stopRead_ = true;
    {
        std::lock_guard<std::mutex> hold(deviceMutex_);
        winusb_.reset();
    }
    isOpen_ = false;
    return 0;
}

int CUSBLib::SetTimeOut(int ms)
{
    if (ms < 100) {
        logWarning("CUSBLib::SetTimeOut", "The timeout must be 100ms or more");
        setLastError("The timeout must be 100ms or more");
        return 1;
    }
    timeoutMs_ = ms;
    return 0;
}

int CUSBLib::SendStartSequence(const char* source, bool readReplies)
{
    // Opening and releasing the board from reset send the same requests in the
    // same order; only the request direction and the failure texts differ.
    const struct
    {
        std::uint8_t code;
        std::uint32_t value;
        const char* openFailure;
        const char* resetFailure;
    } steps[] = {
        {VEND_RESETFIFO, 0, "Cannot reset the fifo", "Cannot reset the fifo"},
        {VEND_SETSAMPLES1, 40, "Cannot set the number of samples 1", "Cannot set the number of samples"},
        {VEND_SETSAMPLES2, 0, "Cannot set the number of samples 2", "Cannot set the number of samples"},
        {VEND_STARTSCAN, 0, "Cannot start scan", "Cannot start scan"},
        {VEND_RESETFIFO, 0, "Cannot reset the fifo", "Cannot reset the fifo"},
    };
    for (const auto& step : steps) {
        std::uint32_t unused = 0;
        const bool sent = readReplies ? VendorRequest(step.code, step.value, &unused)
                                      : VendorRequest(step.code, step.value);
        if (!sent) {
            const char* failure = readReplies ? step.resetFailure : step.openFailure;
            logError(source, failure);
            setLastError(failure);
            return 1;
        }
    }
    return 0;
}

bool CUSBLib::VendorRequest(std::uint8_t code, std::uint32_t value)
{
    if (!isOpen_.load()) {
        logError("CUSBLib::VendorRequest", "The device is not open");
        setLastError("The device is not open");
        return false;
    }
    const std::shared_ptr<FenmarlUsb::Device> handle = device();
    const FenmarlUsb::SetupPacket setup{kRequestTypeVendorOut, code,
                                        static_cast<std::uint16_t>(value & 0xFFFF), kRequestIndex, 0};
    std::uint32_t transferred = 0;
    bool ok = false;
    if (handle)
        ok = handle->controlTransfer(setup, nullptr, &transferred);
    else
        FenmarlUsb::setLastError(FenmarlCommonDLL::platform::kErrorInvalidHandle);
    if (ok) return true;
    const std::uint32_t error = FenmarlUsb::lastError();
    logError("CUSBLib::VendorRequest",
             formatLastError("WinUsb_ControlTransfer failed. GetLastError=%lu", error));
    setLastError("WinUsb_ControlTransfer failed");
    std::printf("CUSBLib::VendorRequest. WinUSB error %lu\n", static_cast<unsigned long>(error));
    std::fflush(stdout);
    return false;
}

bool CUSBLib::VendorRequest(std::uint8_t code, std::uint32_t value, std::uint32_t* result)
{
    if (!isOpen_.load()) {
        logError("CUSBLib::VendorRequest", "The device is not open");
        setLastError("The device is not open");
        return false;
    }
    if (!result) {
        logError("CUSBLib::VendorRequest", "_retValue is null");
        setLastError("Output pointer is null");
        return false;
    }
    const std::shared_ptr<FenmarlUsb::Device> handle = device();
    const FenmarlUsb::SetupPacket setup{
        kRequestTypeVendorIn, code, static_cast<std::uint16_t>(value & 0xFFFF), kRequestIndex, kReplyBytes};
    std::uint8_t reply[kReplyBytes] = {};
    std::uint32_t transferred = 0;
    bool ok = false;
    if (handle)
        ok = handle->controlTransfer(setup, reply, &transferred) && transferred >= 1;
    else
        FenmarlUsb::setLastError(FenmarlCommonDLL::platform::kErrorInvalidHandle);
    if (ok) {
        *result = reply[0];
        return true;
    }
    logWarning("CUSBLib::VendorRequest",
               formatLastError("WinUsb_ControlTransfer failed. GetLastError=%lu", FenmarlUsb::lastError()));
    setLastError("WinUsb_ControlTransfer failed");
    return false;
}

int CUSBLib::Reset8051()
{
    if (!isOpen_.load()) {
        logError("CUSBLib::Reset8051", "The device has not been opened");
        setLastError("The device has not been opened");
        return 1;
    }
    boardInReset_ = true;
    if (SendStartSequence("CUSBLib::Reset8051", true) != 0) return 1;
    boardInReset_ = false;
    return 0;
}
