#include "usb/OsDescriptors.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace FenmarlUsb;

namespace {

std::vector<std::uint8_t> utf16(const std::string& text)
{
    std::vector<std::uint8_t> out;
    for (char c : text) {
        out.push_back(static_cast<std::uint8_t>(c));
        out.push_back(0);
    }
    return out;
}

} // namespace

TEST(OsDescriptors, TheMsftStringNamesItsVendorCodeAndNothingElseDoes)
{
    // bLength 0x12, string type, "MSFT100" in UTF-16LE, vendor code 0x20, pad.
    std::vector<std::uint8_t> msft = {0x12, 0x03};
    for (std::uint8_t b : utf16("MSFT100"))
        msft.push_back(b);
    msft.push_back(0x20);
    msft.push_back(0x00);
    ASSERT_EQ(msft.size(), 18u);
    EXPECT_EQ(OsDescriptors::vendorCode(msft.data(), msft.size()), 0x20);
    EXPECT_EQ(OsDescriptors::vendorCode(msft.data(), 17), -1) << "short answer";
    EXPECT_EQ(OsDescriptors::vendorCode(nullptr, 18), -1);
    std::vector<std::uint8_t> other = msft;
    other[1] = 0x02; // not a string descriptor
    EXPECT_EQ(OsDescriptors::vendorCode(other.data(), other.size()), -1);
    other = msft;
    other[6] = 'X'; // "MSXT"
    EXPECT_EQ(OsDescriptors::vendorCode(other.data(), other.size()), -1);
}

TEST(OsDescriptors, PropertiesNameTheGuidWithoutRegardToCase)
{
    const std::string guid = "{E8F3A0C1-4B2D-4E6F-9A7B-3C5D1E2F4A6B}";
    std::vector<std::uint8_t> answer(10, 0); // header
    for (std::uint8_t b : utf16("DeviceInterfaceGUID"))
        answer.push_back(b);
    for (std::uint8_t b : utf16("{e8f3a0c1-4b2d-4e6f-9a7b-3c5d1e2f4a6b}"))
        answer.push_back(b);
    EXPECT_TRUE(OsDescriptors::propertiesNameGuid(answer.data(), answer.size(), guid));
    // Cut before the GUID ends, another GUID, or too short to hold properties: not named.
    EXPECT_FALSE(OsDescriptors::propertiesNameGuid(answer.data(), answer.size() - 2, guid));
    EXPECT_FALSE(
        OsDescriptors::propertiesNameGuid(answer.data(), answer.size(), "{00000000-4B2D-4E6F-9A7B-3C5D1E2F4A6B}"));
    EXPECT_FALSE(OsDescriptors::propertiesNameGuid(answer.data(), 10, ""));
    EXPECT_FALSE(OsDescriptors::propertiesNameGuid(nullptr, 100, guid));
}
