#pragma once

#include "app/acquisition/ScanData.h"
#include "app/acquisition/SystemTime.h"

#include <cstdio>
#include <filesystem>
#include <string>

class UserInteraction;

// Tab-separated text of one or two input groups: file export, clipboard
// copy and the automatic export beside a saved scan file.

// What the table needs to know about one input group.
struct ExportInput
{
    ScanData* data = nullptr;
    std::string sensorType;  // one of SensorTypes
    std::string displayMode; // "Normal", "Mean Zero", "Offset To Zero"
    int magneticUnits = 0;
    int vibrationUnits = 0;
    int spectrumUnit = 0; // 0 RMS, 1 RMS/sqrt(Hz), 2 PkPk, 3 PkPk/sqrt(Hz)
    // Sensor scaling by type: vibration or magnetic scaling multiply, the
    // microphone scaling (V/Pa) divides; 1.0 for other types.
    double scale = 1.0;
};

// " (nT)", " (uT)", " (mG)"; " (ug)", " (mg)", " (mms-2)", " (g)"; " (Pa)".
std::string UnitSuffix(const std::string& sensorType, int magneticUnits, int vibrationUnits);
// The suffix of the frequency columns: unit 1 reads " (nT / sqrt(Hz))".
std::string FrequencySuffix(const std::string& timeSuffix, int spectrumUnit);
// "Scan started at %02d:%02d:%02d %02d/%02d/%04d\n"
std::string ExportHeaderLine(const SystemTime& time);

// Collects the text and, when given a file, writes it out in large pieces.
class ExportText
{
public:
    ExportText() = default;
    explicit ExportText(std::FILE* file) : file_(file) {}
    ~ExportText() { flush(); }
    ExportText(const ExportText&) = delete;
    ExportText& operator=(const ExportText&) = delete;

    void append(const char* text, std::size_t size);
    void append(const std::string& text) { append(text.data(), text.size()); }
    void tab() { text_.push_back('\t'); }
    void tabs(int count) { text_.append(static_cast<std::size_t>(count > 0 ? count : 0), '\t'); }
    void newline();
    // "%g" then a tab.
    void general(double value);
    // "%.10f" then a tab.
    void fixed10(double value);
    // Writes what is held to the file; false once a write has failed.
    bool flush();
    // The text (for a memory export).
    const std::string& text() const { return text_; }
    std::string take() { return std::move(text_); }

private:
    std::string text_;
    std::FILE* file_ = nullptr;
    bool failed_ = false;
};

// One input group: column line and rows. preciseTime selects "%.10f" for the
// time column (file export) instead of "%g" (copy, one-input automatic export).
void WriteOneInputTable(ExportText& out, const ExportInput& input, bool preciseTime);
// Both input groups side by side (automatic export).
void WriteTwoInputTable(ExportText& out, const ExportInput& input1, const ExportInput& input2);

// The "Export" command's file: header line then the one-input table with
// precise times. Written to a temporary file beside the target and renamed.
// On failure shows "Cannot open data file" (when ui is given) and returns false.
bool ExportDataFile(const std::filesystem::path& path, const SystemTime& started, const ExportInput& input,
                    UserInteraction* ui, std::string* error = nullptr);
// The automatic export: one table, or both when input2 is given.
bool ExportAutomaticFile(const std::filesystem::path& path, const SystemTime& started,
                         const ExportInput* input1, const ExportInput* input2, UserInteraction* ui,
                         std::string* error = nullptr);
// The "Copy" command's text: the one-input table without header line.
std::string CopyDataText(const ExportInput& input);

// "…/name.ts6" → "…/name.dat"; any other name gets ".dat" appended.
std::filesystem::path AutomaticExportPath(const std::filesystem::path& scanFile);
