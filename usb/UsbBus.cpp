#include "usb/UsbBus.h"

#include "simulator/SimulatedBus.h"

#include <cstdlib>
#include <cstring>

namespace FenmarlUsb {

namespace {
thread_local std::uint32_t threadLastError = 0;
}

Device::~Device() = default;
Bus::~Bus() = default;

Bus& bus()
{
    // Chosen once: the driver and the loader must keep seeing the same bus.
    static Bus* const chosen = []() -> Bus* {
        const char* backend = std::getenv("TESSELON_USB");
        if (backend && std::strcmp(backend, "simulator") == 0) return &SimulatedBus::instance();
        return &libusbBus();
    }();
    return *chosen;
}

std::uint32_t lastError()
{
    return threadLastError;
}

void setLastError(std::uint32_t code)
{
    threadLastError = code;
}

} // namespace FenmarlUsb
