#include "app/acquisition/ScanExportFormats.h"

#include "app/acquisition/CCorvelDoc.h"
#include "app/acquisition/ReplacingFile.h"
#include "app/acquisition/ScanDataLock.h"
#include "app/acquisition/Spectrum.h"
#include "app/settings/SensorUnits.h"
#include "app/base/ConfigurationValues.h"
#include "app/settings/SensorUnits.h"

#include "common/Locker.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Instrument full scale in volts at the input; a WAV sample of 1.0 is this.
constexpr double kFullScaleVolts = 10.24;
constexpr std::uint32_t kChunkFrames = 65536;

bool fail(std::string* error, const std::filesystem::path& path, const std::string& reason)
{
    if (error)
        *error = path.string() + ": " + (reason.empty() ? "it could not be written completely" : reason);
    return false;
}

std::vector<int> inputsInUse(const CScanConfiguration& c)
{
    std::vector<int> inputs;
    if (c.UseInput1) inputs.push_back(0);
    if (c.UseInput2) inputs.push_back(1);
    return inputs;
}

std::string isoTime(const SystemTime& t)
{
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond, t.wMilliseconds);
    return text;
}

bool isDifferential(const CScanConfiguration& c)
{
    return SensorUnits::usesDifferentialTitles(c.DiffGrad != 0, c.UseInput1 != 0, c.Input1Mode, c.Input2Mode);
}

std::string inputLabel(const CScanConfiguration& c, int input)
{
    if (input == 1 && isDifferential(c)) return "Input 2 - Input 1";
    return input == 0 ? "Input 1" : "Input 2";
}

const std::string& sensorTypeOf(const CScanConfiguration& c, int input)
{
    return c.inputMode(input);
}

// One input group's displayed series, converted once, as the text export does.
struct CsvBlock
{
    MappedSeries timeX;
    std::array<MappedSeries, 3> timeY;
    MappedSeries freqX;
    std::array<MappedSeries, 3> freqY;
    int rows = 0;
    int spectrumRows = 0;
    int axes = 0;

    CsvBlock(CCorvelDoc& document, int input)
    {
        const ExportInput e = document.exportInput(input);
        const bool microphone = SensorTypes::isMicrophone(e.sensorType);
        std::vector<MappedSeries*> ty{&timeY[0], &timeY[1], &timeY[2]};
        std::vector<MappedSeries*> fy{&freqY[0], &freqY[1], &freqY[2]};
        ConvertTimeForDisplay(*e.data, e.displayMode, 0, microphone, e.scale, timeX, ty);
        ConvertSpectrumForDisplay(*e.data, e.displayMode, microphone, microphone ? 1.0 : e.scale, freqX, fy,
                                  spectrumRows);
        FenmarlCommonDLL::ThreadLocker lock(&ScanDataLock(), true);
        rows = std::max(e.data->samplesAcquired, 0);
        spectrumRows = std::max(spectrumRows, 0);
        axes = std::clamp(e.data->allocatedAxes(), 0, 3);
    }
};

void appendRow(std::string& out, const std::vector<std::string>& fields)
{
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i) out.push_back(',');
        out += CsvField(fields[i]);
    }
    out += "\r\n";
}

void putLe16(std::string& out, std::uint16_t v)
{
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>(v >> 8));
}

void putLe32(std::string& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// An INFO sub-chunk: id, size with the terminating zero, text, pad byte.
void putInfo(std::string& out, const char* id, const std::string& text)
{
    out.append(id, 4);
    putLe32(out, static_cast<std::uint32_t>(text.size() + 1));
    out += text;
    out.push_back('\0');
    if ((text.size() + 1) % 2) out.push_back('\0');
}

} // namespace

std::string CsvField(std::string_view text)
{
    const bool quote = text.find_first_of(",\"\r\n") != std::string_view::npos ||
                       (!text.empty() && (text.front() == ' ' || text.back() == ' '));
    if (!quote) return std::string(text);
    std::string out = "\"";
    for (char ch : text) {
        if (ch == '"') out.push_back('"');
        out.push_back(ch);
    }
    out.push_back('"');
    return out;
}

std::string CsvNumber(double value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string WindowName(int window)
{
    static const char* names[] = {"None", "Bartlett", "Hann", "Hamming", "Welch", "Flat Top", "Blackman"};
    if (window < 0 || window > 6) return "None (code " + std::to_string(window) + ")";
    return names[window];
}

std::string SpectrumValueUnit(const std::string& sensorType, int magneticUnits, int vibrationUnits,
                              int spectrumUnit)
{
    // The text export and the graphs show a microphone's spectrum as sound pressure level.
    if (SensorTypes::isMicrophone(sensorType)) return "dB SPL";
    const std::string unit = SensorUnits::unitName(sensorType, magneticUnits, vibrationUnits);
    switch (spectrumUnit) {
    case 1:
        return unit + "rms / sqrt(Hz)";
    case 2:
        return unit + "PkPk";
    case 3:
        return unit + "PkPk / sqrt(Hz)";
    default:
        return unit + "rms";
    }
}

double ScanSampleRate(const CCorvelDoc& document)
{
    const CScanConfiguration& c = document.scan.configuration;
    for (int input : inputsInUse(c)) {
        const ScanData& data = document.scan.input(input);
        if (data.samplesAcquired < 2) continue;
        const double dt = data.timeAxis.get(1) - data.timeAxis.get(0);
        if (dt > 0.0 && std::isfinite(dt)) return 1.0 / dt;
    }
    return c.SampleInterval > 0.0 ? 1.0 / c.SampleInterval : 0.0;
}

bool ExportCsvFile(CCorvelDoc& document, const std::filesystem::path& path, std::string* error)
{
    const CScanConfiguration& c = document.scan.configuration;
    const DefaultSettings& s = document.settings;
    const std::vector<int> inputs = inputsInUse(c);
    if (inputs.empty()) return fail(error, path, "no input group is in use in this scan");

    std::vector<std::unique_ptr<CsvBlock>> blocks;
    for (int input : inputs)
        blocks.push_back(std::make_unique<CsvBlock>(document, input));

    std::string out;
    appendRow(out, {"Scan started", isoTime(document.scan.acquisitionTime)});
    appendRow(out, {"Sample interval (s)", CsvNumber(c.SampleInterval)});
    appendRow(out, {"Sample rate (Hz)", CsvNumber(ScanSampleRate(document))});
    appendRow(out, {"Averages", std::to_string(c.NoOfAverages)});
    appendRow(out, {"Window", WindowName(s.FFTWindowing)});
    appendRow(out, {"FFTK", std::to_string(s.FFTK)});
    appendRow(out, {"Overlap", s.FFTOverlap ? "Yes" : "No"});
    for (std::size_t b = 0; b < inputs.size(); ++b) {
        const int input = inputs[b];
        const std::string& type = sensorTypeOf(c, input);
        const std::string label = inputLabel(c, input);
        const std::string unit = SensorUnits::unitName(type, s.MagneticUnits, s.VibrationUnits);
        const int spectrumUnit = s.spectrumUnit(input);
        const bool microphone = SensorTypes::isMicrophone(type);
        appendRow(out, {label + " sensor type", type});
        appendRow(out, {label + " display mode", c.displayMode(input)});
        appendRow(out, {label + " samples", std::to_string(blocks[b]->rows)});
        appendRow(out, {label + " sensor gain", std::to_string(c.sensorGain(input))});
        appendRow(out, {label + " time unit", unit});
        appendRow(out, {label + " spectrum unit",
                        SpectrumValueUnit(type, s.MagneticUnits, s.VibrationUnits, spectrumUnit)});
        appendRow(out, {label + " scaling", CsvNumber(document.inputScale(input))});
        appendRow(out, {label + " scaling unit", microphone ? "V/Pa (divides)" : unit + "/V (multiplies)"});
    }
    out += "\r\n";

    std::vector<std::string> columns;
    for (std::size_t b = 0; b < inputs.size(); ++b) {
        const int input = inputs[b];
        const std::string& type = sensorTypeOf(c, input);
        const std::string label = inputLabel(c, input);
        const std::string unit = SensorUnits::unitName(type, s.MagneticUnits, s.VibrationUnits);
        const std::string funit =
            SpectrumValueUnit(type, s.MagneticUnits, s.VibrationUnits, s.spectrumUnit(input));
        static const char* axisNames[] = {"X", "Y", "Z"};
        columns.push_back(label + " Time (s)");
        for (int a = 0; a < blocks[b]->axes; ++a)
            columns.push_back(label + " " + axisNames[a] + " (" + unit + ")");
        columns.push_back(label + " Frequency (Hz)");
        for (int a = 0; a < blocks[b]->axes; ++a)
            columns.push_back(label + " " + axisNames[a] + " (" + funit + ")");
    }
    appendRow(out, columns);

    ReplacingFile file(path);
    if (!file.isOpen()) return fail(error, path, file.error());

    int rows = 0;
    for (const auto& block : blocks)
        rows = std::max({rows, block->rows, block->spectrumRows});
    for (int i = 0; i < rows; ++i) {
        const auto row = static_cast<std::uint32_t>(i);
        bool first = true;
        auto field = [&](const std::string& text) {
            if (!first) out.push_back(',');
            first = false;
            out += text;
        };
        for (const auto& block : blocks) {
            const bool time = i < block->rows;
            field(time ? CsvNumber(block->timeX.get(row)) : std::string());
            for (int a = 0; a < block->axes; ++a)
                field(time ? CsvNumber(block->timeY[static_cast<std::size_t>(a)].get(row)) : std::string());
            const bool freq = i < block->spectrumRows;
            field(freq ? CsvNumber(block->freqX.get(row)) : std::string());
            for (int a = 0; a < block->axes; ++a)
                field(freq ? CsvNumber(block->freqY[static_cast<std::size_t>(a)].get(row)) : std::string());
        }
        out += "\r\n";
        if (out.size() >= (1u << 20)) {
            file.write(out);
            out.clear();
        }
    }
    file.write(out);
    if (!file.commit()) return fail(error, path, file.error());
    return true;
}

std::vector<WavChannel> WavChannels(const CCorvelDoc& document)
{
    const CScanConfiguration& c = document.scan.configuration;
    const DefaultSettings& s = document.settings;
    std::vector<WavChannel> channels;
    static const char* axisNames[] = {"X", "Y", "Z"};
    for (int input : inputsInUse(c)) {
        const ScanData& data = document.scan.input(input);
        const std::string& type = sensorTypeOf(c, input);
        const int gain = std::max(1, c.sensorGain(input));
        const double scale = document.inputScale(input);
        const double toVolts = kFullScaleVolts / gain;
        double toUnit = toVolts * scale;
        if (SensorTypes::isMicrophone(type)) toUnit = scale != 0.0 ? toVolts / scale : 0.0;
        const int axes = std::clamp(data.allocatedAxes(), 0, 3);
        for (int a = 0; a < axes; ++a) {
            WavChannel ch;
            ch.input = input;
            ch.axis = a;
            ch.name = inputLabel(c, input) + " " + axisNames[a];
            ch.unit = SensorUnits::unitName(type, s.MagneticUnits, s.VibrationUnits);
            ch.toVolts = toVolts;
            ch.toUnit = toUnit;
            channels.push_back(ch);
        }
    }
    return channels;
}

std::string WavComment(const CCorvelDoc& document, const std::vector<WavChannel>& channels, double sampleRate)
{
    std::string text = "Tesselon-6 scan started " + isoTime(document.scan.acquisitionTime) + "\n";
    text += "Sample rate " + CsvNumber(sampleRate) + " Hz (the header holds it rounded to whole hertz)\n";
    text += "Samples are fractions of the instrument's full scale (10.24 V at the input)\n";
    for (std::size_t i = 0; i < channels.size(); ++i)
        text += "Channel " + std::to_string(i + 1) + ": " + channels[i].name + " (" + channels[i].unit +
                ") = sample * " + CsvNumber(channels[i].toUnit) + "\n";
    return text;
}

bool ExportWavFile(CCorvelDoc& document, const std::filesystem::path& path, std::string* error)
{
    const std::vector<WavChannel> channels = WavChannels(document);
    if (channels.empty()) return fail(error, path, "no input group with data is in use in this scan");
    const double rate = ScanSampleRate(document);
    if (!(rate > 0.0) || !std::isfinite(rate) || rate > 4.0e9)
        return fail(error, path, "the scan has no usable sample rate");
    const auto headerRate = static_cast<std::uint32_t>(std::max(1.0, std::round(rate)));

    std::uint64_t frames = 0;
    {
        FenmarlCommonDLL::ThreadLocker lock(&ScanDataLock(), true);
        for (const WavChannel& ch : channels)
            frames = std::max<std::uint64_t>(frames, static_cast<std::uint64_t>(std::max(
                                                         document.scan.input(ch.input).samplesAcquired, 0)));
    }
    const std::uint64_t blockAlign = channels.size() * 4;
    const std::uint64_t dataBytes = frames * blockAlign;

    std::string info = "INFO";
    putInfo(info, "ISFT", std::string("Tesselon-6 ") + TESSELON_VERSION);
    putInfo(info, "ICRD", isoTime(document.scan.acquisitionTime).substr(0, 10));
    putInfo(info, "ICMT", WavComment(document, channels, rate));

    std::string head = "RIFF";
    const std::uint64_t riffSize = 4 + (8 + 18) + (8 + 4) + (8 + info.size()) + (8 + dataBytes);
    if (riffSize > 0xFFFFFFFFull)
        return fail(error, path, "the scan is too long for a WAV file (4 GiB at most)");
    putLe32(head, static_cast<std::uint32_t>(riffSize));
    head += "WAVE";
    head += "fmt ";
    putLe32(head, 18);
    putLe16(head, 3); // IEEE float
    putLe16(head, static_cast<std::uint16_t>(channels.size()));
    putLe32(head, headerRate);
    putLe32(head, static_cast<std::uint32_t>(headerRate * blockAlign));
    putLe16(head, static_cast<std::uint16_t>(blockAlign));
    putLe16(head, 32);
    putLe16(head, 0);
    head += "fact";
    putLe32(head, 4);
    putLe32(head, static_cast<std::uint32_t>(frames));
    head += "LIST";
    putLe32(head, static_cast<std::uint32_t>(info.size()));
    head += info;
    head += "data";
    putLe32(head, static_cast<std::uint32_t>(dataBytes));

    ReplacingFile file(path);
    if (!file.isOpen()) return fail(error, path, file.error());
    file.write(head);

    std::vector<float> chunk;
    for (std::uint64_t start = 0; start < frames; start += kChunkFrames) {
        const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(kChunkFrames, frames - start));
        chunk.assign(static_cast<std::size_t>(count) * channels.size(), 0.0f);
        {
            // Copy under the lock, write without it: a scan thread is never held up by the disk.
            FenmarlCommonDLL::ThreadLocker lock(&ScanDataLock(), true);
            for (std::size_t c = 0; c < channels.size(); ++c) {
                const ScanData& data = document.scan.input(channels[c].input);
                if (channels[c].axis >= data.allocatedAxes()) continue;
                const MappedSeries& series = data.timeData[static_cast<std::size_t>(channels[c].axis)];
                const auto held = static_cast<std::uint64_t>(std::max(data.samplesAcquired, 0));
                const double factor = 1.0 / channels[c].toVolts;
                for (std::uint32_t i = 0; i < count; ++i) {
                    const std::uint64_t row = start + i;
                    if (row >= held) break; // a shorter input ends in silence
                    chunk[i * channels.size() + c] =
                        static_cast<float>(series.get(static_cast<std::uint32_t>(row)) * factor);
                }
            }
        }
        std::string bytes(chunk.size() * 4, '\0');
        for (std::size_t i = 0; i < chunk.size(); ++i) {
            std::uint32_t bits;
            std::memcpy(&bits, &chunk[i], 4);
            for (int k = 0; k < 4; ++k)
                bytes[i * 4 + static_cast<std::size_t>(k)] = static_cast<char>((bits >> (8 * k)) & 0xFF);
        }
        file.write(bytes);
    }
    if (!file.commit()) return fail(error, path, file.error());
    return true;
}
