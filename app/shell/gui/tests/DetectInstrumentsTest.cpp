#include "app/acquisition/tests/ScanThreadTestSupport.h"

#include "app/settings/ScanConfigurationStore.h"
#include "app/shell/InstrumentDetection.h"
#include "app/shell/gui/CDetectInstruments.h"
#include "app/shell/gui/CProgressDlg.h"
#include "app/shell/gui/QtUserInteraction.h"
#include "testsupport/QtTestApp.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QtCore/qtestsupport_core.h>

#include <cstdlib>

using namespace ScanTest;
namespace hooks = FenmarlCommonDLL::platform;

namespace {

constexpr int kWaitMs = 10000;

FenmarlUsb::InstrumentConfig named(const std::string& product)
{
    auto config = instrumentConfig();
    config.product = product;
    return config;
}

QStringList rows(const QListWidget& list)
{
    QStringList texts;
    for (int i = 0; i < list.count(); ++i)
        texts << list.item(i)->text();
    return texts;
}

// Folder for pictures of the windows, when asked for.
const char* shotsFolder()
{
    const char* dir = std::getenv("TESSELON_GUI_SHOTS");
    return dir ? dir : std::getenv("TESSELON_SCREENSHOT_DIR");
}

// Records each progress dialog as it appears, since it is gone again once OK returns.
class ProgressWatcher : public QObject
{
public:
    QStringList seen;

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        auto* p = qobject_cast<CProgressDlg*>(object);
        if (p && event->type() == QEvent::Show)
            seen << QStringList{p->windowTitle(), p->firstLine(), p->secondLine(),
                                p->barVisible() ? "bar" : "animation"}
                        .join('|');
        return QObject::eventFilter(object, event);
    }
};

class DetectInstrumentsTest : public QtTest
{
protected:
    void SetUp() override
    {
        store = std::make_unique<ScanConfigurationStore>(ui, CommandLineSwitches{});
        store->defaultSettings().ZeroAndStabilise = 0;
        store->scanConfiguration().UseInput1 = 1;
        store->scanConfiguration().UseInput2 = 0;
        store->scanConfiguration().Input1Mode = "Magnetometer";
        store->scanConfiguration().Input1HPFilter = 0;
        ui.setAnswerer([this](const std::string& text, const std::string& caption, unsigned flags) {
            boxes.push_back(caption + "|" + text + "|" + std::to_string(flags));
            return hooks::IDOK_;
        });
    }
    void TearDown() override { CloseDevice(); }

    QtUserInteraction ui{nullptr};
    std::unique_ptr<ScanConfigurationStore> store;
    std::vector<std::string> boxes;
};

TEST_F(DetectInstrumentsTest, ListFollowsInstrumentsPluggedInAndRemovedWhileOpen)
{
    auto plugged = plugInstruments({named("TS6A")}, false);
    InstrumentDetection detection(ui, *store, false);
    CDetectInstruments dialog(detection, nullptr);
    EXPECT_EQ(dialog.windowTitle(), "Available Instruments");
    EXPECT_EQ(dialog.list()->count(), 0) << "no search before the dialog is shown";

    dialog.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.list()->count() == 1; }, kWaitMs));
    EXPECT_EQ(rows(*dialog.list()), QStringList{"TS6A"});
    EXPECT_EQ(dialog.status()->text(), "1 Device(s) Found...");
    EXPECT_EQ(dialog.list()->currentRow(), 0);
    EXPECT_TRUE(dialog.okButton()->isEnabled());

    if (const char* dir = shotsFolder())
        dialog.grab().save(QString::fromLocal8Bit(dir) + "/CDetectInstruments.png");

    auto second = std::make_shared<FenmarlUsb::Instrument>(named("TS6B"));
    FenmarlUsb::SimulatedBus::instance().plug(second);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.list()->count() == 2; }, kWaitMs))
        << dialog.status()->text().toStdString();
    EXPECT_EQ(rows(*dialog.list()), (QStringList{"TS6A", "TS6B"}));
    EXPECT_EQ(dialog.status()->text(), "2 Device(s) Found...");

    auto& bus = FenmarlUsb::SimulatedBus::instance();
    bus.unplug(second->path());
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.list()->count() == 1; }, kWaitMs));
    EXPECT_EQ(rows(*dialog.list()), QStringList{"TS6A"});
    bus.unplug(plugged[0]->path());
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.status()->text() == "No Devices Found"; }, kWaitMs));
    EXPECT_EQ(dialog.list()->count(), 0);
    EXPECT_EQ(dialog.list()->currentRow(), -1);
    EXPECT_TRUE(dialog.okButton()->isEnabled()) << "OK stays usable with nothing found";
}

TEST_F(DetectInstrumentsTest, OkOpensTheSelectedInstrumentAndZeroesItBehindTheProgressWindow)
{
    store->defaultSettings().ZeroAndStabilise = 1;
    auto plugged = plugInstruments({named("TS6A"), named("TS6B")}, false);
    InstrumentDetection detection(ui, *store, false);
    QWidget frame;
    frame.show();
    ui.setOwner(&frame);
    CDetectInstruments dialog(detection, &frame);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.list()->count() == 2; }, kWaitMs));

    dialog.list()->setCurrentRow(1);
    EXPECT_EQ(detection.selection(), 1);
    for (auto& instrument : plugged)
        instrument->clearControlRequests();
    ProgressWatcher watcher;
    qApp->installEventFilter(&watcher);
    dialog.okButton()->click();
    qApp->removeEventFilter(&watcher);

    EXPECT_TRUE(dialog.connected());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(IsDeviceOpen());
    EXPECT_TRUE(plugged[0]->controlRequests().empty()) << "the other instrument is left alone";
    EXPECT_EQ(plugged[1]->state().sensorWord & 0x01, 0x01) << "input 1 powered on the chosen one";
    EXPECT_TRUE(boxes.empty());

    EXPECT_EQ(watcher.seen, QStringList{"Zeroing Instrument|Zeroing sensor|Please wait 2 seconds|animation"});
    ASSERT_NE(ui.progressDialog(), nullptr);
    EXPECT_FALSE(ui.progressDialog()->isVisible()) << "closed once the instrument is ready";
}

TEST_F(DetectInstrumentsTest, ModalRunOpensOnDoubleClickAndEmptyListReportsNoDevice)
{
    {
        store->defaultSettings().ZeroAndStabilise = 1;
        plugInstruments({named("TS6A")}, false);
        InstrumentDetection detection(ui, *store, false);
        // Double-clicks the entry once the running dialog lists it.
        QTimer poll;
        QString progressParent;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<CDetectInstruments*>(QApplication::activeModalWidget());
            if (!dialog || dialog->list()->count() != 1) return;
            poll.stop();
            emit dialog->list()->itemDoubleClicked(dialog->list()->item(0));
            if (ui.progressDialog() && ui.progressDialog()->parentWidget())
                progressParent = ui.progressDialog()->parentWidget()->metaObject()->className();
        });
        poll.start(20);
        EXPECT_TRUE(CDetectInstruments::run(detection, nullptr));
        EXPECT_TRUE(IsDeviceOpen());
        EXPECT_EQ(progressParent, "CDetectInstruments") << "zeroing shows over the dialog in front";
        CloseDevice();
    }
    plugInstruments({}, false);
    InstrumentDetection detection(ui, *store, false);
    CDetectInstruments dialog(detection, nullptr);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.status()->text() == "No Devices Found"; }, kWaitMs));
    dialog.okButton()->click();
    EXPECT_FALSE(dialog.connected());
    EXPECT_FALSE(IsDeviceOpen());
    EXPECT_EQ(boxes, (std::vector<std::string>{"USB Control|No Device Present|" +
                                               std::to_string(hooks::MB_OK_ | hooks::MB_ICONEXCLAMATION_)}));
    EXPECT_EQ(dialog.result(), QDialog::Accepted) << "OK closes the dialog whatever came of it";
}

TEST_F(DetectInstrumentsTest, NoSearchReachesAClosedOrDestroyedDialog)
{
    plugInstruments({named("TS6A")}, false);
    auto& bus = FenmarlUsb::SimulatedBus::instance();
    InstrumentDetection detection(ui, *store, false);
    {
        CDetectInstruments dialog(detection, nullptr);
        dialog.show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.list()->count() == 1; }, kWaitMs));
        dialog.reject();
        bus.plug(std::make_shared<FenmarlUsb::Instrument>(named("TS6B")));
        bus.waitIdle();
        QCoreApplication::processEvents();
        EXPECT_EQ(dialog.list()->count(), 1) << "Cancel ends the watch";
    }
    // Destroyed right after an arrival: the search it queued must not run on it.
    auto* dialog = new CDetectInstruments(detection, nullptr);
    dialog->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog->list()->count() == 2; }, kWaitMs));
    bus.plug(std::make_shared<FenmarlUsb::Instrument>(named("TS6C")));
    delete dialog;
    bus.waitIdle();
    QCoreApplication::processEvents();
    EXPECT_EQ(detection.entries().size(), 2u) << "no search ran after the dialog went";
}

} // namespace
