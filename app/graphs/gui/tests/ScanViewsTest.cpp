#include "app/acquisition/CCorvelDoc.h"
#include "app/acquisition/GraphLegacyBlock.h"
#include "app/acquisition/gui/CPropertiesDlg.h"
#include "app/acquisition/tests/TestSignals.h"
#include "app/graphs/tests/SineDocument.h"
#include "app/graphs/GraphSettingsStore.h"
#include "app/graphs/GraphTables.h"
#include "app/graphs/gui/CChildFrame.h"
#include "app/graphs/gui/CCorvelView.h"
#include "app/graphs/gui/QcpChartControl.h"
#include "app/base/Archive.h"
#include "app/graphs/gui/ScanPicture.h"
#include "app/graphs/gui/tests/ChildFrameTestSupport.h"
#include "testsupport/QtTestApp.h"
#include "common/platform/KnownFolders.h"
#include "common/platform/MessageBoxCodes.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
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

std::unique_ptr<CCorvelDoc> makeDocument(const CScanConfiguration& c, const DefaultSettings& d, int samples,
                                         bool spectra = true)
{
    return SineDocument(c, d, samples, kRate, spectra);
}

QAction* findAction(QMenu& menu, const QString& text)
{
    for (QAction* a : menu.actions())
        if (a->text() == text) return a;
    return nullptr;
}

class ScanViewsTest : public ChildFrameTest
{
protected:
    QcpChartControl& chart(int kind) { return frame->view(kind)->chart(); }
    double key(int kind, int series, int index)
    {
        return chart(kind).plot()->graph(series)->data()->at(index)->key;
    }
    double value(int kind, int series, int index)
    {
        return chart(kind).plot()->graph(series)->data()->at(index)->value;
    }
    // Shows a new document of `samples` rows in the frame's scan views.
    void showDocument(const CScanConfiguration& c, const DefaultSettings& d, int samples, bool spectra = true)
    {
        doc = makeDocument(c, d, samples, spectra);
        frame->attachDocument(doc.get());
        frame->prepareScanViews();
        doc->UpdateAllViews();
    }
    static fs::path graphFile(int kind)
    {
        return GraphSettingsStore::settingsPath(
            GraphSettingsStore::graphNames[static_cast<std::size_t>(kind)]);
    }
};

// ---- time graphs while a scan runs ----

TEST_F(ScanViewsTest, ContinuousScanShowsOnlyTheNewestThousandPointsWhileTheDriverScans)
{
    CScanConfiguration c;
    c.ScanMode = ScanModes::Continuous;
    c.NoOfSamples = 5000;
    doc = makeDocument(c, {}, 5000, false);
    int queries = 0;
    bool scanning = true;
    frame->setScanningQuery([&] {
        ++queries;
        return scanning;
    });
    frame->attachDocument(doc.get());
    frame->prepareScanViews();
    doc->scanActive = 1;
    doc->UpdateAllViews();

    for (int s = 0; s < 3; ++s) {
        ASSERT_EQ(chart(TopTime).seriesPointCount(s), 1000u) << s;
        EXPECT_DOUBLE_EQ(key(TopTime, s, 0), 4000 / kRate);
        EXPECT_DOUBLE_EQ(key(TopTime, s, 999), 4999 / kRate);
    }
    EXPECT_DOUBLE_EQ(value(TopTime, 1, 0), Sine(2.0, 0.02, 4000));
    EXPECT_DOUBLE_EQ(frame->view(TopTime)->firstX(), 4.0);
    EXPECT_NEAR(frame->view(TopTime)->xSpacing(), 1 / kRate, 1e-12);
    EXPECT_GT(queries, 0);

    // The window slides: 1000 more points show 5000…5999.
    FillScanData(doc->scan.input1, 6000, kRate, [](int, int i) { return i; });
    doc->UpdateAllViews();
    ASSERT_EQ(chart(TopTime).seriesPointCount(0), 1000u);
    EXPECT_DOUBLE_EQ(key(TopTime, 0, 0), 5.0);

    // Once the driver has stopped, the rest of the record follows as usual.
    scanning = false;
    FillScanData(doc->scan.input1, 6500, kRate, [](int, int i) { return i; });
    doc->UpdateAllViews();
    EXPECT_EQ(chart(TopTime).seriesPointCount(0), 1500u);

    // Both time graphs of one refresh share one answer of the driver.
    doc->scan.configuration.UseInput2 = 1;
    FillScanData(doc->scan.input2, 6500, kRate, [](int, int i) { return i; });
    queries = 0;
    scanning = true;
    FillScanData(doc->scan.input1, 7000, kRate, [](int, int i) { return i; });
    doc->UpdateAllViews();
    EXPECT_EQ(queries, 1);
    EXPECT_EQ(chart(BottomTime).seriesPointCount(0), 1000u);
    doc->UpdateAllViews();
    EXPECT_EQ(queries, 2);

    // A single scan never asks the driver.
    queries = 0;
    doc->scan.configuration.ScanMode = ScanModes::Single;
    doc->UpdateAllViews();
    EXPECT_EQ(queries, 0);
}

TEST_F(ScanViewsTest, RunningScanAppendsOnlyNewPointsAndRebuildsWhenTheRecordShrinks)
{
    CScanConfiguration c;
    c.NoOfSamples = 300;
    doc = makeDocument(c, {}, 300, false);
    frame->attachDocument(doc.get());
    frame->prepareScanViews();
    doc->scanActive = 1;
    doc->scan.input1.samplesAcquired = 100;
    doc->UpdateAllViews();
    ASSERT_EQ(chart(TopTime).seriesPointCount(0), 100u);
    EXPECT_EQ(frame->view(TopTime)->drawnPoints(), 100u);

    // Points already drawn are not sent again: a change to them stays off the chart.
    const double first = value(TopTime, 0, 1);
    doc->scan.input1.timeData[0][1] = 42.0;
    doc->scan.input1.samplesAcquired = 250;
    doc->UpdateAllViews();
    ASSERT_EQ(chart(TopTime).seriesPointCount(0), 250u);
    EXPECT_DOUBLE_EQ(value(TopTime, 0, 1), first);
    EXPECT_DOUBLE_EQ(key(TopTime, 0, 249), 249 / kRate);
    // Nothing new: nothing sent.
    doc->UpdateAllViews();
    EXPECT_EQ(chart(TopTime).seriesPointCount(0), 250u);

    // The user's choice of series survives the rebuild of a shrunken record.
    frame->view(TopTime)->runCommand(CCorvelView::ID_SHOW_Y);
    doc->scan.input1.samplesAcquired = 50;
    doc->UpdateAllViews();
    EXPECT_EQ(chart(TopTime).seriesPointCount(0), 50u);
    EXPECT_DOUBLE_EQ(value(TopTime, 0, 1), 42.0);
    EXPECT_FALSE(chart(TopTime).isSeriesVisible(1));
    EXPECT_TRUE(chart(TopTime).isSeriesVisible(0));

    // Mean Zero moves every point when the mean moves: the whole record is sent.
    doc->scan.configuration.Input1DisplayMode = "Mean Zero";
    doc->scan.input1.timeData[0][1] = 7.0;
    doc->scan.input1.samplesAcquired = 60;
    doc->UpdateAllViews();
    EXPECT_EQ(chart(TopTime).seriesPointCount(0), 60u);
    EXPECT_NE(value(TopTime, 0, 1), 42.0);

    // After the scan the whole record is sent again.
    doc->scan.configuration.Input1DisplayMode = "Normal";
    doc->scanActive = 0;
    doc->scan.input1.samplesAcquired = 300;
    doc->UpdateAllViews();
    EXPECT_EQ(chart(TopTime).seriesPointCount(0), 300u);
    EXPECT_DOUBLE_EQ(value(TopTime, 0, 1), 7.0);
}

TEST_F(ScanViewsTest, NothingIsDrawnWithoutDataOrSetUpAndSpectraWaitForTheRun)
{
    CScanConfiguration c;
    c.UseInput2 = 1;
    doc = makeDocument(c, {}, 2048);
    frame->attachDocument(doc.get());
    doc->UpdateAllViews(); // graphs not set up yet
    EXPECT_EQ(chart(TopTime).seriesPointCount(0), 0u);

    frame->prepareScanViews();
    EXPECT_TRUE(chart(TopFrequency).isHidden());
    EXPECT_FALSE(chart(TopTime).isHidden());
    doc->dataReady = 0;
    doc->UpdateAllViews();
    EXPECT_EQ(chart(TopTime).seriesPointCount(0), 0u);

    doc->dataReady = 1;
    doc->scan.runAcquiring = true;
    doc->UpdateAllViews();
    EXPECT_EQ(chart(BottomTime).seriesPointCount(0), 2048u);
    EXPECT_EQ(chart(BottomFrequency).seriesPointCount(0), 0u);
    EXPECT_TRUE(chart(BottomFrequency).isHidden());

    doc->scan.runAcquiring = false;
    doc->UpdateAllViews();
    EXPECT_EQ(chart(BottomFrequency).seriesPointCount(0), 1022u);
    EXPECT_FALSE(chart(BottomFrequency).isHidden());

    // A document whose scan has not allocated anything yet draws nothing and keeps the spectra hidden.
    CCorvelDoc fresh(c, {});
    CChildFrame empty;
    empty.setStoredDefaults(&stored);
    empty.attachDocument(&fresh);
    empty.prepareScanViews();
    fresh.scanActive = 1;
    fresh.UpdateAllViews();
    for (int kind = 0; kind < paneCount; ++kind)
        EXPECT_EQ(empty.view(kind)->chart().seriesPointCount(0), 0u) << kind;
    EXPECT_TRUE(empty.view(TopFrequency)->chart().isHidden());
    EXPECT_EQ(empty.passFailText(), "Pass");
    empty.attachDocument(nullptr);

    // Detaching removes every view from the document; so does closing the frame.
    EXPECT_EQ(frame->passFailText(), "Pass");
    frame->attachDocument(nullptr);
    EXPECT_TRUE(doc->views().empty());
    EXPECT_TRUE(frame->passFailText().isEmpty());
    frame->attachDocument(doc.get());
    ASSERT_EQ(doc->views().size(), 6u);
    EXPECT_EQ(doc->views()[1], frame->view(TopTime));
    EXPECT_EQ(doc->views()[4], frame->view(BottomFrequency));
    for (std::size_t i : {0u, 5u})
        EXPECT_FALSE(doc->views()[i]->isGraphView());
    frame.reset();
    EXPECT_TRUE(doc->views().empty());
}

// ---- series, visibility and titles ----

TEST_F(ScanViewsTest, TotalFieldAloneWhenComponentsAreOffAndGreyedWithoutIt)
{
    CScanConfiguration c;
    c.ShowTotalField = 1;
    c.ShowFieldComponents = 0;
    showDocument(c, {}, 2048);

    for (int kind : {TopTime, TopFrequency}) {
        SCOPED_TRACE(kind);
        ASSERT_EQ(chart(kind).seriesCount(), 4);
        EXPECT_EQ(chart(kind).seriesLabel(3), "Total");
        for (int s = 0; s < 3; ++s)
            EXPECT_FALSE(chart(kind).isSeriesVisible(s));
        EXPECT_TRUE(chart(kind).isSeriesVisible(3));
        std::unique_ptr<QMenu> menu(frame->view(kind)->createGraphPopup(nullptr));
        QAction* total = findAction(*menu, "Show Total Field");
        ASSERT_NE(total, nullptr);
        EXPECT_TRUE(total->isEnabled());
        EXPECT_TRUE(total->isChecked());
        EXPECT_FALSE(findAction(*menu, "Show X")->isChecked());
    }
    // The total is the length of (x, y, z) at each point.
    const ScanData& data = doc->scan.input1;
    for (int i : {3, 777}) {
        double sum = 0.0;
        for (std::size_t a = 0; a < 3; ++a)
            sum += data.timeData[a].get(static_cast<std::uint32_t>(i)) *
                   data.timeData[a].get(static_cast<std::uint32_t>(i));
        EXPECT_NEAR(value(TopTime, 3, i), std::sqrt(sum), 1e-9);
    }
    // A component the user shows again stays shown on the next refresh.
    frame->view(TopTime)->runCommand(CCorvelView::ID_SHOW_X);
    doc->UpdateAllViews();
    EXPECT_TRUE(chart(TopTime).isSeriesVisible(0));
    EXPECT_FALSE(chart(TopTime).isSeriesVisible(1));

    // Without the total field: three series and a greyed entry that does nothing.
    CScanConfiguration plain;
    auto second = makeDocument(plain, {}, 2048);
    CChildFrame other;
    other.attachDocument(second.get());
    other.setStoredDefaults(&stored);
    other.prepareScanViews();
    second->UpdateAllViews();
    CCorvelView& view = *other.view(TopFrequency);
    EXPECT_EQ(view.chart().seriesCount(), 3);
    std::unique_ptr<QMenu> menu(view.createGraphPopup(nullptr));
    EXPECT_FALSE(findAction(*menu, "Show Total Field")->isEnabled());
    EXPECT_FALSE(findAction(*menu, "Show Total Field")->isChecked());
    view.runCommand(CCorvelView::ID_SHOW_TOTAL_FIELD);
    EXPECT_EQ(view.chart().seriesCount(), 3);
    EXPECT_TRUE(view.chart().isSeriesVisible(2));
}

TEST_F(ScanViewsTest, TitlesFollowSensorUnitsAndDifferentialMode)
{
    CScanConfiguration c;
    c.Input1Mode = "Microphone";
    c.UseInput2 = 1;
    c.Input2Mode = "Accelerometer";
    c.DiffGrad = 1;
    DefaultSettings d;
    d.VibrationUnits = 0;
    d.Input1Scaling = 3;
    d.Input2Scaling = 2;
    showDocument(c, d, 2048);
    EXPECT_EQ(chart(TopTime).yAxisTitle(), "Pressure (Pa)");
    EXPECT_EQ(chart(TopFrequency).yAxisTitle(), "Pressure (PaPkPK / sqrt(Hz))");
    EXPECT_EQ(chart(TopTime).xAxisTitle(), "Time (s)");
    EXPECT_EQ(chart(TopFrequency).xAxisTitle(), "Frequency (Hz)");
    // Differential mode without two magnetometers keeps the ordinary input 2 titles.
    EXPECT_EQ(chart(BottomTime).title(), "Input 2 Time Domain");
    EXPECT_EQ(chart(BottomFrequency).title(), "Input 2 Frequency Domain");
    EXPECT_EQ(chart(BottomFrequency).yAxisTitle(), "Vibration (ugPkPk)");
    // A microphone's time record is in pascals: volts divided by the sensitivity.
    EXPECT_NEAR(value(TopTime, 2, 10), doc->scan.input1.timeData[2].get(10) / d.Input1MicrophoneScaling,
                1e-9);

    doc->scan.configuration.Input1Mode = "Magnetometer";
    doc->scan.configuration.Input2Mode = "Magnetometer";
    doc->settings.MagneticUnits = 1;
    doc->UpdateAllViews();
    EXPECT_EQ(chart(BottomTime).title(), "Input 2 - Input 1 Time");
    EXPECT_EQ(chart(BottomFrequency).title(), "Input 2 - Input 1 Frequency");
    EXPECT_EQ(chart(TopTime).yAxisTitle(), "Magnetic Strength (uT)");
}

TEST_F(ScanViewsTest, ManualScaleOnTimeGraphsOnly)
{
    CScanConfiguration c;
    c.Input1AutoScale = 0;
    c.Input1Minimum = -5.0;
    c.Input1Maximum = 5.0;
    showDocument(c, {}, 2048);
    EXPECT_TRUE(chart(TopTime).isYRangeManual());
    EXPECT_EQ(chart(TopTime).yRange(), (ChartControl::Range{-5.0, 5.0}));
    EXPECT_FALSE(chart(TopFrequency).isYRangeManual());
    doc->scan.configuration.Input1AutoScale = 1;
    doc->UpdateAllViews();
    EXPECT_FALSE(chart(TopTime).isYRangeManual());
    EXPECT_NEAR(chart(TopTime).yRange().upper, 3.0, 0.5);
}

TEST_F(ScanViewsTest, CursorReadoutsNameTheGraphUnderTheCursor)
{
    doc = makeDocument({}, {}, 2048);
    frame->attachDocument(doc.get());
    frame->resize(800, 600);
    frame->show();
    frame->prepareScanViews();
    doc->UpdateAllViews();
    QCoreApplication::processEvents();
    QString name, x;
    QObject::connect(frame.get(), &CChildFrame::cursorGraphChanged, [&](const QString& n) { name = n; });
    QObject::connect(frame.get(), &CChildFrame::readoutsChanged,
                     [&](const QString& readout, const QString&) { x = readout; });
    QCustomPlot* plot = chart(TopFrequency).plot();
    const QPointF centre(plot->axisRect()->rect().center());
    QMouseEvent move(QEvent::MouseMove, centre, plot->mapToGlobal(centre), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(plot, &move);
    EXPECT_EQ(name, "Top Frequency");
    EXPECT_TRUE(x.startsWith("X = ")) << x.toStdString();
}

// ---- pass/fail ----

TEST_F(ScanViewsTest, SpectrumAboveItsCurveFailsAndDrawsTheCurve)
{
    CScanConfiguration c;
    c.Specification.applyFrequencyTest[0] = 1;
    c.Specification.curve[0] = {{5.0, 1e-4}, {400.0, 1e-4}};
    DefaultSettings d;
    d.VibrationUnits = 2; // g, the unit of the curve
    doc = makeDocument(c, d, 4096);
    QString signalled;
    bool signalledPass = true;
    int emitted = 0;
    QObject::connect(frame.get(), &CChildFrame::passFailChanged, [&](const QString& text, bool passed) {
        signalled = text;
        signalledPass = passed;
        ++emitted;
    });
    frame->attachDocument(doc.get());
    frame->prepareScanViews();
    doc->UpdateAllViews();

    EXPECT_FALSE(frame->passed());
    EXPECT_TRUE(frame->passFailText().startsWith("Fail"));
    EXPECT_TRUE(frame->passFailText().contains("Input 1 Frequency"));
    EXPECT_FALSE(frame->passFailText().contains("Input 1 Time"));
    EXPECT_GE(emitted, 1);
    EXPECT_EQ(signalled, frame->passFailText());
    EXPECT_FALSE(signalledPass);

    // The curve is drawn in the colours of x, y and z, following their visibility.
    ASSERT_EQ(chart(TopFrequency).seriesCount(), CCorvelView::seriesWithLimits);
    EXPECT_EQ(chart(TopFrequency).seriesPointCount(4), 2u);
    EXPECT_DOUBLE_EQ(value(TopFrequency, 6, 1), 1e-4);
    EXPECT_EQ(chart(TopFrequency).seriesColour(8), chart(TopFrequency).seriesColour(2));
    EXPECT_FALSE(chart(TopFrequency).isSeriesVisible(3)); // no total: the free slot is not drawn
    frame->view(TopFrequency)->runCommand(CCorvelView::ID_SHOW_Z);
    EXPECT_FALSE(chart(TopFrequency).isSeriesVisible(8));
    EXPECT_TRUE(chart(TopFrequency).isSeriesVisible(6));

    // A frequency failure clears when a later update is inside the curve.
    doc->scan.configuration.Specification.curve[0] = {{5.0, 100.0}, {400.0, 100.0}};
    doc->UpdateAllViews();
    EXPECT_TRUE(frame->passed());
    EXPECT_EQ(frame->passFailText(), "Pass");
    EXPECT_TRUE(signalledPass);

    // Curves are not drawn when the configuration does not ask for them.
    doc->scan.configuration.Specification.displayCurves = 0;
    doc->UpdateAllViews();
    EXPECT_EQ(chart(TopFrequency).seriesCount(), 3);
}

TEST_F(ScanViewsTest, TimeExcursionUsesTheUnitFactorAndStaysFailed)
{
    CScanConfiguration c;
    c.Input1Mode = "Magnetometer";
    c.Specification.applyTimeTest[0] = 1;
    c.Specification.maximumExcursion[0] = 2.5; // uT
    DefaultSettings d;
    d.MagneticUnits = 0;              // nT on screen
    d.Input1MagneticScaling = 1000.0; // one volt shows as 1000 nT
    doc = makeDocument(c, d, 0, false);
    FillScanData(doc->scan.input1, 100, kRate, [](int, int i) { return i < 50 ? 1.0 : 2.0; });
    frame->attachDocument(doc.get());
    frame->prepareScanViews();
    doc->UpdateAllViews();
    // 1000 nT away from the 1000 nT reference is inside 2.5 uT.
    EXPECT_TRUE(frame->passed()) << frame->passFailText().toStdString();
    // Limit lines: reference ± excursion in nT, across the record.
    ASSERT_EQ(chart(TopTime).seriesCount(), CCorvelView::seriesWithLimits);
    EXPECT_DOUBLE_EQ(value(TopTime, 4, 0), 1000.0 - 2500.0);
    EXPECT_DOUBLE_EQ(value(TopTime, 5, 1), 1000.0 + 2500.0);
    EXPECT_DOUBLE_EQ(key(TopTime, 9, 1), 99 / kRate);
    EXPECT_EQ(chart(TopTime).seriesLabel(4), "x limit");
    EXPECT_TRUE(chart(TopTime).plot()->legend->hasItemWithPlottable(chart(TopTime).plot()->graph(4)));
    EXPECT_FALSE(chart(TopTime).plot()->legend->hasItemWithPlottable(chart(TopTime).plot()->graph(5)));
    EXPECT_EQ(chart(TopTime).plot()->graph(5)->pen().style(), Qt::DashLine);
    EXPECT_EQ(chart(TopTime).plot()->graph(0)->pen().style(), Qt::SolidLine);

    // 4 uT from the reference fails, and stays failed when the data come back.
    FillScanData(doc->scan.input1, 100, kRate, [](int, int i) { return i < 50 ? 1.0 : 5.0; });
    doc->UpdateAllViews();
    EXPECT_FALSE(frame->passed());
    EXPECT_TRUE(frame->passFailText().contains("Input 1 Time"));
    FillScanData(doc->scan.input1, 100, kRate, [](int, int) { return 1.0; });
    doc->UpdateAllViews();
    EXPECT_FALSE(frame->passed());
}

TEST_F(ScanViewsTest, MicrophoneSpectrumIsJudgedInPascals)
{
    CScanConfiguration c;
    c.Input1Mode = "Microphone";
    c.Specification.applyFrequencyTest[0] = 1;
    // A sine of 1 V peak at 0.05 V/Pa has well under 100 Pa rms at every frequency,
    // but its level in dB is far above 100.
    c.Specification.curve[0] = {{1.0, 100.0}, {499.0, 100.0}};
    showDocument(c, {}, 4096);
    EXPECT_GT(chart(TopFrequency).yRange().upper, 100.0); // decibels on screen
    EXPECT_TRUE(frame->passed()) << frame->passFailText().toStdString();
    // The curve is drawn as a level: 100 Pa is 134 dB.
    EXPECT_NEAR(value(TopFrequency, 4, 0), 20.0 * std::log10(100.0) + 94.0, 1e-9);

    doc->scan.configuration.Specification.curve[0] = {{1.0, 1e-3}, {499.0, 1e-3}};
    doc->UpdateAllViews();
    EXPECT_FALSE(frame->passed());
}

// ---- graph settings and stored documents ----

TEST_F(ScanViewsTest, FirstScanWritesTheMarkerAndFourGraphFilesThenLaterScansLoadThem)
{
    CScanConfiguration c;
    c.UseInput2 = 0;
    c.Input1DisplayType = "Both";
    stored.Input2TTitle = "My bottom title";
    doc = makeDocument(c, {}, 256);
    frame->attachDocument(doc.get());
    ASSERT_FALSE(fs::exists(work / "GraphSettings.bin"));
    frame->prepareScanViews();
    EXPECT_EQ(fs::file_size(work / "GraphSettings.bin"), 4 * kGraphLegacyBlockSize);
    for (int kind = 0; kind < paneCount; ++kind)
        EXPECT_EQ(fs::file_size(graphFile(kind)), GraphSettingsStore::fileSize) << kind;
    // Only input 1 is used: the bottom row is hidden.
    EXPECT_TRUE(frame->isPaneShown(TopTime));
    EXPECT_TRUE(frame->isPaneShown(TopFrequency));
    EXPECT_FALSE(frame->isPaneShown(BottomTime));
    EXPECT_FALSE(frame->isPaneShown(BottomFrequency));
    // The bottom graph's own title went back into the setting it came from.
    EXPECT_EQ(stored.Input2TTitle, "Input 2 Time Domain");

    // The next scan window loads what the files hold.
    GraphSettingsStore::Values values = GraphSettingsStore::currentValues(chart(TopFrequency));
    values[ChartControl::Background] = 2;
    const auto bytes = GraphSettingsStore::encode(values);
    std::ofstream(graphFile(TopFrequency), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    CChildFrame next;
    next.setStoredDefaults(&stored);
    next.attachDocument(doc.get());
    next.prepareScanViews();
    EXPECT_EQ(next.view(TopFrequency)->chart().displaySetting(ChartControl::Background), 2);
    EXPECT_EQ(next.view(TopTime)->chart().displaySetting(ChartControl::Background), 0);
    next.attachDocument(nullptr);
}

TEST_F(ScanViewsTest, StoredDocumentEndsWithFourBlocksAndReopensInTheFrame)
{
    CScanConfiguration c;
    c.UseInput2 = 1;
    doc = makeDocument(c, {}, 2048);
    std::vector<std::uint8_t> bare;
    {
        ArchiveWriter archive(bare);
        doc->Serialize(archive);
    }
    frame->attachDocument(doc.get());
    frame->prepareScanViews();
    fs::remove(graphFile(BottomTime));
    std::vector<std::uint8_t> bytes;
    {
        ArchiveWriter archive(bytes);
        doc->Serialize(archive);
    }
    ASSERT_EQ(bytes.size(), bare.size() + 4 * kGraphLegacyBlockSize);
    for (int block = 0; block < 4; ++block)
        EXPECT_TRUE(std::equal(GraphLegacyBlock().begin(), GraphLegacyBlock().end(),
                               bytes.begin() +
                                   static_cast<std::ptrdiff_t>(bare.size() + block * kGraphLegacyBlockSize)))
            << block;
    // Storing also saves each graph's own file.
    EXPECT_EQ(fs::file_size(graphFile(BottomTime)), GraphSettingsStore::fileSize);

    // Reopened into a fresh document shown by a new frame: every graph drawn in full.
    CCorvelDoc reopened;
    CChildFrame shown;
    shown.setStoredDefaults(&stored);
    shown.attachDocument(&reopened);
    ArchiveReader reader(bytes);
    reopened.Serialize(reader);
    shown.showLoadedDocument();
    for (int kind = 0; kind < paneCount; ++kind) {
        EXPECT_TRUE(shown.isPaneShown(kind));
        EXPECT_EQ(shown.view(kind)->chart().seriesPointCount(0), isSpectrum(kind) ? 1022u : 2048u) << kind;
    }
    EXPECT_EQ(shown.passFailText(), "Pass");
    shown.attachDocument(nullptr);
}

TEST_F(ScanViewsTest, PropertiesCopiesTheTitlesSavesEveryGraphAndClearsTheReadouts)
{
    CScanConfiguration c;
    c.UseInput2 = 1;
    c.DiffGrad = 1; // but not two magnetometers: the ordinary titles are in use
    doc = makeDocument(c, {}, 256);
    CCorvelView detached(TopTime);
    std::unique_ptr<QMenu> none(detached.createGraphPopup(nullptr));
    EXPECT_FALSE(findAction(*none, "Properties...")->isEnabled());

    frame->attachDocument(doc.get());
    frame->prepareScanViews();
    doc->UpdateAllViews();
    fs::remove(work / "GraphSettings.bin");
    const char* titles[] = {"A", "B", "C", "D"};
    for (int kind = 0; kind < paneCount; ++kind)
        chart(kind).setTitle(titles[kind]);
    int cleared = 0;
    QObject::connect(frame.get(), &CChildFrame::readoutsCleared, [&] { ++cleared; });

    std::unique_ptr<QMenu> menu(frame->view(BottomTime)->createGraphPopup(nullptr));
    QAction* properties = findAction(*menu, "Properties...");
    ASSERT_TRUE(properties && properties->isEnabled());
    properties->trigger();

    for (const DefaultSettings* d : {&doc->settings, &stored}) {
        EXPECT_EQ(d->Input1TTitle, "A");
        EXPECT_EQ(d->Input1FTitle, "B");
        EXPECT_EQ(d->Input2TTitle, "C");
        EXPECT_EQ(d->Input2FTitle, "D");
        EXPECT_EQ(d->Input2TDifGradTitle, "Input 2 - Input 1 Time");
    }
    EXPECT_EQ(fs::file_size(work / "GraphSettings.bin"), 4 * kGraphLegacyBlockSize);
    EXPECT_EQ(cleared, 1);
}

// ---- one series builder for the window and the picture ----

// The scan window and the unattended picture draw the same values, labels,
// colours and first visibility for the same scan, pane by pane.
TEST_F(ScanViewsTest, ScanWindowAndPictureDrawTheSameSeries)
{
    CScanConfiguration c;
    c.UseInput2 = 1;
    c.Input2Mode = SensorTypes::Microphone;
    c.ShowTotalField = 1;
    c.ShowFieldComponents = 0;
    c.Input1DisplayMode = "Mean Zero";
    DefaultSettings d;
    d.VibrationUnits = 2;
    doc = makeDocument(c, d, 1500);
    frame->attachDocument(doc.get());
    frame->prepareScanViews();
    doc->UpdateAllViews();
    ScanPicture picture(*doc, 640, 400);

    for (int kind = 0; kind < paneCount; ++kind) {
        SCOPED_TRACE(kind);
        const QcpChartControl& window = chart(kind);
        const QcpChartControl& still = picture.chart(kind);
        // The picture packs the drawn series; the window keeps the total at its own place.
        const std::vector<int> drawn{0, 1, 2, totalFieldSeries};
        ASSERT_EQ(still.seriesCount(), 4);
        EXPECT_EQ(window.title(), still.title());
        EXPECT_EQ(window.yAxisTitle(), still.yAxisTitle());
        for (int i = 0; i < still.seriesCount(); ++i) {
            const int series = drawn[static_cast<std::size_t>(i)];
            EXPECT_EQ(window.seriesLabel(series), still.seriesLabel(i));
            EXPECT_EQ(window.isSeriesVisible(series), still.isSeriesVisible(i)) << series;
            EXPECT_EQ(window.plot()->graph(series)->pen().color(), still.plot()->graph(i)->pen().color());
            const auto* a = window.plot()->graph(series)->data().data();
            const auto* b = still.plot()->graph(i)->data().data();
            ASSERT_EQ(a->size(), b->size()) << series;
            ASSERT_GT(a->size(), 0);
            for (int j : {0, a->size() / 2, a->size() - 1}) {
                EXPECT_DOUBLE_EQ(a->at(j)->key, b->at(j)->key) << series << " " << j;
                EXPECT_DOUBLE_EQ(a->at(j)->value, b->at(j)->value) << series << " " << j;
            }
        }
    }
}

// ---- picture for review ----

TEST_F(ScanViewsTest, ScreenshotOfAScanWindow)
{
    const char* folder = std::getenv("TESSELON_GUI_SHOTS");
    if (!folder) GTEST_SKIP() << "TESSELON_GUI_SHOTS names the folder for pictures";
    CScanConfiguration c;
    c.UseInput2 = 1;
    c.Input2Mode = "Magnetometer";
    c.ShowTotalField = 1;
    c.Specification.applyTimeTest[0] = 1;
    c.Specification.maximumExcursion[0] = 3.5;
    c.Specification.applyFrequencyTest[1] = 1;
    c.Specification.curve[1] = {{10.0, 0.02}, {200.0, 0.05}, {450.0, 0.01}};
    DefaultSettings d;
    d.VibrationUnits = 2;
    d.MagneticUnits = 1;
    d.Input2Scaling = 1;
    doc = makeDocument(c, d, 4096);
    frame->attachDocument(doc.get());
    frame->resize(1280, 800);
    frame->show();
    frame->prepareScanViews();
    doc->UpdateAllViews();
    QCoreApplication::processEvents();
    const QImage picture = frame->grab().toImage();
    EXPECT_EQ(picture.size(), QSize(1280, 800));
    EXPECT_TRUE(picture.save(QString::fromLocal8Bit(folder) + "/scan-window.png"));
}

} // namespace

namespace {

TEST_F(ScanViewsTest, AScanWithoutTotalFieldOffersNoTotalAndItsSpectraSayWhenTheyCome)
{
    CScanConfiguration c;
    c.UseInput1 = 1;
    c.Input1DisplayType = "Both";
    c.ShowTotalField = 0;
    c.NoOfSamples = 1000;
    doc = makeDocument(c, {}, 1000, false);
    frame->attachDocument(doc.get());
    frame->show();
    frame->prepareScanViews();

    // Before any data: no "Total" in the legend, the chart menu's Total Field greyed.
    QcpChartControl& time = chart(TopTime);
    for (int i = 0; i < time.plot()->legend->itemCount(); ++i) {
        auto* item = qobject_cast<QCPPlottableLegendItem*>(time.plot()->legend->item(i));
        ASSERT_NE(item, nullptr);
        EXPECT_NE(item->plottable()->name(), "Total");
    }
    EXPECT_FALSE(time.isCustomMenuEnabled(CCorvelView::CustomTotalField));
    QMenu* viewMenu = frame->view(TopTime)->createGraphPopup(nullptr);
    ASSERT_NE(viewMenu, nullptr);
    QAction* total = findAction(*viewMenu, "Show Total Field");
    ASSERT_NE(total, nullptr);
    EXPECT_FALSE(total->isEnabled());
    delete viewMenu;

    // The spectrum pane is hidden until the scan ends and says so.
    QcpChartControl& spectrum = chart(TopFrequency);
    EXPECT_TRUE(spectrum.isHidden());
    EXPECT_EQ(spectrum.hiddenText(), "The spectrum is shown when the scan ends.");
    auto* note = spectrum.findChild<QLabel*>();
    ASSERT_NE(note, nullptr);
    EXPECT_TRUE(note->isVisible());
}

TEST_F(ScanViewsTest, PrintAndExportDialogsStartBesideTheScanUnderItsName)
{
    CScanConfiguration c;
    DefaultSettings d;
    d.FilePath = (work / "data").string() + "/";
    doc = makeDocument(c, d, 100);
    frame->setWindowTitle("Scan 3*");
    frame->attachDocument(doc.get());
    EXPECT_EQ(frame->suggestedFileName(), (work / "data" / "Scan 3").string()) << "unsaved: data folder";
    doc->setPathName(work / "runs" / "Data_20240307_101500.ts6");
    EXPECT_EQ(frame->suggestedFileName(), (work / "runs" / "Data_20240307_101500").string());
}

} // namespace

namespace {

TEST_F(ScanViewsTest, LimitLinesLieOnTopAndSamplesBeyondThemAreMarkedWithTheWorstExcursionInTheGraphUnit)
{
    CScanConfiguration c;
    c.Input1Mode = "Accelerometer";
    c.Specification.applyTimeTest[0] = 1;
    c.Specification.displayCurves = 1;
    c.Specification.maximumExcursion[0] = 0.5e-6; // g; the graph shows ug
    DefaultSettings d;
    d.VibrationUnits = 0;             // ug
    d.Input1VibrationScaling = 1.0e6; // one volt shows as 1 000 000 ug
    doc = makeDocument(c, d, 0, false);
    // Reference 0; x strays to 0.8 ug at samples 60..69, y stays within 0.3 ug.
    FillScanData(doc->scan.input1, 100, kRate, [](int axis, int i) {
        if (axis == 0) return (i >= 60 && i < 70) ? 0.8e-6 : 0.0;
        return axis == 1 ? 0.3e-6 * (i % 2) : 0.0;
    });
    frame->attachDocument(doc.get());
    frame->resize(900, 600);
    frame->show();
    frame->prepareScanViews();
    doc->UpdateAllViews();
    ASSERT_FALSE(frame->passed());

    QcpChartControl& time = chart(TopTime);
    ASSERT_EQ(time.seriesCount(), CCorvelView::seriesWithLimits);
    for (int s = CCorvelView::firstLimitSeries; s < CCorvelView::seriesWithLimits; ++s)
        EXPECT_TRUE(time.isSeriesOnTop(s)) << "limit series " << s << " is drawn over the data";
    EXPECT_FALSE(time.isSeriesOnTop(0));
    EXPECT_GT(time.plot()->graph(CCorvelView::firstLimitSeries)->pen().widthF(),
              time.plot()->graph(0)->pen().widthF());

    // Each sample beyond the band is marked where it is.
    EXPECT_EQ(time.markCount(), 10u);
    // The document's verdict, said in the graph's unit.
    const DomainVerdict& v = doc->specificationVerdict.time[0];
    EXPECT_NEAR(v.worstValue, 0.8, 1e-9);
    EXPECT_NEAR(v.margin, -0.3, 1e-9);
    const QStringList lines = frame->excursionLines();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(lines[0], "Input 1: worst excursion 0.8 ug (x), limit 0.5 ug, 0.3 ug over");

    // The Properties list ends with the same line.
    EXPECT_EQ(CPropertiesDlg(doc->scan, nullptr, lines).lines().last(), lines[0]);

    if (const char* dir = std::getenv("TESSELON_SCREENSHOT_DIR"))
        frame->view(TopTime)->grab().save(QString::fromLocal8Bit(dir) + "/limits_and_marks.png");

    // Back inside the band after a rebuild: no marks, a positive margin.
    FillScanData(doc->scan.input1, 100, kRate, [](int, int i) { return 0.1e-6 * (i % 3); });
    doc->scan.configuration.Specification.takeReference[0] = 1;
    frame->prepareScanViews();
    doc->UpdateAllViews();
    EXPECT_EQ(time.markCount(), 0u);
    EXPECT_EQ(frame->excursionLines().value(0),
              "Input 1: worst excursion 0.2 ug (x), limit 0.5 ug, 0.3 ug within the limit");
}

} // namespace
