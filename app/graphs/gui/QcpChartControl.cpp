#include "app/graphs/gui/QcpChartControl.h"

#include "app/acquisition/ProgressPulse.h"
#include "app/graphs/MinMaxPyramid.h"
#include "app/graphs/gui/ChartExportDialog.h"

#include <QActionGroup>
#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QVBoxLayout>
#include <qcustomplot.h>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

QColor fromColourRef(std::uint32_t c)
{
    return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                  static_cast<int>((c >> 16) & 0xFF), static_cast<int>((c >> 24) & 0xFF));
}

// Keeps a range drawable: QCustomPlot refuses empty or inverted ranges.
ChartControl::Range widened(ChartControl::Range r, bool logarithmic)
{
    if (!std::isfinite(r.lower) || !std::isfinite(r.upper))
        return logarithmic ? ChartControl::Range{0.1, 1.0} : ChartControl::Range{0.0, 1.0};
    if (r.lower > r.upper) std::swap(r.lower, r.upper);
    if (r.upper - r.lower <= std::abs(r.upper) * 1e-12) {
        if (logarithmic) {
            r.lower /= 2;
            r.upper *= 2;
        } else {
            const double pad = r.upper == 0.0 ? 1.0 : std::abs(r.upper) * 0.05;
            r.lower -= pad;
            r.upper += pad;
        }
    }
    return r;
}

// A graph that draws long records from a min/max envelope: per bucket of
// consecutive points their minimum and maximum, at least two buckets per
// pixel, so a redraw costs what the pane shows and not the record's length.
// Zoomed in far enough to see the points, it draws the real points. The data
// container keeps every real point (cursor readouts, tests and exports read
// it); the pyramid follows it by index and is brought up to date before each
// use, which covers appending and cutting back at the end. Other changes go
// through the control, which starts the pyramid afresh.
class EnvelopeGraph : public QCPGraph
{
public:
    EnvelopeGraph(QCPAxis* keyAxis, QCPAxis* valueAxis) : QCPGraph(keyAxis, valueAxis) {}

    void setEnvelopeEnabled(bool on) { enabled_ = on; }
    void restartEnvelope() const { pyramid_.clear(); }
    // Brings the pyramid to the container's points.
    void syncEnvelope() const
    {
        const QCPGraphDataContainer& data = *mDataContainer;
        const auto size = static_cast<std::size_t>(data.size());
        if (pyramid_.size() > size) {
            pyramid_.truncate(size, [&](std::size_t i) { return (data.constBegin() + i)->value; });
        } else if (pyramid_.size() < size) {
            // The container's records lie side by side: read their values in place.
            static_assert(sizeof(QCPGraphData) == 2 * sizeof(double));
            const QCPGraphData* first = &*(data.constBegin() + static_cast<qsizetype>(pyramid_.size()));
            pyramid_.append(&first->value, size - pyramid_.size(), 2);
        }
    }

protected:
    void getOptimizedLineData(QVector<QCPGraphData>* lineData,
                              const QCPGraphDataContainer::const_iterator& begin,
                              const QCPGraphDataContainer::const_iterator& end) const override
    {
        QCPAxis* keyAxis = mKeyAxis.data();
        const auto count = static_cast<std::size_t>(end - begin);
        if (!lineData || !enabled_ || !keyAxis || count < 2 || mLineStyle != lsLine ||
            keyAxis->scaleType() != QCPAxis::stLinear) {
            QCPGraph::getOptimizedLineData(lineData, begin, end);
            return;
        }
        const double pixels =
            std::abs(keyAxis->coordToPixel((end - 1)->key) - keyAxis->coordToPixel(begin->key));
        // Few enough points to see them: draw them as they are.
        if (static_cast<double>(count) <= 4.0 * pixels + 64.0) {
            QCPGraph::getOptimizedLineData(lineData, begin, end);
            return;
        }
        syncEnvelope();
        // Four buckets or more per pixel, gathered per pixel column as
        // QCustomPlot's own sampling gathers points: a column's minimum and
        // maximum, so the picture is that of every point.
        const std::size_t level = pyramid_.levelFor(count, pixels, 4.0);
        if (level >= pyramid_.levels()) {
            QCPGraph::getOptimizedLineData(lineData, begin, end);
            return;
        }
        const QCPGraphDataContainer::const_iterator origin = mDataContainer->constBegin();
        const auto firstIndex = static_cast<std::size_t>(begin - origin);
        const std::size_t size = pyramid_.bucketSize(level);
        const std::size_t first = firstIndex / size;
        const std::size_t last = std::min((firstIndex + count - 1) / size, pyramid_.bucketCount(level) - 1);
        const double reversed = keyAxis->rangeReversed() ? -1 : 1;
        const double epsilon = std::abs(keyAxis->pixelToCoord(1) - keyAxis->pixelToCoord(0));
        auto columnStart = [&](double key) {
            return keyAxis->pixelToCoord(static_cast<int>(keyAxis->coordToPixel(key) + reversed));
        };
        lineData->clear();
        lineData->reserve(static_cast<qsizetype>(4 * pixels + 8));
        const double nan = std::numeric_limits<double>::quiet_NaN();
        double start = 0;
        double lo = 0, hi = 0;
        bool open = false; // a column holds values
        bool gap = false;
        auto flush = [&] {
            if (open) {
                lineData->append(QCPGraphData(start + epsilon * 0.25, lo));
                lineData->append(QCPGraphData(start + epsilon * 0.75, hi));
            }
            // A missing value breaks the line, as in the drawing of every point.
            if (gap) lineData->append(QCPGraphData(start + epsilon * 0.8, nan));
            open = gap = false;
        };
        for (std::size_t i = first; i <= last; ++i) {
            const double key = (origin + static_cast<qsizetype>(i * size))->key;
            if (i == first || key >= start + epsilon) {
                flush();
                start = columnStart(key);
            }
            const MinMaxPyramid::Bucket b = pyramid_.bucket(level, i);
            gap = gap || b.gap;
            if (b.empty()) continue;
            lo = open ? std::min(lo, b.min) : b.min;
            hi = open ? std::max(hi, b.max) : b.max;
            open = true;
        }
        flush();
    }

private:
    bool enabled_ = true;
    mutable MinMaxPyramid pyramid_;
};

const char* const gridNames[] = {"Both", "Horizontal Only", "Vertical Only", "None"};
const char* const legendNames[] = {"Hidden", "Top Left", "Top Right", "Bottom Left", "Bottom Right"};
const char* const markerNames[] = {"None", "Dot", "Circle", "Cross", "Square"};
const char* const backgroundNames[] = {"White", "Light Grey", "Dark"};

} // namespace

QcpChartControl::QcpChartControl(QWidget* parent) : QWidget(parent)
{
    plot_ = new QCustomPlot(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(plot_);
    hiddenLabel_ = new QLabel(this);
    hiddenLabel_->setAlignment(Qt::AlignCenter);
    hiddenLabel_->setWordWrap(true);
    hiddenLabel_->hide();
    layout->addWidget(hiddenLabel_);

    plot_->plotLayout()->insertRow(0);
    title_ = new QCPTextElement(plot_, QString(), QFont(QStringLiteral("Sans"), 11, QFont::Bold));
    plot_->plotLayout()->addElement(0, 0, title_);

    plot_->setSelectionRectMode(QCP::srmZoom);
    plot_->selectionRect()->setPen(QPen(Qt::black, 1, Qt::DashLine));
    plot_->selectionRect()->setBrush(QColor(0, 0, 255, 30));
    // Long records: let QCustomPlot decimate per pixel column and skip costly extras while dragging.
    plot_->setNoAntialiasingOnDrag(true);
    plot_->setPlottingHint(QCP::phCacheLabels, true);
    plot_->legend->setVisible(true);
    plot_->legend->setFont(QFont(QStringLiteral("Sans"), 8));

    connect(plot_->selectionRect(), &QCPSelectionRect::accepted, this,
            [this](const QRect&, QMouseEvent*) { zoomed_ = true; });
    connect(plot_, &QCustomPlot::mouseMove, this, &QcpChartControl::onMouseMove);
    plot_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(plot_, &QWidget::customContextMenuRequested, this, &QcpChartControl::onContextMenu);

    for (int slot = 0; slot < displaySettingCount; ++slot)
        applySetting(slot);
}

QcpChartControl::~QcpChartControl() = default;

void QcpChartControl::setSeriesCount(int count)
{
    count = std::max(0, count);
    while (static_cast<int>(series_.size()) > count) {
        plot_->removeGraph(series_.back().graph);
        series_.pop_back();
    }
    while (static_cast<int>(series_.size()) < count) {
        Series s;
        s.graph = new EnvelopeGraph(plot_->xAxis, plot_->yAxis);
        static_cast<EnvelopeGraph*>(s.graph)->setEnvelopeEnabled(envelope_);
        s.graph->setAdaptiveSampling(true);
        series_.push_back(s);
        applySeriesStyle(series_.back());
    }
    applyLegendEntries();
}

void QcpChartControl::setSeriesLabel(int series, const std::string& label)
{
    if (!validSeries(series)) return;
    series_[series].label = label;
    series_[series].graph->setName(QString::fromStdString(label));
    applyLegendEntries();
}

void QcpChartControl::setSeriesDashed(int series, bool dashed)
{
    if (!validSeries(series) || series_[series].dashed == dashed) return;
    series_[series].dashed = dashed;
    applySeriesStyle(series_[series]);
}

QCPLayer* QcpChartControl::topLayer()
{
    static const QString name = QStringLiteral("limits");
    if (QCPLayer* layer = plot_->layer(name)) return layer;
    plot_->addLayer(name, plot_->layer(QStringLiteral("main")), QCustomPlot::limAbove);
    return plot_->layer(name);
}

void QcpChartControl::setSeriesOnTop(int series, bool onTop)
{
    if (!validSeries(series)) return;
    series_[series].graph->setLayer(onTop ? topLayer() : plot_->layer(QStringLiteral("main")));
    applySeriesStyle(series_[series]);
}

bool QcpChartControl::isSeriesOnTop(int series) const
{
    return validSeries(series) && series_[series].graph->layer() &&
           series_[series].graph->layer()->name() == QStringLiteral("limits");
}

void QcpChartControl::setMarks(const std::vector<double>& x, const std::vector<double>& y, bool append)
{
    if (!marks_) {
        marks_ = plot_->addGraph();
        marks_->setLayer(topLayer());
        marks_->setLineStyle(QCPGraph::lsNone);
        marks_->setName(tr("over limit"));
        marks_->setScatterStyle(
            QCPScatterStyle(QCPScatterStyle::ssCircle, QPen(QColor(200, 0, 0), 2), Qt::NoBrush, 9));
        marks_->removeFromLegend();
    }
    if (!append) marks_->data()->clear();
    const std::size_t n = std::min(x.size(), y.size());
    QVector<QCPGraphData> points;
    points.reserve(static_cast<int>(n));
    for (std::size_t i = 0; i < n; ++i)
        points.append(QCPGraphData(x[i], y[i]));
    marks_->data()->add(points, true);
    applyLegendEntries();
}

void QcpChartControl::clearMarks()
{
    if (!marks_) return;
    marks_->data()->clear();
    applyLegendEntries();
}

std::size_t QcpChartControl::markCount() const
{
    return marks_ ? static_cast<std::size_t>(marks_->dataCount()) : 0;
}

void QcpChartControl::setSeriesInLegend(int series, bool inLegend)
{
    if (!validSeries(series)) return;
    series_[series].inLegend = inLegend;
    applyLegendEntries();
}

std::string QcpChartControl::seriesLabel(int series) const
{
    return validSeries(series) ? series_[series].label : std::string();
}

void QcpChartControl::setSeriesColour(int series, std::uint32_t colourRef)
{
    if (!validSeries(series)) return;
    series_[series].colour = colourRef;
    applySeriesStyle(series_[series]);
}

std::uint32_t QcpChartControl::seriesColour(int series) const
{
    return validSeries(series) ? series_[series].colour : 0u;
}

void QcpChartControl::addPoints(Series& s, const double* x, const double* y, std::size_t count, bool replace)
{
    if (replace) s.resetExtent();
    QVector<QCPGraphData> points(static_cast<qsizetype>(count));
    bool sorted = true;
    double previous = -std::numeric_limits<double>::infinity();
    if (!replace && !s.graph->data()->isEmpty()) previous = (s.graph->data()->constEnd() - 1)->key;
    for (std::size_t i = 0; i < count; ++i) {
        // A long record lets the window repaint while it is taken over.
        if ((i & 0xFFFF) == 0xFFFF) ProgressPulse();
        const double xi = x[i];
        const double yi = y[i];
        points[static_cast<qsizetype>(i)] = QCPGraphData(xi, yi);
        if (xi < previous) sorted = false;
        previous = xi;
        if (!std::isfinite(xi) || !std::isfinite(yi)) continue;
        if (!s.any) {
            s.xMin = s.xMax = xi;
            s.yMin = s.yMax = yi;
            s.any = true;
        } else {
            s.xMin = std::min(s.xMin, xi);
            s.xMax = std::max(s.xMax, xi);
            s.yMin = std::min(s.yMin, yi);
            s.yMax = std::max(s.yMax, yi);
        }
        if (yi > 0 && (!s.anyYPositive || yi < s.yMinPositive)) {
            s.yMinPositive = yi;
            s.anyYPositive = true;
        }
        if (xi > 0 && (!s.anyXPositive || xi < s.xMinPositive)) {
            s.xMinPositive = xi;
            s.anyXPositive = true;
        }
    }
    auto* graph = static_cast<EnvelopeGraph*>(s.graph);
    if (replace) {
        graph->restartEnvelope();
        s.graph->data()->set(points, sorted);
    } else {
        // New points after the last ones extend the envelope; points in between start it afresh.
        const bool atEnd =
            s.graph->data()->isEmpty() || count == 0 || x[0] > (s.graph->data()->constEnd() - 1)->key;
        graph->syncEnvelope();
        if (!sorted || !atEnd) graph->restartEnvelope();
        s.graph->data()->add(points, sorted);
    }
    graph->syncEnvelope();
}

void QcpChartControl::setEnvelopeDrawing(bool on)
{
    envelope_ = on;
    for (Series& s : series_)
        static_cast<EnvelopeGraph*>(s.graph)->setEnvelopeEnabled(on);
}

void QcpChartControl::setSeriesData(int series, const double* x, const double* y, std::size_t count)
{
    if (!validSeries(series) || (count > 0 && (!x || !y))) return;
    addPoints(series_[series], x, y, count, true);
    showIfHidden();
}

void QcpChartControl::appendSeriesData(int series, const double* x, const double* y, std::size_t count)
{
    if (!validSeries(series) || count == 0 || !x || !y) return;
    addPoints(series_[series], x, y, count, false);
    showIfHidden();
}

std::size_t QcpChartControl::seriesPointCount(int series) const
{
    return validSeries(series) ? static_cast<std::size_t>(series_[series].graph->data()->size()) : 0u;
}

void QcpChartControl::clearSeriesData()
{
    for (Series& s : series_) {
        s.graph->data()->clear();
        static_cast<EnvelopeGraph*>(s.graph)->restartEnvelope();
        s.resetExtent();
    }
    clearMarks();
}

void QcpChartControl::setSeriesVisible(int series, bool visible)
{
    if (!validSeries(series)) return;
    series_[series].visible = visible;
    series_[series].graph->setVisible(visible);
    applyLegendEntries();
}

bool QcpChartControl::isSeriesVisible(int series) const
{
    return validSeries(series) && series_[series].visible;
}

QString QcpChartControl::titleText(const QCPTextElement* element) const
{
    return element ? element->text() : QString();
}

void QcpChartControl::setTitle(const std::string& text)
{
    title_->setText(QString::fromStdString(text));
}
std::string QcpChartControl::title() const
{
    return titleText(title_).toStdString();
}

void QcpChartControl::setSubtitle(const std::string& text)
{
    // The row exists only while there is a subtitle, so an empty one takes no space.
    if (text.empty()) {
        if (subtitle_) {
            plot_->plotLayout()->remove(subtitle_);
            plot_->plotLayout()->simplify();
            subtitle_ = nullptr;
        }
        return;
    }
    if (!subtitle_) {
        plot_->plotLayout()->insertRow(1);
        subtitle_ = new QCPTextElement(plot_, QString(), QFont(QStringLiteral("Sans"), 9));
        plot_->plotLayout()->addElement(1, 0, subtitle_);
        applySetting(Background);
    }
    subtitle_->setText(QString::fromStdString(text));
}

std::string QcpChartControl::subtitle() const
{
    return titleText(subtitle_).toStdString();
}
void QcpChartControl::setXAxisTitle(const std::string& text)
{
    plot_->xAxis->setLabel(QString::fromStdString(text));
}
std::string QcpChartControl::xAxisTitle() const
{
    return plot_->xAxis->label().toStdString();
}
void QcpChartControl::setYAxisTitle(const std::string& text)
{
    plot_->yAxis->setLabel(QString::fromStdString(text));
}
std::string QcpChartControl::yAxisTitle() const
{
    return plot_->yAxis->label().toStdString();
}

void QcpChartControl::setManualXRange(Range range)
{
    xManual_ = true;
    manualX_ = range;
}

void QcpChartControl::setAutomaticXRange()
{
    xManual_ = false;
}

void QcpChartControl::setManualYRange(Range range)
{
    yManual_ = true;
    manualY_ = range;
}

void QcpChartControl::setAutomaticYRange()
{
    yManual_ = false;
}

ChartControl::Range QcpChartControl::xRange() const
{
    return {plot_->xAxis->range().lower, plot_->xAxis->range().upper};
}

ChartControl::Range QcpChartControl::yRange() const
{
    return {plot_->yAxis->range().lower, plot_->yAxis->range().upper};
}

std::optional<ChartControl::Range> QcpChartControl::extent(bool logarithmic, bool Series::*anyPositive,
                                                           double Series::*minimum,
                                                           double Series::*minPositive,
                                                           double Series::*maximum) const
{
    // The visible series' running extents; a logarithmic axis counts positive values only.
    std::optional<Range> r;
    for (const Series& s : series_) {
        if (!s.visible || !s.any || (logarithmic && !(s.*anyPositive))) continue;
        const double lo = logarithmic ? s.*minPositive : s.*minimum;
        r = r ? Range{std::min(r->lower, lo), std::max(r->upper, s.*maximum)} : Range{lo, s.*maximum};
    }
    return r;
}

ChartControl::Range QcpChartControl::automaticXRange() const
{
    const bool logarithmic = settings_[LogXAxis] != 0;
    const std::optional<Range> r =
        extent(logarithmic, &Series::anyXPositive, &Series::xMin, &Series::xMinPositive, &Series::xMax);
    return r ? *r : (logarithmic ? Range{0.1, 1.0} : Range{0.0, 1.0});
}

ChartControl::Range QcpChartControl::automaticYRange() const
{
    const bool logarithmic = settings_[LogYAxis] != 0;
    const std::optional<Range> found =
        extent(logarithmic, &Series::anyYPositive, &Series::yMin, &Series::yMinPositive, &Series::yMax);
    if (!found) return logarithmic ? Range{0.1, 1.0} : Range{0.0, 1.0};
    const Range r = *found;
    // A little head room so the extreme points do not sit on the frame.
    if (logarithmic) return {r.lower / 1.2, r.upper * 1.2};
    const double pad = (r.upper - r.lower) * 0.05;
    return {r.lower - pad, r.upper + pad};
}

void QcpChartControl::zoomTo(Range x, Range y)
{
    plot_->xAxis->setRange(x.lower, x.upper);
    plot_->yAxis->setRange(y.lower, y.upper);
    zoomed_ = true;
}

void QcpChartControl::undoZoom()
{
    zoomed_ = false;
    redraw();
}

void QcpChartControl::redraw()
{
    if (!zoomed_) {
        const Range x = widened(xManual_ ? manualX_ : automaticXRange(), settings_[LogXAxis] != 0);
        const Range y = widened(yManual_ ? manualY_ : automaticYRange(), settings_[LogYAxis] != 0);
        plot_->xAxis->setRange(x.lower, x.upper);
        plot_->yAxis->setRange(y.lower, y.upper);
    }
    plot_->replot();
}

int QcpChartControl::displaySetting(int slot) const
{
    return slot >= 0 && slot < displaySettingCount ? settings_[static_cast<std::size_t>(slot)] : 0;
}

void QcpChartControl::setDisplaySetting(int slot, int value)
{
    if (slot < 0 || slot >= displaySettingCount) return;
    settings_[static_cast<std::size_t>(slot)] = clampSetting(slot, value);
    applySetting(slot);
}

void QcpChartControl::resetDisplaySettings()
{
    for (int slot = 0; slot < displaySettingCount; ++slot)
        if (resetBySettingsReset[static_cast<std::size_t>(slot)])
            setDisplaySetting(slot, defaultSettings[static_cast<std::size_t>(slot)]);
}

namespace {

double luminance(const QColor& c)
{
    return 0.2126 * c.redF() + 0.7152 * c.greenF() + 0.0722 * c.blueF();
}

// A trace as drawn on the background: dark colours (pure blue, red) are
// lightened on a dark background until they stand out from it.
QColor contrasting(QColor colour, const QColor& background)
{
    if (luminance(background) >= 0.4) return colour;
    const QColor original = colour;
    for (double t = 0.1; luminance(colour) < 0.45 && t <= 1.0; t += 0.1)
        colour = QColor::fromRgbF(original.redF() + (1 - original.redF()) * t,
                                  original.greenF() + (1 - original.greenF()) * t,
                                  original.blueF() + (1 - original.blueF()) * t, original.alphaF());
    return colour;
}

} // namespace

void QcpChartControl::applySeriesStyle(Series& s)
{
    const QColor colour = contrasting(fromColourRef(s.colour), plot_->axisRect()->backgroundBrush().color());
    // Limit lines (dashed) a pixel heavier than the data, so they read above it.
    s.graph->setPen(
        QPen(colour, settings_[LineWidth] + (s.dashed ? 1 : 0), s.dashed ? Qt::DashLine : Qt::SolidLine));
    static constexpr QCPScatterStyle::ScatterShape shapes[] = {
        QCPScatterStyle::ssNone, QCPScatterStyle::ssDisc, QCPScatterStyle::ssCircle, QCPScatterStyle::ssCross,
        QCPScatterStyle::ssSquare};
    const QCPScatterStyle::ScatterShape shape = shapes[settings_[PointMarkers]];
    s.graph->setScatterStyle(shape == QCPScatterStyle::ssNone ? QCPScatterStyle()
                                                              : QCPScatterStyle(shape, colour, 5));
    s.graph->setVisible(s.visible);
}

void QcpChartControl::applyLegendEntries()
{
    // Hidden and unnamed series leave the legend so it names only what is drawn.
    for (Series& s : series_) {
        if (s.visible && s.inLegend && !s.label.empty())
            s.graph->addToLegend();
        else
            s.graph->removeFromLegend();
    }
    if (marks_) {
        if (marks_->dataCount() > 0)
            marks_->addToLegend();
        else
            marks_->removeFromLegend();
    }
    // An empty legend would still draw its frame: a stray dot in the corner.
    plot_->legend->setVisible(settings_[LegendPosition] != 0 && plot_->legend->itemCount() > 0);
}

void QcpChartControl::applySetting(int slot)
{
    const int v = settings_[static_cast<std::size_t>(slot)];
    switch (slot) {
    case GridLines:
    case SubGrid: {
        const int grid = settings_[GridLines];
        const bool horizontal = grid == 0 || grid == 1;
        const bool vertical = grid == 0 || grid == 2;
        plot_->yAxis->grid()->setVisible(horizontal);
        plot_->xAxis->grid()->setVisible(vertical);
        plot_->yAxis->grid()->setSubGridVisible(horizontal && settings_[SubGrid] != 0);
        plot_->xAxis->grid()->setSubGridVisible(vertical && settings_[SubGrid] != 0);
        break;
    }
    case LegendPosition: {
        plot_->legend->setVisible(v != 0 && plot_->legend->itemCount() > 0);
        static constexpr Qt::Alignment corners[] = {
            Qt::AlignTop | Qt::AlignRight, Qt::AlignTop | Qt::AlignLeft, Qt::AlignTop | Qt::AlignRight,
            Qt::AlignBottom | Qt::AlignLeft, Qt::AlignBottom | Qt::AlignRight};
        plot_->axisRect()->insetLayout()->setInsetAlignment(0, corners[v]);
        break;
    }
    case Antialiasing:
        plot_->setAntialiasedElements(v ? QCP::aeAll : QCP::aeNone);
        plot_->setNotAntialiasedElements(v ? QCP::aeNone : QCP::aeAll);
        break;
    case PointMarkers:
    case LineWidth:
        for (Series& s : series_)
            applySeriesStyle(s);
        break;
    case Background: {
        // "White" and "Light Grey" are the platform's own base and window
        // colours, so the graphs are as light or as dark as the rest of the
        // program; "Dark" is dark everywhere.
        const QPalette palette = QGuiApplication::palette();
        const QColor base = palette.color(QPalette::Base);
        const QColor back = v == 0 ? base : (v == 1 ? palette.color(QPalette::Window) : QColor(32, 32, 36));
        const QColor plotArea = v == 1 ? base : back;
        const bool dark = luminance(plotArea) < 0.4;
        const QColor fore = v == 2 ? QColor(220, 220, 220) : palette.color(QPalette::Text);
        const QColor grid = dark ? QColor(90, 90, 90) : QColor(200, 200, 200);
        plot_->setBackground(back);
        plot_->axisRect()->setBackground(QBrush(plotArea));
        for (QCPAxis* axis : {plot_->xAxis, plot_->yAxis}) {
            axis->setBasePen(QPen(fore));
            axis->setTickPen(QPen(fore));
            axis->setSubTickPen(QPen(fore));
            axis->setTickLabelColor(fore);
            axis->setLabelColor(fore);
            axis->grid()->setPen(QPen(grid, 0, Qt::DotLine));
            axis->grid()->setSubGridPen(QPen(grid.lighter(dark ? 80 : 115), 0, Qt::DotLine));
            axis->grid()->setZeroLinePen(QPen(grid, 0, Qt::SolidLine));
        }
        title_->setTextColor(fore);
        if (subtitle_) subtitle_->setTextColor(fore);
        plot_->legend->setBrush(v == 2 ? QBrush(QColor(48, 48, 52)) : QBrush(plotArea));
        plot_->legend->setTextColor(fore);
        plot_->legend->setBorderPen(QPen(fore));
        // The traces keep their contrast on the new background.
        for (Series& s : series_)
            applySeriesStyle(s);
        break;
    }
    case LogYAxis:
    case LogXAxis: {
        QCPAxis* axis = slot == LogYAxis ? plot_->yAxis : plot_->xAxis;
        if (v) {
            axis->setScaleType(QCPAxis::stLogarithmic);
            axis->setTicker(QSharedPointer<QCPAxisTickerLog>(new QCPAxisTickerLog));
            axis->setNumberFormat(QStringLiteral("eb"));
            axis->setNumberPrecision(0);
        } else {
            axis->setScaleType(QCPAxis::stLinear);
            axis->setTicker(QSharedPointer<QCPAxisTicker>(new QCPAxisTicker));
            axis->setNumberFormat(QStringLiteral("g"));
            axis->setNumberPrecision(6);
        }
        break;
    }
    default:
        break;
    }
}

void QcpChartControl::setCustomMenu(const std::vector<std::string>& entries)
{
    customEntries_ = entries;
    customChecked_.assign(entries.size(), false);
    customCheckable_.assign(entries.size(), false);
    customEnabled_.assign(entries.size(), true);
}

void QcpChartControl::setCustomMenuEnabled(int index, bool enabled)
{
    if (index < 0 || index >= static_cast<int>(customEntries_.size())) return;
    customEnabled_[static_cast<std::size_t>(index)] = enabled;
}

bool QcpChartControl::isCustomMenuEnabled(int index) const
{
    return index >= 0 && index < static_cast<int>(customEnabled_.size()) &&
           customEnabled_[static_cast<std::size_t>(index)];
}

void QcpChartControl::setCustomMenuChecked(int index, bool checked)
{
    if (index < 0 || index >= static_cast<int>(customEntries_.size())) return;
    customChecked_[static_cast<std::size_t>(index)] = checked;
    customCheckable_[static_cast<std::size_t>(index)] = true;
}

bool QcpChartControl::isCustomMenuChecked(int index) const
{
    return index >= 0 && index < static_cast<int>(customChecked_.size()) &&
           customChecked_[static_cast<std::size_t>(index)];
}

void QcpChartControl::setHidden(bool hidden)
{
    hidden_ = hidden;
    plot_->setVisible(!hidden);
    hiddenLabel_->setVisible(hidden && !hiddenLabel_->text().isEmpty());
}

void QcpChartControl::setHiddenText(const QString& text)
{
    hiddenLabel_->setText(text);
    hiddenLabel_->setVisible(hidden_ && !text.isEmpty());
}

QString QcpChartControl::hiddenText() const
{
    return hiddenLabel_->text();
}

void QcpChartControl::showIfHidden()
{
    if (hidden_) setHidden(false);
}

void QcpChartControl::onMouseMove(QMouseEvent* event)
{
    const QPointF pos = event->position();
    if (!plot_->axisRect()->rect().contains(pos.toPoint())) return;
    const double x = plot_->xAxis->pixelToCoord(pos.x());
    const double y = plot_->yAxis->pixelToCoord(pos.y());
    if (listener_) listener_->cursorMoved(x, y);
    emit cursorMoved(x, y);
}

void QcpChartControl::userChangedSetting(int slot, int value)
{
    setDisplaySetting(slot, value);
    redraw();
    if (listener_) listener_->displaySettingsChanged();
    emit displaySettingsChanged();
}

QMenu* QcpChartControl::createPopupMenu(QWidget* parent)
{
    auto* menu = new QMenu(parent);
    for (std::size_t i = 0; i < customEntries_.size(); ++i) {
        if (customEntries_[i] == "|") {
            if (!menu->isEmpty()) menu->addSeparator();
            continue;
        }
        QAction* a = menu->addAction(QString::fromStdString(customEntries_[i]));
        a->setCheckable(customCheckable_[i]);
        a->setChecked(customChecked_[i]);
        a->setEnabled(customEnabled_[i]);
        const int index = static_cast<int>(i);
        connect(a, &QAction::triggered, this, [this, index] {
            if (listener_) listener_->customMenuClicked(index);
            emit customMenuClicked(index);
        });
    }
    if (!menu->isEmpty()) menu->addSeparator();

    auto choice = [this](QMenu* parentMenu, const QString& title, int slot, const char* const* names,
                         int count, int firstValue) {
        QMenu* sub = parentMenu->addMenu(title);
        auto* group = new QActionGroup(sub);
        for (int i = 0; i < count; ++i) {
            const int value = firstValue + i;
            QAction* a = sub->addAction(names ? tr(names[i]) : QString::number(value));
            a->setCheckable(true);
            a->setChecked(settings_[static_cast<std::size_t>(slot)] == value);
            group->addAction(a);
            connect(a, &QAction::triggered, this, [this, slot, value] { userChangedSetting(slot, value); });
        }
    };
    auto toggle = [this](QMenu* parentMenu, const QString& title, int slot) {
        QAction* a = parentMenu->addAction(title);
        a->setCheckable(true);
        a->setChecked(settings_[static_cast<std::size_t>(slot)] != 0);
        connect(a, &QAction::triggered, this,
                [this, slot](bool on) { userChangedSetting(slot, on ? 1 : 0); });
    };

    QMenu* options = menu->addMenu(tr("Display Options"));
    choice(options, tr("Grid Lines"), GridLines, gridNames, 4, 0);
    toggle(options, tr("Sub-Grid"), SubGrid);
    choice(options, tr("Legend"), LegendPosition, legendNames, 5, 0);
    toggle(options, tr("Antialiasing"), Antialiasing);
    choice(options, tr("Point Markers"), PointMarkers, markerNames, 5, 0);
    choice(options, tr("Line Width"), LineWidth, nullptr, 5, 1);
    choice(options, tr("Background"), Background, backgroundNames, 3, 0);
    toggle(options, tr("Logarithmic Y Axis"), LogYAxis);
    toggle(options, tr("Logarithmic X Axis"), LogXAxis);

    QAction* undo = menu->addAction(tr("Undo Zoom"), this, &QcpChartControl::undoZoom);
    undo->setEnabled(zoomed_);
    menu->addSeparator();
    menu->addAction(tr("Export..."), this, [this] { exportWithDialog(); });
    menu->addAction(tr("Print..."), this, [this] { print(); });
    menu->addAction(tr("Copy Image"), this, [this] { copyImage(0, 0); });
    emit popupMenuCreated(menu);
    return menu;
}

void QcpChartControl::onContextMenu(const QPoint& pos)
{
    QMenu* menu = createPopupMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(plot_->mapToGlobal(pos));
}

bool QcpChartControl::printTo(QPrinter& printer)
{
    // Fonts are sized in points against the device's resolution: at the
    // printer's own (600 or 1200 dpi) and then scaled to the page they came out
    // many times too big and no longer fit the legend. At the graph's screen
    // resolution the page shows the graph as the screen and an export do; the
    // output stays vector, so nothing is lost.
    printer.setResolution(std::max(1, plot_->logicalDpiY()));
    QCPPainter painter;
    if (!painter.begin(&printer)) return false;
    const QRectF page = printer.pageRect(QPrinter::DevicePixel);
    const int w = std::max(1, plot_->width());
    const int h = std::max(1, plot_->height());
    // Keep the on-screen proportions and fill the page as far as they allow.
    const double scale = std::min(page.width() / w, page.height() / h);
    painter.setMode(QCPPainter::pmVectorized);
    painter.setMode(QCPPainter::pmNoCaching);
    painter.scale(scale, scale);
    plot_->toPainter(&painter, w, h);
    return painter.end();
}

void QcpChartControl::setSuggestedFileName(const std::string& pathWithoutExtension)
{
    suggested_ = QString::fromStdString(pathWithoutExtension);
}

bool QcpChartControl::print()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    if (!suggested_.isEmpty()) {
        // The dialog offers "<name>.pdf" when printing to a file; with no
        // printer at all, the file is the destination, in the data folder.
        printer.setDocName(QFileInfo(suggested_).fileName());
        if (QPrinterInfo::availablePrinterNames().isEmpty())
            printer.setOutputFileName(suggested_ + QStringLiteral(".pdf"));
    }
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted) return false;
    return printTo(printer);
}

bool QcpChartControl::exportWithDialog()
{
    ChartExportDialog dialog(plot_->width(), plot_->height(), this);
    if (!suggested_.isEmpty())
        dialog.setFilePath(ChartExportDialog::withExtension(suggested_, dialog.format()));
    if (dialog.exec() != QDialog::Accepted) return false;
    return exportImage(dialog.filePath().toStdString(), dialog.format(), dialog.imageWidth(),
                       dialog.imageHeight());
}

bool QcpChartControl::exportImage(const std::string& path, ImageFormat format, int width, int height)
{
    if (path.empty() || width < 0 || height < 0 || width > maximumImageSide || height > maximumImageSide)
        return false;
    const QString file = QString::fromStdString(path);
    switch (format) {
    case ImageFormat::Png:
        return plot_->savePng(file, width, height);
    case ImageFormat::Jpeg:
        return plot_->saveJpg(file, width, height, 1.0, 95);
    case ImageFormat::Bmp:
        return plot_->saveBmp(file, width, height);
    case ImageFormat::Pdf:
        return plot_->savePdf(file, width, height);
    }
    return false;
}

bool QcpChartControl::copyImage(int height, int width)
{
    if (width < 0 || height < 0 || width > maximumImageSide || height > maximumImageSide) return false;
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) return false;
    const QPixmap image = plot_->toPixmap(width, height);
    if (image.isNull()) return false;
    clipboard->setPixmap(image);
    return true;
}
