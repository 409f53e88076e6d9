#include "app/graphs/gui/GraphAnalysis.h"

#include "app/acquisition/CCorvelDoc.h"
#include "app/acquisition/ScanExportFormats.h"
#include "app/acquisition/Spectrum.h"
#include "app/acquisition/SpectrumAnalysis.h"
#include "app/graphs/GraphTables.h"
#include "app/graphs/gui/CCorvelView.h"
#include "app/graphs/gui/QcpChartControl.h"
#include "app/base/UserInteraction.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QVBoxLayout>
#include <qcustomplot.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>

namespace {

constexpr int kComponents = 4; // x, y, z, Total
constexpr double kGrabPixels = 6.0;

QString number(double v)
{
    return QString::number(v, 'g', 6);
}

// One coordinate of every point of a graph, in order.
template <typename Coordinate> std::vector<double> column(const QCPGraph* g, Coordinate coordinate)
{
    std::vector<double> out;
    out.reserve(static_cast<std::size_t>(g->data()->size()));
    for (auto it = g->data()->constBegin(); it != g->data()->constEnd(); ++it)
        out.push_back(coordinate(*it));
    return out;
}

std::vector<double> keys(const QCPGraph* g)
{
    return column(g, [](const QCPGraphData& d) { return d.key; });
}

std::vector<double> values(const QCPGraph* g)
{
    return column(g, [](const QCPGraphData& d) { return d.value; });
}

// The input a pane shows and the sensor type of that input.
int inputOf(const CCorvelView* view)
{
    return GraphTables::isInput2(view->kind()) ? 1 : 0;
}

} // namespace

GraphAnalysis* GraphAnalysis::find(const CCorvelView* view)
{
    return view ? view->findChild<GraphAnalysis*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

GraphAnalysis* GraphAnalysis::of(CCorvelView* view)
{
    if (!view) return nullptr;
    if (GraphAnalysis* existing = find(view)) return existing;
    return new GraphAnalysis(view);
}

GraphAnalysis::GraphAnalysis(CCorvelView* view) : QObject(view), view_(view)
{
    QCustomPlot* p = plot();
    connect(p, &QCustomPlot::beforeReplot, this, &GraphAnalysis::refresh);
    p->installEventFilter(this);
    view->installEventFilter(this);
}

GraphAnalysis::~GraphAnalysis() = default;

QCustomPlot* GraphAnalysis::plot() const
{
    return view_->chart().plot();
}

bool GraphAnalysis::isSpectrum() const
{
    return GraphTables::isSpectrum(view_->kind());
}

std::vector<QCPGraph*> GraphAnalysis::seriesGraphs() const
{
    std::vector<QCPGraph*> out;
    QCustomPlot* p = plot();
    for (int i = 0; i < p->graphCount(); ++i) {
        QCPGraph* g = p->graph(i);
        const bool overlay = std::any_of(referenceGraphs_.begin(), referenceGraphs_.end(),
                                         [g](const QPointer<QCPGraph>& r) { return r == g; });
        if (!overlay) out.push_back(g);
    }
    return out;
}

QCPGraph* GraphAnalysis::trackedGraph() const
{
    const std::vector<QCPGraph*> graphs = seriesGraphs();
    const int n = std::min<int>(kComponents, static_cast<int>(graphs.size()));
    for (int i = 0; i < n; ++i)
        if (graphs[static_cast<std::size_t>(i)]->visible() &&
            !graphs[static_cast<std::size_t>(i)]->data()->isEmpty())
            return graphs[static_cast<std::size_t>(i)];
    for (int i = 0; i < n; ++i)
        if (!graphs[static_cast<std::size_t>(i)]->data()->isEmpty())
            return graphs[static_cast<std::size_t>(i)];
    return nullptr;
}

QString GraphAnalysis::trackedSeries() const
{
    const QCPGraph* g = trackedGraph();
    return g ? g->name() : QString();
}

int GraphAnalysis::nearestIndex(const QCPGraph* graph, double x) const
{
    if (!graph || graph->data()->isEmpty()) return -1;
    const auto begin = graph->data()->constBegin();
    const auto end = graph->data()->constEnd();
    auto it = std::lower_bound(begin, end, x, [](const QCPGraphData& d, double k) { return d.key < k; });
    if (it == end) return static_cast<int>(graph->data()->size()) - 1;
    if (it != begin && x - (it - 1)->key <= it->key - x) --it;
    return static_cast<int>(it - begin);
}

QString GraphAnalysis::xUnit() const
{
    return isSpectrum() ? QStringLiteral("Hz") : QStringLiteral("s");
}

QString GraphAnalysis::baseUnit() const
{
    const CCorvelDoc* doc = view_->document();
    if (!doc) return {};
    const CScanConfiguration& c = doc->scan.configuration;
    const std::string& type = c.inputMode(inputOf(view_));
    return QString::fromStdString(
        GraphTables::unitName(type, doc->settings.MagneticUnits, doc->settings.VibrationUnits));
}

QString GraphAnalysis::yUnit() const
{
    const CCorvelDoc* doc = view_->document();
    if (!doc) return {};
    if (!isSpectrum()) return baseUnit();
    const CScanConfiguration& c = doc->scan.configuration;
    const int input = inputOf(view_);
    return QString::fromStdString(SpectrumValueUnit(c.inputMode(input), doc->settings.MagneticUnits,
                                                    doc->settings.VibrationUnits,
                                                    doc->settings.spectrumUnit(input)));
}

bool GraphAnalysis::decibel() const
{
    const CCorvelDoc* doc = view_->document();
    if (!doc || !isSpectrum()) return false;
    const CScanConfiguration& c = doc->scan.configuration;
    return SensorTypes::isMicrophone(c.inputMode(inputOf(view_)));
}

// ---- cursors ----

void GraphAnalysis::ensureItems()
{
    if (readoutItem_) return;
    QCustomPlot* p = plot();
    for (int c = 0; c < 2; ++c) {
        auto* line = new QCPItemStraightLine(p);
        line->setPen(QPen(QColor(30, 30, 30), 1, c == 0 ? Qt::SolidLine : Qt::DashDotLine));
        line->setSelectable(false);
        line->setVisible(false);
        lines_[static_cast<std::size_t>(c)] = line;
        auto* tracer = new QCPItemTracer(p);
        tracer->setStyle(QCPItemTracer::tsCircle);
        tracer->setSize(9);
        tracer->setPen(QPen(QColor(30, 30, 30), 1.5));
        tracer->setInterpolating(false);
        tracer->setSelectable(false);
        tracer->setVisible(false);
        tracers_[static_cast<std::size_t>(c)] = tracer;
    }
    readoutItem_ = new QCPItemText(p);
    readoutItem_->setPositionAlignment(Qt::AlignTop | Qt::AlignLeft);
    readoutItem_->setTextAlignment(Qt::AlignLeft);
    readoutItem_->position->setType(QCPItemPosition::ptAxisRectRatio);
    readoutItem_->position->setCoords(0.01, 0.02);
    readoutItem_->setClipToAxisRect(true);
    readoutItem_->setFont(QFont(QStringLiteral("Monospace"), 8));
    readoutItem_->setBrush(QColor(255, 255, 255, 220));
    readoutItem_->setPen(QPen(QColor(120, 120, 120)));
    readoutItem_->setPadding(QMargins(4, 2, 4, 2));
    readoutItem_->setSelectable(false);
    readoutItem_->setVisible(false);
}

void GraphAnalysis::setCursorsShown(bool shown)
{
    cursorsShown_ = shown;
    ensureItems();
    if (shown && !placed_[0] && !placed_[1]) {
        // Start at a third and two thirds of the visible range.
        const QCPRange r = plot()->xAxis->range();
        placeCursor(0, r.lower + r.size() / 3.0);
        placeCursor(1, r.lower + 2.0 * r.size() / 3.0);
        clicks_ = 2;
    }
    refresh();
    plot()->replot();
}

void GraphAnalysis::placeCursor(int cursor, double x)
{
    cursor &= 1;
    const QCPGraph* g = trackedGraph();
    const int i = nearestIndex(g, x);
    x_[static_cast<std::size_t>(cursor)] = i >= 0 ? (g->data()->constBegin() + i)->key : x;
    placed_[static_cast<std::size_t>(cursor)] = true;
    active_ = cursor;
    if (!refreshing_) {
        refresh();
        plot()->replot();
    }
}

double GraphAnalysis::cursorY(int cursor) const
{
    const QCPGraph* g = trackedGraph();
    const int i = nearestIndex(g, x_[static_cast<std::size_t>(cursor & 1)]);
    return i >= 0 ? (g->data()->constBegin() + i)->value : std::nan("");
}

void GraphAnalysis::stepActiveCursor(int samples)
{
    const QCPGraph* g = trackedGraph();
    if (!g) return;
    if (!placed_[static_cast<std::size_t>(active_)]) {
        placeCursor(active_, plot()->xAxis->range().center());
        return;
    }
    const int n = static_cast<int>(g->data()->size());
    const int i = std::clamp(nearestIndex(g, x_[static_cast<std::size_t>(active_)]) + samples, 0, n - 1);
    placeCursor(active_, (g->data()->constBegin() + i)->key);
}

void GraphAnalysis::clickAt(double x)
{
    if (clicks_ < 2) {
        placeCursor(clicks_++, x);
        return;
    }
    const double d0 = std::abs(x - x_[0]);
    const double d1 = std::abs(x - x_[1]);
    placeCursor(d1 < d0 ? 1 : 0, x);
}

void GraphAnalysis::updateCursorItems()
{
    QCPGraph* g = trackedGraph();
    for (int c = 0; c < 2; ++c) {
        const bool shown = cursorsShown_ && placed_[static_cast<std::size_t>(c)];
        QCPItemStraightLine* line = lines_[static_cast<std::size_t>(c)];
        QCPItemTracer* tracer = tracers_[static_cast<std::size_t>(c)];
        line->setVisible(shown);
        tracer->setVisible(shown && g);
        if (!shown) continue;
        const double x = x_[static_cast<std::size_t>(c)];
        line->point1->setCoords(x, 0.0);
        line->point2->setCoords(x, 1.0);
        line->setPen(QPen(c == active_ ? QColor(0, 0, 0) : QColor(110, 110, 110), c == active_ ? 1.5 : 1.0,
                          c == 0 ? Qt::SolidLine : Qt::DashDotLine));
        if (g) {
            tracer->setGraph(g);
            tracer->setGraphKey(x);
        }
    }
}

void GraphAnalysis::updateReadout()
{
    readout_.clear();
    status_.clear();
    if (!cursorsShown_) return;
    const QString xu = xUnit();
    const QString yu = yUnit();
    QStringList lines, status;
    const QString series = trackedSeries();
    for (int c = 0; c < 2; ++c) {
        if (!placed_[static_cast<std::size_t>(c)]) continue;
        const QString line = QStringLiteral("C%1: X = %2 %3, Y = %4 %5")
                                 .arg(c + 1)
                                 .arg(number(x_[static_cast<std::size_t>(c)]), xu, number(cursorY(c)), yu);
        lines << line + (c == 0 && !series.isEmpty() ? QStringLiteral(" (%1)").arg(series) : QString());
        status << line;
    }
    if (placed_[0] && placed_[1]) {
        const double dx = x_[1] - x_[0];
        const double dy = cursorY(1) - cursorY(0);
        QString delta =
            QStringLiteral("ΔX = %1 %2, ΔY = %3 %4").arg(number(dx), xu, number(dy), decibel() ? "dB" : yu);
        if (!isSpectrum() && dx != 0.0)
            delta += QStringLiteral(", 1/ΔX = %1 Hz").arg(number(1.0 / std::abs(dx)));
        lines << delta;
        status << delta;
        double low = 0, high = 0;
        std::vector<double> ms;
        if (bandMeanSquares(low, high, ms)) {
            const QString band =
                QString::fromStdString(BandLevelText(low, high, ms, baseUnit().toStdString(), decibel()));
            // Beside the graph one value per line keeps the box narrow.
            lines << QString(band)
                         .replace(QStringLiteral(": "), QStringLiteral(":\n  "))
                         .replace(QStringLiteral(", "), QStringLiteral("\n  "));
            status << band;
        }
    }
    readout_ = lines.join('\n');
    status_ = QStringLiteral("%1: %2").arg(view_->name(), status.join(QStringLiteral("; ")));
}

void GraphAnalysis::publishStatus()
{
    emit readoutChanged(status_);
    auto* main = qobject_cast<QMainWindow*>(view_->window());
    if (!main) return;
    auto* label = main->statusBar()->findChild<QLabel*>(QStringLiteral("measurementReadout"));
    if (!label) {
        label = new QLabel(main->statusBar());
        label->setObjectName(QStringLiteral("measurementReadout"));
        // Takes the room left and never pushes the documented panes away; the tooltip has it all.
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        main->statusBar()->addPermanentWidget(label, 1);
    }
    label->setText(status_);
    label->setToolTip(status_);
    label->setVisible(!status_.isEmpty());
}

// ---- peaks and harmonics ----

void GraphAnalysis::setPeaksShown(bool shown)
{
    peaksShown_ = shown && isSpectrum();
    refresh();
    plot()->replot();
}

std::vector<GraphAnalysis::PeakRow> GraphAnalysis::peakRows() const
{
    std::vector<PeakRow> rows;
    if (!isSpectrum()) return rows;
    const std::vector<QCPGraph*> graphs = seriesGraphs();
    const int n = std::min<int>(kComponents, static_cast<int>(graphs.size()));
    for (int s = 0; s < n; ++s) {
        const QCPGraph* g = graphs[static_cast<std::size_t>(s)];
        const auto peaks = FindSpectrumPeaks(keys(g), values(g), peaksPerSeries, decibel());
        int rank = 0;
        for (const SpectrumPeak& p : peaks)
            rows.push_back({g->name(), ++rank, p.frequency, p.level, p.relativeDb});
    }
    return rows;
}

QString GraphAnalysis::peakListText() const
{
    QString text = QStringLiteral("Peaks of %1\n").arg(view_->name());
    text += QStringLiteral("Series\tRank\tFrequency (Hz)\tLevel (%1)\tRelative (dB)\n").arg(yUnit());
    for (const PeakRow& r : peakRows())
        text += QStringLiteral("%1\t%2\t%3\t%4\t%5\n")
                    .arg(r.series)
                    .arg(r.rank)
                    .arg(number(r.frequency), number(r.level), QString::number(r.relativeDb, 'f', 2));
    return text;
}

void GraphAnalysis::updatePeakItems()
{
    QCustomPlot* p = plot();
    const std::vector<QCPGraph*> graphs = seriesGraphs();
    const int n = std::min<int>(kComponents, static_cast<int>(graphs.size()));
    const std::size_t needed = peaksShown_ ? static_cast<std::size_t>(n * peaksPerSeries) : 0;
    while (peakMarkers_.size() < needed) {
        auto* t = new QCPItemTracer(p);
        t->setStyle(QCPItemTracer::tsSquare);
        t->setSize(7);
        t->setInterpolating(false);
        t->setSelectable(false);
        peakMarkers_.push_back(t);
        auto* label = new QCPItemText(p);
        label->setPositionAlignment(Qt::AlignBottom | Qt::AlignHCenter);
        label->position->setParentAnchor(t->position);
        label->position->setCoords(0, -6);
        label->setFont(QFont(QStringLiteral("Sans"), 7));
        label->setSelectable(false);
        peakLabels_.push_back(label);
    }
    for (std::size_t i = 0; i < peakMarkers_.size(); ++i) {
        peakMarkers_[i]->setVisible(false);
        peakLabels_[i]->setVisible(false);
    }
    if (!peaksShown_) return;
    for (int s = 0; s < n; ++s) {
        QCPGraph* g = graphs[static_cast<std::size_t>(s)];
        if (!g->visible()) continue;
        const auto peaks = FindSpectrumPeaks(keys(g), values(g), peaksPerSeries, decibel());
        for (std::size_t k = 0; k < peaks.size(); ++k) {
            const std::size_t slot = static_cast<std::size_t>(s * peaksPerSeries) + k;
            QCPItemTracer* t = peakMarkers_[slot];
            t->setGraph(g);
            t->setGraphKey(peaks[k].frequency);
            t->setPen(QPen(g->pen().color(), 1.5));
            t->setVisible(true);
            // The largest peak of each series carries its frequency.
            if (k == 0) {
                peakLabels_[slot]->setText(QStringLiteral("%1 Hz").arg(number(peaks[k].frequency)));
                peakLabels_[slot]->setColor(g->pen().color());
                peakLabels_[slot]->setVisible(true);
            }
        }
    }
}

void GraphAnalysis::setHarmonicFundamental(double hertz)
{
    fundamental_ = hertz > 0.0 && std::isfinite(hertz) ? hertz : 0.0;
    refresh();
    plot()->replot();
}

void GraphAnalysis::updateHarmonicItems()
{
    QCustomPlot* p = plot();
    std::vector<HarmonicMarker> markers;
    if (fundamental_ > 0.0 && isSpectrum())
        if (const QCPGraph* g = trackedGraph())
            markers = HarmonicMarkers(fundamental_, keys(g), maxHarmonics);
    while (harmonicLines_.size() < markers.size()) {
        auto* line = new QCPItemStraightLine(p);
        line->setPen(QPen(QColor(150, 90, 0), 1, Qt::DotLine));
        line->setSelectable(false);
        harmonicLines_.push_back(line);
        auto* label = new QCPItemText(p);
        label->setPositionAlignment(Qt::AlignTop | Qt::AlignLeft);
        label->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
        label->setColor(QColor(150, 90, 0));
        label->setFont(QFont(QStringLiteral("Sans"), 7));
        label->setSelectable(false);
        harmonicLabels_.push_back(label);
    }
    // Labels only where they have room (about 24 pixels apart).
    const double spacing = markers.size() >= 2 ? std::abs(p->xAxis->coordToPixel(markers[1].frequency) -
                                                          p->xAxis->coordToPixel(markers[0].frequency))
                                               : 1e9;
    const std::size_t labelEvery =
        spacing >= 24.0 ? 1 : static_cast<std::size_t>(std::ceil(24.0 / std::max(spacing, 1.0)));
    for (std::size_t i = 0; i < harmonicLines_.size(); ++i) {
        const bool shown = i < markers.size();
        harmonicLines_[i]->setVisible(shown);
        harmonicLabels_[i]->setVisible(shown && i % labelEvery == 0);
        if (!shown) continue;
        harmonicLines_[i]->point1->setCoords(markers[i].frequency, 0.0);
        harmonicLines_[i]->point2->setCoords(markers[i].frequency, 1.0);
        harmonicLabels_[i]->position->setCoords(markers[i].frequency, 0.0);
        harmonicLabels_[i]->setText(QStringLiteral(" %1×").arg(markers[i].order));
    }
}

bool GraphAnalysis::bandMeanSquares(double& low, double& high, std::vector<double>& meanSquares) const
{
    meanSquares.clear();
    const CCorvelDoc* doc = view_->document();
    if (!isSpectrum() || !doc || !placed_[0] || !placed_[1]) return false;
    low = std::min(x_[0], x_[1]);
    high = std::max(x_[0], x_[1]);
    const int input = inputOf(view_);
    const int unit = doc->settings.spectrumUnit(input);
    const std::vector<QCPGraph*> graphs = seriesGraphs();
    // The three components; the total's band follows from theirs.
    const int n = std::min<int>(3, static_cast<int>(graphs.size()));
    for (int s = 0; s < n; ++s) {
        const QCPGraph* g = graphs[static_cast<std::size_t>(s)];
        meanSquares.push_back(
            BandMeanSquare(keys(g), values(g), low, high, doc->settings.FFTWindowing, unit, decibel()));
    }
    return !meanSquares.empty();
}

// ---- reference overlay ----

void GraphAnalysis::setReference(std::shared_ptr<CCorvelDoc> reference, const QString& name)
{
    removeReference();
    reference_ = std::move(reference);
    referenceName_ = name;
    fillReferenceGraphs();
    view_->chart().redraw();
}

void GraphAnalysis::removeReference()
{
    for (const QPointer<QCPGraph>& g : referenceGraphs_)
        if (g) plot()->removeGraph(g.data());
    referenceGraphs_.clear();
    const bool had = reference_ != nullptr;
    reference_.reset();
    referenceName_.clear();
    if (had) plot()->replot();
}

int GraphAnalysis::referenceGraphCount() const
{
    return static_cast<int>(std::count_if(referenceGraphs_.begin(), referenceGraphs_.end(),
                                          [](const QPointer<QCPGraph>& g) { return !g.isNull(); }));
}

void GraphAnalysis::fillReferenceGraphs()
{
    if (!reference_) return;
    const int input = inputOf(view_);
    const CScanConfiguration& c = reference_->scan.configuration;
    if (!c.usesInput(input)) return;
    ExportInput e = reference_->exportInput(input);
    const bool microphone = SensorTypes::isMicrophone(e.sensorType);
    MappedSeries x;
    std::array<MappedSeries, 3> y;
    std::vector<MappedSeries*> ys{&y[0], &y[1], &y[2]};
    int count = 0;
    if (isSpectrum()) {
        ConvertSpectrumForDisplay(*e.data, e.displayMode, microphone, microphone ? 1.0 : e.scale, x, ys,
                                  count);
    } else {
        ConvertTimeForDisplay(*e.data, e.displayMode, 0, microphone, e.scale, x, ys);
        count = std::max(e.data->samplesAcquired, 0);
    }
    const int axes = std::clamp(e.data->allocatedAxes(), 0, 3);
    const std::vector<QCPGraph*> live = seriesGraphs();
    static const char* names[] = {"x", "y", "z"};
    for (int a = 0; a < axes; ++a) {
        QVector<double> kx(count), vy(count);
        for (int i = 0; i < count; ++i) {
            kx[i] = x.get(static_cast<std::uint32_t>(i));
            vy[i] = y[static_cast<std::size_t>(a)].get(static_cast<std::uint32_t>(i));
        }
        QCPGraph* g = plot()->addGraph();
        g->setAdaptiveSampling(true);
        QColor colour = a < static_cast<int>(live.size()) ? live[static_cast<std::size_t>(a)]->pen().color()
                                                          : QColor(Qt::gray);
        colour = colour.darker(140);
        colour.setAlpha(200);
        g->setPen(QPen(colour, 1.2, Qt::DashLine));
        g->setName(QStringLiteral("%1 (ref: %2)").arg(names[a], referenceName_));
        g->setData(kx, vy, true);
        referenceGraphs_.push_back(g);
    }
    updateReferenceVisibility();
}

void GraphAnalysis::updateReferenceVisibility()
{
    const std::vector<QCPGraph*> live = seriesGraphs();
    for (std::size_t a = 0; a < referenceGraphs_.size(); ++a) {
        QCPGraph* g = referenceGraphs_[a];
        if (!g) continue;
        // A reference component is shown with its live component.
        const bool visible = a < live.size() ? live[a]->visible() : true;
        if (g->visible() != visible) g->setVisible(visible);
        if (visible)
            g->addToLegend();
        else
            g->removeFromLegend();
    }
}

bool GraphAnalysis::overlayReferenceFile(CCorvelView* view, const std::filesystem::path& path, QString* error)
{
    auto reference = std::make_shared<CCorvelDoc>();
    struct Collect : MessageOnlyInteraction
    {
        std::string text;
        int messageBox(const std::string& t, const std::string&, unsigned) override
        {
            text = t;
            return 1;
        }
    } ui;
    if (!reference->OnOpenDocument(path, &ui)) {
        if (error)
            *error = QString::fromStdString(ui.text.empty() ? "Cannot open " + path.string() : ui.text);
        return false;
    }
    const QString name = QFileInfo(QString::fromStdString(path.string())).fileName();
    CCorvelDoc* document = view->document();
    for (CCorvelView* other : view->window()->findChildren<CCorvelView*>())
        if (other->document() == document) GraphAnalysis::of(other)->setReference(reference, name);
    return true;
}

void GraphAnalysis::removeReferenceEverywhere(CCorvelView* view)
{
    CCorvelDoc* document = view->document();
    for (CCorvelView* other : view->window()->findChildren<CCorvelView*>())
        if (other->document() == document)
            if (GraphAnalysis* a = find(other)) a->removeReference();
}

// ---- refresh, menu, events ----

void GraphAnalysis::refresh()
{
    if (refreshing_ || !view_) return;
    refreshing_ = true;
    ensureItems();
    updateReferenceVisibility();
    updateCursorItems();
    updatePeakItems();
    updateHarmonicItems();
    const QString before = status_;
    updateReadout();
    readoutItem_->setText(readout_);
    readoutItem_->setVisible(cursorsShown_ && !readout_.isEmpty());
    if (status_ != before) publishStatus();
    refreshing_ = false;
}

bool GraphAnalysis::writeText(const std::filesystem::path& path, const QString& text, QString* error)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const QByteArray bytes = text.toUtf8();
    out.write(bytes.constData(), bytes.size());
    out.close();
    if (out) return true;
    if (error) *error = QString::fromStdString(path.string() + ": " + std::strerror(errno));
    return false;
}

void GraphAnalysis::showPeakList()
{
    QDialog dialog(view_);
    dialog.setWindowTitle(tr("Peaks of %1").arg(view_->name()));
    auto* layout = new QVBoxLayout(&dialog);
    const auto rows = peakRows();
    auto* table = new QTableWidget(static_cast<int>(rows.size()), 5, &dialog);
    table->setHorizontalHeaderLabels(
        {tr("Series"), tr("Rank"), tr("Frequency (Hz)"), tr("Level (%1)").arg(yUnit()), tr("Relative (dB)")});
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        const PeakRow& p = rows[static_cast<std::size_t>(r)];
        const QStringList cells{p.series, QString::number(p.rank), number(p.frequency), number(p.level),
                                QString::number(p.relativeDb, 'f', 2)};
        for (int c = 0; c < 5; ++c)
            table->setItem(r, c, new QTableWidgetItem(cells[c]));
    }
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(table);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    QPushButton* copy = buttons->addButton(tr("Copy"), QDialogButtonBox::ActionRole);
    QPushButton* save = buttons->addButton(tr("Export..."), QDialogButtonBox::ActionRole);
    const QString text = peakListText();
    connect(copy, &QPushButton::clicked, &dialog, [text] { QGuiApplication::clipboard()->setText(text); });
    connect(save, &QPushButton::clicked, &dialog, [&dialog, text] {
        const QString file = QFileDialog::getSaveFileName(&dialog, tr("Export Peak List"), QString(),
                                                          tr("Text files (*.txt)"));
        if (file.isEmpty()) return;
        QString error;
        if (!writeText(file.toStdString(), text, &error))
            QMessageBox::warning(&dialog, tr("Export Peak List"),
                                 tr("The peak list was not written:\n%1").arg(error));
    });
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog.resize(520, 360);
    dialog.exec();
}

void GraphAnalysis::askHarmonics()
{
    const auto rows = peakRows();
    const double suggested = fundamental_ > 0 ? fundamental_ : rows.empty() ? 50.0 : rows.front().frequency;
    bool ok = false;
    const double f = QInputDialog::getDouble(view_, tr("Harmonic Markers"),
                                             tr("Fundamental (Hz), 0 removes:"), suggested, 0.0, 1e9, 4, &ok);
    if (ok) setHarmonicFundamental(f);
}

void GraphAnalysis::askReference()
{
    const QString file = QFileDialog::getOpenFileName(view_, tr("Overlay Reference Scan"), QString(),
                                                      tr("Tesselon-6 Files (*.ts6)"));
    if (file.isEmpty()) return;
    QString error;
    if (!overlayReferenceFile(view_, file.toStdString(), &error))
        QMessageBox::warning(view_, tr("Overlay Reference Scan"), error);
}

void GraphAnalysis::addMenuEntries(QMenu* menu)
{
    QMenu* sub = menu->addMenu(tr("Analysis"));
    QAction* cursors =
        sub->addAction(tr("Measurement Cursors"), this, [this] { setCursorsShown(!cursorsShown_); });
    cursors->setCheckable(true);
    cursors->setChecked(cursorsShown_);
    if (isSpectrum()) {
        QAction* peaks = sub->addAction(tr("Show Peaks"), this, [this] { setPeaksShown(!peaksShown_); });
        peaks->setCheckable(true);
        peaks->setChecked(peaksShown_);
        sub->addAction(tr("Peak List..."), this, [this] { showPeakList(); });
        sub->addAction(tr("Harmonic Markers..."), this, [this] { askHarmonics(); });
    }
    sub->addSeparator();
    sub->addAction(tr("Overlay Reference Scan..."), this, [this] { askReference(); });
    QAction* remove =
        sub->addAction(tr("Remove Reference"), this, [this] { removeReferenceEverywhere(view_); });
    remove->setEnabled(hasReference());
}

bool GraphAnalysis::eventFilter(QObject* watched, QEvent* event)
{
    if (!view_ || !cursorsShown_) return QObject::eventFilter(watched, event);
    QCustomPlot* p = plot();
    switch (event->type()) {
    case QEvent::KeyPress: {
        // Added keys only; the view's own keys keep their meaning and pass on.
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_1) setActiveCursor(0);
        if (key->key() == Qt::Key_2) setActiveCursor(1);
        if (key->modifiers() & Qt::ShiftModifier) {
            const int step = key->modifiers() & Qt::ControlModifier ? 10 : 1;
            if (key->key() == Qt::Key_Left) stepActiveCursor(-step);
            if (key->key() == Qt::Key_Right) stepActiveCursor(step);
        }
        if (key->key() == Qt::Key_1 || key->key() == Qt::Key_2) {
            refresh();
            p->replot();
        }
        break;
    }
    case QEvent::MouseButtonPress: {
        if (watched != p) break;
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton) break;
        pressPos_ = mouse->pos();
        pressed_ = true;
        for (int c = 0; c < 2; ++c) {
            if (!placed_[static_cast<std::size_t>(c)]) continue;
            const double px = p->xAxis->coordToPixel(x_[static_cast<std::size_t>(c)]);
            if (std::abs(px - mouse->position().x()) <= kGrabPixels) {
                // Grabbing a cursor drags it instead of starting a zoom rectangle.
                dragging_ = c;
                active_ = c;
                return true;
            }
        }
        break;
    }
    case QEvent::MouseMove: {
        if (watched != p || dragging_ < 0) break;
        auto* mouse = static_cast<QMouseEvent*>(event);
        placeCursor(dragging_, p->xAxis->pixelToCoord(mouse->position().x()));
        return true;
    }
    case QEvent::MouseButtonRelease: {
        if (watched != p) break;
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (dragging_ >= 0) {
            dragging_ = -1;
            pressed_ = false;
            return true;
        }
        if (pressed_ && mouse->button() == Qt::LeftButton &&
            (mouse->pos() - pressPos_).manhattanLength() <= 3)
            clickAt(p->xAxis->pixelToCoord(mouse->position().x()));
        pressed_ = false;
        break;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
