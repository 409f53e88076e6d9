#include "app/graphs/gui/ScanPicture.h"

#include "app/acquisition/CCorvelDoc.h"
#include "app/graphs/DisplaySeries.h"
#include "app/graphs/gui/QcpChartControl.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include <optional>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;
using namespace GraphTables;

namespace {

// Hands the drawn series, packed in order, to a chart.
void plotSeries(QcpChartControl& chart, DisplaySeries& s, const std::vector<int>& drawn)
{
    chart.setSeriesCount(static_cast<int>(drawn.size()));
    if (s.count() == 0) return;
    const auto n = static_cast<std::uint32_t>(s.count());
    for (std::size_t i = 0; i < drawn.size(); ++i)
        chart.setSeriesData(static_cast<int>(i), s.x(), s.values(drawn[i]), n);
}

// Their labels, colours and first visibility.
void styleSeries(QcpChartControl& chart, const DisplaySeries& s, const std::vector<int>& drawn)
{
    for (std::size_t i = 0; i < drawn.size(); ++i) {
        chart.setSeriesLabel(static_cast<int>(i), s.label(drawn[i]));
        chart.setSeriesColour(static_cast<int>(i), DisplaySeries::colour(drawn[i]));
    }
    const std::array<bool, 4> visible = s.initialVisibility();
    for (std::size_t i = 0; i < drawn.size(); ++i)
        chart.setSeriesVisible(static_cast<int>(i), visible[static_cast<std::size_t>(drawn[i])]);
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
        fillPane(document, kind);
        charts_[static_cast<std::size_t>(kind)]->setVisible(shown_[static_cast<std::size_t>(kind)]);
    }
    // A row without a shown pane collapses, as in the scan window's splitter.
    rows_[0]->setVisible(shown_[TopTime] || shown_[TopFrequency]);
    rows_[1]->setVisible(shown_[BottomTime] || shown_[BottomFrequency]);

    resize(width, height);
}

ScanPicture::~ScanPicture() = default;

void ScanPicture::fillPane(CCorvelDoc& document, int kind)
{
    const int input = isInput2(kind) ? 1 : 0;
    DisplaySeries s =
        isSpectrum(kind) ? DisplaySeries::spectrum(document, input) : DisplaySeries::time(document, input);
    const std::vector<int> drawn = s.drawnSeries();
    QcpChartControl& chart = *charts_[static_cast<std::size_t>(kind)];
    plotSeries(chart, s, drawn);
    if (const std::optional<ChartControl::Range> range = manualYRange(document, kind))
        chart.setManualYRange(*range);
    else
        chart.setAutomaticYRange();
    styleSeries(chart, s, drawn);
    const PaneTitles titles = paneTitles(document, kind);
    chart.setTitle(titles.graph);
    chart.setXAxisTitle(titles.x);
    chart.setYAxisTitle(titles.y);
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
