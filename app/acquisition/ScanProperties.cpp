#include "app/acquisition/ScanProperties.h"

#include <cstdio>

void ScanProperties::copyFrom(const ScanProperties& other)
{
    if (this == &other) return;
    acquisitionTime = other.acquisitionTime;
    configuration = other.configuration;
    input1.copyFrom(other.input1);
    input2.copyFrom(other.input2);
}

namespace {

void addInputLines(std::vector<std::string>& lines, bool used, const std::string& mode, int highPass,
                   int gain)
{
    if (!used) {
        lines.emplace_back(" N/A");
        return;
    }
    lines.push_back(" Sensor Mode: " + mode);
    if (SensorTypes::isMagnetometer(mode))
        lines.emplace_back(highPass == 0 ? " Sensor Coupling: DC" : " Sensor Coupling: AC");
    char text[64];
    std::snprintf(text, sizeof text, " Sensor Gain: %d", gain);
    lines.emplace_back(text);
}

} // namespace

std::vector<std::string> ScanPropertiesLines(const ScanProperties& scan)
{
    const SystemTime& t = scan.acquisitionTime;
    const CScanConfiguration& c = scan.configuration;
    std::vector<std::string> lines;
    char text[128];
    std::snprintf(text, sizeof text, "Date: %.2u/%.2u/%.2u", unsigned{t.wDay}, unsigned{t.wMonth},
                  unsigned{t.wYear});
    lines.emplace_back(text);
    std::snprintf(text, sizeof text, "Time: %.2u:%.2u:%.2u", unsigned{t.wHour}, unsigned{t.wMinute},
                  unsigned{t.wSecond});
    lines.emplace_back(text);
    lines.emplace_back("");
    lines.emplace_back("Input 1");
    addInputLines(lines, c.UseInput1 != 0, c.Input1Mode, c.Input1HPFilter, c.Input1SensorGain);
    lines.emplace_back("Input 2");
    addInputLines(lines, c.UseInput2 != 0, c.Input2Mode, c.Input2HPFilter, c.Input2SensorGain);
    lines.emplace_back("");
    std::snprintf(text, sizeof text, "Sample Interval: %g / s", c.SampleInterval);
    lines.emplace_back(text);
    std::snprintf(text, sizeof text, "Number of Samples: %d", scan.input1.samplesAcquired);
    lines.emplace_back(text);
    if (c.ScanMode == ScanModes::Multiple)
        std::snprintf(text, sizeof text, "Number of Runs: %d", c.NumberofRuns);
    else
        std::snprintf(text, sizeof text, "Number of Averages: %d", scan.input1.averagesCompleted);
    lines.emplace_back(text);
    lines.emplace_back(c.Filter != 0 ? "Digital Filtering: Yes" : "Digital Filtering: No");
    return lines;
}
