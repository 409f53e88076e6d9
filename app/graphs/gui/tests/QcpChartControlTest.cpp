#include "app/graphs/gui/QcpChartControl.h"
#include "testsupport/QtTestApp.h"

#include <QAction>
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <qcustomplot.h>

#include <cstdlib>
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

// The words pdftotext finds on the first page, with their boxes in points.
struct PdfWord
{
    QString text;
    double height = 0;
    QRectF box;
};
struct PdfText
{
    QSizeF page;
    std::vector<PdfWord> words;
    std::vector<PdfWord> named(const QString& text) const
    {
        std::vector<PdfWord> found;
        for (const PdfWord& w : words)
            if (w.text == text) found.push_back(w);
        return found;
    }
};

PdfText readPdfText(const QString& pdftotext, const QString& pdf)
{
    PdfText result;
    QProcess run;
    run.start(pdftotext, {QStringLiteral("-bbox"), QStringLiteral("-f"), QStringLiteral("1"),
                          QStringLiteral("-l"), QStringLiteral("1"), pdf, QStringLiteral("-")});
    if (!run.waitForFinished(60000) || run.exitCode() != 0) return result;
    const QString html = QString::fromUtf8(run.readAllStandardOutput());
    const QRegularExpression page(QStringLiteral(R"re(<page width="([\d.]+)" height="([\d.]+)")re"));
    const auto p = page.match(html);
    if (p.hasMatch()) result.page = QSizeF(p.captured(1).toDouble(), p.captured(2).toDouble());
    const QRegularExpression word(QStringLiteral(
        R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
    for (auto it = word.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        PdfWord w;
        w.box = QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                       QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()));
        w.height = w.box.height();
        w.text = m.captured(5);
        result.words.push_back(w);
    }
    return result;
}

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
    chart.setSeriesLabel(0, "x"); // something for the legend to show
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

TEST_F(ChartTest, PrintedGraphHasPageSizedTextsAndANamedLegendLikeTheExportedPdf)
{
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty()) GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    chart.setTitle("Printtitle");
    chart.setXAxisTitle("Seconds");
    chart.setYAxisTitle("Microtesla");
    const char* names[] = {"xtrace", "ytrace", "ztrace"};
    for (int s = 0; s < 3; ++s) {
        ramp(s, 0, 100, 1.0 + s, false);
        chart.setSeriesLabel(s, names[s]);
    }
    chart.show();
    chart.redraw();
    QTemporaryDir dir;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPageOrientation(QPageLayout::Landscape);
    printer.setOutputFileName(dir.filePath("print.pdf"));
    ASSERT_TRUE(chart.printTo(printer));
    ASSERT_TRUE(chart.exportImage(dir.filePath("export.pdf").toStdString(), ChartControl::ImageFormat::Pdf,
                                  640, 400));

    const PdfText printed = readPdfText(pdftotext, dir.filePath("print.pdf"));
    const PdfText exported = readPdfText(pdftotext, dir.filePath("export.pdf"));
    ASSERT_GT(printed.page.width(), 500) << "landscape A4 or Letter";
    ASSERT_FALSE(printed.words.empty());
    ASSERT_FALSE(exported.words.empty());

    // Every text fits on the page and is the size of print, not of a poster.
    const QRectF page(QPointF(0, 0), printed.page);
    for (const PdfWord& w : printed.words) {
        EXPECT_TRUE(page.contains(w.box)) << w.text.toStdString() << " runs off the page";
        // The y axis title is turned on its side: its box is tall and narrow.
        const double size = std::min(w.box.width(), w.box.height());
        EXPECT_GT(size, 3.0) << w.text.toStdString();
        EXPECT_LT(size, 30.0) << w.text.toStdString();
    }
    // The legend names its traces on paper as in the export.
    for (const char* name : names) {
        EXPECT_EQ(printed.named(QString::fromLatin1(name)).size(), 1u) << name;
        EXPECT_EQ(exported.named(QString::fromLatin1(name)).size(), 1u) << name;
    }
    // The same picture, scaled to the page: the title keeps its size relative to the graph.
    const auto printedTitle = printed.named(QStringLiteral("Printtitle"));
    const auto exportedTitle = exported.named(QStringLiteral("Printtitle"));
    ASSERT_EQ(printedTitle.size(), 1u);
    ASSERT_EQ(exportedTitle.size(), 1u);
    const double printedShare = printedTitle[0].box.width() / printed.page.width();
    const double exportedShare = exportedTitle[0].box.width() / exported.page.width();
    EXPECT_NEAR(printedShare / exportedShare, 1.0, 0.35);
    EXPECT_EQ(printed.named(QStringLiteral("Seconds")).size(), 1u);
    EXPECT_EQ(printed.named(QStringLiteral("Microtesla")).size(), 1u);
}

TEST_F(ChartTest, AGraphWithoutNamedSeriesLeavesNoLegendDotInItsImage)
{
    ramp(0, 0, 100, -1.0, false); // unnamed: not in the legend; falls away from the top right
    chart.redraw();
    EXPECT_FALSE(chart.plot()->legend->visible());
    QTemporaryDir dir;
    const QString file = dir.filePath("nolegend.png");
    ASSERT_TRUE(chart.exportImage(file.toStdString(), ChartControl::ImageFormat::Png, 640, 400));
    const QImage image(file);
    ASSERT_FALSE(image.isNull());
    if (const char* dir = std::getenv("TESSELON_SCREENSHOT_DIR"))
        image.save(QString::fromLocal8Bit(dir) + "/no_legend.png");
    // The legend's corner (top right of the plot area) is all background.
    const QRect axisRect = chart.plot()->axisRect()->rect();
    int dark = 0;
    for (int y = axisRect.top() + 2; y < axisRect.top() + 40; ++y)
        for (int x = axisRect.right() - 60; x < axisRect.right() - 2; ++x)
            if (QColor(image.pixel(x, y)).lightness() < 100) ++dark;
    EXPECT_EQ(dark, 0);

    chart.setSeriesLabel(0, "x");
    EXPECT_TRUE(chart.plot()->legend->visible()) << "a named series brings the legend back";
    chart.setDisplaySetting(ChartControl::LegendPosition, 0);
    EXPECT_FALSE(chart.plot()->legend->visible());
}

TEST_F(ChartTest, BackgroundsFollowThePaletteAndDarkKeepsTracesVisible)
{
    chart.setSeriesColour(1, 0xC8FF0000u); // blue, as the graphs draw y
    ramp(1, 0, 50, 1.0, false);
    const QColor base = QGuiApplication::palette().color(QPalette::Base);
    chart.setDisplaySetting(ChartControl::Background, 0);
    EXPECT_EQ(chart.plot()->axisRect()->backgroundBrush().color(), base);
    EXPECT_EQ(chart.plot()->graph(1)->pen().color().rgb(), QColor(0, 0, 255).rgb()) << "unchanged on light";

    chart.setDisplaySetting(ChartControl::Background, 2);
    const QColor drawn = chart.plot()->graph(1)->pen().color();
    const double luminance = 0.2126 * drawn.redF() + 0.7152 * drawn.greenF() + 0.0722 * drawn.blueF();
    EXPECT_GE(luminance, 0.45) << "blue lightened on the dark background";
    EXPECT_GT(drawn.blue(), drawn.red()) << "still blue";
    EXPECT_EQ(chart.seriesColour(1), 0xC8FF0000u) << "the chosen colour is kept";
    if (const char* dir = std::getenv("TESSELON_SCREENSHOT_DIR")) {
        chart.setSeriesColour(0, 0xC80000FFu); // red x
        ramp(0, 0, 50, -1.0, false);
        chart.setSeriesLabel(0, "x");
        chart.setSeriesLabel(1, "y");
        chart.redraw();
        chart.exportImage(std::string(dir) + "/dark_background.png", ChartControl::ImageFormat::Png, 500,
                          300);
    }
}

TEST_F(ChartTest, CustomEntriesCanBeGreyedAndAHiddenGraphSaysWhy)
{
    chart.setCustomMenu({"X", "Total Field"});
    EXPECT_TRUE(chart.isCustomMenuEnabled(1));
    chart.setCustomMenuEnabled(1, false);
    QMenu* menu = chart.createPopupMenu(nullptr);
    QAction* total = findAction(menu, "Total Field");
    ASSERT_NE(total, nullptr);
    EXPECT_FALSE(total->isEnabled());
    EXPECT_TRUE(findAction(menu, "X")->isEnabled());
    delete menu;

    chart.show();
    chart.setHiddenText("The spectrum is shown when the scan ends.");
    chart.setHidden(true);
    auto* label = chart.findChild<QLabel*>();
    ASSERT_NE(label, nullptr);
    EXPECT_TRUE(label->isVisible());
    EXPECT_EQ(label->text(), "The spectrum is shown when the scan ends.");
    ramp(0, 0, 5, 1.0, false); // data show the graph again
    EXPECT_FALSE(label->isVisible());
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
