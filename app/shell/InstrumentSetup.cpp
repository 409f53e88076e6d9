#include "app/shell/InstrumentSetup.h"

#include "app/settings/ScanConfiguration.h"
#include "app/shell/UserInteraction.h"
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
    return (sensorType == "Accelerometer" || sensorType == "Microphone") ? 1 : 0;
}

void SendInstrumentSetup(const CScanConfiguration& c)
{
    TurnSensorOn(1, c.UseInput1 != 0);
    TurnSensorOn(2, c.UseInput2 != 0);
    SetSensorGain(1, SensorGainCode(c.Input1SensorGain));
    SetSensorGain(2, SensorGainCode(c.Input2SensorGain));
    SetSensorHPFilter(1, c.Input1HPFilter != 0);
    SetSensorHPFilter(2, c.Input2HPFilter != 0);
    SetInputType(1, InputTypeFor(c.Input1Mode));
    SetInputType(2, InputTypeFor(c.Input2Mode));
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

void ZeroInstrument(UserInteraction& ui, const CScanConfiguration& configuration,
                    const std::function<void()>& pumpMessages)
{
    const ZeroingTexts texts = ZeroingTextsFor(configuration);
    ui.showProgress(kZeroingTitle, texts.line1, texts.line2, false);
    if (pumpMessages) pumpMessages();
    Reset();
    ui.closeProgress();
}
