#include "app/shell/CommandRules.h"

namespace CommandRules {

namespace {

bool always(const Facts&)
{
    return true;
}

bool detect(const Facts& f)
{
    return f.control && !f.instrumentOpen && !f.scanActive;
}

// Configure and Run.
bool instrumentIdle(const Facts& f)
{
    return f.control && f.instrumentOpen && !f.scanActive;
}

// The hidden repeat test starts scans itself, so it needs what Run needs, once.
bool repeatTest(const Facts& f)
{
    return instrumentIdle(f) && !f.repeatTestRunning;
}

bool stop(const Facts& f)
{
    return f.control && f.stopEnabled;
}

bool withControl(const Facts& f)
{
    return f.control;
}

bool noScan(const Facts& f)
{
    return f.control && !f.scanActive;
}

bool document(const Facts& f)
{
    return f.control && f.document;
}

// A document the scan thread is still writing is not saved, edited, exported or measured.
bool documentIdle(const Facts& f)
{
    return f.control && f.document && !f.documentBeingScanned;
}

bool input1Means(const Facts& f)
{
    return documentIdle(f) && f.input1Means;
}

bool input2Means(const Facts& f)
{
    return documentIdle(f) && f.input2Means;
}

bool mute(const Facts& f)
{
    return f.control && f.instrumentOpen && f.scanActive && f.audioAlert && f.document;
}

bool activeWindow(const Facts& f)
{
    return f.activeWindow;
}

bool anyWindow(const Facts& f)
{
    return f.anyWindow;
}

// Closing a window while a scan runs would pull its document from under the thread.
bool closeWindow(const Facts& f)
{
    return f.activeWindow && !f.scanActive;
}

bool closeAll(const Facts& f)
{
    return f.anyWindow && !f.scanActive;
}

template <int Index> bool recentFile(const Facts& f)
{
    return Index < f.recentFiles && !f.scanActive;
}

} // namespace

const std::vector<Rule>& Table()
{
    static const std::vector<Rule> table = {
        {Id::FileNew, "New", withControl},
        {Id::FileOpen, "Open", withControl},
        {Id::FileClose, "Close", closeWindow},
        {Id::CloseAll, "Close All", closeAll},
        {Id::FileSaveAs, "Save As", documentIdle},
        {Id::ExportData, "Export Data", documentIdle},
        {Id::ExportCsv, "Export CSV", documentIdle},
        {Id::ExportWav, "Export WAV", documentIdle},
        {Id::ExportGraphics, "Export Graphics", activeWindow},
        {Id::FilePrint, "Print", activeWindow},
        {Id::FileMruFirst + 0, "Recent File 1", recentFile<0>},
        {Id::FileMruFirst + 1, "Recent File 2", recentFile<1>},
        {Id::FileMruFirst + 2, "Recent File 3", recentFile<2>},
        {Id::FileMruFirst + 3, "Recent File 4", recentFile<3>},
        {Id::AppExit, "Exit", always},
        {Id::CopyData, "Copy Data", documentIdle},
        {Id::CopyGraphics, "Copy Graphics", activeWindow},
        {Id::ViewToolBar, "Tool Bar", always},
        {Id::ViewStatusBar, "Status Bar", always},
        {Id::ShowDebugWindow, "Show Debug Window", always},
        {Id::DetectInstruments, "Detect Instruments", detect},
        {Id::Configure, "Configure", instrumentIdle},
        {Id::Run, "Run", instrumentIdle},
        {Id::RepeatTest, "Repeat Test", repeatTest},
        {Id::RepeatTest2, "Repeat Test", repeatTest},
        {Id::Stop, "Stop", stop},
        {Id::Properties, "Properties", document},
        {Id::PostProcess, "Post Process", noScan},
        {Id::Mute, "Mute Alert", mute},
        {Id::DataSettings, "Data Settings", documentIdle},
        {Id::Input1Mean, "Input 1 Mean", input1Means},
        {Id::Input2Mean, "Input 2 Mean", input2Means},
        {Id::WindowTopTime, "Input Group 1 Time", activeWindow},
        {Id::WindowTopFrequency, "Input Group 1 Frequency", activeWindow},
        {Id::WindowBottomTime, "Input Group 2 Time", activeWindow},
        {Id::WindowBottomFrequency, "Input Group 2 Frequency", activeWindow},
        {Id::WindowCascade, "Cascade", anyWindow},
        {Id::WindowTile, "Tile", anyWindow},
        {Id::OpenLogFolder, "Open Log File Folder", always},
        {Id::AppAbout, "About", always},
    };
    return table;
}

const Rule* Find(int id)
{
    for (const Rule& rule : Table())
        if (rule.id == id) return &rule;
    return nullptr;
}

bool Enabled(int id, const Facts& facts)
{
    const Rule* rule = Find(id);
    return rule && rule->enabled(facts);
}

} // namespace CommandRules
