#pragma once

#include <functional>
#include <string>

class CScanConfiguration;
class UserInteraction;

// The instrument set-up shared by connection, Configure and Abort.

// Driver gain code of a sensor gain: 1, 10, 100, 1000 give 1, 2, 3, 4.
// Gains below 1 (never valid) are sent as gain 1.
int SensorGainCode(int gain);
// 1 for "Accelerometer" and "Microphone" inputs, 0 otherwise.
int InputTypeFor(const std::string& sensorType);

// Power, gain, high-pass and input type of both groups, in that order. The
// results are not checked: a failing call has logged itself in the driver.
void SendInstrumentSetup(const CScanConfiguration& configuration);

struct ZeroingTexts
{
    std::string line1;
    std::string line2;
};
// "Stabilising Input" / "Please wait 10 seconds" when a used group has its
// high-pass filter on or an accelerometer or microphone; otherwise
// "Zeroing sensor" / "Please wait 2 seconds".
ZeroingTexts ZeroingTextsFor(const CScanConfiguration& configuration);

inline constexpr const char* kZeroingTitle = "Zeroing Instrument";

// The zeroing step: progress dialog with the animation, one pump so it
// paints, the driver's Reset (returns once the instrument is ready), close.
void ZeroInstrument(UserInteraction& ui, const CScanConfiguration& configuration,
                    const std::function<void()>& pumpMessages);
