#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

class CCorvelDoc;

// Exports for other tools, beside the tab-separated text: comma-separated
// values and a WAV file. Both hold every input group in use and are written
// to a temporary file beside the target, renamed over it when complete.

// RFC 4180 field: quoted (inner quotes doubled) when it holds a comma, a
// quote, a line break or leading/trailing blanks.
std::string CsvField(std::string_view text);
// Shortest text that reads back to the same double.
std::string CsvNumber(double value);

// The window's name as the FFT settings page shows it ("Hamming", "Flat Top" …).
std::string WindowName(int window);
// The unit of an input's spectrum values: "nTrms", "grms / sqrt(Hz)", …; "dB SPL" for a microphone.
std::string SpectrumValueUnit(const std::string& sensorType, int magneticUnits, int vibrationUnits,
                              int spectrumUnit);

// Header block (key, value rows), a blank line, then one table: per input in
// use its time block and its displayed spectrum block, the same display
// conversions as the text export, numbers at full precision. CRLF line ends.
bool ExportCsvFile(CCorvelDoc& document, const std::filesystem::path& path, std::string* error = nullptr);

// One WAV channel of the export.
struct WavChannel
{
    int input = 0;        // 0 or 1
    int axis = 0;         // 0 X, 1 Y, 2 Z
    std::string name;     // "Input 1 X"
    std::string unit;     // "nT", "g", "Pa" …
    double toVolts = 1.0; // sample × toVolts = the stored record (volts at the sensor)
    double toUnit = 1.0;  // sample × toUnit = the value in `unit`
};

// The channels a WAV export of the document writes, in file order.
std::vector<WavChannel> WavChannels(const CCorvelDoc& document);
// The text of the file's ICMT comment (one line per channel, "\n" separated).
std::string WavComment(const CCorvelDoc& document, const std::vector<WavChannel>& channels,
                       double sampleRate);
// The scan's sample rate in Hz from the time axis (the configured interval
// when the record has fewer than two samples).
double ScanSampleRate(const CCorvelDoc& document);

// IEEE-float WAV (format tag 3), 32 bits, one channel per axis of every input
// in use, samples as fractions of the instrument's full scale (10.24 V at the
// input), the scaling to physical units in a LIST/INFO comment.
bool ExportWavFile(CCorvelDoc& document, const std::filesystem::path& path, std::string* error = nullptr);
