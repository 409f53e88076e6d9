#include "firmware_loader/Ambrel.h"

#include "firmware_loader/ErrorText.h"
#include "firmware_loader/FirmwareWatcher.h"

#include "common/platform/Win32Error.h"

#include <cstdio>
#include <cstring>

namespace TorvaneDLL {

namespace {

namespace win32 = FenmarlCommonDLL::platform;

// A failing call must never read as success, even if the layer left no code.
std::uint32_t failureCode()
{
    const std::uint32_t code = FenmarlUsb::lastError();
    return code != 0 ? code : win32::kErrorGenFailure;
}

std::string withErrorText(const char* message, std::uint32_t code)
{
    return std::string(message) + errorText(ErrorKind::Win32, code);
}

// format with the record's address in it ("... at 0x%04X ...").
std::string aboutRecord(const char* format, std::uint16_t address)
{
    char text[80];
    std::snprintf(text, sizeof text, format, static_cast<unsigned>(address));
    return text;
}

struct Action
{
    enum Kind { Reset, SendLoader, SendFirmware } kind;
    std::uint16_t cpuRegister;
    std::uint8_t value;
    const char* failureText;
};

constexpr Action kActions[] = {
    {Action::Reset, kCpuControlAn21, 1, "Action 1, Failed reset using 0x7f92"},
    {Action::Reset, kCpuControlFx2, 1, "Action 2, Failed reset using 0xE600"},
    {Action::Reset, kCpuControlAn21, 1, "Action 3, Failed reset using 0x7f92"},
    {Action::Reset, kCpuControlFx2, 1, "Action 4, Failed reset using 0xE600"},
    {Action::SendLoader, 0, 0, "Action 5, Failed to send loader data"},
    {Action::Reset, kCpuControlAn21, 0, "Action 6, Failed reset using 0x7f92"},
    {Action::Reset, kCpuControlFx2, 0, "Action 7, Failed reset using 0xE600"},
    {Action::Reset, kCpuControlAn21, 1, "Action 8, Failed reset using 0x7f92"},
    {Action::Reset, kCpuControlFx2, 1, "Action 9, Failed reset using 0xE600"},
    {Action::SendFirmware, 0, 0, "Action 10, Failed to send firmware"},
    {Action::Reset, kCpuControlAn21, 1, "Action 11, Failed reset using 0x7f92"},
    {Action::Reset, kCpuControlFx2, 1, "Action 12, Failed reset using 0xE600"},
    {Action::Reset, kCpuControlAn21, 0, "Action 13, Failed reset using 0x7f92"},
};

} // namespace

bool Ambrel::LoadTesselonFirmware()
{
    bool ok = true;
    for (const Action& action : kActions) {
        std::uint32_t result = 0;
        switch (action.kind) {
        case Action::Reset:
            result = ResetTesselonWithValue(action.cpuRegister, action.value);
            break;
        case Action::SendLoader:
            result = SendTesselonLoader(loaderImage());
            break;
        case Action::SendFirmware:
            result = SendTesselonLoader(firmwareImage());
            // Read it back while the CPU is still held, so a corrupted image never runs.
            if (result == 0 && VerifyTesselonImage(firmwareImage()) != 0) {
                watcher_->logError("LoadTesselonFirmware", "Action 10, Firmware read back does not match");
                ok = false;
            }
            break;
        }
        if (!ok) break;
        if (result != 0) {
            watcher_->logError("LoadTesselonFirmware", action.failureText);
            ok = false;
            break;
        }
    }
    if (ok) {
        // Unchecked: only one of the two cores has this register.
        ResetTesselonWithValue(kCpuControlFx2, 0);
        watcher_->logNote("LoadTesselonFirmware::SendTesselonLoader", "Tesselon's firmware update complete.");
    } else {
        watcher_->logError("LoadTesselonFirmware::SendTesselonLoader",
                           "Failed to update Tesselon's firmware.");
    }
    return ok;
}

std::uint32_t Ambrel::prepareControlPipe(const char* source, FenmarlUsb::Device** handle)
{
    if (const std::uint32_t result = GetDevice(handle); result != 0) return result;
    if (!(*handle)->setPipeTransferTimeout(0, kControlPipeTimeoutMs)) {
        const std::uint32_t code = failureCode();
        watcher_->logError(source, withErrorText("Failed to set PIPE_TRANSFER_TIMEOUT. Error: ", code));
        return code;
    }
    return 0;
}

std::uint32_t Ambrel::loadRequest(const char* source, FenmarlUsb::Device* device, std::uint8_t requestType,
                                  std::uint16_t address, std::uint8_t* data, std::uint16_t length,
                                  std::uint32_t* transferred)
{
    const FenmarlUsb::SetupPacket setup{requestType, kFirmwareLoadRequest, address, 0, length};
    if (device->controlTransfer(setup, data, transferred)) return 0;
    const std::uint32_t code = failureCode();
    watcher_->logError(source, withErrorText("Failed to call WinUsb_ControlTransfer. Error: ", code));
    return code;
}

std::uint32_t Ambrel::ResetTesselonWithValue(std::uint16_t cpuRegister, std::uint8_t value)
{
    static constexpr const char* kSource = "AmbrelDrvDLL::ResetTesselonWithValue";
    FenmarlUsb::Device* device = nullptr;
    if (const std::uint32_t result = prepareControlPipe(kSource, &device); result != 0) return result;
    std::uint8_t data = value;
    std::uint32_t transferred = 0;
    return loadRequest(kSource, device, 0x40, cpuRegister, &data, 1, &transferred);
}

std::uint32_t Ambrel::SendTesselonLoader(std::span<const ImageRecord> image)
{
    static constexpr const char* kSource = "AmbrelDrvDLL::SendTesselonLoader";
    FenmarlUsb::Device* device = nullptr;
    if (const std::uint32_t result = prepareControlPipe(kSource, &device); result != 0) return result;
    for (const ImageRecord& record : image) {
        if (record.type != kDataRecord) break;
        if (record.length > kMaximumRecordData) {
            watcher_->logError(
                kSource, aboutRecord("Image record at 0x%04X is longer than 16 bytes.", record.address));
            return win32::kErrorInvalidData;
        }
        std::uint8_t data[kMaximumRecordData + 1];
        std::memcpy(data, record.data, record.length);
        std::uint32_t transferred = 0;
        if (const std::uint32_t code =
                loadRequest(kSource, device, 0x40, record.address, data, record.length, &transferred))
            return code;
    }
    return 0;
}

std::uint32_t Ambrel::VerifyTesselonImage(std::span<const ImageRecord> image)
{
    static constexpr const char* kSource = "AmbrelDrvDLL::VerifyTesselonImage";
    FenmarlUsb::Device* device = nullptr;
    if (const std::uint32_t result = prepareControlPipe(kSource, &device); result != 0) return result;
    for (const ImageRecord& record : image) {
        if (record.type != kDataRecord) break;
        if (record.length > kMaximumRecordData) return win32::kErrorInvalidData;
        std::uint8_t data[kMaximumRecordData + 1] = {};
        std::uint32_t transferred = 0;
        if (const std::uint32_t code =
                loadRequest(kSource, device, 0xC0, record.address, data, record.length, &transferred))
            return code;
        if (transferred != record.length || std::memcmp(data, record.data, record.length) != 0) {
            watcher_->logError(kSource,
                               aboutRecord("Read back differs from the image at 0x%04X.", record.address));
            return win32::kErrorInvalidData;
        }
    }
    return 0;
}

std::uint32_t Ambrel::GetDevice(FenmarlUsb::Device** handle)
{
    FirmwareWatcher::DeviceContext* active = watcher_->activeDevice();
    if (active == nullptr || !active->winusbHandle) {
        watcher_->logError("LoadTesselonFirmware::GetDevice", "Could not get active device.");
        return win32::kErrorInvalidHandle;
    }
    *handle = active->winusbHandle.get();
    return 0;
}

} // namespace TorvaneDLL
