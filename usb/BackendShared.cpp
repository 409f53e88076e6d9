#include "usb/BackendShared.h"

#include <cctype>
#include <cstdio>

namespace FenmarlUsb {

std::string lowerCase(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string devicePath(UsbId id, const std::string& instance, DeviceClassId cls)
{
    char head[48];
    std::snprintf(head, sizeof head, "\\\\?\\usb#vid_%04x&pid_%04x#", id.vendorId, id.productId);
    return head + instance + "#" + lowerCase(deviceClass(cls).interfaceGuid);
}

} // namespace FenmarlUsb
