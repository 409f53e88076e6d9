#include "app/graphs/GraphTables.h"

#include "app/base/ConfigurationValues.h"
#include "app/specification/SpecificationTest.h"

#include <cstdio>

namespace GraphTables {

namespace {

enum class Sensor { Magnetometer, Vibration, Microphone };

Sensor sensorOf(const std::string& sensorType)
{
    if (SensorTypes::isMagnetometer(sensorType)) return Sensor::Magnetometer;
    if (SensorTypes::isMicrophone(sensorType)) return Sensor::Microphone;
    return Sensor::Vibration;
}

std::uint32_t randomColour(std::mt19937& random)
{
    std::uniform_int_distribution<unsigned> byte(0, 255);
    const std::uint32_t r = byte(random), g = byte(random), b = byte(random);
    return 0xC8000000u | (b << 16) | (g << 8) | r;
}

constexpr std::uint32_t red = 0xC80000FFu, blue = 0xC8FF0000u, green = 0xC8009900u, magenta = 0xC8FF00FFu;

} // namespace

const char* paneName(int kind)
{
    static const char* const names[] = {"Top Time", "Top Frequency", "Bottom Time", "Bottom Frequency"};
    return kind >= 0 && kind < paneCount ? names[kind] : "";
}

std::string xAxisTitle(bool spectrum)
{
    return spectrum ? "Frequency (Hz)" : "Time (s)";
}

std::string yAxisTitle(const std::string& sensorType, int magneticUnits, int vibrationUnits, bool spectrum,
                       int spectrumUnit)
{
    const Sensor sensor = sensorOf(sensorType);
    const char* quantity = sensor == Sensor::Magnetometer ? "Magnetic Strength ("
                           : sensor == Sensor::Microphone ? "Pressure ("
                                                          : "Vibration (";
    std::string suffix;
    if (spectrum) {
        switch (spectrumUnit) {
        case 1:
            suffix = "rms / sqrt(Hz)";
            break;
        case 2:
            suffix = "PkPk";
            break;
        case 3:
            // The microphone's own spelling of this unit is kept as users know it.
            suffix = sensor == Sensor::Microphone ? "PkPK / sqrt(Hz)" : "PkPk / sqrt(Hz)";
            break;
        default:
            suffix = "rms";
            break;
        }
    }
    return quantity + unitName(sensorType, magneticUnits, vibrationUnits) + suffix + ")";
}

std::string graphTitle(int kind, const TitleSettings& titles, bool diffGrad, bool useInput1,
                       const std::string& input1Mode, const std::string& input2Mode)
{
    const bool differential = usesDifferentialTitles(diffGrad, useInput1, input1Mode, input2Mode);
    switch (kind) {
    case TopTime:
        return titles.input1TTitle;
    case TopFrequency:
        return titles.input1FTitle;
    case BottomTime:
        return differential ? titles.input2TDifGradTitle : titles.input2TTitle;
    case BottomFrequency:
        return differential ? titles.input2FDifGradTitle : titles.input2FTitle;
    default:
        return {};
    }
}

std::string seriesLabel(int index)
{
    static const char* const labels[] = {"x",       "y",       "z",       "Total",   "x limit",
                                         "x limit", "y limit", "y limit", "z limit", "z limit"};
    return index >= 0 && index < 10 ? labels[index] : std::string();
}

std::uint32_t seriesColour(int index, std::mt19937& random)
{
    static constexpr std::uint32_t table[] = {red, blue, green, magenta, red, red, blue, blue, green, green};
    return index >= 0 && index < 10 ? table[index] : randomColour(random);
}

std::uint32_t secondPaletteColour(int index, std::mt19937& random)
{
    static constexpr std::uint32_t table[] = {red, blue, green, magenta, 0xC8000000u};
    return index >= 0 && index < 5 ? table[index] : randomColour(random);
}

bool paneShown(bool useInput, const std::string& displayType, bool spectrum)
{
    if (!useInput) return false;
    if (displayType == "Both") return true;
    return spectrum ? displayType == "Frequency Domain" : displayType == "Time Domain";
}

std::array<bool, paneCount> panesForConfiguration(bool useInput1, const std::string& input1DisplayType,
                                                  bool useInput2, const std::string& input2DisplayType)
{
    return {paneShown(useInput1, input1DisplayType, false), paneShown(useInput1, input1DisplayType, true),
            paneShown(useInput2, input2DisplayType, false), paneShown(useInput2, input2DisplayType, true)};
}

std::vector<GraphChoice> inputGroupChoices(bool useInput1, bool useInput2)
{
    std::vector<GraphChoice> choices;
    if (useInput1) {
        choices.push_back({"Input 1 Time Domain", TopTime});
        choices.push_back({"Input 1 Frequency Domain", TopFrequency});
    }
    if (useInput2) {
        choices.push_back({"Input 2 Time Domain", BottomTime});
        choices.push_back({"Input 2 Frequency Domain", BottomFrequency});
    }
    return choices;
}

TimeWindow timeGraphWindow(bool scanRunning, int scanMode, bool driverScanning, std::size_t available,
                           std::size_t drawn, bool meanZero)
{
    TimeWindow w;
    w.count = available;
    if (!scanRunning) return w;
    if (available < drawn) {
        w.setUpAgain = true;
        drawn = 0;
    }
    // A running continuous scan shows only its newest points; the window slides, so it is resent.
    if (scanMode == ScanModes::Continuous && driverScanning && available > continuousWindowPoints) {
        w.start = available - continuousWindowPoints;
        w.count = continuousWindowPoints;
        return w;
    }
    // Mean Zero shifts every point when the mean moves: redraw the whole record.
    if (meanZero) return w;
    w.start = drawn;
    w.count = available - drawn;
    w.replace = drawn == 0;
    return w;
}

std::array<bool, 4> initialVisibility(int seriesCount, bool showTotalField, bool showFieldComponents)
{
    const bool components = !(showTotalField && !showFieldComponents);
    return {components, components, components, showTotalField && seriesCount > totalFieldSeries};
}

std::string readoutText(char axis, double value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%c = %.6g", axis, value);
    return buffer;
}

} // namespace GraphTables
