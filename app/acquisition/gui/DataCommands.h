#pragma once

#include "app/acquisition/gui/CDataSetDlg.h"

#include <functional>
#include <string>

class CCorvelDoc;
class QWidget;
class UserInteraction;

// The document's data commands: Export "Data", Copy "Data" and the input means.
namespace DataCommands {

inline constexpr const char* kExportExtension = "Dat";
// "%s (*.Dat)|*.Dat|" with "Data files".
std::string exportFilter();

// Export: the input (chosen when both are in use), a save dialog, then the
// file. False when nothing was written.
bool exportData(CCorvelDoc& document, UserInteraction& ui, const CDataSetDlg::Chooser& chooser);
// Copy: the table of the chosen input handed to `setClipboard` when not empty.
bool copyData(CCorvelDoc& document, const CDataSetDlg::Chooser& chooser,
              const std::function<void(const std::string&)>& setClipboard);
// The "Data Set" dialog over `parent`, asked only when both inputs are in use.
CDataSetDlg::Chooser dialogChooser(QWidget* parent);
// Copy "Data" onto the system clipboard as plain text.
bool copyDataToClipboard(CCorvelDoc& document, QWidget* parent);
// "Input 1 Mean" / "Input 2 Mean": the message box when the command is enabled.
bool showInputMeans(CCorvelDoc& document, int input, UserInteraction& ui);

} // namespace DataCommands
