#include "app/acquisition/gui/ExportFormatCommands.h"

#include "app/acquisition/CCorvelDoc.h"
#include "app/acquisition/ScanExportFormats.h"
#include "app/base/UserInteraction.h"

#include "common/platform/MessageBoxCodes.h"

namespace ExportFormatCommands {

std::string filter(Format format)
{
    return format == Format::Csv ? "CSV files (*.csv)|*.csv|" : "WAV files (*.wav)|*.wav|";
}

bool exportScan(CCorvelDoc& document, Format format, UserInteraction& ui)
{
    UserInteraction::FileRequest request;
    request.save = true;
    request.defaultExtension = format == Format::Csv ? "csv" : "wav";
    request.filter = filter(format);
    request.hideReadOnly = true;
    request.overwritePrompt = true;
    // Beside the scan file, under its name, when it has one.
    if (!document.pathName().empty()) request.initialFolder = document.pathName().parent_path();
    if (!document.pathName().empty())
        request.initialFileName = document.pathName().stem().string() + "." + request.defaultExtension;
    const std::filesystem::path path = ui.chooseFile(request);
    if (path.empty()) return false;
    std::string error;
    const bool ok =
        format == Format::Csv ? ExportCsvFile(document, path, &error) : ExportWavFile(document, path, &error);
    if (!ok)
        ui.messageBox("The scan was not exported:\n" + error,
                      format == Format::Csv ? "Export CSV" : "Export WAV",
                      FenmarlCommonDLL::platform::MB_ICONEXCLAMATION_);
    return ok;
}

} // namespace ExportFormatCommands
