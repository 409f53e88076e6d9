#pragma once

#include <vector>

// When each menu and tool-bar command is available: one table, read by the
// menus and tool bar, by the commands themselves before they act, and by the
// tests, so a command is never offered in one place and refused in another.
namespace CommandRules {

// The menu ids of the commands.
namespace Id {
inline constexpr int FileNew = 57600, FileOpen = 57601, FileClose = 57602, FileSaveAs = 57604,
                     FilePrint = 57607, FileMruFirst = 57616, AppAbout = 57664, AppExit = 57665,
                     ViewToolBar = 59392, ViewStatusBar = 59393, WindowCascade = 57650, WindowTile = 57651,
                     Properties = 137, Configure = 138, Run = 139, Stop = 140, DetectInstruments = 141,
                     WindowTopTime = 132, WindowTopFrequency = 133, WindowBottomTime = 134,
                     WindowBottomFrequency = 135, ExportGraphics = 166, ExportData = 167, CloseAll = 173,
                     CopyGraphics = 174, CopyData = 175, DataSettings = 176, Mute = 32807, Input1Mean = 32815,
                     Input2Mean = 32816, PostProcess = 32804, RepeatTest = 32780, RepeatTest2 = 32799, ShowDebugWindow = 32811, OpenLogFolder = 32813;
// File > Export beside "Data": the whole scan for other tools.
inline constexpr int ExportCsv = 32850, ExportWav = 32851;
inline constexpr int RecentFileCount = 4;
} // namespace Id

// What the rules depend on. The window layer gathers it; without a scan
// control (`control` false) the scan, document and data commands stay off.
struct Facts
{
    bool control = false;
    bool instrumentOpen = false;
    // From Run until the scan thread has ended.
    bool scanActive = false;
    // Set 5 s after a scan starts, cleared when it ends.
    bool stopEnabled = false;
    // An active scan window, and any scan window at all.
    bool activeWindow = false;
    bool anyWindow = false;
    // The active window's document, and whether the running scan still writes it.
    bool document = false;
    bool documentBeingScanned = false;
    bool input1Means = false;
    bool input2Means = false;
    // The active document's audio alert is on.
    bool audioAlert = false;
    int recentFiles = 0;
    // The hidden repeat test is running its rounds.
    bool repeatTestRunning = false;
};

struct Rule
{
    int id;
    const char* name;
    bool (*enabled)(const Facts&);
};

// Every command of the main window with its rule.
const std::vector<Rule>& Table();
// The rule of one command; nullptr for an id the table does not know.
const Rule* Find(int id);
// Whether the command is available; an unknown id is not.
bool Enabled(int id, const Facts& facts);

} // namespace CommandRules
