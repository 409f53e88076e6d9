#pragma once

#include "app/shell/CommandRules.h"

#include <QMainWindow>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>

class CChildFrame;
class QLabel;
class QMdiArea;
class QMdiSubWindow;

// The main window: menus, tool bar, status bar and the scan windows.
class CMainFrame : public QMainWindow
{
    Q_OBJECT

public:
    // Command identifiers, as the menus and the scan control know them: the command table's.
    enum Command {
        ID_FILE_NEW = CommandRules::Id::FileNew,
        ID_FILE_OPEN = CommandRules::Id::FileOpen,
        ID_FILE_CLOSE = CommandRules::Id::FileClose,
        ID_FILE_SAVE_AS = CommandRules::Id::FileSaveAs,
        ID_FILE_PRINT = CommandRules::Id::FilePrint,
        ID_FILE_MRU_FIRST = CommandRules::Id::FileMruFirst,
        ID_APP_ABOUT = CommandRules::Id::AppAbout,
        ID_APP_EXIT = CommandRules::Id::AppExit,
        ID_VIEW_TOOLBAR = CommandRules::Id::ViewToolBar,
        ID_VIEW_STATUS_BAR = CommandRules::Id::ViewStatusBar,
        ID_WINDOW_CASCADE = CommandRules::Id::WindowCascade,
        ID_WINDOW_TILE = CommandRules::Id::WindowTile,
        ID_PROPERTIES = CommandRules::Id::Properties,
        ID_CONFIGURE = CommandRules::Id::Configure,
        ID_RUN = CommandRules::Id::Run,
        ID_STOP = CommandRules::Id::Stop,
        ID_DETECT_INSTRUMENTS = CommandRules::Id::DetectInstruments,
        ID_WINDOW_TOP_TIME = CommandRules::Id::WindowTopTime,
        ID_WINDOW_TOP_FREQUENCY = CommandRules::Id::WindowTopFrequency,
        ID_WINDOW_BOTTOM_TIME = CommandRules::Id::WindowBottomTime,
        ID_WINDOW_BOTTOM_FREQUENCY = CommandRules::Id::WindowBottomFrequency,
        ID_EXPORT_GRAPHICS = CommandRules::Id::ExportGraphics,
        ID_EXPORT_DATA = CommandRules::Id::ExportData,
        ID_CLOSE_ALL = CommandRules::Id::CloseAll,
        ID_COPY_GRAPHICS = CommandRules::Id::CopyGraphics,
        ID_COPY_DATA = CommandRules::Id::CopyData,
        ID_DATA_SETTINGS = CommandRules::Id::DataSettings,
        ID_MUTE = CommandRules::Id::Mute,
        ID_INPUT1_MEAN = CommandRules::Id::Input1Mean,
        ID_INPUT2_MEAN = CommandRules::Id::Input2Mean,
        ID_POST_PROCESS = CommandRules::Id::PostProcess,
        ID_SHOW_DEBUG_WINDOW = CommandRules::Id::ShowDebugWindow,
        ID_OPEN_LOG_FOLDER = CommandRules::Id::OpenLogFolder,
        // The repeat test: no menu entry, reached by its keys only.
        ID_REPEAT_TEST = CommandRules::Id::RepeatTest,
        ID_REPEAT_TEST_2 = CommandRules::Id::RepeatTest2,
        // File > Export beside "Data": the whole scan for other tools.
        ID_EXPORT_CSV = CommandRules::Id::ExportCsv,
        ID_EXPORT_WAV = CommandRules::Id::ExportWav,
    };
    static constexpr int recentFileCount = CommandRules::Id::RecentFileCount;

    // Status bar pane ids (the panes' resource ids).
    static constexpr int scanStatusPane = 61446; // progress of the scan, or "Idle"
    static constexpr int input1Pane = 61447;     // "Input1 On" / "Input1 Off"
    static constexpr int input2Pane = 61448;
    static constexpr int xReadoutPane = 61449; // cursor position in the active graph
    static constexpr int yReadoutPane = 61450;
    static constexpr int graphNamePane = 61451; // the graph under the cursor
    static constexpr int passFailPane = 61452;
    // Status bar panes, left to right (0: the message pane).
    static constexpr std::array<int, 8> paneIds{
        0, xReadoutPane, yReadoutPane, graphNamePane, passFailPane, scanStatusPane, input1Pane, input2Pane};

    // The placement record kept between runs.
    static constexpr const char* placementKey = "Software\\Fenmarl\\Tesselon-6\\Tesselon6_MainFrame";
    static constexpr const char* placementValue = "WindowSizeAndPositionValues";
    static constexpr std::size_t placementSize = 44;
    struct Placement
    {
        int showCommand = 1; // 1 normal, 2 minimised, 3 maximised
        int left = 0, top = 0, right = 0, bottom = 0;
    };
    static std::array<std::uint8_t, placementSize> encodePlacement(const Placement& placement);
    // Rejects records of the wrong length or with an unusable rectangle.
    static std::optional<Placement> decodePlacement(const std::uint8_t* data, std::size_t size);

    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    QAction* action(int id) const;
    QMdiArea* mdiArea() const { return mdi_; }
    CChildFrame* activeChildFrame() const;
    // A new scan window, made the active one.
    CChildFrame* addChildFrame(const QString& title);

    // The text given to a pane; it shows on one line, cut short with "…" when it does not fit.
    QString paneText(int paneId) const;
    void setPaneText(int paneId, const QString& text);
    // The pane as shown (tests, screenshots).
    QLabel* pane(int paneId) const { return panes_.count(paneId) ? panes_.at(paneId) : nullptr; }
    // Empties the cursor panes (X, Y and the graph's name).
    void clearReadouts();
    // Pass/fail pane: red for a failure, green for a pass.
    void setPassFail(const QString& text, bool pass);
    QColor passFailColour() const;

    // Facts the command rules depend on; the scan control reports them.
    void setInstrumentOpen(bool open);
    void setScanThreadActive(bool active);
    bool instrumentOpen() const { return instrumentOpen_; }
    bool scanThreadActive() const { return scanThreadActive_; }
    // Every action's state from the command table (CommandRules).
    void updateCommandStates();
    // Adds what the scan control and the documents know to the table's facts;
    // without it the scan, document and data commands stay disabled.
    using FactsProvider = std::function<void(CommandRules::Facts& facts)>;
    void setFactsProvider(FactsProvider provider);
    // The facts the menus and tool bar are decided from now.
    CommandRules::Facts commandFacts() const;
    // Asked before Close All closes the scan windows (saving modified ones); false keeps them.
    void setCloseAllGuard(std::function<bool()> guard) { closeAllGuard_ = std::move(guard); }
    // The recent-file entries, newest first (at most recentFileCount).
    void setRecentFiles(const QStringList& files);
    QStringList recentFiles() const { return recentFiles_; }

    // Restores the saved placement the first time the window is shown; maximised without one.
    void showFirstTime();
    void savePlacement();

signals:
    void showDebugWindowRequested();
    void recentFileChosen(const QString& path);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QAction* addCommand(QMenu* menu, int id, const QString& text, const QKeySequence& shortcut = {});
    void buildMenus();
    void buildToolBar();
    void buildStatusBar();
    void windowPaneToggled(int kind);
    void showAbout();
    void openLogFolder();
    void closeAll();

    QMdiArea* mdi_ = nullptr;
    std::map<int, QAction*> actions_;
    std::map<int, QLabel*> panes_;
    std::map<int, QString> fullTexts_;
    bool instrumentOpen_ = false;
    bool scanThreadActive_ = false;
    bool placementRestored_ = false;
    bool passed_ = true;
    FactsProvider factsProvider_;
    std::function<bool()> closeAllGuard_;
    QStringList recentFiles_;
    // Context of every connection that calls back into this object; destroyed first.
    std::unique_ptr<QObject> alive_ = std::make_unique<QObject>();
};
