#pragma once

#include <functional>
#include <string>

class CScanConfiguration;
class UserInteraction;

// The instrument set-up shared by connection, Configure and Abort.

// Driver gain code of a sensor gain: 1, 10, 100, 1000 give 1, 2, 3, 4.
// Gains below 1 (never valid) are sent as gain 1.
int SensorGainCode(int gain);
// 1 for accelerometer and microphone inputs, 0 otherwise.
int InputTypeFor(const std::string& sensorType);

// "Call (arguments) failed: driver text" for a driver call that returned failure.
std::string DescribeDriverFailure(const std::string& call);

// Power, gain, high-pass and input type of both groups, in that order. Stops
// at the first call the driver refuses and returns what failed (the call,
// its arguments and the driver's error text); empty when all succeeded.
std::string SendInstrumentSetup(const CScanConfiguration& configuration);

// The message a failed set-up call gives the user ("The instrument could not be set up.\n…").
std::string SetupFailureMessage(const std::string& failure);
inline constexpr const char* kSetupFailureCaption = "Instrument Setup";

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
// Returns what failed when Reset did, else empty.
std::string ZeroInstrument(UserInteraction& ui, const CScanConfiguration& configuration,
                           const std::function<void()>& pumpMessages);
