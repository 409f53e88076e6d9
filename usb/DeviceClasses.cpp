#include "usb/UsbBus.h"

#include <cstdio>
#include <stdexcept>

#ifndef TESSELON_INSTRUMENT_VENDOR_ID
// Placeholder: the instrument's own ids are not known to us. Set the CMake
// cache variable TESSELON_INSTRUMENT_USB_ID=vvvv:pppp to the maker's ids; the
// libusb backend also finds the instrument by its Microsoft OS descriptors.
#define TESSELON_INSTRUMENT_VENDOR_ID 0x04b4
#define TESSELON_INSTRUMENT_PRODUCT_ID 0x6f37
#endif

namespace FenmarlUsb {

const std::vector<DeviceClass>& deviceClasses()
{
    static const std::vector<DeviceClass> table = {
        {DeviceClassId::Instrument,
         "Tesselon-6 instrument",
         "{6F37543C-03B9-4D8B-AB72-D98CE8E1AF60}",
         {{TESSELON_INSTRUMENT_VENDOR_ID, TESSELON_INSTRUMENT_PRODUCT_ID}}},
        // The EZ-USB FX2 before its firmware is loaded: the chip's default ids.
        {DeviceClassId::BareMicrocontroller,
         "bare EZ-USB microcontroller",
         "{86130025-0EC1-4723-91CB-D14550BA6DFC}",
         {{0x04b4, 0x8613}}},
    };
    return table;
}

const DeviceClass& deviceClass(DeviceClassId id)
{
    for (const DeviceClass& c : deviceClasses())
        if (c.id == id) return c;
    return deviceClasses().front();
}

// The udev rule that lets the logged-in user open every device of the table.
std::string udevRules()
{
    std::string text = "# Generated from the FenmarlUsb device-class table; do not edit.\n"
                       "# Gives the user at the seat access to the Tesselon-6 instrument and to the\n"
                       "# bare microcontroller that receives its firmware.\n";
    for (const DeviceClass& c : deviceClasses()) {
        text += "\n# " + c.name + " " + c.interfaceGuid + "\n";
        for (const UsbId& id : c.ids) {
            char line[160];
            std::snprintf(line, sizeof line,
                          "SUBSYSTEM==\"usb\", ENV{DEVTYPE}==\"usb_device\", ATTR{idVendor}==\"%04x\", "
                          "ATTR{idProduct}==\"%04x\", TAG+=\"uaccess\"\n",
                          id.vendorId, id.productId);
            text += line;
        }
    }
    return text;
}

} // namespace FenmarlUsb
