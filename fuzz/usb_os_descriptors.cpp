// The libusb backend's Microsoft OS descriptor parsing: any answer a device
// gives to the 0xEE string request and to the extended-properties request
// must be judged without reading past what it sent.
#include "usb/OsDescriptors.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace FenmarlUsb::OsDescriptors;
    // Exactly the bytes sent, in buffers of their own size, so a read beyond
    // them is caught.
    const std::vector<std::uint8_t> descriptor(data, data + (size < 18 ? size : 18));
    const int code = vendorCode(descriptor.data(), descriptor.size());
    if (code < -1 || code > 255) std::abort();
    if (code >= 0 && (descriptor.size() < 18 || descriptor[16] != code)) std::abort();

    const std::vector<std::uint8_t> answer(data, data + size);
    const std::string guid = "{E8F3A0C1-4B2D-4E6F-9A7B-3C5D1E2F4A6B}";
    propertiesNameGuid(answer.data(), answer.size(), guid);
    // The GUID written in as UTF-16LE is always found.
    std::vector<std::uint8_t> withGuid(answer);
    for (char c : guid) {
        withGuid.push_back(static_cast<std::uint8_t>(c));
        withGuid.push_back(0);
    }
    if (withGuid.size() % 2 == 1) withGuid.insert(withGuid.begin(), 0);
    if (!propertiesNameGuid(withGuid.data(), withGuid.size(), guid)) std::abort();
    return 0;
}
