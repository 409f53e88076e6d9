#pragma once

#include "app/settings/SensorUnits.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

// The graph panes' fixed tables and small rules, as plain functions over
// plain values so views, documents and tests share one source.
namespace GraphTables {

enum PaneKind : int { TopTime = 0, TopFrequency = 1, BottomTime = 2, BottomFrequency = 3 };
inline constexpr int paneCount = 4;

// "Top Time", "Top Frequency", "Bottom Time", "Bottom Frequency".
const char* paneName(int kind);
inline bool isSpectrum(int kind)
{
    return kind == TopFrequency || kind == BottomFrequency;
}
inline bool isInput2(int kind)
{
    return kind == BottomTime || kind == BottomFrequency;
}

// "Time (s)" or "Frequency (Hz)".
std::string xAxisTitle(bool spectrum);
// The value axis title by sensor type, unit settings and, on spectra, the spectrum unit (0..3).
std::string yAxisTitle(const std::string& sensorType, int magneticUnits, int vibrationUnits, bool spectrum,
                       int spectrumUnit);
// The unit word inside the title and the limit test's factor live with the sensor settings.
using SensorUnits::unitFactor;
using SensorUnits::unitName;

struct TitleSettings
{
    std::string input1TTitle, input1FTitle;
    std::string input2TTitle, input2FTitle;
    std::string input2TDifGradTitle, input2FDifGradTitle;
};
using SensorUnits::usesDifferentialTitles;
std::string graphTitle(int kind, const TitleSettings& titles, bool diffGrad, bool useInput1,
                       const std::string& input1Mode, const std::string& input2Mode);

// Series 0..3 are x, y, z and the total field; 4..9 the limit lines of x, y and z.
inline constexpr int totalFieldSeries = 3;
std::string seriesLabel(int index);
// COLORREF with alpha 200 in the top byte; indices past the table get a random colour.
std::uint32_t seriesColour(int index, std::mt19937& random);
// The palette of the second loading path: black for index 4.
std::uint32_t secondPaletteColour(int index, std::mt19937& random);

// Whether a pane is shown for an input's use flag and display type ("Both", "Time Domain", "Frequency
// Domain").
bool paneShown(bool useInput, const std::string& displayType, bool spectrum);
std::array<bool, paneCount> panesForConfiguration(bool useInput1, const std::string& input1DisplayType,
                                                  bool useInput2, const std::string& input2DisplayType);
// The order in which differing panes are toggled: top time, bottom time, top frequency, bottom frequency.
inline constexpr std::array<int, paneCount> paneToggleOrder{TopTime, BottomTime, TopFrequency,
                                                            BottomFrequency};

// The graph chooser of print, export and copy: its texts and the pane each one means.
struct GraphChoice
{
    std::string text;
    int pane;
};
std::vector<GraphChoice> inputGroupChoices(bool useInput1, bool useInput2);

// Which points of a time record a refresh sends.
struct TimeWindow
{
    std::size_t start = 0;
    std::size_t count = 0;
    bool replace = true;     // send the window as the whole series; else append it
    bool setUpAgain = false; // the record shrank: rebuild the graph first
};
inline constexpr std::size_t continuousWindowPoints = 1000;
TimeWindow timeGraphWindow(bool scanRunning, int scanMode, bool driverScanning, std::size_t available,
                           std::size_t drawn, bool meanZero);

// Visibility of x, y, z and total before the user changes anything.
std::array<bool, 4> initialVisibility(int seriesCount, bool showTotalField, bool showFieldComponents);

// The cursor readouts shown in the status bar, "X = value" and "Y = value".
std::string readoutText(char axis, double value);

} // namespace GraphTables
