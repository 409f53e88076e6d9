#include "app/acquisition/tests/ScanThreadTestSupport.h"
#include "app/settings/ScanConfigurationStore.h"
#include "app/settings/gui/CDefaultsSheet.h"
#include "app/acquisition/InstrumentSetup.h"
#include "app/shell/gui/CMainFrame.h"
#include "app/shell/gui/CProgressDlg.h"
#include "app/shell/gui/MainFrameHost.h"
#include "app/shell/gui/QtUserInteraction.h"
#include "app/shell/gui/tests/HostedFrameTest.h"
#include "testsupport/QtTestApp.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include <filesystem>
#include <set>

using namespace ScanTest;
namespace fs = std::filesystem;

namespace {

// Counts paint events of the widgets inside the progress window.
class PaintCounter : public QObject
{
public:
    int paints = 0;
    bool counting = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (counting && event->type() == QEvent::Paint) {
            for (QObject* o = watched; o; o = o->parent())
                if (qobject_cast<CProgressDlg*>(o)) {
                    ++paints;
                    break;
                }
        }
        return false;
    }
};

class ZeroingAndFocusTest : public HostedFrameTest<QtUserInteraction>
{
protected:
    void SetUp() override
    {
        instrument = plugInstrument();
        const fs::path folder = fs::path(scratchFolder()) / "zeroing";
        fs::create_directories(folder);
        makeStore(folder);
        store->defaultSettings().ZeroAndStabilise = 1;
        store->defaultSettings().ScanOnExit = 0;
        showFrame(1100, 700);
        frame->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
        ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    }

    void TearDown() override
    {
        host.reset();
        frame.reset();
        CloseDevice();
    }
};

} // namespace

TEST_F(ZeroingAndFocusTest, ZeroingWindowPaintsAndAnimatesWhileTheDriverWaitsAndTheMainWindowTakesNoInput)
{
    QToolBar* bar = frame->findChild<QToolBar*>(QStringLiteral("Tool Bar"));
    ASSERT_NE(bar, nullptr);
    QWidget* newButton = bar->widgetForAction(frame->action(CMainFrame::ID_FILE_NEW));
    ASSERT_NE(newButton, nullptr);
    int newTriggered = 0;
    QObject::connect(frame->action(CMainFrame::ID_FILE_NEW), &QAction::triggered, [&] { ++newTriggered; });

    PaintCounter counter;
    qApp->installEventFilter(&counter);
    bool waiting = false;
    int samples = 0;
    std::set<int> steps;
    QStringList linesSeen;
    bool clicked = false;
    bool modalInFront = false;
    QTimer sampler;
    sampler.setInterval(20);
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        if (!waiting) return;
        CProgressDlg* dlg = ui.progressDialog();
        if (!dlg || !dlg->isVisible()) return;
        ++samples;
        steps.insert(dlg->animation()->step());
        linesSeen << dlg->firstLine() + QLatin1Char('|') + dlg->secondLine();
        modalInFront = QApplication::activeModalWidget() == dlg;
        if (!clicked) {
            clicked = true;
            // Input meant for the main window while the driver waits is dropped, not queued.
            QTest::mouseClick(frame->windowHandle(), Qt::LeftButton, {},
                              newButton->mapTo(frame.get(), newButton->rect().center()));
            QTest::keyClick(frame->windowHandle(), Qt::Key_N, Qt::ControlModifier);
        }
    });
    sampler.start();

    waiting = true;
    counter.counting = true;
    ZeroInstrument(ui, store->scanConfiguration(), [this] { host->pumpMessages(); });
    counter.counting = false;
    waiting = false;
    sampler.stop();
    qApp->removeEventFilter(&counter);

    // The driver's pauses dispatch the UI thread's events: the timers ran during Reset.
    EXPECT_GE(samples, 2);
    EXPECT_GE(steps.size(), 2u) << "the animation turned while the driver waited";
    EXPECT_GT(counter.paints, 0) << "the progress window painted during the wait";
    ASSERT_FALSE(linesSeen.isEmpty());
    for (const QString& lines : linesSeen)
        EXPECT_EQ(lines, QStringLiteral("Zeroing sensor|Please wait 2 seconds"));
    EXPECT_TRUE(modalInFront);
    EXPECT_TRUE(clicked);

    // Nothing that was clicked or typed during the wait acts afterwards.
    QTest::qWait(50);
    EXPECT_EQ(newTriggered, 0);
    EXPECT_EQ(host->documentCount(), 0u);
    EXPECT_FALSE(ui.progressDialog()->isVisible());
    // The main window takes input again.
    QTest::keyClick(frame->windowHandle(), Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(newTriggered, 1);
}

TEST_F(ZeroingAndFocusTest, KeyboardFocusComesBackAfterTheSettingsSheetAndZeroing)
{
    host->newDocument();
    QWidget* focused = frame->mdiArea()->activeSubWindow();
    ASSERT_NE(focused, nullptr);
    focused->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() != nullptr; }));
    QWidget* before = QApplication::focusWidget();

    bool sheetShown = false;
    QTimer::singleShot(0, [&] {
        auto* sheet = qobject_cast<CDefaultsSheet*>(QApplication::activeModalWidget());
        sheetShown = sheet != nullptr;
        if (sheet) sheet->accept();
    });
    host->configure();
    ASSERT_TRUE(sheetShown);

    EXPECT_TRUE(QTest::qWaitFor([&] { return frame->isActiveWindow(); }))
        << "the main window is active again";
    EXPECT_EQ(QApplication::focusWidget(), before);

    // F7 (Configure) reaches the main window's shortcuts without a click first.
    bool reopened = false;
    QTimer::singleShot(0, [&] {
        auto* sheet = qobject_cast<CDefaultsSheet*>(QApplication::activeModalWidget());
        reopened = sheet != nullptr;
        if (sheet) sheet->reject();
    });
    QTest::keyClick(frame->windowHandle(), Qt::Key_F7);
    EXPECT_TRUE(reopened);
    EXPECT_TRUE(QTest::qWaitFor([&] { return frame->isActiveWindow(); }));
    EXPECT_EQ(QApplication::focusWidget(), before);
}
