#pragma once

// Shared by the loader's tests: the simulated bus, a minimal instrument for
// the bare device to become, log reading and condition waits.

#include "simulator/BareDevice.h"
#include "simulator/SimulatedBus.h"
#include "testsupport/WaitFor.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace LoaderTest {

// The process's simulated bus, emptied.
FenmarlUsb::SimulatedBus& emptyBus();

// An instrument that answers nothing but its descriptor.
class PlainInstrument : public FenmarlUsb::SimulatedDevice
{
public:
    FenmarlUsb::DeviceClassId deviceClass() const override { return FenmarlUsb::DeviceClassId::Instrument; }
    FenmarlUsb::UsbId usbId() const override { return {0x04B4, 0x6F37}; }
    std::uint32_t vendorRequest(const FenmarlUsb::SetupPacket&, std::uint8_t*, std::uint32_t*,
                                std::uint32_t) override
    {
        return 31;
    }
};

std::shared_ptr<FenmarlUsb::BareDevice> makeBareDevice(bool becomesInstrument = true);

// A library beside the test program. Full paths, because a sanitizer's dlopen
// interceptor hides the program's own search path from the loader.
std::string besideProgram(const std::string& library);

std::wstring scratchLogPath(const std::string& name);
std::wstring libraryLogPath();
std::string readFile(const std::wstring& path);
std::size_t countOccurrences(const std::string& text, const std::string& what);

using TestSupport::waitFor;

} // namespace LoaderTest
