#pragma once

#include <string>

class CCorvelDoc;
class UserInteraction;

// File > Export > CSV… and WAV…: a save dialog, then the whole scan (every
// input group in use) in that format. A failure is shown with the file and
// the reason; true only when the file was written.
namespace ExportFormatCommands {

enum class Format { Csv, Wav };

// "CSV files (*.csv)|*.csv|" / "WAV files (*.wav)|*.wav|"
std::string filter(Format format);
bool exportScan(CCorvelDoc& document, Format format, UserInteraction& ui);

} // namespace ExportFormatCommands
