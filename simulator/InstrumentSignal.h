#pragma once

// What a sensor channel delivers to the instrument's input: DC plus sines
// plus seeded Gaussian noise. Noise depends only on (seed, channel, sample
// index), so a run is reproducible whatever the host's timing.

#include "usb/Export.h"

#include <cstdint>
#include <string>
#include <vector>

namespace FenmarlUsb {

struct Sine
{
    double amplitude = 0.0; // volts, peak
    double frequency = 0.0; // Hz
    double phase = 0.0;     // degrees
};

struct ChannelSignal
{
    double dc = 0.0; // volts at the sensor
    std::vector<Sine> sines;
    double noise = 0.0;    // RMS volts at the sensor (amplified with the signal)
    double offset = 0.0;   // the input amplifier's own offset, volts (read when the input is zeroed)
    double adcNoise = 0.0; // RMS volts at the converter, not amplified
};

// Sensor output at instrument time t for sample index i (noise included, gain not applied).
FENMARL_USB_API double sensorVolts(const ChannelSignal& signal, double t, std::uint64_t seed, int channel,
                                   std::uint64_t sampleIndex);
// Standard normal deviate for (seed, channel, index, stream).
FENMARL_USB_API double gaussian(std::uint64_t seed, int channel, std::uint64_t sampleIndex, int stream);
// "1.0@50;0.2@120@90" → two sines (amplitude@frequency[@phase degrees]). False on bad text.
FENMARL_USB_API bool parseSines(const std::string& text, std::vector<Sine>* sines);

} // namespace FenmarlUsb
