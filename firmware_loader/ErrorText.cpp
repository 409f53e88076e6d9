#include "firmware_loader/ErrorText.h"

#include "common/platform/Win32Error.h"

#include <cstdio>

namespace TorvaneDLL {

namespace {

constexpr std::uint32_t kNoMapping = 0xFFFFFFFFu;

const char* win32Hint(std::uint32_t code)
{
    switch (code) {
    case 5:
        return " (access denied — try admin or WCID/INF fix)";
    case 6:
        return " (invalid handle — stale WinUSB handle?)";
    case 121:
        return " (USB timeout)";
    case 995:
        return " (I/O canceled)";
    case 1167:
        return " (device not connected/removed)";
    case 1168:
        return " (endpoint or interface not found)";
    default:
        return "";
    }
}

std::string trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

} // namespace

const char* errorKindName(ErrorKind kind)
{
    switch (kind) {
    case ErrorKind::Win32:
        return "Win32";
    case ErrorKind::HResult:
        return "HRESULT";
    case ErrorKind::ConfigMgr:
        return "ConfigMgr";
    }
    return "Win32";
}

std::uint32_t win32FromConfigRet(std::uint32_t configRet)
{
    switch (configRet) {
    case 0x00: // CR_SUCCESS
        return 0;
    case 0x02: // CR_OUT_OF_MEMORY
        return 8;
    case 0x03: // CR_INVALID_POINTER
        return 1784;
    case 0x04: // CR_INVALID_FLAG
        return 1004;
    case 0x05: // CR_INVALID_DEVNODE
    case 0x1E: // CR_INVALID_DEVICE_ID
    case 0x1F: // CR_INVALID_DATA
    case 0x2F: // CR_INVALID_MACHINENAME
    case 0x35: // CR_INVALID_PROPERTY
    case 0x38: // CR_INVALID_REFERENCE_STRING
        return 13;
    case 0x0D: // CR_NO_SUCH_DEVNODE
    case 0x25: // CR_NO_SUCH_VALUE
    case 0x37: // CR_NO_SUCH_DEVICE_INTERFACE
        return 1168;
    case 0x10: // CR_ALREADY_SUCH_DEVNODE
        return 183;
    case 0x1A: // CR_BUFFER_SMALL
        return 122;
    case 0x1C: // CR_NO_REGISTRY_HANDLE
        return 6;
    case 0x1D: // CR_REGISTRY_ERROR
        return 1015;
    case 0x2E: // CR_NO_SUCH_REGISTRY_KEY
        return 2;
    case 0x30: // CR_REMOTE_COMM_FAILURE
    case 0x31: // CR_MACHINE_UNAVAILABLE
    case 0x32: // CR_NO_CM_SERVICES
        return 1062;
    case 0x33: // CR_ACCESS_DENIED
        return 5;
    case 0x34: // CR_CALL_NOT_IMPLEMENTED
        return 120;
    default:
        return kNoMapping;
    }
}

std::string errorText(ErrorKind kind, std::uint32_t code)
{
    // The value whose system message describes the error, if it has one.
    std::uint32_t lookup = code;
    if (kind == ErrorKind::ConfigMgr)
        lookup = win32FromConfigRet(code);
    else if (kind == ErrorKind::HResult && (code & 0xFFFF0000u) == 0x80070000u)
        lookup = code & 0xFFFFu; // HRESULT_FROM_WIN32 carries the Win32 value

    std::string text;
    if (lookup != kNoMapping) text = trimmed(FenmarlCommonDLL::platform::win32ErrorText(lookup));
    if (text.empty()) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%s error 0x%08X", errorKindName(kind),
                      static_cast<unsigned>(code));
        text = buffer;
    }
    if (kind == ErrorKind::Win32) text += win32Hint(code);
    return text;
}

} // namespace TorvaneDLL
