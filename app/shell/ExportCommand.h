#pragma once

#include <filesystem>
#include <string>
#include <vector>

// tesselon-6 --export csv|wav|dat FILE.ts6 [OUTPUT]: converts a scan file
// without a display. The default OUTPUT is FILE with the format's extension.

inline constexpr const char* kExportSwitch = "--export";
inline constexpr const char* kExportUsage = "usage: tesselon-6 --export csv|wav|dat FILE.ts6 [OUTPUT]";

// The output path a format gets by default: scan.ts6 → scan.csv, scan.wav, scan.dat.
std::filesystem::path DefaultExportPath(const std::filesystem::path& scanFile, const std::string& format);

// Runs the conversion; `arguments` start after "--export". Returns the exit
// code (0 written, 1 failed, 2 bad arguments); on failure `message` says why.
int RunExportCommand(const std::vector<std::string>& arguments, std::string& message);
