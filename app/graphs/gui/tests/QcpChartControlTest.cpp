#include "app/graphs/gui/QcpChartControl.h"
#include "app/shell/gui/tests/QtTestApp.h"

#include <QAction>
#include <QClipboard>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QMouseEvent>
#include <QPrinter>
#include <QTemporaryDir>
#include <qcustomplot.h>

#include <vector>

namespace {

struct RecordingListener : ChartControl::Listener
{
    std::vector<int> clicks;
    int settingsChanged = 0;
    std::vector<std::pair<double, double>> cursor;
    void customMenuClicked(int index) override { clicks.push_back(index); }
    void displaySettingsChanged() override { ++settingsChanged; }
    void cursorMoved(double x, double y) override { cursor.emplace_back(x, y); }
};

class ChartTest : public QtTest
{
protected:
    void SetUp() override
    {
        chart.resize(640, 400);
        chart.setSeriesCount(4);
        chart.setListener(&listener);
    }

    void ramp(int series, int from, int count, double slope, bool append)
    {
        std::vector<double> x, y;
        for (int i = from; i < from + count; ++i) {
            x.push_back(i * 0.5);
            y.push_back(slope * i);
        }
        if (append)
            chart.appendSeriesData(series, x.data(), y.data(), x.size());
        else
            chart.setSeriesData(series, x.data(), y.data(), x.size());
    }

    QAction* findAction(QMenu* menu, const QString& text)
    {
        for (QAction* a : menu->actions()) {
            if (a->text() == text) return a;
            if (a->menu())
                if (QAction* found = findAction(a->menu(), text)) return found;
        }
        return nullptr;
    }

    QcpChartControl chart;
    RecordingListener listener;
};

TEST_F(ChartTest, AppendKeepsEarlierPointsAndAutomaticRangeFollowsNewExtremes)
{
    ramp(0, 0, 100, 1.0, false);
    ramp(0, 100, 50, 1.0, true);
    EXPECT_EQ(chart.seriesPointCount(0), 150u);
    EXPECT_EQ(chart.seriesPointCount(1), 0u);
    const QCPGraphDataContainer& data = *chart.plot()->graph(0)->data();
    EXPECT_DOUBLE_EQ(data.at(0)->value, 0.0);
    EXPECT_DOUBLE_EQ(data.at(149)->value, 149.0);

    chart.redraw();
    EXPECT_LE(chart.xRange().lower, 0.0);
    EXPECT_GE(chart.xRange().upper, 74.5);
    EXPECT_GE(chart.yRange().upper, 149.0);

    // Replacing forgets the old extent.
    ramp(0, 0, 10, -1.0, false);
    chart.redraw();
    EXPECT_EQ(chart.seriesPointCount(0), 10u);
    EXPECT_LT(chart.yRange().upper, 10.0);
    EXPECT_LE(chart.yRange().lower, -9.0);
}

TEST_F(ChartTest, HiddenSeriesLeaveTheRangeAndTheLegend)
{
    ramp(0, 0, 10, 1.0, false);
    ramp(1, 0, 10, 100.0, false);
    chart.setSeriesLabel(0, "x");
    chart.setSeriesLabel(1, "y");
    chart.setSeriesVisible(1, false);
    chart.redraw();
    EXPECT_FALSE(chart.isSeriesVisible(1));
    EXPECT_TRUE(chart.isSeriesVisible(0));
    EXPECT_LT(chart.yRange().upper, 100.0);
    EXPECT_FALSE(chart.plot()->legend->hasItemWithPlottable(chart.plot()->graph(1)));
    EXPECT_TRUE(chart.plot()->legend->hasItemWithPlottable(chart.plot()->graph(0)));

    chart.setSeriesVisible(1, true);
    chart.redraw();
    EXPECT_GE(chart.yRange().upper, 900.0);
    EXPECT_FALSE(chart.isSeriesVisible(7)); // out of range asks nothing of the plot
}

TEST_F(ChartTest, ManualRangesHoldUntilAutomaticIsAskedFor)
{
    ramp(0, 0, 10, 1.0, false);
    chart.setManualYRange({-5.0, 5.0});
    chart.redraw();
    EXPECT_TRUE(chart.isYRangeManual());
    EXPECT_EQ(chart.yRange(), (ChartControl::Range{-5.0, 5.0}));
    ramp(0, 10, 10, 1.0, true);
    chart.redraw();
    EXPECT_EQ(chart.yRange(), (ChartControl::Range{-5.0, 5.0}));
    chart.setAutomaticYRange();
    chart.redraw();
    EXPECT_GE(chart.yRange().upper, 19.0);
    // A degenerate manual range is still drawable.
    chart.setManualXRange({3.0, 3.0});
    chart.redraw();
    EXPECT_LT(chart.xRange().lower, chart.xRange().upper);
}

TEST_F(ChartTest, ZoomSurvivesRedrawsUntilUndone)
{
    ramp(0, 0, 200, 1.0, false);
    chart.redraw();
    const ChartControl::Range full = chart.yRange();
    chart.zoomTo({10.0, 20.0}, {30.0, 40.0});
    ramp(0, 200, 100, 1.0, true);
    chart.redraw();
    EXPECT_TRUE(chart.isZoomed());
    EXPECT_EQ(chart.xRange(), (ChartControl::Range{10.0, 20.0}));
    chart.undoZoom();
    EXPECT_FALSE(chart.isZoomed());
    EXPECT_GT(chart.yRange().upper, full.upper); // back to automatic, including the appended points
}

TEST_F(ChartTest, DraggingARectangleZoomsToIt)
{
    ramp(0, 0, 200, 1.0, false);
    chart.show();
    chart.redraw();
    const QRect area = chart.plot()->axisRect()->rect();
    const QPointF from = area.topLeft() + QPointF(area.width() * 0.25, area.height() * 0.25);
    const QPointF to = area.topLeft() + QPointF(area.width() * 0.5, area.height() * 0.5);
    const ChartControl::Range before = chart.xRange();
    const double cursorX = chart.plot()->xAxis->pixelToCoord(to.x());
    QMouseEvent press(QEvent::MouseButtonPress, from, chart.plot()->mapToGlobal(from), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent move(QEvent::MouseMove, to, chart.plot()->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, to, chart.plot()->mapToGlobal(to), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(chart.plot(), &press);
    QCoreApplication::sendEvent(chart.plot(), &move);
    QCoreApplication::sendEvent(chart.plot(), &release);
    EXPECT_TRUE(chart.isZoomed());
    const double quarter = before.lower + (before.upper - before.lower) * 0.25;
    EXPECT_NEAR(chart.xRange().lower, quarter, (before.upper - before.lower) * 0.02);
    EXPECT_LT(chart.xRange().upper - chart.xRange().lower, (before.upper - before.lower) * 0.3);
    ASSERT_FALSE(listener.cursor.empty());
    EXPECT_NEAR(listener.cursor.back().first, cursorX, 1e-9);
    chart.undoZoom();
    EXPECT_EQ(chart.xRange(), before);
}

TEST_F(ChartTest, DisplaySettingsAreClampedAndResetSparesAntialiasing)
{
    chart.setDisplaySetting(ChartControl::LineWidth, 99);
    EXPECT_EQ(chart.displaySetting(ChartControl::LineWidth), 5);
    chart.setDisplaySetting(ChartControl::GridLines, -3);
    EXPECT_EQ(chart.displaySetting(ChartControl::GridLines), 0);
    chart.setDisplaySetting(ChartControl::GridLines, 3);
    EXPECT_FALSE(chart.plot()->xAxis->grid()->visible());
    EXPECT_FALSE(chart.plot()->yAxis->grid()->visible());
    chart.setDisplaySetting(ChartControl::Antialiasing, 0);
    chart.setDisplaySetting(ChartControl::LegendPosition, 0);
    EXPECT_FALSE(chart.plot()->legend->visible());
    chart.setDisplaySetting(ChartControl::Background, 2);

    chart.resetDisplaySettings();
    for (int slot = 0; slot < ChartControl::displaySettingCount; ++slot) {
        if (slot == ChartControl::Antialiasing)
            EXPECT_EQ(chart.displaySetting(slot), 0);
        else
            EXPECT_EQ(chart.displaySetting(slot), ChartControl::defaultSettings[slot]) << slot;
    }
    EXPECT_TRUE(chart.plot()->legend->visible());
    EXPECT_TRUE(chart.plot()->xAxis->grid()->visible());
}

TEST_F(ChartTest, LogarithmicAxisIgnoresNonPositiveValues)
{
    const double x[] = {1, 2, 3, 4};
    const double y[] = {-5, 0, 0.01, 1000};
    chart.setSeriesData(0, x, y, 4);
    chart.setDisplaySetting(ChartControl::LogYAxis, 1);
    chart.redraw();
    EXPECT_EQ(chart.plot()->yAxis->scaleType(), QCPAxis::stLogarithmic);
    EXPECT_GT(chart.yRange().lower, 0.0);
    EXPECT_LE(chart.yRange().lower, 0.01);
    EXPECT_GE(chart.yRange().upper, 1000.0);
}

TEST_F(ChartTest, PopupMenuCarriesCustomEntriesAndDisplayOptions)
{
    chart.setCustomMenu({"|", "X", "Y", "Z", "Total Field", "|", "Reset Graph Settings"});
    chart.setCustomMenuChecked(1, true);
    chart.setCustomMenuChecked(4, false);
    std::unique_ptr<QMenu> menu(chart.createPopupMenu(nullptr));
    QStringList texts;
    for (QAction* a : menu->actions())
        texts << (a->isSeparator() ? QStringLiteral("|") : a->text());
    ASSERT_GE(texts.size(), 7);
    EXPECT_EQ(texts.mid(0, 7), (QStringList{"X", "Y", "Z", "Total Field", "|", "Reset Graph Settings", "|"}));
    EXPECT_TRUE(menu->actions()[0]->isChecked());
    EXPECT_TRUE(menu->actions()[3]->isCheckable());
    EXPECT_FALSE(menu->actions()[3]->isChecked());

    findAction(menu.get(), "Z")->trigger();
    findAction(menu.get(), "Reset Graph Settings")->trigger();
    EXPECT_EQ(listener.clicks, (std::vector<int>{3, 6}));

    QAction* undo = findAction(menu.get(), "Undo Zoom");
    ASSERT_NE(undo, nullptr);
    EXPECT_FALSE(undo->isEnabled());

    findAction(menu.get(), "Dark")->trigger();
    EXPECT_EQ(chart.displaySetting(ChartControl::Background), 2);
    findAction(menu.get(), "Sub-Grid")->trigger();
    EXPECT_EQ(chart.displaySetting(ChartControl::SubGrid), 1);
    EXPECT_EQ(listener.settingsChanged, 2);
}

TEST_F(ChartTest, ExportWritesEachFormatAtTheRequestedSize)
{
    ramp(0, 0, 100, 1.0, false);
    chart.redraw();
    QTemporaryDir dir;
    const std::string png = dir.filePath("g.png").toStdString();
    ASSERT_TRUE(chart.exportImage(png, ChartControl::ImageFormat::Png, 321, 123));
    EXPECT_EQ(QImage(QString::fromStdString(png)).size(), QSize(321, 123));
    const std::string jpg = dir.filePath("g.jpg").toStdString();
    ASSERT_TRUE(chart.exportImage(jpg, ChartControl::ImageFormat::Jpeg, 200, 100));
    EXPECT_EQ(QImage(QString::fromStdString(jpg)).size(), QSize(200, 100));
    const std::string bmp = dir.filePath("g.bmp").toStdString();
    ASSERT_TRUE(chart.exportImage(bmp, ChartControl::ImageFormat::Bmp, 64, 48));
    EXPECT_EQ(QImage(QString::fromStdString(bmp)).size(), QSize(64, 48));
    const std::string pdf = dir.filePath("g.pdf").toStdString();
    ASSERT_TRUE(chart.exportImage(pdf, ChartControl::ImageFormat::Pdf, 600, 400));
    QFile f(QString::fromStdString(pdf));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.read(5).startsWith("%PDF"));

    EXPECT_FALSE(
        chart.exportImage(dir.filePath("big.png").toStdString(), ChartControl::ImageFormat::Png, 10001, 10));
    EXPECT_FALSE(QFile::exists(dir.filePath("big.png")));
}

TEST_F(ChartTest, CopyImagePutsTheChosenSizeOnTheClipboard)
{
    ramp(0, 0, 100, 1.0, false);
    chart.redraw();
    ASSERT_TRUE(chart.copyImage(300, 500));
    const QImage copied = QGuiApplication::clipboard()->image();
    EXPECT_EQ(copied.size(), QSize(500, 300));
    EXPECT_FALSE(chart.copyImage(10001, 10));
    EXPECT_FALSE(chart.copyImage(10, -1));
}

TEST_F(ChartTest, PrintingToAPdfPrinterWritesADocument)
{
    ramp(0, 0, 100, 1.0, false);
    chart.redraw();
    QTemporaryDir dir;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath("print.pdf"));
    ASSERT_TRUE(chart.printTo(printer));
    EXPECT_GT(QFile(dir.filePath("print.pdf")).size(), 500);
}

TEST_F(ChartTest, HiddenChartShowsItselfWhenDataArrive)
{
    chart.setHidden(true);
    EXPECT_TRUE(chart.isHidden());
    EXPECT_TRUE(chart.plot()->isHidden());
    ramp(2, 0, 5, 1.0, false);
    EXPECT_FALSE(chart.isHidden());
    EXPECT_FALSE(chart.plot()->isHidden());
}

} // namespace

namespace {

// A dense record: a slow sine, a faster one and a little noise, with a gap.
void denseRecord(std::size_t from, std::size_t count, double amplitude, std::vector<double>& x,
                 std::vector<double>& y)
{
    x.clear();
    y.clear();
    for (std::size_t i = from; i < from + count; ++i) {
        x.push_back(static_cast<double>(i) * 1e-3);
        const double t = static_cast<double>(i);
        y.push_back(i >= 30000 && i < 30050 ? std::nan("")
                                            : amplitude * std::sin(t * 2e-4) + 0.3 * std::sin(t * 0.37) +
                                                  0.05 * static_cast<double>((i * 7919) % 13));
    }
}

QImage drawing(QcpChartControl& chart, bool envelope)
{
    chart.setEnvelopeDrawing(envelope);
    chart.plot()->replot();
    return chart.plot()->toPixmap(chart.width(), chart.height()).toImage().convertToFormat(QImage::Format_RGB32);
}

// The series' red, also where anti-aliasing lightens it at the edges.
bool drawn(const QImage& image, int x, int y)
{
    const QColor c = image.pixelColor(x, y);
    return c.red() - c.green() >= 60 && c.red() - c.blue() >= 60;
}

// Pixels of the series in one picture and not in the other, as a share of
// the pixels of the series in either.
double differingPixels(const QImage& a, const QImage& b)
{
    int differing = 0;
    int either = 0;
    for (int x = 0; x < a.width(); ++x)
        for (int y = 0; y < a.height(); ++y) {
            const bool inA = drawn(a, x, y);
            const bool inB = drawn(b, x, y);
            either += inA || inB;
            differing += inA != inB;
        }
    return either == 0 ? 1.0 : static_cast<double>(differing) / either;
}

} // namespace

// A long record drawn from its envelope looks like the drawing of every
// point: fewer than 5 % of the series' pixels differ, also after
// appending and after the record was cut back at its end; zoomed in far
// enough to see the points, the envelope steps aside and the picture is the
// same to the pixel. The data itself stays every real point.
TEST_F(ChartTest, EnvelopeDrawingLooksLikeTheDrawingOfEveryPoint)
{
    chart.resize(900, 520);
    chart.setSeriesCount(1);
    chart.setSeriesColour(0, 0xFF0000C8); // red, opaque
    std::vector<double> x, y;
    denseRecord(0, 60000, 1.0, x, y);
    chart.setSeriesData(0, x.data(), y.data(), x.size());
    chart.redraw();
    EXPECT_LT(differingPixels(drawing(chart, true), drawing(chart, false)), 0.05);

    // Appended points with a larger swing: the envelope follows them.
    denseRecord(60000, 60000, 3.0, x, y);
    chart.appendSeriesData(0, x.data(), y.data(), x.size());
    chart.redraw();
    const QImage appended = drawing(chart, true);
    EXPECT_LT(differingPixels(appended, drawing(chart, false)), 0.05);
    EXPECT_EQ(chart.seriesPointCount(0), 120000u);
    EXPECT_EQ(chart.plot()->graph(0)->data()->at(70000)->value, y[10000]); // the real sample

    // Cut back at the end behind the control's back, then drawn: the envelope
    // must not show the points that are gone.
    chart.plot()->graph(0)->data()->removeAfter(90.0);
    chart.redraw();
    EXPECT_LT(differingPixels(drawing(chart, true), drawing(chart, false)), 0.05);
    EXPECT_GT(differingPixels(drawing(chart, true), appended), 0.15);

    // Zoomed in to a few hundred points: the real points, pixel for pixel.
    chart.zoomTo({10.0, 10.4}, {-2.0, 2.0});
    EXPECT_EQ(drawing(chart, true), drawing(chart, false));
}
