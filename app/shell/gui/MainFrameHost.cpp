#include "app/shell/gui/MainFrameHost.h"

#include "app/acquisition/CCorvelDoc.h"
#include "app/acquisition/ProgressPulse.h"
#include "app/acquisition/ScanDataLock.h"
#include "app/acquisition/gui/CDataSettings.h"
#include "app/acquisition/gui/CPostProcessDlg.h"
#include "app/acquisition/gui/CPropertiesDlg.h"
#include "app/acquisition/gui/DataCommands.h"
#include "app/acquisition/gui/ExportFormatCommands.h"
#include "app/graphs/gui/CChildFrame.h"
#include "app/settings/ScanConfigurationStore.h"
#include "app/settings/gui/CDefaultsSheet.h"
#include "app/base/AppLog.h"
#include "app/shell/InstrumentDetection.h"
#include "app/shell/MainFrameControl.h"
#include "app/base/UserInteraction.h"
#include "app/shell/gui/CDetectInstruments.h"
#include "app/shell/gui/CMainFrame.h"
#include "common/platform/Hooks.h"
#include "common/platform/Registry.h"
#include "driver/Torvane.h"
#include "usb/UsbBus.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>

namespace fs = std::filesystem;
namespace platform = FenmarlCommonDLL::platform;

namespace {

// The keyboard goes back where it was when a command's dialogs and progress
// windows close; otherwise no shortcut works until the user clicks a window.
class FocusReturn
{
public:
    FocusReturn() : focus_(QApplication::focusWidget()) {}
    ~FocusReturn()
    {
        if (!focus_ || !focus_->isVisible() || QApplication::activeModalWidget()) return;
        focus_->window()->activateWindow();
        focus_->setFocus(Qt::OtherFocusReason);
    }
    FocusReturn(const FocusReturn&) = delete;
    FocusReturn& operator=(const FocusReturn&) = delete;

private:
    QPointer<QWidget> focus_;
};

} // namespace

MainFrameHost::MainFrameHost(CMainFrame& frame, UserInteraction& ui, ScanConfigurationStore& store,
                             const CommandLineSwitches& switches)
    : frame_(frame), ui_(ui), store_(store)
{
    control_ = std::make_unique<MainFrameControl>(ui, *this, *this, store, switches);
    // The driver's waits on this thread (zeroing, stopping) keep the windows
    // painting; a progress window in front keeps every other window from input.
    platform::setMessagePump([] {
        QCoreApplication* app = QCoreApplication::instance();
        if (app && QThread::currentThread() == app->thread()) QCoreApplication::processEvents();
    });
    frame_.installEventFilter(this);
    // Saving, exporting and showing a long record on this thread let the
    // window repaint every 20 ms. User input, the scan's notices and the
    // program's timers wait until that work is done (see runQueued), so none
    // of them runs in the middle of it.
    SetProgressPulse([this, last = std::chrono::steady_clock::now()]() mutable {
        const auto now = std::chrono::steady_clock::now();
        if (pulsing_ > 0 || now - last < std::chrono::milliseconds(20)) return;
        ++pulsing_;
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        --pulsing_;
        last = std::chrono::steady_clock::now();
    });
    frame_.setFactsProvider([this](CommandRules::Facts& facts) { addCommandFacts(facts); });
    frame_.setCloseAllGuard([this] { return saveModifiedDocuments(); });
    connectCommands();
    loadRecentFiles();

    watchToken_ =
        FenmarlUsb::bus().watch(FenmarlUsb::DeviceClassId::Instrument,
                                [this](FenmarlUsb::DeviceClassId, const std::string&, bool arrived) {
                                    if (!arrived) queue([this] { releaseLostInstrument(); });
                                });

    // The progress text, the input panes and the command states follow the scan.
    statusTimer_ = new QTimer(this);
    connect(statusTimer_, &QTimer::timeout, this, &MainFrameHost::refreshStatus);
    statusTimer_->start(kStatusPeriodMs);
    refreshStatus();
}

MainFrameHost::~MainFrameHost()
{
    ClearProgressPulse();
    platform::setMessagePump(nullptr);
    frame_.setFactsProvider({});
    frame_.setCloseAllGuard({});
    frame_.removeEventFilter(this);
    if (watchToken_ != 0) FenmarlUsb::bus().unwatch(watchToken_);
    // Ends a running scan before its document goes.
    control_.reset();
    // The scan windows may outlive this object (they belong to the main
    // window): they must not keep pointers into the documents.
    for (auto& [child, entry] : documents_) {
        disconnect(child, nullptr, this, nullptr);
        const_cast<CChildFrame*>(child)->attachDocument(nullptr);
    }
    documents_.clear();
}

void MainFrameHost::connectCommands()
{
    const auto on = [this](int id, void (MainFrameHost::*command)()) {
        connect(frame_.action(id), &QAction::triggered, this, command);
    };
    on(CMainFrame::ID_DETECT_INSTRUMENTS, &MainFrameHost::detectInstruments);
    on(CMainFrame::ID_CONFIGURE, &MainFrameHost::configure);
    on(CMainFrame::ID_RUN, &MainFrameHost::run);
    on(CMainFrame::ID_STOP, &MainFrameHost::stop);
    on(CMainFrame::ID_FILE_NEW, &MainFrameHost::newDocument);
    on(CMainFrame::ID_FILE_OPEN, &MainFrameHost::openWithDialog);
    on(CMainFrame::ID_FILE_SAVE_AS, &MainFrameHost::saveAs);
    on(CMainFrame::ID_PROPERTIES, &MainFrameHost::showProperties);
    on(CMainFrame::ID_DATA_SETTINGS, &MainFrameHost::editDataSettings);
    on(CMainFrame::ID_EXPORT_DATA, &MainFrameHost::exportData);
    on(CMainFrame::ID_COPY_DATA, &MainFrameHost::copyData);
    for (int id : {CMainFrame::ID_EXPORT_CSV, CMainFrame::ID_EXPORT_WAV})
        connect(frame_.action(id), &QAction::triggered, this, [this, id] { exportFormat(id); });
    on(CMainFrame::ID_MUTE, &MainFrameHost::mute);
    on(CMainFrame::ID_POST_PROCESS, &MainFrameHost::postProcess);
    on(CMainFrame::ID_REPEAT_TEST, &MainFrameHost::repeatTest);
    on(CMainFrame::ID_REPEAT_TEST_2, &MainFrameHost::repeatTest);
    connect(frame_.action(CMainFrame::ID_INPUT1_MEAN), &QAction::triggered, this,
            [this] { showInputMeans(0); });
    connect(frame_.action(CMainFrame::ID_INPUT2_MEAN), &QAction::triggered, this,
            [this] { showInputMeans(1); });
    connect(&frame_, &CMainFrame::recentFileChosen, this,
            [this](const QString& path) { openFile(fs::path(path.toStdString())); });
}

// ---------------------------------------------------------------------------
// Command states and the status bar

void MainFrameHost::addCommandFacts(CommandRules::Facts& facts)
{
    if (!control_) return;
    const CommandRules::Facts scan = control_->commandFacts();
    facts.control = true;
    facts.instrumentOpen = scan.instrumentOpen;
    facts.scanActive = scan.scanActive;
    facts.stopEnabled = scan.stopEnabled;
    facts.repeatTestRunning = repeatTestRunning_;
    CCorvelDoc* document = activeDocument();
    facts.document = document != nullptr;
    if (!document) return;
    facts.documentBeingScanned = facts.scanActive && document == control_->scanDocument();
    facts.input1Means = document->InputMeansEnabled(0);
    facts.input2Means = document->InputMeansEnabled(1);
    facts.audioAlert = document->scan.configuration.Specification.audioAlert != 0;
}

bool MainFrameHost::commandEnabled(int id)
{
    // The same facts and table as the menus and the tool bar.
    return CommandRules::Enabled(id, frame_.commandFacts());
}

void MainFrameHost::refreshStatus()
{
    frame_.setInstrumentOpen(IsDeviceOpen());
    frame_.setScanThreadActive(scanThreadActive.load() || scanRequested.load());
    if (control_)
        frame_.setPaneText(CMainFrame::scanStatusPane, QString::fromStdString(control_->scanStatusText()));
    CCorvelDoc* document = activeDocument();
    const bool use1 = document && document->scan.configuration.UseInput1 != 0;
    const bool use2 = document && document->scan.configuration.UseInput2 != 0;
    frame_.setPaneText(CMainFrame::input1Pane,
                       QString::fromStdString(MainFrameControl::inputStatusText(1, use1)));
    frame_.setPaneText(CMainFrame::input2Pane,
                       QString::fromStdString(MainFrameControl::inputStatusText(2, use2)));
    CChildFrame* child = frame_.activeChildFrame();
    if (child && !child->passFailText().isEmpty())
        frame_.setPassFail(child->passFailText(), child->passed());
    else
        frame_.setPaneText(CMainFrame::passFailPane, QString());
    // The time test's worst excursion and margin in the message pane, while
    // the active window has one; other messages are left alone.
    const QString excursions = child ? child->excursionLines().join(QStringLiteral("; ")) : QString();
    if (!excursions.isEmpty())
        frame_.setPaneText(0, excursions);
    else if (!shownExcursions_.isEmpty() && frame_.paneText(0) == shownExcursions_)
        frame_.setPaneText(0, tr("Ready"));
    shownExcursions_ = excursions;
    // A saved document is named after its file; a changed one says so.
    for (auto& [window, entry] : documents_) {
        const QString title = windowTitleFor(entry);
        if (window->windowTitle() != title) const_cast<CChildFrame*>(window)->setWindowTitle(title);
    }
}

QString MainFrameHost::documentName(const Entry& entry)
{
    const fs::path& path = entry.document->pathName();
    return path.empty() ? entry.untitledName : QString::fromStdString(path.filename().string());
}

QString MainFrameHost::windowTitleFor(const Entry& entry)
{
    return documentName(entry) + (entry.document->isModified() ? QStringLiteral("*") : QString());
}

void MainFrameHost::releaseLostInstrument()
{
    // A running scan notices the loss itself and ends; its completion comes back here.
    if (scanThreadActive.load() || scanRequested.load() || !IsDeviceOpen()) return;
    if (FindDevices() > 0) return;
    CloseDevice();
    LogToLogFile(MainFrameControl::kSource, "The instrument was disconnected.", LogWarning);
    frame_.setPaneText(0, tr("The instrument was disconnected"));
    refreshStatus();
}

// ---------------------------------------------------------------------------
// Commands

void MainFrameHost::detectInstruments()
{
    FocusReturn focusReturn;
    if (!commandEnabled(CMainFrame::ID_DETECT_INSTRUMENTS)) return;
    InstrumentDetection detection(ui_, store_, false, [this] { pumpMessages(); });
    CDetectInstruments::run(detection, &frame_);
    refreshStatus();
}

void MainFrameHost::configure()
{
    FocusReturn focusReturn;
    if (!commandEnabled(CMainFrame::ID_CONFIGURE)) return;
    CDefaultsSheet sheet(&store_, &frame_);
    control_->configure(sheet);
    refreshStatus();
}

void MainFrameHost::run()
{
    if (!commandEnabled(CMainFrame::ID_RUN)) return;
    control_->start();
    refreshStatus();
}

void MainFrameHost::stop()
{
    FocusReturn focusReturn;
    control_->stop();
    refreshStatus();
}

int MainFrameHost::runRepeatTest(const RepeatTestPlan& plan, const std::function<void(int round)>& afterRound)
{
    if (repeatTestRunning_) return 0;
    repeatTestRunning_ = true;
    // Waits with the messages flowing, as the scan windows and the scan's end need them.
    const auto wait = [](int ms) {
        QEventLoop loop;
        QTimer::singleShot(std::max(ms, 0), &loop, &QEventLoop::quit);
        loop.exec();
    };
    const auto scanRunning = [] { return scanThreadActive.load() || scanRequested.load(); };
    LogToLogFile(MainFrameControl::kSource, "Repeat test started.", LogInformation);
    int round = 0;
    for (; round < plan.rounds; ++round) {
        if (!commandEnabled(CMainFrame::ID_RUN)) break;
        run();
        pumpMessages();
        wait(plan.afterStartMs);
        while (scanRunning())
            wait(50);
        wait(plan.afterEndMs);
        if (std::find(plan.closeRounds.begin(), plan.closeRounds.end(), round) != plan.closeRounds.end()) {
            refreshStatus();
            frame_.action(CMainFrame::ID_CLOSE_ALL)->trigger();
            // Closed windows are deleted only when control returns to the loop
            // the close ran in, which this command leaves only at its end: free
            // them (and their documents) now.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        if (afterRound) afterRound(round);
    }
    repeatTestRunning_ = false;
    refreshStatus();
    if (round < plan.rounds) {
        const std::string text = "The repeat test stopped in round " + std::to_string(round + 1) + " of " +
                                 std::to_string(plan.rounds) + ": a scan could not be started.";
        LogToLogFile(MainFrameControl::kSource, text, LogError);
        ui_.messageBox(text, "Test",
                       FenmarlCommonDLL::platform::MB_OK_ | FenmarlCommonDLL::platform::MB_ICONERROR_);
        return round;
    }
    LogToLogFile(MainFrameControl::kSource, "Repeat test finished.", LogInformation);
    ui_.messageBox("Finished", "Test", FenmarlCommonDLL::platform::MB_OK_);
    return round;
}

void MainFrameHost::newDocument()
{
    createDocument(store_.scanConfiguration(), store_.defaultSettings());
}

void MainFrameHost::openWithDialog()
{
    UserInteraction::FileRequest request;
    request.defaultExtension = CCorvelDoc::kDefaultExtension;
    request.filter = CCorvelDoc::kFileFilter;
    request.initialFolder = store_.defaultSettings().FilePath;
    request.hideReadOnly = true;
    request.fileMustExist = true;
    const fs::path path = ui_.chooseFile(request);
    if (!path.empty()) openFile(path);
}

CCorvelDoc* MainFrameHost::openFile(const fs::path& path)
{
    std::error_code ec;
    const fs::path wanted = fs::weakly_canonical(path, ec);
    for (auto& [child, entry] : documents_) {
        const fs::path open = fs::weakly_canonical(entry.document->pathName(), ec);
        if (!entry.document->pathName().empty() && open == wanted) {
            frame_.mdiArea()->setActiveSubWindow(entry.window);
            return entry.document.get();
        }
    }
    auto document = std::make_unique<CCorvelDoc>();
    if (!document->OnOpenDocument(path, &ui_)) return nullptr;
    document->setPathName(path);
    CCorvelDoc* opened = document.get();
    CChildFrame* child = addWindow(std::move(document), QString::fromStdString(path.filename().string()));
    child->showLoadedDocument();
    rememberRecentFile(path);
    refreshStatus();
    return opened;
}

void MainFrameHost::showProperties()
{
    if (!commandEnabled(CMainFrame::ID_PROPERTIES)) return;
    FocusReturn focusReturn;
    CCorvelDoc* document = activeDocument();
    if (!document) return;
    const CChildFrame* child = frameOf(document);
    CPropertiesDlg(document->scan, &frame_, child ? child->excursionLines() : QStringList()).exec();
}

void MainFrameHost::editDataSettings()
{
    FocusReturn focusReturn;
    if (!commandEnabled(CMainFrame::ID_DATA_SETTINGS)) return;
    CDataSettings::editDocument(*activeDocument(), &frame_);
}

void MainFrameHost::exportData()
{
    FocusReturn focusReturn;
    if (!commandEnabled(CMainFrame::ID_EXPORT_DATA)) return;
    DataCommands::exportData(*activeDocument(), ui_, DataCommands::dialogChooser(&frame_));
}

void MainFrameHost::exportFormat(int id)
{
    if (!commandEnabled(id)) return;
    ExportFormatCommands::exportScan(*activeDocument(),
                                     id == CMainFrame::ID_EXPORT_CSV ? ExportFormatCommands::Format::Csv
                                                                     : ExportFormatCommands::Format::Wav,
                                     ui_);
}

void MainFrameHost::copyData()
{
    if (!commandEnabled(CMainFrame::ID_COPY_DATA)) return;
    DataCommands::copyDataToClipboard(*activeDocument(), &frame_);
}

void MainFrameHost::showInputMeans(int input)
{
    if (!commandEnabled(input == 0 ? CMainFrame::ID_INPUT1_MEAN : CMainFrame::ID_INPUT2_MEAN)) return;
    DataCommands::showInputMeans(*activeDocument(), input, ui_);
}

void MainFrameHost::mute()
{
    if (!commandEnabled(CMainFrame::ID_MUTE)) return;
    if (CCorvelDoc* document = activeDocument()) document->MuteAlert();
}

void MainFrameHost::postProcess()
{
    FocusReturn focusReturn;
    if (!commandEnabled(CMainFrame::ID_POST_PROCESS)) return;
    RunPostProcess(*this, ui_, store_.defaultSettings().FilePath);
    refreshStatus();
}

// ---------------------------------------------------------------------------
// Documents and their windows

CChildFrame* MainFrameHost::addWindow(std::unique_ptr<CCorvelDoc> document, const QString& title)
{
    CChildFrame* child = frame_.addChildFrame(title);
    Entry& entry = documents_[child];
    entry.document = std::move(document);
    entry.untitledName = title;
    entry.window = qobject_cast<QMdiSubWindow*>(child->parentWidget());
    if (entry.window) entry.window->installEventFilter(this);
    child->attachDocument(entry.document.get());
    connect(child, &QObject::destroyed, this, [this, child] { windowDestroyed(child); });
    connect(child, &CChildFrame::passFailChanged, this, [this] { refreshStatus(); });
    return child;
}

void MainFrameHost::windowDestroyed(CChildFrame* child)
{
    // The frame has detached its views in its own destructor.
    const auto it = documents_.find(child);
    if (it == documents_.end()) return;
    if (control_) control_->documentClosed(it->second.document.get());
    documents_.erase(it);
    refreshStatus();
}

CChildFrame* MainFrameHost::frameOf(const CCorvelDoc* document) const
{
    for (const auto& [child, entry] : documents_)
        if (entry.document.get() == document) return const_cast<CChildFrame*>(child);
    return nullptr;
}

CCorvelDoc* MainFrameHost::documentOf(const CChildFrame* child) const
{
    const auto it = documents_.find(child);
    return it == documents_.end() ? nullptr : it->second.document.get();
}

CCorvelDoc* MainFrameHost::createDocument(const CScanConfiguration& configuration,
                                          const DefaultSettings& settings)
{
    auto document = std::make_unique<CCorvelDoc>(configuration, settings);
    CCorvelDoc* created = document.get();
    addWindow(std::move(document), tr("Scan %1").arg(++untitledCount_));
    refreshStatus();
    return created;
}

CCorvelDoc* MainFrameHost::activeDocument()
{
    return documentOf(frame_.activeChildFrame());
}

void MainFrameHost::enableDocumentClose(CCorvelDoc& document, bool enable)
{
    CChildFrame* child = frameOf(&document);
    if (!child) return;
    Entry& entry = documents_[child];
    entry.closeEnabled = enable;
    // The window's own menu greys Close as well.
    if (entry.window && entry.window->systemMenu())
        for (QAction* a : entry.window->systemMenu()->actions())
            if (a->shortcut() == QKeySequence(QKeySequence::Close) ||
                a->text().contains(QStringLiteral("Close")))
                a->setEnabled(enable);
}

bool MainFrameHost::documentCloseEnabled(const CCorvelDoc* document) const
{
    const CChildFrame* child = frameOf(document);
    return !child || documents_.at(child).closeEnabled;
}

void MainFrameHost::prepareScanViews(CCorvelDoc& document)
{
    if (CChildFrame* child = frameOf(&document)) child->prepareScanViews();
}

void MainFrameHost::closeMainWindow()
{
    QMetaObject::invokeMethod(&frame_, &QWidget::close, Qt::QueuedConnection);
}

void MainFrameHost::documentSaved(CCorvelDoc& document)
{
    if (!document.pathName().empty()) rememberRecentFile(document.pathName());
    refreshStatus();
}

bool MainFrameHost::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::Close) return QObject::eventFilter(watched, event);
    if (watched == &frame_) {
        if (!mainWindowCloseEnabled_) {
            // Exit, Ctrl+Q or the title bar during a scan: say why nothing happens.
            ui_.messageBox("A scan is running.\nStop it, or let it finish, before closing Tesselon-6.",
                           "Tesselon-6", platform::MB_OK_ | platform::MB_ICONINFORMATION_);
            event->ignore();
            return true;
        }
        if (!saveModifiedDocuments()) {
            event->ignore();
            return true;
        }
        return false;
    }
    for (auto& [child, entry] : documents_) {
        if (entry.window != watched) continue;
        bool keep = !entry.closeEnabled;
        if (!keep && entry.document->isModified()) keep = askToSaveChanges(entry) == platform::IDCANCEL_;
        if (keep) {
            event->ignore();
            return true;
        }
        return false;
    }
    return false;
}

void MainFrameHost::saveAs()
{
    if (!commandEnabled(CMainFrame::ID_FILE_SAVE_AS)) return;
    CCorvelDoc* document = activeDocument();
    if (document && saveDocumentAs(*document, true)) refreshStatus();
}

bool MainFrameHost::saveDocumentAs(CCorvelDoc& document, bool askForName)
{
    fs::path path = document.pathName();
    if (path.empty() || askForName) {
        UserInteraction::FileRequest request;
        request.save = true;
        request.defaultExtension = CCorvelDoc::kDefaultExtension;
        request.filter = CCorvelDoc::kFileFilter;
        request.initialFolder =
            path.empty() ? fs::path(store_.defaultSettings().FilePath) : path.parent_path();
        request.initialFileName = path.filename().string();
        request.overwritePrompt = true;
        path = ui_.chooseFile(request);
        if (path.empty()) return false;
    }
    if (!document.OnSaveDocument(path)) {
        ui_.messageBox("Cannot save the file " + path.string() + ".\n" + document.lastError(), "Tesselon-6",
                       platform::MB_OK_ | platform::MB_ICONERROR_);
        return false;
    }
    rememberRecentFile(path);
    return true;
}

bool MainFrameHost::saveModifiedDocuments()
{
    for (auto& [child, entry] : documents_) {
        if (!entry.document->isModified()) continue;
        const int answer = askToSaveChanges(entry);
        if (answer == platform::IDCANCEL_) return false;
        if (answer == platform::IDNO_) entry.document->setModified(false);
    }
    return true;
}

int MainFrameHost::askToSaveChanges(Entry& entry)
{
    const int answer =
        ui_.messageBox("Save changes to " + documentName(entry).toStdString() + "?", "Tesselon-6",
                       platform::MB_YESNOCANCEL_ | platform::MB_ICONEXCLAMATION_);
    if (answer == platform::IDYES_ && !saveDocumentAs(*entry.document)) return platform::IDCANCEL_;
    return answer;
}

void MainFrameHost::layoutPanes(CCorvelDoc& document)
{
    if (CChildFrame* child = frameOf(&document)) child->showLoadedDocument();
}

void MainFrameHost::closeDocument(CCorvelDoc& document)
{
    CChildFrame* child = frameOf(&document);
    if (!child) return;
    Entry& entry = documents_[child];
    entry.document->setModified(false);
    if (entry.window) {
        entry.window->close();
        // Gone before the next file opens, so no document is closed twice.
        delete entry.window;
    }
}

bool MainFrameHost::askOptions(PostProcessOptions& options)
{
    return optionsChooser_ ? optionsChooser_(options) : CPostProcessDlg::ask(options, &frame_);
}

// ---------------------------------------------------------------------------
// Recent files: "File1" … "File4" under the application's key, newest first.

void MainFrameHost::loadRecentFiles()
{
    QStringList files;
    platform::RegistryKey key;
    if (key.open(platform::RegistryRoot::CurrentUser, kRecentFilesKey, false) == 0)
        for (int i = 1; i <= CMainFrame::recentFileCount; ++i) {
            std::string value;
            if (key.queryString("File" + std::to_string(i), &value) == 0 && !value.empty())
                files << QString::fromStdString(value);
        }
    frame_.setRecentFiles(files);
}

void MainFrameHost::rememberRecentFile(const fs::path& path)
{
    std::error_code ec;
    const QString full = QString::fromStdString(fs::absolute(path, ec).string());
    QStringList files = frame_.recentFiles();
    files.removeAll(full);
    files.prepend(full);
    files = files.mid(0, CMainFrame::recentFileCount);
    frame_.setRecentFiles(files);
    platform::RegistryKey key;
    if (key.create(platform::RegistryRoot::CurrentUser, kRecentFilesKey) != 0) return;
    for (int i = 0; i < CMainFrame::recentFileCount; ++i) {
        const std::string name = "File" + std::to_string(i + 1);
        if (i < files.size())
            key.setString(name, files[i].toStdString());
        else
            key.deleteValue(name);
    }
}

// ---------------------------------------------------------------------------
// Timers, posted work and the scan thread's notices

void MainFrameHost::setTimer(int id, unsigned periodMs)
{
    QTimer*& timer = timers_[id];
    if (!timer) {
        timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, id] {
            // A tick during a pulse is skipped: the next one comes soon enough.
            if (control_ && pulsing_ == 0) control_->onTimer(id);
        });
    }
    timer->start(static_cast<int>(periodMs));
}

void MainFrameHost::killTimer(int id)
{
    const auto it = timers_.find(id);
    if (it != timers_.end()) it->second->stop();
}

bool MainFrameHost::timerRunning(int id) const
{
    const auto it = timers_.find(id);
    return it != timers_.end() && it->second->isActive();
}

void MainFrameHost::pumpMessages()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

void MainFrameHost::post(std::function<void()> action)
{
    queue(std::move(action));
}

void MainFrameHost::queue(std::function<void()> action)
{
    // Safe from any thread; dropped if this object is gone before it runs.
    QMetaObject::invokeMethod(
        this, [this, action = std::move(action)]() mutable { runQueued(std::move(action)); },
        Qt::QueuedConnection);
}

void MainFrameHost::runQueued(std::function<void()> action)
{
    // Posted while a long save or redraw lets the loop turn: it runs after that work.
    if (pulsing_ > 0) {
        queue(std::move(action));
        return;
    }
    action();
}

void MainFrameHost::dataReady()
{
    queue([this] {
        if (control_) control_->onDataReady();
    });
}

void MainFrameHost::scanComplete(bool instrumentFailed)
{
    queue([this, instrumentFailed] {
        if (!control_) return;
        control_->onScanComplete(instrumentFailed);
        if (instrumentFailed) releaseLostInstrument();
        refreshStatus();
    });
}

void MainFrameHost::saveRun(const std::string& fileName)
{
    queue([this, fileName] {
        if (control_) control_->onSaveRun(fileName);
    });
}

void MainFrameHost::armGraphTimer(unsigned periodMs)
{
    queue([this, periodMs] { setTimer(FrameServices::kGraphTimerId, periodMs); });
}

void MainFrameHost::killGraphTimer()
{
    queue([this] { killTimer(FrameServices::kGraphTimerId); });
}
