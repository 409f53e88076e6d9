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

std::string SendInstrumentSetup(const CScanConfiguration& c)
{
    const auto on = [](int flag) { return flag != 0 ? "true" : "false"; };
    const int gain1 = SensorGainCode(c.Input1SensorGain);
    const int gain2 = SensorGainCode(c.Input2SensorGain);
    const int type1 = InputTypeFor(c.Input1Mode);
    const int type2 = InputTypeFor(c.Input2Mode);
    // A sensor left off or at the wrong gain would measure something else: stop at the first refusal.
    if (TurnSensorOn(1, c.UseInput1 != 0) != 0)
        return DescribeDriverFailure(std::string("TurnSensorOn(1, ") + on(c.UseInput1) + ")");
    if (TurnSensorOn(2, c.UseInput2 != 0) != 0)
        return DescribeDriverFailure(std::string("TurnSensorOn(2, ") + on(c.UseInput2) + ")");
    if (SetSensorGain(1, gain1) != 0)
        return DescribeDriverFailure("SetSensorGain(1, " + std::to_string(gain1) + ")");
    if (SetSensorGain(2, gain2) != 0)
        return DescribeDriverFailure("SetSensorGain(2, " + std::to_string(gain2) + ")");
    if (SetSensorHPFilter(1, c.Input1HPFilter != 0) != 0)
        return DescribeDriverFailure(std::string("SetSensorHPFilter(1, ") + on(c.Input1HPFilter) + ")");
    if (SetSensorHPFilter(2, c.Input2HPFilter != 0) != 0)
        return DescribeDriverFailure(std::string("SetSensorHPFilter(2, ") + on(c.Input2HPFilter) + ")");
    if (SetInputType(1, type1) != 0)
        return DescribeDriverFailure("SetInputType(1, " + std::to_string(type1) + ")");
    if (SetInputType(2, type2) != 0)
        return DescribeDriverFailure("SetInputType(2, " + std::to_string(type2) + ")");
    return {};
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
