#include "app/graphs/gui/ScanPicture.h"

#include "app/acquisition/CCorvelDoc.h"
#include "app/acquisition/ScanDataLock.h"
#include "app/acquisition/Spectrum.h"
#include "app/graphs/gui/QcpChartControl.h"
#include "common/Locker.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include <algorithm>
#include <random>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;
using namespace GraphTables;

namespace {

const std::string& sensorType(const CCorvelDoc& document, int input)
{
    const CScanConfiguration& c = document.scan.configuration;
    return c.inputMode(input);
}

// The displayed values: x plus one series per axis and, when asked, the total field.
struct DisplaySeries
{
    MappedSeries x;
    std::array<MappedSeries, 3> y;
    MappedSeries total;
    std::vector<MappedSeries*> axes() { return {&y[0], &y[1], &y[2]}; }
};

// Hands the converted axes (and their total field, over the same points) to a chart.
void plotSeries(QcpChartControl& chart, DisplaySeries& s, int axes, bool withTotal, int count)
{
    if (withTotal) {
        std::vector<MappedSeries*> used = s.axes();
        used.resize(static_cast<std::size_t>(axes));
        TotalField(used, static_cast<std::uint32_t>(count), s.total);
    }
    chart.setSeriesCount(axes + (withTotal ? 1 : 0));
    if (count <= 0) return;
    const auto n = static_cast<std::uint32_t>(count);
    const double* x = s.x.span(0, n);
    for (int a = 0; a < axes; ++a)
        chart.setSeriesData(a, x, s.y[static_cast<std::size_t>(a)].span(0, n), n);
    if (withTotal) chart.setSeriesData(axes, x, s.total.span(0, n), n);
}

} // namespace

ScanPicture::ScanPicture(CCorvelDoc& document, int width, int height, QWidget* parent) : QWidget(parent)
{
    // Drawn for a file, never shown to anyone.
    setAttribute(Qt::WA_DontShowOnScreen);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);

    auto* grid = new QVBoxLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(4);
    for (int row = 0; row < 2; ++row) {
        rows_[static_cast<std::size_t>(row)] = new QWidget(this);
        auto* line = new QHBoxLayout(rows_[static_cast<std::size_t>(row)]);
        line->setContentsMargins(0, 0, 0, 0);
        line->setSpacing(4);
        for (int column = 0; column < 2; ++column) {
            const int kind = row * 2 + column;
            auto* chart = new QcpChartControl(rows_[static_cast<std::size_t>(row)]);
            charts_[static_cast<std::size_t>(kind)] = chart;
            line->addWidget(chart, 1);
        }
        grid->addWidget(rows_[static_cast<std::size_t>(row)], 1);
    }

    const CScanConfiguration& c = document.scan.configuration;
    shown_ =
        panesForConfiguration(c.UseInput1 != 0, c.Input1DisplayType, c.UseInput2 != 0, c.Input2DisplayType);
    for (int kind = 0; kind < paneCount; ++kind) {
        if (isSpectrum(kind))
            fillSpectrum(document, kind);
        else
            fillTime(document, kind);
        charts_[static_cast<std::size_t>(kind)]->setVisible(shown_[static_cast<std::size_t>(kind)]);
    }
    // A row without a shown pane collapses, as in the scan window's splitter.
    rows_[0]->setVisible(shown_[TopTime] || shown_[TopFrequency]);
    rows_[1]->setVisible(shown_[BottomTime] || shown_[BottomFrequency]);

    resize(width, height);
}

ScanPicture::~ScanPicture() = default;

void ScanPicture::fillTime(CCorvelDoc& document, int kind)
{
    const int input = isInput2(kind) ? 1 : 0;
    const CScanConfiguration& c = document.scan.configuration;
    ScanData& data = document.scan.input(input);
    const bool microphone = sensorType(document, input) == "Microphone";
    const std::string& mode = input == 0 ? c.Input1DisplayMode : c.Input2DisplayMode;

    int count = 0;
    int axes = 0;
    {
        FenmarlCommonDLL::ThreadLocker lock(&ScanDataLock(), true);
        count = std::max(data.samplesAcquired, 0);
        axes = std::clamp(data.allocatedAxes(), 0, 3);
    }
    DisplaySeries s;
    ConvertTimeForDisplay(data, mode, 0, microphone, document.inputScale(input), s.x, s.axes());
    const bool withTotal = c.ShowTotalField != 0 && axes > 0;
    QcpChartControl& chart = *charts_[static_cast<std::size_t>(kind)];
    plotSeries(chart, s, axes, withTotal, count);

    const int autoScale = input == 0 ? c.Input1AutoScale : c.Input2AutoScale;
    const double minimum = input == 0 ? c.Input1Minimum : c.Input2Minimum;
    const double maximum = input == 0 ? c.Input1Maximum : c.Input2Maximum;
    if (autoScale == 0)
        chart.setManualYRange({minimum, maximum});
    else
        chart.setAutomaticYRange();
    finishPane(document, kind, axes, withTotal);
}

void ScanPicture::fillSpectrum(CCorvelDoc& document, int kind)
{
    const int input = isInput2(kind) ? 1 : 0;
    const CScanConfiguration& c = document.scan.configuration;
    ScanData& data = document.scan.input(input);
    const bool microphone = sensorType(document, input) == "Microphone";
    const std::string& mode = input == 0 ? c.Input1DisplayMode : c.Input2DisplayMode;

    int axes = 0;
    {
        FenmarlCommonDLL::ThreadLocker lock(&ScanDataLock(), true);
        axes = std::clamp(data.allocatedAxes(), 0, 3);
    }
    DisplaySeries s;
    int count = 0;
    // A microphone's spectrum is already in pascals: it is shown in dB.
    ConvertSpectrumForDisplay(data, mode, microphone, microphone ? 1.0 : document.inputScale(input), s.x,
                              s.axes(), count);
    const bool withTotal = c.ShowTotalField != 0 && axes > 0;
    // The total over the shown points only, so every value has its frequency.
    QcpChartControl& chart = *charts_[static_cast<std::size_t>(kind)];
    plotSeries(chart, s, axes, withTotal, count);
    chart.setAutomaticYRange();
    finishPane(document, kind, axes, withTotal);
}

void ScanPicture::finishPane(CCorvelDoc& document, int kind, int components, bool withTotal)
{
    const CScanConfiguration& c = document.scan.configuration;
    const DefaultSettings& d = document.settings;
    const int input = isInput2(kind) ? 1 : 0;
    const bool spectrum = isSpectrum(kind);
    QcpChartControl& chart = *charts_[static_cast<std::size_t>(kind)];

    std::mt19937 random(1);
    const int count = components + (withTotal ? 1 : 0);
    for (int i = 0; i < count; ++i) {
        const int index = i < components ? i : totalFieldSeries;
        chart.setSeriesLabel(i, seriesLabel(index));
        chart.setSeriesColour(i, seriesColour(index, random));
    }
    const std::array<bool, 4> visible =
        initialVisibility(withTotal ? 4 : 3, c.ShowTotalField != 0, c.ShowFieldComponents != 0);
    for (int i = 0; i < count; ++i)
        chart.setSeriesVisible(i, visible[static_cast<std::size_t>(i < components ? i : totalFieldSeries)]);

    const TitleSettings titles{d.Input1TTitle, d.Input1FTitle,        d.Input2TTitle,
                               d.Input2FTitle, d.Input2TDifGradTitle, d.Input2FDifGradTitle};
    chart.setTitle(graphTitle(kind, titles, c.DiffGrad != 0, c.UseInput1 != 0, c.Input1Mode, c.Input2Mode));
    chart.setXAxisTitle(xAxisTitle(spectrum));
    chart.setYAxisTitle(yAxisTitle(sensorType(document, input), d.MagneticUnits, d.VibrationUnits, spectrum,
                                   input == 0 ? d.Input1Scaling : d.Input2Scaling));
    chart.setAutomaticXRange();
    chart.redraw();
}

QImage ScanPicture::image()
{
    // Laid out and drawn at the requested size before the grab.
    show();
    if (layout()) layout()->activate();
    for (QWidget* row : rows_)
        if (row->layout()) row->layout()->activate();
    QCoreApplication::processEvents();
    for (QcpChartControl* chart : charts_)
        chart->redraw();
    QImage picture = grab().toImage();
    hide();
    return picture;
}

bool ScanPicture::savePng(const fs::path& path, std::string* error)
{
    const QImage picture = image();
    if (picture.isNull()) {
        if (error) *error = "The graphs could not be drawn.";
        return false;
    }
    if (!picture.save(QString::fromStdString(path.string()), "PNG")) {
        if (error) *error = "Cannot write the picture " + path.string();
        return false;
    }
    return true;
}

bool ScanPicture::saveScanFile(const fs::path& scanFile, const fs::path& png, std::string* error)
{
    CCorvelDoc document;
    if (!document.OnOpenDocument(scanFile, nullptr)) {
        if (error)
            *error = "Cannot open the scan file " + scanFile.string() +
                     (document.lastError().empty() ? std::string() : ": " + document.lastError());
        return false;
    }
    ScanPicture picture(document);
    return picture.savePng(png, error);
}

fs::path ScanPicture::newestScanFile(const fs::path& folder, fs::file_time_type since)
{
    fs::path newest;
    fs::file_time_type newestTime = since;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file(ec) || it->path().extension() != ".ts6") continue;
        const fs::file_time_type written = it->last_write_time(ec);
        if (ec) {
            ec.clear();
            continue;
        }
        if (written >= newestTime) {
            newest = it->path();
            newestTime = written;
        }
    }
    return newest;
}
