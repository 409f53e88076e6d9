#pragma once

// The simulator's ini profile: which instruments are on the simulated bus,
// their signals, speed factor and injected faults. TESSELON_SIMULATOR names
// the file; without it the built-in default profile applies (one high-speed
// instrument). Keys are listed in docs/simulator.md.

#include "simulator/Instrument.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace FenmarlUsb {

struct SimulatedInstrumentEntry
{
    InstrumentConfig config;
    bool startBare = false; // plugged as a bare microcontroller awaiting its firmware
};

struct SimulatorProfile
{
    std::vector<SimulatedInstrumentEntry> instruments;
    std::vector<std::string> warnings; // keys that could not be read (their defaults apply)
};

FENMARL_USB_API SimulatorProfile defaultProfile();
// Missing keys take their defaults; a missing file gives the default profile.
FENMARL_USB_API SimulatorProfile readProfile(const std::filesystem::path& file);
// TESSELON_SIMULATOR's profile, or the default.
FENMARL_USB_API SimulatorProfile activeProfile();
// Plugs the profile's instruments (bare ones through the bare-device factory)
// and returns them in profile order.
FENMARL_USB_API std::vector<std::shared_ptr<Instrument>> plugProfile(SimulatedBus& bus,
                                                                     const SimulatorProfile& profile);

} // namespace FenmarlUsb
