#include "app/acquisition/gui/DataCommands.h"

#include "app/acquisition/CCorvelDoc.h"
#include "app/acquisition/ScanDataLock.h"
#include "app/base/UserInteraction.h"

#include <QClipboard>
#include <QGuiApplication>

#include <cstdio>

namespace DataCommands {

namespace {

int chooseInput(CCorvelDoc& document, const CDataSetDlg::Chooser& chooser)
{
    bool use1 = false, use2 = false;
    {
        FenmarlCommonDLL::ThreadLocker lock(&ScanDataLock(), true);
        use1 = document.scan.configuration.UseInput1 != 0;
        use2 = document.scan.configuration.UseInput2 != 0;
    }
    if (use1 && use2) return chooser(use1, use2);
    return use1 ? 0 : use2 ? 1 : -1;
}

} // namespace

std::string exportFilter()
{
    char filter[64];
    std::snprintf(filter, sizeof filter, "%s (*.Dat)|*.Dat|", "Data files");
    return filter;
}

bool exportData(CCorvelDoc& document, UserInteraction& ui, const CDataSetDlg::Chooser& chooser)
{
    const int input = chooseInput(document, chooser);
    if (input < 0) return false;
    UserInteraction::FileRequest request;
    request.save = true;
    request.defaultExtension = kExportExtension;
    request.filter = exportFilter();
    request.hideReadOnly = true;
    request.overwritePrompt = true;
    const std::filesystem::path path = ui.chooseFile(request);
    if (path.empty()) return false;
    return document.ExportData(path, input, &ui);
}

bool copyData(CCorvelDoc& document, const CDataSetDlg::Chooser& chooser,
              const std::function<void(const std::string&)>& setClipboard)
{
    const int input = chooseInput(document, chooser);
    if (input < 0) return false;
    const std::string text = document.CopyData(input);
    if (text.empty()) return false;
    setClipboard(text);
    return true;
}

CDataSetDlg::Chooser dialogChooser(QWidget* parent)
{
    return [parent](bool use1, bool use2) { return CDataSetDlg::choose(use1, use2, parent); };
}

bool copyDataToClipboard(CCorvelDoc& document, QWidget* parent)
{
    return copyData(document, dialogChooser(parent), [](const std::string& text) {
        QGuiApplication::clipboard()->setText(QString::fromStdString(text));
    });
}

bool showInputMeans(CCorvelDoc& document, int input, UserInteraction& ui)
{
    if (!document.InputMeansEnabled(input)) return false;
    document.ShowInputMeans(input, ui);
    return true;
}

} // namespace DataCommands
