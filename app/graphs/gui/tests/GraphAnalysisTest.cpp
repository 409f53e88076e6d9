#include "app/graphs/gui/GraphAnalysis.h"
#include "app/acquisition/CCorvelDoc.h"
#include "app/acquisition/tests/TestSignals.h"
#include "app/graphs/GraphTables.h"
#include "app/graphs/gui/CChildFrame.h"
#include "app/graphs/gui/CCorvelView.h"
#include "app/graphs/gui/QcpChartControl.h"
#include "app/graphs/gui/tests/ChildFrameTestSupport.h"
#include "testsupport/QtTestApp.h"
#include "common/platform/KnownFolders.h"
#include "common/platform/MessageBoxCodes.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QStatusBar>
#include <qcustomplot.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

namespace fs = std::filesystem;
namespace platform = FenmarlCommonDLL::platform;
using namespace GraphTables;

namespace {

constexpr double kRate = 1000.0;

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class GraphAnalysisTest : public ChildFrameTest
{
protected:
    // Both inputs used; input 1 accelerometer (g) with sines of the given amplitudes and cycles per sample.
    void show(double amplitude = 1.0, int samples = 8192, int window = 3)
    {
        CScanConfiguration c;
        c.UseInput1 = 1;
        c.UseInput2 = 1;
        c.NoOfSamples = samples;
        DefaultSettings d;
        d.FFTWindowing = window;
        d.FFTK = 2;
        d.VibrationUnits = 2; // g
        d.Input1VibrationScaling = 2.0;
        doc = std::make_unique<CCorvelDoc>(c, d);
        for (int input = 0; input < 2; ++input)
            FillScanData(doc->scan.input(input), samples, kRate, [amplitude](int axis, int i) {
                return Sine(amplitude * (axis + 1), 0.05 * (axis + 1), i) + Sine(0.1 * amplitude, 0.15, i);
            });
        doc->RecomputeSpectra();
        frame->attachDocument(doc.get());
        frame->resize(1000, 700);
        frame->show();
        frame->prepareScanViews();
        doc->UpdateAllViews();
        QCoreApplication::processEvents();
    }
    CCorvelView* view(int kind) { return frame->view(kind); }
    QCustomPlot* plot(int kind) { return view(kind)->chart().plot(); }
    void mouse(QCustomPlot* p, QEvent::Type type, double x, Qt::MouseButton button, Qt::MouseButtons buttons)
    {
        const QPointF at(p->xAxis->coordToPixel(x), p->axisRect()->rect().center().y());
        QMouseEvent e(type, at, p->mapToGlobal(at), button, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(p, &e);
    }
};

} // namespace

TEST_F(GraphAnalysisTest, TwoCursorsSnapToSamplesAndReadXYDeltasAndFrequency)
{
    show();
    GraphAnalysis* a = GraphAnalysis::of(view(TopTime));
    QString status;
    QObject::connect(a, &GraphAnalysis::readoutChanged, [&](const QString& s) { status = s; });
    a->setCursorsShown(true);
    a->placeCursor(0, 0.10004);
    a->placeCursor(1, 0.1257);
    // Snapped to the 1 ms samples; Y is the sample's displayed value (x series, scaling 2).
    EXPECT_DOUBLE_EQ(a->cursorX(0), 0.1);
    EXPECT_DOUBLE_EQ(a->cursorX(1), 0.126);
    EXPECT_NEAR(a->cursorY(0), 2.0 * (Sine(1.0, 0.05, 100) + Sine(0.1, 0.15, 100)), 1e-12);
    EXPECT_EQ(a->trackedSeries(), "x");
    const QString r = a->readoutText();
    EXPECT_TRUE(r.contains("C1: X = 0.1 s, Y = ")) << r.toStdString();
    EXPECT_TRUE(r.contains(" g (x)")) << r.toStdString();
    EXPECT_TRUE(r.contains("ΔX = 0.026 s, ΔY = ")) << r.toStdString();
    EXPECT_TRUE(r.contains("1/ΔX = 38.4615 Hz")) << r.toStdString();
    EXPECT_TRUE(status.startsWith("Top Time: C1: X = 0.1 s")) << status.toStdString();

    // Keyboard: 1/2 choose the cursor, Shift+arrows step by one sample (Ctrl: ten).
    QKeyEvent two(QEvent::KeyPress, Qt::Key_2, Qt::NoModifier, "2");
    QCoreApplication::sendEvent(view(TopTime), &two);
    EXPECT_EQ(a->activeCursor(), 1);
    QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::ShiftModifier);
    QCoreApplication::sendEvent(view(TopTime), &right);
    EXPECT_DOUBLE_EQ(a->cursorX(1), 0.127);
    QKeyEvent tenLeft(QEvent::KeyPress, Qt::Key_Left, Qt::ShiftModifier | Qt::ControlModifier);
    QCoreApplication::sendEvent(view(TopTime), &tenLeft);
    EXPECT_DOUBLE_EQ(a->cursorX(1), 0.117);
    EXPECT_DOUBLE_EQ(a->cursorX(0), 0.1);

    // Mouse: dragging a cursor line moves it (and does not zoom); a click moves the nearer cursor.
    QCustomPlot* p = plot(TopTime);
    p->xAxis->setRange(0.0, 0.5);
    p->replot();
    mouse(p, QEvent::MouseButtonPress, 0.1, Qt::LeftButton, Qt::LeftButton);
    mouse(p, QEvent::MouseMove, 0.3003, Qt::NoButton, Qt::LeftButton);
    mouse(p, QEvent::MouseButtonRelease, 0.3003, Qt::LeftButton, Qt::NoButton);
    EXPECT_NEAR(a->cursorX(0), 0.3, 0.0015);
    EXPECT_DOUBLE_EQ(a->cursorX(0), std::round(a->cursorX(0) * 1000.0) / 1000.0); // on a sample
    EXPECT_FALSE(view(TopTime)->chart().isZoomed());
    mouse(p, QEvent::MouseButtonPress, 0.05, Qt::LeftButton, Qt::LeftButton);
    mouse(p, QEvent::MouseButtonRelease, 0.05, Qt::LeftButton, Qt::NoButton);
    EXPECT_NEAR(a->cursorX(1), 0.05, 0.0015);

    // Hiding them clears the readout.
    a->setCursorsShown(false);
    EXPECT_TRUE(a->readoutText().isEmpty());
}

TEST_F(GraphAnalysisTest, ReadoutGoesToTheMainWindowsStatusBar)
{
    QMainWindow main;
    main.setCentralWidget(frame.get());
    // The fixture keeps owning the frame, whatever way the test ends.
    struct GiveBack
    {
        QMainWindow& window;
        ~GiveBack() { window.takeCentralWidget(); }
    } giveBack{main};
    show();
    main.show();
    GraphAnalysis* a = GraphAnalysis::of(view(BottomTime));
    a->setCursorsShown(true);
    a->placeCursor(1, 0.5);
    auto* label = main.statusBar()->findChild<QLabel*>("measurementReadout");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), a->statusText());
    EXPECT_TRUE(label->text().startsWith("Bottom Time: C1: X = ")) << label->text().toStdString();
    EXPECT_TRUE(label->text().contains("; C2: X = 0.5 s")) << label->text().toStdString();
    a->setCursorsShown(false);
    EXPECT_TRUE(label->text().isEmpty());
}

TEST_F(GraphAnalysisTest, CursorsAndTheirReadoutAreInTheCopiedImage)
{
    show();
    QcpChartControl& chart = view(TopTime)->chart();
    const QImage plain = chart.plot()->toPixmap(600, 400).toImage();
    GraphAnalysis* a = GraphAnalysis::of(view(TopTime));
    a->setCursorsShown(true);
    ASSERT_TRUE(chart.copyImage(400, 600));
    const QImage copied = QGuiApplication::clipboard()->image();
    ASSERT_FALSE(copied.isNull());
    EXPECT_EQ(copied.size(), QSize(600, 400));
    EXPECT_NE(copied.convertToFormat(QImage::Format_RGB32), plain.convertToFormat(QImage::Format_RGB32));
    EXPECT_EQ(copied.convertToFormat(QImage::Format_RGB32),
              chart.plot()->toPixmap(600, 400).toImage().convertToFormat(QImage::Format_RGB32));
    keepScreenshot(chart.plot()->toPixmap(600, 400), "cursors-time.png");
}

TEST_F(GraphAnalysisTest, PeaksAreListedMarkedCopiedAndExportedWithHarmonicMarkers)
{
    show(1.0, 8192, 5); // Flat Top reads line amplitudes truly
    GraphAnalysis* a = GraphAnalysis::of(view(TopFrequency));
    a->setPeaksShown(true);
    const auto rows = a->peakRows();
    ASSERT_FALSE(rows.empty());
    // x: 50 Hz (amplitude 1 × scaling 2) then 150 Hz (0.1 × 2): -20 dB.
    EXPECT_EQ(rows[0].series, "x");
    EXPECT_NEAR(rows[0].frequency, 50.0, 0.5);
    // The level is what the graph shows at that point, in its unit.
    QCPGraph* x = plot(TopFrequency)->graph(0);
    const auto at = std::lower_bound(x->data()->constBegin(), x->data()->constEnd(), rows[0].frequency,
                                     [](const QCPGraphData& d, double k) { return d.key < k; });
    ASSERT_NE(at, x->data()->constEnd());
    EXPECT_EQ(rows[0].level, at->value);
    EXPECT_EQ(rows[0].relativeDb, 0.0);
    EXPECT_NEAR(rows[1].frequency, 150.0, 0.5);
    EXPECT_NEAR(rows[1].relativeDb, -20.0, 0.2);
    const QString text = a->peakListText();
    EXPECT_TRUE(text.startsWith(
        "Peaks of Top Frequency\nSeries\tRank\tFrequency (Hz)\tLevel (grms)\tRelative (dB)\n"))
        << text.toStdString();
    EXPECT_TRUE(text.contains("\nx\t1\t")) << text.toStdString();
    ASSERT_TRUE(GraphAnalysis::writeText(work / "peaks.txt", text, nullptr));
    EXPECT_EQ(readFile(work / "peaks.txt"), text.toStdString());
    QString error;
    EXPECT_FALSE(GraphAnalysis::writeText("/nonexistent-dir/peaks.txt", text, &error));
    EXPECT_TRUE(error.startsWith("/nonexistent-dir/peaks.txt: ")) << error.toStdString();

    // Markers on the graph: visible tracers at the peaks.
    auto visibleItems = [&](auto* sample) {
        int n = 0;
        for (int i = 0; i < plot(TopFrequency)->itemCount(); ++i) {
            auto* item = dynamic_cast<decltype(sample)>(plot(TopFrequency)->item(i));
            if (item && item->visible()) ++n;
        }
        return n;
    };
    plot(TopFrequency)->replot();
    EXPECT_GE(visibleItems(static_cast<QCPItemTracer*>(nullptr)), 3);
    // Harmonics of 50 Hz up to the last frequency (500 Hz): 10 dotted lines, at most 20.
    const int linesBefore = visibleItems(static_cast<QCPItemStraightLine*>(nullptr));
    a->setHarmonicFundamental(50.0);
    EXPECT_EQ(visibleItems(static_cast<QCPItemStraightLine*>(nullptr)) - linesBefore, 9);
    a->setHarmonicFundamental(10.0);
    EXPECT_EQ(visibleItems(static_cast<QCPItemStraightLine*>(nullptr)) - linesBefore,
              GraphAnalysis::maxHarmonics);
    keepScreenshot(plot(TopFrequency)->toPixmap(700, 450), "peaks-harmonics.png");
    a->setHarmonicFundamental(0.0);
    EXPECT_EQ(visibleItems(static_cast<QCPItemStraightLine*>(nullptr)), linesBefore);
    // Time graphs have no peaks.
    EXPECT_TRUE(GraphAnalysis::of(view(TopTime))->peakRows().empty());
}

TEST_F(GraphAnalysisTest, BandLevelBetweenTheCursorsIsTheSineRmsPerAxisAndTotal)
{
    for (int window : {0, 2, 5, 6}) {
        show(1.0, 8192, window);
        GraphAnalysis* a = GraphAnalysis::of(view(TopFrequency));
        a->setCursorsShown(true);
        a->placeCursor(0, 40.0);
        a->placeCursor(1, 60.0);
        double low = 0, high = 0;
        std::vector<double> ms;
        ASSERT_TRUE(a->bandMeanSquares(low, high, ms));
        ASSERT_EQ(ms.size(), 3u);
        // x: 1 g at 50 Hz, shown × 2: 1.414 g rms; y and z have no line in 40 … 60 Hz.
        EXPECT_NEAR(std::sqrt(ms[0]), std::sqrt(2.0), 0.01 * std::sqrt(2.0)) << window;
        // Only the leakage of y's 100 Hz line (2.8 g rms), which no window fully stops.
        EXPECT_LT(std::sqrt(ms[1]), 0.1) << window;
        // y: 2 g at 100 Hz.
        a->placeCursor(0, 90.0);
        a->placeCursor(1, 110.0);
        ASSERT_TRUE(a->bandMeanSquares(low, high, ms));
        EXPECT_NEAR(std::sqrt(ms[1]), 2.0 * std::sqrt(2.0), 0.01 * 2.0 * std::sqrt(2.0)) << window;
        const QString r = a->readoutText();
        EXPECT_TRUE(r.contains("Band ")) << r.toStdString();
        EXPECT_TRUE(r.contains(" g rms")) << r.toStdString();
        EXPECT_TRUE(r.contains("Total = ")) << r.toStdString();
        if (window == 2) keepScreenshot(plot(TopFrequency)->toPixmap(700, 450), "band-level.png");
        frame.reset(new CChildFrame);
        frame->setStoredDefaults(&stored);
    }
}

TEST_F(GraphAnalysisTest, ReferenceOverlayIsDashedNamedRemovableAndNeverSaved)
{
    // The reference: the same scan at half the amplitude, saved before.
    show(0.5);
    ASSERT_TRUE(doc->OnSaveDocument(work / "before.ts6"));
    frame.reset(new CChildFrame);
    frame->setStoredDefaults(&stored);
    show(1.0);
    ASSERT_TRUE(doc->OnSaveDocument(work / "plain.ts6"));
    const int graphs = plot(TopTime)->graphCount();

    QString error;
    ASSERT_TRUE(GraphAnalysis::overlayReferenceFile(view(TopTime), work / "before.ts6", &error))
        << error.toStdString();
    for (int kind : {TopTime, TopFrequency, BottomTime, BottomFrequency}) {
        GraphAnalysis* a = GraphAnalysis::find(view(kind));
        ASSERT_NE(a, nullptr) << kind;
        EXPECT_EQ(a->referenceGraphCount(), 3) << kind;
        EXPECT_EQ(a->referenceName(), "before.ts6");
    }
    QCustomPlot* p = plot(TopTime);
    ASSERT_EQ(p->graphCount(), graphs + 3);
    QCPGraph* ref = p->graph(graphs);
    EXPECT_EQ(ref->pen().style(), Qt::DashLine);
    EXPECT_EQ(ref->name(), "x (ref: before.ts6)");
    bool inLegend = false;
    for (int i = 0; i < p->legend->itemCount(); ++i)
        if (auto* item = dynamic_cast<QCPPlottableLegendItem*>(p->legend->item(i)))
            inLegend = inLegend || item->plottable() == ref;
    EXPECT_TRUE(inLegend);
    // Its values are the reference's record as displayed: half of the live one.
    EXPECT_NEAR(ref->data()->at(100)->value, 0.5 * p->graph(0)->data()->at(100)->value, 1e-12);
    // A redraw of the scan keeps the overlay.
    doc->UpdateAllViews();
    EXPECT_EQ(p->graphCount(), graphs + 3);
    keepScreenshot(frame->grab(), "reference-overlay.png");

    // Never saved: the scan file is byte for byte what it was without the overlay.
    ASSERT_TRUE(doc->OnSaveDocument(work / "overlaid.ts6"));
    EXPECT_EQ(readFile(work / "overlaid.ts6"), readFile(work / "plain.ts6"));

    GraphAnalysis::removeReferenceEverywhere(view(BottomFrequency));
    for (int kind : {TopTime, TopFrequency, BottomTime, BottomFrequency}) {
        EXPECT_FALSE(GraphAnalysis::find(view(kind))->hasReference());
        EXPECT_EQ(GraphAnalysis::find(view(kind))->referenceGraphCount(), 0);
    }
    EXPECT_EQ(p->graphCount(), graphs);

    // A file that is not a scan: refused with the open's message, nothing drawn.
    {
        std::ofstream(work / "bad.ts6") << "nope";
    }
    EXPECT_FALSE(GraphAnalysis::overlayReferenceFile(view(TopTime), work / "bad.ts6", &error));
    EXPECT_EQ(error, "The file is not a valid Tesselon-6 file");
    EXPECT_EQ(p->graphCount(), graphs);
}

TEST_F(GraphAnalysisTest, GraphPopupOffersTheAnalysisEntries)
{
    show();
    std::unique_ptr<QMenu> menu(view(TopFrequency)->createGraphPopup(nullptr));
    QMenu* analysis = nullptr;
    for (QAction* action : menu->actions())
        if (action->menu() && action->text() == "Analysis") analysis = action->menu();
    ASSERT_NE(analysis, nullptr);
    QStringList texts;
    for (QAction* action : analysis->actions())
        if (!action->isSeparator()) texts << action->text();
    EXPECT_EQ(texts, QStringList({"Measurement Cursors", "Show Peaks", "Peak List...", "Harmonic Markers...",
                                  "Overlay Reference Scan...", "Remove Reference"}));
    // Time graphs: cursors and the overlay only.
    std::unique_ptr<QMenu> timeMenu(view(TopTime)->createGraphPopup(nullptr));
    QMenu* timeAnalysis = nullptr;
    for (QAction* action : timeMenu->actions())
        if (action->menu() && action->text() == "Analysis") timeAnalysis = action->menu();
    ASSERT_NE(timeAnalysis, nullptr);
    EXPECT_EQ(timeAnalysis->actions().size(), 4);
    // The chart's own right-click menu ends with the same submenu.
    std::unique_ptr<QMenu> chartMenu(view(TopFrequency)->chart().createPopupMenu(nullptr));
    ASSERT_FALSE(chartMenu->actions().isEmpty());
    QAction* last = chartMenu->actions().last();
    ASSERT_NE(last->menu(), nullptr);
    EXPECT_EQ(last->text(), "Analysis");
    // The cursors entry toggles them.
    timeAnalysis->actions().first()->trigger();
    EXPECT_TRUE(GraphAnalysis::find(view(TopTime))->cursorsShown());
}
