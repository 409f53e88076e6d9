#include "app/acquisition/InstrumentSetup.h"

#include "app/settings/ScanConfiguration.h"
#include "app/base/UserInteraction.h"
#include "driver/Torvane.h"

#include <cmath>

int SensorGainCode(int gain)
{
    // log10 of zero or a negative gain has no integer part to send.
    if (gain < 1) gain = 1;
    return static_cast<int>(std::log10(static_cast<double>(gain)) + 1.0);
}

int InputTypeFor(const std::string& sensorType)
{
    return (SensorTypes::isAccelerometer(sensorType) || SensorTypes::isMicrophone(sensorType)) ? 1 : 0;
}

std::string DescribeDriverFailure(const std::string& call)
{
    char text[128] = {};
    GetErrorText(text);
    std::string failure = call + " failed";
    if (text[0] != '\0') failure += ": " + std::string(text);
    return failure;
}

namespace {

std::string argumentText(bool on)
{
    return on ? "true" : "false";
}

std::string argumentText(int value)
{
    return std::to_string(value);
}

// One set-up call for input 1, then input 2; the first refusal, named with its arguments.
template <typename Value>
std::string setBoth(const char* name, int (*call)(int, Value), Value first, Value second)
{
    const Value values[2] = {first, second};
    for (int group = 1; group <= 2; ++group) {
        const Value value = values[group - 1];
        if (call(group, value) != 0)
            return DescribeDriverFailure(std::string(name) + "(" + std::to_string(group) + ", " +
                                         argumentText(value) + ")");
    }
    return {};
}

} // namespace

std::string SendInstrumentSetup(const CScanConfiguration& c)
{
    // A sensor left off or at the wrong gain would measure something else: stop at the first refusal.
    std::string failure = setBoth("TurnSensorOn", TurnSensorOn, c.UseInput1 != 0, c.UseInput2 != 0);
    if (failure.empty())
        failure = setBoth("SetSensorGain", SetSensorGain, SensorGainCode(c.Input1SensorGain),
                          SensorGainCode(c.Input2SensorGain));
    if (failure.empty())
        failure =
            setBoth("SetSensorHPFilter", SetSensorHPFilter, c.Input1HPFilter != 0, c.Input2HPFilter != 0);
    if (failure.empty())
        failure =
            setBoth("SetInputType", SetInputType, InputTypeFor(c.Input1Mode), InputTypeFor(c.Input2Mode));
    return failure;
}

std::string SetupFailureMessage(const std::string& failure)
{
    return "The instrument could not be set up.\n" + failure;
}

ZeroingTexts ZeroingTextsFor(const CScanConfiguration& c)
{
    const auto settles = [](int used, int highPass, const std::string& type) {
        return used != 0 && (highPass != 0 || InputTypeFor(type) == 1);
    };
    if (settles(c.UseInput1, c.Input1HPFilter, c.Input1Mode) ||
        settles(c.UseInput2, c.Input2HPFilter, c.Input2Mode))
        return {"Stabilising Input", "Please wait 10 seconds"};
    return {"Zeroing sensor", "Please wait 2 seconds"};
}

std::string ZeroInstrument(UserInteraction& ui, const CScanConfiguration& configuration,
                           const std::function<void()>& pumpMessages)
{
    const ZeroingTexts texts = ZeroingTextsFor(configuration);
    ui.showProgress(kZeroingTitle, texts.line1, texts.line2, false);
    if (pumpMessages) pumpMessages();
    const bool zeroed = Reset() == 0;
    ui.closeProgress();
    return zeroed ? std::string() : DescribeDriverFailure("Reset");
}
