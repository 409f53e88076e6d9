#include "app/graphs/gui/CChildFrame.h"
#include "app/graphs/gui/CCorvelView.h"
#include "app/graphs/gui/CInputGroupDlg.h"
#include "app/graphs/gui/QcpChartControl.h"
#include "app/shell/gui/CMainFrame.h"
#include "testsupport/QtTestApp.h"
#include "common/platform/KnownFolders.h"
#include "common/platform/MessageBoxCodes.h"
#include "common/platform/Registry.h"

#include <QAction>
#include <QClipboard>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>

#include <cmath>
#include <map>
#include <vector>

namespace {

namespace platform = FenmarlCommonDLL::platform;

class MainFrameTest : public QtBoxTest
{
protected:
    static void fill(CCorvelView& view, int series, std::size_t points)
    {
        std::vector<std::string> labels{"x", "y", "z", "Total"};
        labels.resize(static_cast<std::size_t>(series));
        view.setUpGraph(labels, false);
        std::vector<double> x(points), y(points);
        for (int s = 0; s < series; ++s) {
            for (std::size_t i = 0; i < points; ++i) {
                x[i] = i * 0.001;
                y[i] = std::sin(i * 0.01 * (s + 1)) * (s + 1);
            }
            view.chart().setSeriesData(s, x.data(), y.data(), points);
        }
        view.chart().redraw();
    }
};

TEST_F(MainFrameTest, CommandsFollowTheScanWindowsAndTheScanThread)
{
    CMainFrame frame;
    for (int id : {CMainFrame::ID_FILE_PRINT, CMainFrame::ID_EXPORT_GRAPHICS, CMainFrame::ID_COPY_GRAPHICS,
                   CMainFrame::ID_FILE_CLOSE, CMainFrame::ID_CLOSE_ALL, CMainFrame::ID_WINDOW_TOP_TIME})
        EXPECT_FALSE(frame.action(id)->isEnabled()) << id;
    for (int id : {CMainFrame::ID_APP_ABOUT, CMainFrame::ID_SHOW_DEBUG_WINDOW, CMainFrame::ID_OPEN_LOG_FOLDER,
                   CMainFrame::ID_APP_EXIT})
        EXPECT_TRUE(frame.action(id)->isEnabled()) << id;
    // Not connected to the scan control: never offered.
    for (int id :
         {CMainFrame::ID_RUN, CMainFrame::ID_STOP, CMainFrame::ID_CONFIGURE, CMainFrame::ID_FILE_NEW})
        EXPECT_FALSE(frame.action(id)->isEnabled()) << id;

    frame.addChildFrame("Scan 1");
    for (int id :
         {CMainFrame::ID_FILE_PRINT, CMainFrame::ID_EXPORT_GRAPHICS, CMainFrame::ID_COPY_GRAPHICS,
          CMainFrame::ID_FILE_CLOSE, CMainFrame::ID_CLOSE_ALL, CMainFrame::ID_WINDOW_BOTTOM_FREQUENCY})
        EXPECT_TRUE(frame.action(id)->isEnabled()) << id;
    EXPECT_TRUE(frame.action(CMainFrame::ID_WINDOW_TOP_TIME)->isChecked());

    frame.setScanThreadActive(true);
    EXPECT_FALSE(frame.action(CMainFrame::ID_FILE_CLOSE)->isEnabled());
    EXPECT_FALSE(frame.action(CMainFrame::ID_CLOSE_ALL)->isEnabled());
    frame.action(CMainFrame::ID_CLOSE_ALL)->trigger();
    EXPECT_EQ(frame.mdiArea()->subWindowList().size(), 1);
    frame.setScanThreadActive(false);
    frame.action(CMainFrame::ID_CLOSE_ALL)->trigger();
    QCoreApplication::processEvents();
    EXPECT_TRUE(frame.mdiArea()->subWindowList().isEmpty());
    EXPECT_FALSE(frame.action(CMainFrame::ID_FILE_PRINT)->isEnabled());

    auto* bar = frame.findChild<QToolBar*>("Tool Bar");
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->windowTitle(), "Tool Bar");
    EXPECT_EQ(frame.action(CMainFrame::ID_RUN)->shortcut(), QKeySequence("F5"));
}

TEST_F(MainFrameTest, WindowMenuTogglesPanesAndTheirRowsCollapse)
{
    CMainFrame frame;
    CChildFrame* child = frame.addChildFrame("Scan");
    frame.action(CMainFrame::ID_WINDOW_TOP_FREQUENCY)->trigger();
    EXPECT_FALSE(child->isPaneShown(GraphTables::TopFrequency));
    EXPECT_FALSE(frame.action(CMainFrame::ID_WINDOW_TOP_FREQUENCY)->isChecked());
    EXPECT_TRUE(child->view(GraphTables::TopFrequency)->isHidden());
    frame.action(CMainFrame::ID_WINDOW_TOP_FREQUENCY)->trigger();
    EXPECT_TRUE(child->isPaneShown(GraphTables::TopFrequency));

    // Input 1 with both graphs, input 2 unused: the bottom row goes entirely.
    child->applyPaneLayout(GraphTables::panesForConfiguration(true, "Both", false, "Both"));
    EXPECT_TRUE(child->isPaneShown(GraphTables::TopTime));
    EXPECT_FALSE(child->isPaneShown(GraphTables::BottomTime));
    EXPECT_FALSE(child->isPaneShown(GraphTables::BottomFrequency));
    EXPECT_TRUE(child->rowSplitter(1)->isHidden());
    EXPECT_FALSE(frame.action(CMainFrame::ID_WINDOW_BOTTOM_TIME)->isChecked());
    child->applyPaneLayout(GraphTables::panesForConfiguration(true, "Time Domain", true, "Frequency Domain"));
    EXPECT_EQ((std::array<bool, 4>{child->isPaneShown(0), child->isPaneShown(1), child->isPaneShown(2),
                                   child->isPaneShown(3)}),
              (std::array<bool, 4>{true, false, false, true}));
    EXPECT_FALSE(child->rowSplitter(1)->isHidden());
}

TEST_F(MainFrameTest, StatusBarHasEightPanesAndColoursPassAndFail)
{
    CMainFrame frame;
    const auto labels = frame.statusBar()->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly);
    EXPECT_EQ(labels.size(), 8);
    EXPECT_EQ(frame.paneText(CMainFrame::scanStatusPane), "Idle");
    EXPECT_EQ(frame.paneText(CMainFrame::input1Pane), "Input1 Off");
    EXPECT_EQ(frame.paneText(CMainFrame::input2Pane), "Input2 Off");
    frame.setPassFail("Fail Input 1 Time", false);
    EXPECT_EQ(frame.passFailColour(), QColor(255, 0, 0));
    EXPECT_EQ(frame.paneText(CMainFrame::passFailPane), "Fail Input 1 Time");
    frame.setPassFail("Pass", true);
    EXPECT_EQ(frame.passFailColour(), QColor(0, 255, 0));
    auto* pane =
        frame.statusBar()->findChild<QLabel*>(QStringLiteral("pane%1").arg(CMainFrame::passFailPane));
    ASSERT_NE(pane, nullptr);
    EXPECT_EQ(pane->palette().color(QPalette::Window), QColor(0, 255, 0));

    // The cursor of the active scan window reports into the readout panes.
    CChildFrame* child = frame.addChildFrame("Scan");
    emit child->view(0)->readoutsChanged("X = 1.5", "Y = -2");
    EXPECT_EQ(frame.paneText(CMainFrame::xReadoutPane), "X = 1.5");
    EXPECT_EQ(frame.paneText(CMainFrame::yReadoutPane), "Y = -2");
    emit child->view(3)->cursorGraphChanged(child->view(3)->name());
    EXPECT_EQ(frame.paneText(CMainFrame::graphNamePane), "Bottom Frequency");
    emit child->view(0)->readoutsCleared();
    EXPECT_TRUE(frame.paneText(CMainFrame::xReadoutPane).isEmpty());
    EXPECT_TRUE(frame.paneText(CMainFrame::graphNamePane).isEmpty());
}

TEST_F(MainFrameTest, PlacementIsMaximisedFirstAndRestoredAfterwards)
{
    const auto bytes = CMainFrame::encodePlacement({1, 10, 20, 810, 620});
    ASSERT_EQ(bytes.size(), 44u);
    EXPECT_EQ(bytes[0], 44);
    EXPECT_EQ(bytes[8], 1);
    const auto back = CMainFrame::decodePlacement(bytes.data(), bytes.size());
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->right, 810);
    EXPECT_FALSE(CMainFrame::decodePlacement(bytes.data(), 40).has_value());
    const auto tiny = CMainFrame::encodePlacement({1, 0, 0, 5, 5});
    EXPECT_FALSE(CMainFrame::decodePlacement(tiny.data(), tiny.size()).has_value());

    {
        CMainFrame first;
        first.showFirstTime();
        EXPECT_TRUE(first.isMaximized() || first.windowState().testFlag(Qt::WindowMaximized));
        first.showNormal();
        first.setGeometry(40, 50, 700, 500);
        first.close();
    }
    platform::RegistryKey key;
    ASSERT_EQ(key.open(platform::RegistryRoot::CurrentUser, CMainFrame::placementKey, false), 0u);
    std::array<std::uint8_t, 44> stored{};
    ASSERT_EQ(key.queryBinary(CMainFrame::placementValue, stored.data(), stored.size()), 0u);
    const auto saved = CMainFrame::decodePlacement(stored.data(), stored.size());
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(saved->right - saved->left, 700);
    EXPECT_EQ(saved->bottom - saved->top, 500);

    CMainFrame second;
    second.showFirstTime();
    EXPECT_FALSE(second.isMaximized());
    EXPECT_EQ(second.geometry().size(), QSize(700, 500));
}

TEST_F(MainFrameTest, GraphCommandsActOnTheChosenGraph)
{
    CMainFrame frame;
    frame.resize(1000, 700);
    frame.show();
    CChildFrame* child = frame.addChildFrame("Scan");
    for (int kind = 0; kind < 4; ++kind)
        fill(*child->view(kind), 3, 500);
    child->setInputsInUse(true, false);
    std::vector<int> offered;
    child->setGraphChooser([&](bool use1, bool use2) {
        CInputGroupDlg dialog(use1, use2);
        offered.push_back(dialog.entryCount());
        dialog.selectRow(1);
        return dialog.chosenPane();
    });
    child->setImageSizeChooser([](int* h, int* w) {
        *h = 200;
        *w = 350;
        return true;
    });
    frame.action(CMainFrame::ID_COPY_GRAPHICS)->trigger();
    EXPECT_EQ(offered, (std::vector<int>{2}));
    EXPECT_EQ(QGuiApplication::clipboard()->image().size(), QSize(350, 200));

    child->setImageSizeChooser([](int*, int*) { return false; });
    EXPECT_FALSE(child->copyGraphics());
    child->setGraphChooser([](bool, bool) { return -1; });
    EXPECT_FALSE(child->copyGraphics());
    EXPECT_FALSE(child->printGraph());
}

TEST_F(MainFrameTest, GraphPopupFollowsTheSeries)
{
    CCorvelView view(GraphTables::TopTime);
    fill(view, 3, 100);
    std::unique_ptr<QMenu> menu(view.createGraphPopup(nullptr));
    auto find = [&](const QString& text) -> QAction* {
        for (QAction* a : menu->actions())
            if (a->text() == text) return a;
        return nullptr;
    };
    ASSERT_NE(find("Show Total Field"), nullptr);
    EXPECT_FALSE(find("Show Total Field")->isEnabled());
    EXPECT_TRUE(find("Show X")->isChecked());
    EXPECT_FALSE(find("Undo Zoom")->isEnabled());

    find("Show X")->trigger();
    EXPECT_FALSE(view.chart().isSeriesVisible(0));
    EXPECT_TRUE(view.chart().isSeriesVisible(1)); // only its own component
    EXPECT_FALSE(view.chart().isCustomMenuChecked(CCorvelView::CustomX));

    fill(view, 4, 100);
    view.chart().setSeriesVisible(0, false);
    view.chart().setSeriesVisible(1, false);
    view.chart().setSeriesVisible(2, false);
    menu.reset(view.createGraphPopup(nullptr));
    EXPECT_TRUE(find("Show Total Field")->isEnabled());
    EXPECT_TRUE(find("Show Total Field")->isChecked());
    find("Show Cursor")->trigger();
    EXPECT_TRUE(boxes.empty()); // the total is still visible
    find("Show Total Field")->trigger();
    EXPECT_FALSE(view.chart().isSeriesVisible(3));
    view.runCommand(CCorvelView::ID_SHOW_CURSOR);
    EXPECT_EQ(boxes, (std::vector<std::string>{"Show Cursor|There are no active data sets"}));
}

TEST_F(MainFrameTest, ChartMenuEntriesToggleSeriesAndResetSavesTheGraph)
{
    CCorvelView view(GraphTables::BottomFrequency);
    fill(view, 4, 50);
    view.setLimitLinesShown(false);
    emit view.chart().customMenuClicked(0); // separators do nothing
    std::unique_ptr<QMenu> menu(view.chart().createPopupMenu(nullptr));
    QAction* y = nullptr;
    QAction* reset = nullptr;
    for (QAction* a : menu->actions()) {
        if (a->text() == "Y") y = a;
        if (a->text() == "Reset Graph Settings") reset = a;
    }
    ASSERT_TRUE(y && reset);
    EXPECT_TRUE(y->isChecked());
    y->trigger();
    EXPECT_FALSE(view.chart().isSeriesVisible(1));
    EXPECT_FALSE(view.chart().isCustomMenuChecked(CCorvelView::CustomY));

    // Reset goes back to the defaults and saves to the remembered file.
    const auto folder = platform::applicationDataFolder() / "Tesselon";
    std::filesystem::create_directories(folder);
    GraphSettingsStore::loadGraph(view.persistedGraph(), "BottomFrequency");
    view.chart().setDisplaySetting(ChartControl::Background, 2);
    reset->trigger();
    EXPECT_EQ(view.chart().displaySetting(ChartControl::Background), 0);
    EXPECT_EQ(std::filesystem::file_size(folder / "Tesselon_GraphSettings_2024_BottomFrequency.bin"), 40u);
}

} // namespace

namespace {

// Saves a picture of a window when TESSELON_SCREENSHOT_DIR names a folder.
void keepPicture(QWidget& widget, const char* name)
{
    if (const char* dir = std::getenv("TESSELON_SCREENSHOT_DIR"))
        widget.grab().save(QString::fromLocal8Bit(dir) + "/" + name + ".png");
}

int countColour(const QImage& image, QColor wanted)
{
    int n = 0;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - wanted.red()) < 70 && std::abs(c.green() - wanted.green()) < 70 &&
                std::abs(c.blue() - wanted.blue()) < 70)
                ++n;
        }
    return n;
}

TEST_F(MainFrameTest, ScanWindowDrawsFourTitledGraphs)
{
    CMainFrame frame;
    frame.resize(1280, 860);
    frame.show();
    CChildFrame* child = frame.addChildFrame("Data_20240307_101500.ts6");
    const GraphTables::TitleSettings titles{"Input 1 Time Domain", "Input 1 Frequency Domain",
                                            "Input 2 Time Domain", "Input 2 Frequency Domain",
                                            "Input 2 - Input 1",   "Input 2 - Input 1"};
    for (int kind = 0; kind < 4; ++kind) {
        CCorvelView& view = *child->view(kind);
        const bool spectrum = GraphTables::isSpectrum(kind);
        fill(view, 4, spectrum ? 1024 : 4000);
        view.chart().setTitle(
            GraphTables::graphTitle(kind, titles, false, true, "Magnetometer", "Accelerometer"));
        view.chart().setXAxisTitle(GraphTables::xAxisTitle(spectrum));
        view.chart().setYAxisTitle(
            GraphTables::yAxisTitle(kind < 2 ? "Magnetometer" : "Accelerometer", 0, 1, spectrum, 1));
        view.chart().redraw();
    }
    frame.setPassFail("Pass", true);
    frame.setPaneText(CMainFrame::input1Pane, "Input1 On");
    frame.setPaneText(CMainFrame::input2Pane, "Input2 On");
    QCoreApplication::processEvents();
    const QImage picture = child->grab().toImage();
    keepPicture(frame, "main_frame");
    EXPECT_GT(picture.width(), 600);
    // Each series' colour shows up, so the curves were drawn.
    EXPECT_GT(countColour(picture, QColor(255, 0, 0)), 100);
    EXPECT_GT(countColour(picture, QColor(0, 0, 255)), 100);
    EXPECT_GT(countColour(picture, QColor(0, 153, 0)), 100);
    EXPECT_EQ(child->view(2)->chart().yAxisTitle(), "Vibration (mg)");
}

TEST_F(MainFrameTest, StatusPanesKeepFixedWidthsOnOneLineAt1024PixelsAndClearWithTheirWindow)
{
    CMainFrame frame;
    frame.resize(1024, 700);
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    QStatusBar* bar = frame.statusBar();
    const int oneLine = bar->height();
    const std::vector<int> fixed(CMainFrame::paneIds.begin() + 1, CMainFrame::paneIds.end());
    std::map<int, int> widths;
    for (int id : fixed)
        widths[id] = frame.pane(id)->width();

    frame.setPaneText(CMainFrame::scanStatusPane, "Sample 700000 of 700000, Average 1000 of 1000");
    frame.setPaneText(CMainFrame::input1Pane, "Input1 On");
    frame.setPaneText(CMainFrame::input2Pane, "Input2 Off");
    frame.setPaneText(0, "Ready");
    frame.setPassFail("Fail\nInput 1 Time\nInput 1 Frequency\nInput 2 Time\nInput 2 Frequency", false);
    QCoreApplication::processEvents();
    keepPicture(*bar, "status_bar_1024_fail");

    // Neither the texts nor a long failure move a pane, overlap one or add a line.
    EXPECT_EQ(bar->height(), oneLine);
    int previousRight = -1;
    for (int id : fixed) {
        QLabel* pane = frame.pane(id);
        EXPECT_EQ(pane->width(), widths[id]) << id;
        EXPECT_FALSE(pane->text().contains(QLatin1Char('\n'))) << id;
        EXPECT_GE(pane->x(), previousRight) << "pane " << id << " overlaps its left neighbour";
        EXPECT_LE(pane->x() + pane->width(), bar->width()) << id;
        previousRight = pane->x() + pane->width();
    }
    EXPECT_TRUE(frame.pane(CMainFrame::passFailPane)->text().startsWith("Fail Input 1 Time"));
    EXPECT_TRUE(frame.pane(CMainFrame::passFailPane)->toolTip().contains("Input 2 Frequency"))
        << "the whole result is in the tip";
    EXPECT_EQ(frame.paneText(CMainFrame::scanStatusPane), "Sample 700000 of 700000, Average 1000 of 1000");

    // The result and the cursor readouts go with the window they belong to.
    CChildFrame* child = frame.addChildFrame("Scan 1");
    emit child->readoutsChanged("X = 1.0", "Y = 2.0");
    emit child->cursorGraphChanged("Top Time");
    EXPECT_EQ(frame.paneText(CMainFrame::xReadoutPane), "X = 1.0");
    frame.mdiArea()->closeAllSubWindows();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    for (int id : {CMainFrame::xReadoutPane, CMainFrame::yReadoutPane, CMainFrame::graphNamePane})
        EXPECT_TRUE(frame.paneText(id).isEmpty()) << id;
    frame.setPaneText(CMainFrame::passFailPane, QString());
    EXPECT_FALSE(frame.pane(CMainFrame::passFailPane)->autoFillBackground())
        << "no red pane without a result";
}

TEST_F(MainFrameTest, ARestoredWindowKeepsItsTitleBarOnTheScreen)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    const QRect available = screen->availableGeometry();
    const auto bytes = CMainFrame::encodePlacement(
        {1, available.left() + 40, available.top() - 300, available.left() + 840, available.top() + 300});
    platform::RegistryKey key;
    ASSERT_EQ(key.create(platform::RegistryRoot::CurrentUser, CMainFrame::placementKey), 0u);
    ASSERT_EQ(key.setBinary(CMainFrame::placementValue, bytes.data(), bytes.size()), 0u);

    CMainFrame frame;
    frame.showFirstTime();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    EXPECT_GE(frame.frameGeometry().top(), available.top());
    EXPECT_EQ(frame.width(), 800);
    EXPECT_TRUE(available.contains(frame.frameGeometry().topLeft()));
}

} // namespace

TEST_F(MainFrameTest, SaveAsAndTheHiddenRepeatTestHaveTheirDocumentedKeys)
{
    CMainFrame frame;
    EXPECT_EQ(frame.action(CMainFrame::ID_FILE_SAVE_AS)->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+S")));
    EXPECT_EQ(frame.action(CMainFrame::ID_REPEAT_TEST)->shortcut(),
              QKeySequence(QStringLiteral("Ctrl+Alt+Shift+T")));
    EXPECT_EQ(frame.action(CMainFrame::ID_REPEAT_TEST_2)->shortcut(),
              QKeySequence(QStringLiteral("Ctrl+Alt+Shift+R")));
    // The repeat test is no menu's entry, but its keys reach it through the window.
    for (QMenu* menu : frame.findChildren<QMenu*>())
        for (QAction* a : menu->actions())
            EXPECT_NE(a->data().toInt(), CMainFrame::ID_REPEAT_TEST) << menu->title().toStdString();
    EXPECT_TRUE(frame.actions().contains(frame.action(CMainFrame::ID_REPEAT_TEST)));
    EXPECT_TRUE(frame.actions().contains(frame.action(CMainFrame::ID_REPEAT_TEST_2)));
    // Every key bound twice would reach neither command.
    std::map<QString, int> bound;
    for (QAction* a : frame.findChildren<QAction*>())
        if (!a->shortcut().isEmpty()) ++bound[a->shortcut().toString()];
    for (const auto& [keys, count] : bound)
        EXPECT_EQ(count, 1) << keys.toStdString();
}
