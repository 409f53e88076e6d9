#include "app/acquisition/DataExport.h"

#include "app/acquisition/ProgressPulse.h"
#include "app/acquisition/ReplacingFile.h"
#include "app/acquisition/ScanDataLock.h"
#include "app/acquisition/Spectrum.h"
#include "app/base/ConfigurationValues.h"

#include "app/base/UserInteraction.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t kFlushThreshold = 1 << 20;

// Rows are converted for display a block at a time, straight from the
// record: the table never holds a converted copy of a whole input.
constexpr int kBlockRows = 8192;

// One input group as the table shows it: the time rows converted block by
// block (under ScanDataLock, so a running scan may grow the record meanwhile),
// the spectrum (at most a thousand rows) converted once.
struct DisplayedInput
{
    ScanData& data;
    bool divide = false;
    double scale = 1.0;
    std::array<double, 3> offset{};
    MappedSeries freqX;
    std::array<MappedSeries, 3> freqY;
    int rows = 0;
    int spectrumRows = 0;
    int axes = 0;
    // The block of time rows [blockFirst, blockFirst + blockRows).
    int blockFirst = 0;
    int blockRows = 0;
    std::vector<double> blockTime;
    std::array<std::vector<double>, 3> blockValues;

    explicit DisplayedInput(const ExportInput& input) : data(*input.data)
    {
        const bool microphone = SensorTypes::isMicrophone(input.sensorType);
        divide = microphone;
        scale = input.scale;
        FenmarlCommonDLL::ThreadLocker lock(&ScanDataLock(), true);
        rows = std::max(data.samplesAcquired, 0);
        axes = std::clamp(data.allocatedAxes(), 0, 3);
        // The offsets the display conversion removes (and records) for every axis.
        for (int a = 0; a < data.allocatedAxes(); ++a) {
            const double o = UpdateTimeDisplayOffset(data, input.displayMode, 0, a);
            if (a < 3) offset[static_cast<std::size_t>(a)] = o;
        }
        std::vector<MappedSeries*> fy{&freqY[0], &freqY[1], &freqY[2]};
        // The spectrum of a microphone is already in pascals: only the dB conversion applies.
        ConvertSpectrumForDisplay(data, input.displayMode, microphone, microphone ? 1.0 : input.scale, freqX,
                                  fy, spectrumRows);
    }

    // Converts rows [first, first + count) ∩ [0, rows) into the block.
    void fetch(int first, int count)
    {
        ProgressPulse();
        blockFirst = first;
        blockRows = std::clamp(rows - first, 0, count);
        blockTime.resize(static_cast<std::size_t>(blockRows));
        FenmarlCommonDLL::ThreadLocker lock(&ScanDataLock(), true);
        for (int r = 0; r < blockRows; ++r)
            blockTime[static_cast<std::size_t>(r)] = data.timeAxis.get(static_cast<std::uint32_t>(first + r));
        for (int a = 0; a < axes; ++a) {
            std::vector<double>& out = blockValues[static_cast<std::size_t>(a)];
            out.resize(static_cast<std::size_t>(blockRows));
            const MappedSeries& v = data.timeData[static_cast<std::size_t>(a)];
            const double o = offset[static_cast<std::size_t>(a)];
            for (int r = 0; r < blockRows; ++r) {
                const double value = v.get(static_cast<std::uint32_t>(first + r));
                out[static_cast<std::size_t>(r)] = divide ? (value - o) / scale : (value - o) * scale;
            }
        }
    }

    void writeTime(ExportText& out, int i, bool precise)
    {
        const auto r = static_cast<std::size_t>(i - blockFirst);
        if (precise)
            out.fixed10(blockTime[r]);
        else
            out.general(blockTime[r]);
        for (int a = 0; a < axes; ++a)
            out.general(blockValues[static_cast<std::size_t>(a)][r]);
    }

    void writeFrequency(ExportText& out, int i)
    {
        const auto row = static_cast<std::uint32_t>(i);
        out.general(freqX.get(row));
        for (int a = 0; a < axes; ++a)
            out.general(freqY[static_cast<std::size_t>(a)].get(row));
    }
};

std::string columnLine(const char* timeLabel, const char* frequencyLabel, const ExportInput& input)
{
    const std::string t = UnitSuffix(input.sensorType, input.magneticUnits, input.vibrationUnits);
    const std::string f = FrequencySuffix(t, input.spectrumUnit);
    return std::string(timeLabel) + "\tx" + t + "\ty" + t + "\tz" + t + "\t" + frequencyLabel + "\tx" + f +
           "\ty" + f + "\tz" + f;
}

// The documented message, then which file and why.
void cannotOpen(UserInteraction* ui, const std::filesystem::path& path, std::string reason,
                std::string* error)
{
    if (reason.empty()) reason = "it could not be written completely";
    if (error) *error = reason;
    if (ui)
        ui->messageBox("Cannot open data file\n" + path.string() + ": " + reason, "Export data",
                       FenmarlCommonDLL::platform::MB_ICONEXCLAMATION_);
}

} // namespace

std::string UnitSuffix(const std::string& sensorType, int magneticUnits, int vibrationUnits)
{
    if (SensorTypes::isMagnetometer(sensorType)) {
        switch (magneticUnits) {
        case 0:
            return " (nT)";
        case 1:
            return " (uT)";
        default:
            return " (mG)";
        }
    }
    if (SensorTypes::isMicrophone(sensorType)) return " (Pa)";
    switch (vibrationUnits) {
    case 0:
        return " (ug)";
    case 1:
        return " (mg)";
    case 3:
        return " (mms-2)";
    default:
        return " (g)";
    }
}

std::string FrequencySuffix(const std::string& timeSuffix, int spectrumUnit)
{
    if (spectrumUnit != 1 || timeSuffix.empty() || timeSuffix.back() != ')') return timeSuffix;
    return timeSuffix.substr(0, timeSuffix.size() - 1) + " / sqrt(Hz))";
}

std::string ExportHeaderLine(const SystemTime& time)
{
    char text[96];
    std::snprintf(text, sizeof text, "Scan started at %02d:%02d:%02d %02d/%02d/%04d\n", time.wHour,
                  time.wMinute, time.wSecond, time.wDay, time.wMonth, time.wYear);
    return text;
}

void ExportText::append(const char* text, std::size_t size)
{
    text_.append(text, size);
}

void ExportText::newline()
{
    text_.push_back('\n');
    if (file_ && text_.size() >= kFlushThreshold) flush();
}

void ExportText::general(double value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
    text_.append(buffer, result.ptr);
    text_.push_back('\t');
}

void ExportText::fixed10(double value)
{
    // Up to 309 integer digits, the point and ten decimals.
    char buffer[352];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 10);
    text_.append(buffer, result.ptr);
    text_.push_back('\t');
}

bool ExportText::flush()
{
    if (!file_ || text_.empty()) return !failed_;
    if (std::fwrite(text_.data(), 1, text_.size(), file_) != text_.size()) failed_ = true;
    text_.clear();
    return !failed_;
}

void WriteOneInputTable(ExportText& out, const ExportInput& input, bool preciseTime)
{
    DisplayedInput shown(input);
    out.append(columnLine("Time (s)", "Frequency (Hz)", input));
    out.newline();
    for (int i = 0; i < shown.rows; ++i) {
        if (i % kBlockRows == 0) shown.fetch(i, kBlockRows);
        shown.writeTime(out, i, preciseTime);
        if (i < shown.spectrumRows) shown.writeFrequency(out, i);
        out.newline();
    }
}

void WriteTwoInputTable(ExportText& out, const ExportInput& input1, const ExportInput& input2)
{
    DisplayedInput first(input1);
    DisplayedInput second(input2);
    out.append(columnLine("Input1Time (s)", "Input1Frequency (Hz)", input1));
    out.tab();
    out.append(columnLine("Input2Time (s)", "Input2Frequency (Hz)", input2));
    out.newline();
    // Rows run to the longer record so that no sample of either input is lost;
    // a missing block keeps the columns aligned with its tabs.
    const int rows = std::max(first.rows, second.rows);
    for (int i = 0; i < rows; ++i) {
        if (i % kBlockRows == 0) {
            first.fetch(i, kBlockRows);
            second.fetch(i, kBlockRows);
        }
        if (i < first.rows)
            first.writeTime(out, i, true);
        else
            out.tabs(first.axes + 1);
        if (i < first.spectrumRows)
            first.writeFrequency(out, i);
        else
            out.tabs(first.axes + 1);
        if (i < second.rows)
            second.writeTime(out, i, true);
        else if (i < second.spectrumRows)
            out.tabs(second.axes + 1);
        if (i < second.spectrumRows) second.writeFrequency(out, i);
        out.newline();
    }
}

namespace {

// Writes the header line and the table `writeTable` gives into a file that
// replaces `path` only when complete; a failure is reported with its reason.
template <typename WriteTable>
bool writeExportFile(const std::filesystem::path& path, const SystemTime& started, UserInteraction* ui,
                     std::string* error, WriteTable writeTable)
{
    ReplacingFile file(path);
    if (!file.file()) {
        cannotOpen(ui, path, file.error(), error);
        return false;
    }
    bool ok = false;
    {
        ExportText out(file.file());
        out.append(ExportHeaderLine(started));
        writeTable(out);
        ok = out.flush();
    }
    const std::string writeError = ok ? std::string() : std::strerror(errno);
    if (ok && file.commit()) return true;
    cannotOpen(ui, path, ok ? file.error() : writeError, error);
    return false;
}

} // namespace

bool ExportDataFile(const std::filesystem::path& path, const SystemTime& started, const ExportInput& input,
                    UserInteraction* ui, std::string* error)
{
    return writeExportFile(path, started, ui, error,
                           [&](ExportText& out) { WriteOneInputTable(out, input, true); });
}

bool ExportAutomaticFile(const std::filesystem::path& path, const SystemTime& started,
                         const ExportInput* input1, const ExportInput* input2, UserInteraction* ui,
                         std::string* error)
{
    if (!input1 && !input2) return false;
    return writeExportFile(path, started, ui, error, [&](ExportText& out) {
        if (input1 && input2)
            WriteTwoInputTable(out, *input1, *input2);
        else
            WriteOneInputTable(out, input1 ? *input1 : *input2, false);
    });
}

std::string CopyDataText(const ExportInput& input)
{
    ExportText out;
    WriteOneInputTable(out, input, false);
    return out.take();
}

std::filesystem::path AutomaticExportPath(const std::filesystem::path& scanFile)
{
    std::string text = scanFile.string();
    const std::size_t slash = text.find_last_of("/\\");
    const std::size_t dot = text.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash) &&
        (text.compare(dot, std::string::npos, ".ts6") == 0 ||
         text.compare(dot, std::string::npos, ".TS6") == 0))
        text.erase(dot);
    return text + ".dat";
}
