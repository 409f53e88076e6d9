#pragma once

#include "app/acquisition/ScanEvents.h"
#include "app/acquisition/gui/PostProcessCommand.h"
#include "app/base/CommandLine.h"
#include "app/shell/CommandRules.h"
#include "app/shell/FrameServices.h"

#include <QObject>
#include <QString>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class CChildFrame;
class CCorvelDoc;
class CMainFrame;
class MainFrameControl;
class QMdiSubWindow;
class QTimer;
class ScanConfigurationStore;
class UserInteraction;

// Connects the main window to the scan control of the core: it is the
// window layer the core's sequences talk to (timers, posted work, documents
// and their scan windows), receives the scan thread's notices and queues them
// to the UI thread, runs the menu commands and keeps the status bar current.
class MainFrameHost : public QObject, public FrameServices, public ScanEvents, public PostProcessHost
{
    Q_OBJECT

public:
    static constexpr const char* kRecentFilesKey = "Software\\Fenmarl\\Tesselon-6\\Recent File List";
    static constexpr int kStatusPeriodMs = 250;

    MainFrameHost(CMainFrame& frame, UserInteraction& ui, ScanConfigurationStore& store,
                  const CommandLineSwitches& switches);
    ~MainFrameHost() override;

    MainFrameControl& control() { return *control_; }
    CMainFrame& frame() { return frame_; }

    // Whether a command is available now (the command table, with the facts of this moment).
    bool commandEnabled(int id);
    // What the scan control and the active document add to the table's facts.
    void addCommandFacts(CommandRules::Facts& facts);

    // Commands.
    void detectInstruments();
    void configure();
    void run();
    void stop();
    void newDocument();
    void openWithDialog();
    // Saves the active document under a name the user chooses.
    void saveAs();
    // Opens a scan file in its own window (or activates the window that has it).
    CCorvelDoc* openFile(const std::filesystem::path& path);
    void showProperties();
    void editDataSettings();
    void exportData();
    void exportFormat(int id);
    void copyData();
    void showInputMeans(int input);
    void mute();
    void postProcess();

    // The repeat test (commands 32780 and 32799, also the program's soak
    // test): rounds of start a scan, wait, wait for its end, wait again, close
    // every document in the listed rounds; then "Finished". A round whose scan
    // cannot start ends the test with a message instead.
    struct RepeatTestPlan
    {
        int rounds = 50;
        int afterStartMs = 1000;
        int afterEndMs = 500;
        std::vector<int> closeRounds{0, 20, 40};
    };
    void repeatTest() { runRepeatTest(RepeatTestPlan{}); }
    // Rounds completed. `afterRound` (tests) is called at the end of each round.
    int runRepeatTest(const RepeatTestPlan& plan, const std::function<void(int round)>& afterRound = {});

    // The open documents and their windows.
    CChildFrame* frameOf(const CCorvelDoc* document) const;
    CCorvelDoc* documentOf(const CChildFrame* child) const;
    std::size_t documentCount() const { return documents_.size(); }
    // Refreshes the command states and the status panes now (also done every kStatusPeriodMs).
    void refreshStatus();
    // An instrument that was unplugged while no scan ran is closed, so it can
    // be detected again when it comes back.
    void releaseLostInstrument();
    // Replaces the "Post Processing" dialog (tests).
    void setOptionsChooser(std::function<bool(PostProcessOptions&)> chooser)
    {
        optionsChooser_ = std::move(chooser);
    }

    // FrameServices
    void setTimer(int id, unsigned periodMs) override;
    void killTimer(int id) override;
    void pumpMessages() override;
    void post(std::function<void()> action) override;
    void enableMainWindowClose(bool enable) override { mainWindowCloseEnabled_ = enable; }
    CCorvelDoc* createDocument(const CScanConfiguration& configuration,
                               const DefaultSettings& settings) override;
    CCorvelDoc* activeDocument() override;
    void enableDocumentClose(CCorvelDoc& document, bool enable) override;
    void prepareScanViews(CCorvelDoc& document) override;
    void closeMainWindow() override;
    void documentSaved(CCorvelDoc& document) override;

    bool mainWindowCloseEnabled() const { return mainWindowCloseEnabled_; }
    bool documentCloseEnabled(const CCorvelDoc* document) const;
    bool timerRunning(int id) const;

    // ScanEvents: called on the scan thread, run on the UI thread.
    void dataReady() override;
    void scanComplete(bool instrumentFailed) override;
    void saveRun(const std::string& fileName) override;
    void armGraphTimer(unsigned periodMs) override;
    void killGraphTimer() override;

    // PostProcessHost
    bool saveModifiedDocuments() override;
    CCorvelDoc* openDocument(const std::filesystem::path& path) override { return openFile(path); }
    void layoutPanes(CCorvelDoc& document) override;
    void closeDocument(CCorvelDoc& document) override;
    bool askOptions(PostProcessOptions& options) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Inside a progress pulse's turn of the event loop (ProgressPulse.h).
    int pulsing_ = 0;
    struct Entry
    {
        std::unique_ptr<CCorvelDoc> document;
        QMdiSubWindow* window = nullptr;
        bool closeEnabled = true;
        // The name of a document without a file ("Scan 3").
        QString untitledName;
    };
    // The file's name, or the untitled name; changed documents end in "*".
    static QString documentName(const Entry& entry);
    static QString windowTitleFor(const Entry& entry);
    CChildFrame* addWindow(std::unique_ptr<CCorvelDoc> document, const QString& title);
    void windowDestroyed(CChildFrame* child);
    // Saves to the document's own file, or asks for one when it has none (or always, when asked).
    bool saveDocumentAs(CCorvelDoc& document, bool askForName = false);
    // "Save changes to …?" for a changed document; Yes saves it. The answer
    // (IDYES_, IDNO_ or IDCANCEL_), a save that failed counting as Cancel.
    int askToSaveChanges(Entry& entry);
    void rememberRecentFile(const std::filesystem::path& path);
    void loadRecentFiles();
    void connectCommands();
    void queue(std::function<void()> action);
    void runQueued(std::function<void()> action);

    CMainFrame& frame_;
    UserInteraction& ui_;
    ScanConfigurationStore& store_;
    std::unique_ptr<MainFrameControl> control_;
    std::map<const CChildFrame*, Entry> documents_;
    std::map<int, QTimer*> timers_;
    QTimer* statusTimer_ = nullptr;
    bool mainWindowCloseEnabled_ = true;
    int untitledCount_ = 0;
    QString shownExcursions_;
    int watchToken_ = 0;
    bool repeatTestRunning_ = false;
    std::function<bool(PostProcessOptions&)> optionsChooser_;
};
