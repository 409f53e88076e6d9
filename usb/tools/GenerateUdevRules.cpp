// Writes the udev rule for the device-class table to the file named on the
// command line (or to standard output).
#include "usb/UsbBus.h"

#include <cstdio>
#include <fstream>

int main(int argc, char** argv)
{
    const std::string rules = FenmarlUsb::udevRules();
    if (argc < 2) {
        std::fputs(rules.c_str(), stdout);
        return 0;
    }
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out << rules;
    return out.good() ? 0 : 1;
}
