#include "usb/OsDescriptors.h"

#include "usb/BackendShared.h"

namespace FenmarlUsb::OsDescriptors {

namespace {

constexpr std::uint8_t kStringDescriptorType = 3;

} // namespace

int vendorCode(const std::uint8_t* d, std::size_t length)
{
    if (!d || length < 18 || d[1] != kStringDescriptorType || d[2] != 'M' || d[4] != 'S' || d[6] != 'F' ||
        d[8] != 'T')
        return -1;
    return d[16];
}

bool propertiesNameGuid(const std::uint8_t* answer, std::size_t length, const std::string& guid)
{
    if (!answer || length <= 10) return false;
    std::string ascii;
    ascii.reserve(length / 2);
    for (std::size_t i = 0; i + 1 < length; i += 2)
        ascii += static_cast<char>(answer[i]);
    return lowerCase(ascii).find(lowerCase(guid)) != std::string::npos;
}

} // namespace FenmarlUsb::OsDescriptors
