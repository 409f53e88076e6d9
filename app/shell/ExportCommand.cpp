#include "app/shell/ExportCommand.h"

#include "app/acquisition/CCorvelDoc.h"
#include "app/acquisition/DataExport.h"
#include "app/acquisition/ScanExportFormats.h"
#include "app/base/UserInteraction.h"

#include <system_error>

namespace {

// Collects what the document would show in a message box.
class CollectingInteraction : public MessageOnlyInteraction
{
public:
    std::string text;
    int messageBox(const std::string& message, const std::string&, unsigned) override
    {
        if (!text.empty()) text += "\n";
        text += message;
        return 1;
    }
};

bool samePlace(const std::filesystem::path& a, const std::filesystem::path& b)
{
    std::error_code ec;
    if (std::filesystem::equivalent(a, b, ec)) return true;
    return std::filesystem::weakly_canonical(a, ec) == std::filesystem::weakly_canonical(b, ec);
}

} // namespace

std::filesystem::path DefaultExportPath(const std::filesystem::path& scanFile, const std::string& format)
{
    if (format == "dat") return AutomaticExportPath(scanFile);
    std::filesystem::path out = scanFile;
    const std::string ext = out.extension().string();
    if (ext == ".ts6" || ext == ".TS6")
        out.replace_extension("." + format);
    else
        out += "." + format;
    return out;
}

int RunExportCommand(const std::vector<std::string>& arguments, std::string& message)
{
    if (arguments.size() < 2 || arguments.size() > 3) {
        message = kExportUsage;
        return 2;
    }
    const std::string& format = arguments[0];
    if (format != "csv" && format != "wav" && format != "dat") {
        message = "unknown export format \"" + format + "\" (csv, wav or dat)\n" + kExportUsage;
        return 2;
    }
    const std::filesystem::path scanFile = arguments[1];
    const std::filesystem::path output =
        arguments.size() == 3 ? std::filesystem::path(arguments[2]) : DefaultExportPath(scanFile, format);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(scanFile, ec)) {
        message = "cannot read " + scanFile.string() + ": no such file";
        return 1;
    }
    if (samePlace(scanFile, output)) {
        message = "the output " + output.string() + " is the scan file itself; nothing was written";
        return 1;
    }

    CCorvelDoc document;
    CollectingInteraction ui;
    if (!document.OnOpenDocument(scanFile, &ui)) {
        message = ui.text.empty() ? "cannot open " + scanFile.string() : ui.text;
        if (!document.lastError().empty()) message += " (" + document.lastError() + ")";
        return 1;
    }

    std::string error;
    bool ok = false;
    if (format == "csv") {
        ok = ExportCsvFile(document, output, &error);
    } else if (format == "wav") {
        ok = ExportWavFile(document, output, &error);
    } else {
        const CScanConfiguration& c = document.scan.configuration;
        const ExportInput first = document.exportInput(0);
        const ExportInput second = document.exportInput(1);
        if (!c.UseInput1 && !c.UseInput2)
            error = output.string() + ": no input group is in use in this scan";
        else
            ok = ExportAutomaticFile(output, document.scan.acquisitionTime, c.UseInput1 ? &first : nullptr,
                                     c.UseInput2 ? &second : nullptr, nullptr, &error);
        if (!ok && error.find(output.string()) == std::string::npos) error = output.string() + ": " + error;
    }
    if (!ok) {
        message = "cannot write " + error;
        return 1;
    }
    message = output.string();
    return 0;
}
