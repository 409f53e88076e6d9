#include "app/graphs/gui/CCorvelView.h"

#include "app/graphs/gui/GraphAnalysis.h"

#include "app/acquisition/ScanDataLock.h"
#include "app/acquisition/Spectrum.h"
#include "app/graphs/DisplaySeries.h"
#include "app/graphs/GraphTables.h"
#include "app/graphs/gui/QcpChartControl.h"
#include "app/base/ConfigurationValues.h"
#include "app/specification/ExcursionReport.h"
#include "app/specification/SpecificationTest.h"
#include "common/Locker.h"
#include "common/platform/Hooks.h"
#include "driver/Torvane.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>
#include <optional>
#include <random>

using namespace GraphTables;

namespace {

bool inputInUse(const CScanConfiguration& c, int input)
{
    return c.usesInput(input);
}
} // namespace

class CCorvelView::ChartEvents : public ChartControl::Listener
{
public:
    explicit ChartEvents(CCorvelView& view) : view_(view) {}
    void customMenuClicked(int index) override { view_.customMenuClicked(index); }
    void displaySettingsChanged() override { GraphSettingsStore::saveToRememberedPath(view_.persisted_); }
    void cursorMoved(double x, double y) override
    {
        emit view_.readoutsChanged(QString::fromStdString(GraphTables::readoutText('X', x)),
                                   QString::fromStdString(GraphTables::readoutText('Y', y)));
        emit view_.cursorGraphChanged(view_.name());
    }

private:
    CCorvelView& view_;
};

CCorvelView::CCorvelView(int kind, QWidget* parent) : QWidget(parent), kind_(kind)
{
    chart_ = new QcpChartControl(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(chart_);
    events_ = std::make_unique<ChartEvents>(*this);
    chart_->setListener(events_.get());
    persisted_.chart = chart_;
    setFocusPolicy(Qt::StrongFocus);
    chart_->setXAxisTitle(GraphTables::xAxisTitle(GraphTables::isSpectrum(kind)));
    // A spectrum is computed once the record is complete; until then its pane says so.
    if (GraphTables::isSpectrum(kind)) chart_->setHiddenText(tr("The spectrum is shown when the scan ends."));
    // The right-click menu of the chart also offers the measurements.
    connect(chart_, &QcpChartControl::popupMenuCreated, this, [this](QMenu* menu) {
        menu->addSeparator();
        GraphAnalysis::of(this)->addMenuEntries(menu);
    });
}

CCorvelView::~CCorvelView()
{
    chart_->setListener(nullptr);
}

QString CCorvelView::name() const
{
    return QString::fromLatin1(GraphTables::paneName(kind_));
}

void CCorvelView::setUpGraph(const std::vector<std::string>& labels, bool stayHidden)
{
    std::mt19937 random(std::random_device{}());
    chart_->clearSeriesData();
    chart_->setSeriesCount(static_cast<int>(labels.size()));
    for (int i = 0; i < static_cast<int>(labels.size()); ++i) {
        chart_->setSeriesLabel(i, labels[static_cast<std::size_t>(i)]);
        chart_->setSeriesColour(i, GraphTables::seriesColour(i, random));
        chart_->setSeriesInLegend(i, true);
        chart_->setSeriesVisible(i, true);
    }
    limitLinesShown_ = false;
    chart_->setCustomMenu({"|", "X", "Y", "Z", "Total Field", "|", "Reset Graph Settings"});
    refreshCustomMenuStates();
    chart_->setHidden(stayHidden);
    if (!stayHidden) chart_->redraw();
    setUp_ = true;
}

void CCorvelView::setUpForData(int /*points*/)
{
    // The chart grows with its data, so the point count needs no reservation here.
    // The user's choice of series survives a rebuild in the middle of a scan.
    std::array<bool, 4> kept{true, true, true, true};
    for (int i = 0; i < 4; ++i)
        kept[static_cast<std::size_t>(i)] = i >= chart_->seriesCount() || chart_->isSeriesVisible(i);
    // No "Total" in the legend or the menus of a scan that does not show it.
    const bool total = !document_ || document_->scan.configuration.ShowTotalField != 0;
    setUpGraph({seriesLabel(0), seriesLabel(1), seriesLabel(2),
                total ? seriesLabel(totalFieldSeries) : std::string()},
               isSpectrum(kind_));
    if (visibilityInitialised_)
        for (int i = 0; i < 4; ++i)
            chart_->setSeriesVisible(i, kept[static_cast<std::size_t>(i)]);
    refreshCustomMenuStates();
    drawn_ = 0;
}

bool CCorvelView::hasTotalSeries() const
{
    return chart_->seriesCount() > totalFieldSeries && chart_->seriesLabel(totalFieldSeries) == "Total";
}

void CCorvelView::setComponentVisible(int component, bool visible)
{
    chart_->setSeriesVisible(component, visible);
    if (limitLinesShown_ && component >= 0 && component < 3) {
        chart_->setSeriesVisible(firstLimitSeries + 2 * component, visible);
        chart_->setSeriesVisible(firstLimitSeries + 1 + 2 * component, visible);
    }
    refreshCustomMenuStates();
}

void CCorvelView::applyVisibility()
{
    const int count = chart_->seriesCount();
    // Placeholders (a missing axis, or index 3 kept free for the limit lines) are never drawn.
    for (int i = 0; i < std::min(count, firstLimitSeries); ++i)
        if (chart_->seriesLabel(i).empty()) chart_->setSeriesVisible(i, false);
    if (limitLinesShown_ && count >= seriesWithLimits)
        for (int c = 0; c < 3; ++c) {
            const bool shown = chart_->isSeriesVisible(c);
            chart_->setSeriesVisible(firstLimitSeries + 2 * c, shown);
            chart_->setSeriesVisible(firstLimitSeries + 1 + 2 * c, shown);
        }
    refreshCustomMenuStates();
}

void CCorvelView::refreshCustomMenuStates()
{
    for (int i = 0; i < 4; ++i)
        chart_->setCustomMenuChecked(CustomX + i, chart_->isSeriesVisible(i));
    // Only a graph that has a total field offers it.
    chart_->setCustomMenuEnabled(CustomTotalField, hasTotalSeries());
    if (!hasTotalSeries()) chart_->setCustomMenuChecked(CustomTotalField, false);
}

void CCorvelView::customMenuClicked(int index)
{
    if (index >= CustomX && index <= CustomTotalField) {
        const int series = index - CustomX;
        if (series == totalFieldSeries && !hasTotalSeries()) return;
        setComponentVisible(series, !chart_->isSeriesVisible(series));
        chart_->redraw();
    } else if (index == CustomReset) {
        GraphSettingsStore::resetGraph(persisted_);
    }
}

void CCorvelView::arrangeSeries(const DisplaySeries& shown, bool limits)
{
    std::mt19937 random(std::random_device{}());
    const int components = shown.components();
    const bool total = shown.withTotal();
    const int count = limits ? seriesWithLimits : (total ? totalFieldSeries + 1 : components);
    const int before = chart_->seriesCount();
    chart_->setSeriesCount(count);
    for (int i = 0; i < count; ++i) {
        // Missing axes and an undrawn total keep their places, unlabelled.
        const std::string label = i <= totalFieldSeries ? shown.label(i) : seriesLabel(i);
        if (chart_->seriesLabel(i) != label || i >= before) {
            chart_->setSeriesLabel(i, label);
            chart_->setSeriesColour(i, seriesColour(i, random));
        }
        // One legend entry per pair of limit lines.
        chart_->setSeriesInLegend(i, i < firstLimitSeries || (i - firstLimitSeries) % 2 == 0);
        chart_->setSeriesDashed(i, i >= firstLimitSeries);
        // Limits are read against the data: drawn on top of it.
        chart_->setSeriesOnTop(i, i >= firstLimitSeries);
    }
    limitLinesShown_ = limits;
}

void CCorvelView::initialiseVisibility(const DisplaySeries& series)
{
    const std::array<bool, 4> shown = series.initialVisibility();
    for (int i = 0; i < std::min(chart_->seriesCount(), 4); ++i)
        chart_->setSeriesVisible(i, shown[static_cast<std::size_t>(i)]);
    visibilityInitialised_ = true;
}

void CCorvelView::setTitles(CCorvelDoc& document)
{
    const PaneTitles titles = paneTitles(document, kind_);
    chart_->setTitle(titles.graph);
    chart_->setXAxisTitle(titles.x);
    chart_->setYAxisTitle(titles.y);
}

void CCorvelView::onDocumentUpdate(CCorvelDoc& document)
{
    if (document.dataReady.load() == 0) return;
    try {
        if (isSpectrum(kind_)) {
            // A run of a multiple scan is being read: its spectra are not computed yet.
            if (!document.scan.runAcquiring.load()) updateSpectrum(document);
        } else {
            updateTimeGraph(document);
        }
    } catch (const std::exception&) {
        // Storage for the display series could not grow: this refresh ends here.
    }
}

void CCorvelView::updateTimeGraph(CCorvelDoc& document)
{
    if (!setUp_) return;
    const int input = isInput2(kind_) ? 1 : 0;
    CScanConfiguration& c = document.scan.configuration;
    const DefaultSettings& d = document.settings;
    ScanData& data = document.scan.input(input);
    // Counts and conversion under one hold of the lock: the scan thread may
    // start a new record in between, and a converted window must match its count.
    FenmarlCommonDLL::ThreadLocker lock(&ScanDataLock(), true);
    const auto available = static_cast<std::size_t>(std::max(data.samplesAcquired, 0));
    const std::string& sensor = c.inputMode(input);
    const std::string& mode = c.displayMode(input);
    const bool running = document.scanActive != 0;
    // Asked only when the answer matters: in continuous mode the driver's answer takes a while.
    bool driverScanning = false;
    if (running && c.ScanMode == ScanModes::Continuous && available > continuousWindowPoints)
        driverScanning = scanningQuery_ ? scanningQuery_() : IsScanning();
    const TimeWindow window =
        timeGraphWindow(running, c.ScanMode, driverScanning, available, drawn_, mode == "Mean Zero");
    if (window.setUpAgain) setUpForData(c.NoOfSamples);

    DisplaySeries p = DisplaySeries::time(document, input, window.start, window.count);
    lock.unlock();
    const int components = p.components();

    SpecificationSettings& limits = c.Specification;
    const bool tested = limits.applyTimeTest[input] != 0 && inputInUse(c, input);
    drawSeries(document, p, tested && limits.displayCurves != 0, window.replace);
    const std::size_t n = p.count();
    drawn_ = window.start + n;

    if (const std::optional<ChartControl::Range> range = manualYRange(document, kind_))
        chart_->setManualYRange(*range);
    else
        chart_->setAutomaticYRange();

    if (tested && n > 0) {
        const double f = unitFactor(sensor, d.MagneticUnits, d.VibrationUnits);
        // The document has judged the record (EvaluateSpecification); the view draws its reference.
        if (limitLinesShown_ && limits.takeReference[input] == 0) {
            // Reference ± excursion over the drawn record, one pair per component.
            const double excursion = limits.maximumExcursion[input] / f;
            const double reference = limits.referenceValue[input];
            const double lineX[2] = {firstX_, p.x()[n - 1]};
            for (int c3 = 0; c3 < 3; ++c3)
                for (int side = 0; side < 2; ++side) {
                    const double level = reference + (side == 0 ? -excursion : excursion);
                    const double lineY[2] = {level, level};
                    chart_->setSeriesData(firstLimitSeries + 2 * c3 + side, lineX, lineY, 2);
                }
        }
        if (limits.takeReference[input] == 0) {
            std::vector<const double*> axes;
            for (int a = 0; a < components; ++a)
                axes.push_back(p.values(a));
            markExceedances(p.x(), axes, n, limits.referenceValue[input], limits.maximumExcursion[input] / f,
                            window.replace);
        }
    } else if (!tested) {
        chart_->clearMarks();
    }
    chart_->redraw();
}

void CCorvelView::drawSeries(CCorvelDoc& document, DisplaySeries& shown, bool limits, bool replace)
{
    arrangeSeries(shown, limits);
    setTitles(document);
    if (!visibilityInitialised_) initialiseVisibility(shown);
    const std::size_t n = shown.count();
    if (n > 0) {
        const double* x = shown.x();
        for (int series : shown.drawnSeries()) {
            if (replace)
                chart_->setSeriesData(series, x, shown.values(series), n);
            else
                chart_->appendSeriesData(series, x, shown.values(series), n);
        }
        if (replace) firstX_ = x[0];
        if (n > 1) xSpacing_ = x[1] - x[0];
    }
    applyVisibility();
}

void CCorvelView::markExceedances(const double* x, const std::vector<const double*>& axes, std::size_t n,
                                  double reference, double limit, bool fresh)
{
    // A rebuilt graph starts over; appended points add their marks to those drawn.
    std::vector<double> markX, markY;
    for (std::size_t a = 0; a < axes.size(); ++a) {
        if (!limitLinesShown_ || !chart_->isSeriesVisible(static_cast<int>(a))) continue;
        // A few hundred marks per refresh show where; more would only hide the trace.
        for (std::size_t i : ExceedingSamples(axes[a], n, reference, limit, 200)) {
            markX.push_back(x[i]);
            markY.push_back(axes[a][i]);
        }
    }
    chart_->setMarks(markX, markY, !fresh);
}

void CCorvelView::updateSpectrum(CCorvelDoc& document)
{
    if (!setUp_) return;
    const int input = isInput2(kind_) ? 1 : 0;
    CScanConfiguration& c = document.scan.configuration;
    const DefaultSettings& d = document.settings;
    const std::string& sensor = c.inputMode(input);

    DisplaySeries p = DisplaySeries::spectrum(document, input);
    SpecificationSettings& limits = c.Specification;
    const bool tested = limits.applyFrequencyTest[input] != 0 && inputInUse(c, input);
    drawSeries(document, p, tested && limits.displayCurves != 0 && !limits.curve[input].empty(), true);

    // The document has judged the spectrum (EvaluateSpecification); the view draws the curve.
    const double f = unitFactor(sensor, d.MagneticUnits, d.VibrationUnits);
    if (limitLinesShown_) {
        // A microphone's spectrum is shown as sound pressure level: so is its curve.
        const bool microphone = SensorTypes::isMicrophone(sensor);
        const std::vector<CurvePoint>& curve = limits.curve[input];
        std::vector<double> cx, cy;
        for (const CurvePoint& point : curve) {
            cx.push_back(point.frequency);
            const double limit = point.intensity / f;
            cy.push_back(microphone ? SoundPressureLevel(limit) : limit);
        }
        for (int c3 = 0; c3 < 3; ++c3)
            chart_->setSeriesData(firstLimitSeries + 2 * c3, cx.data(), cy.data(), cx.size());
    }
    chart_->redraw();
}

void CCorvelView::storeGraph(ArchiveWriter& archive)
{
    DocumentView::storeGraph(archive);
    GraphSettingsStore::saveGraph(persisted_,
                                  GraphSettingsStore::graphNames[static_cast<std::size_t>(kind_)]);
}

void CCorvelView::loadGraph(int points)
{
    setUpForData(points);
    GraphSettingsStore::loadGraph(persisted_,
                                  GraphSettingsStore::graphNames[static_cast<std::size_t>(kind_)]);
}

QMenu* CCorvelView::createGraphPopup(QWidget* parent)
{
    auto* menu = new QMenu(QStringLiteral("Graph Popup"), parent);
    auto add = [this, menu](const QString& text, int id) {
        QAction* a = menu->addAction(text);
        a->setData(id);
        connect(a, &QAction::triggered, this, [this, id] { runCommand(id); });
        return a;
    };
    add(QStringLiteral("Show All"), ID_SHOW_ALL);
    add(QStringLiteral("Undo Zoom"), ID_UNDO_ZOOM)->setEnabled(chart_->isZoomed());
    // Copies the titles into the document's settings: only with a document.
    add(QStringLiteral("Properties..."), ID_GRAPH_PROPERTIES)->setEnabled(document_ != nullptr);
    menu->addSeparator();
    add(QStringLiteral("Show Cursor"), ID_SHOW_CURSOR);
    add(QStringLiteral("Add Marker"), ID_ADD_MARKER);
    add(QStringLiteral("Remove Marker"), ID_REMOVE_MARKER);
    add(QStringLiteral("Remove All Markers"), ID_REMOVE_ALL_MARKERS);
    menu->addSeparator();
    const char* const names[] = {"Show X", "Show Y", "Show Z"};
    for (int i = 0; i < 3; ++i) {
        QAction* a = add(QString::fromLatin1(names[i]), ID_SHOW_X + i);
        a->setCheckable(true);
        a->setChecked(chart_->isSeriesVisible(i));
    }
    QAction* total = add(QStringLiteral("Show Total Field"), ID_SHOW_TOTAL_FIELD);
    total->setCheckable(true);
    total->setEnabled(hasTotalSeries());
    total->setChecked(total->isEnabled() && chart_->isSeriesVisible(GraphTables::totalFieldSeries));
    // Measurements beyond the documented entries: cursors, peaks, band level, reference overlay.
    menu->addSeparator();
    GraphAnalysis::of(this)->addMenuEntries(menu);
    return menu;
}

void CCorvelView::runCommand(int id)
{
    switch (id) {
    case ID_UNDO_ZOOM:
        chart_->undoZoom();
        break;
    case ID_GRAPH_PROPERTIES:
        if (document_) emit propertiesRequested();
        break;
    case ID_SHOW_CURSOR: {
        bool anyVisible = false;
        for (int i = 0; i < chart_->seriesCount(); ++i)
            anyVisible = anyVisible || chart_->isSeriesVisible(i);
        if (!anyVisible)
            FenmarlCommonDLL::platform::showMessageBox("There are no active data sets", "Show Cursor",
                                                       FenmarlCommonDLL::platform::MB_OK_);
        break;
    }
    case ID_SHOW_X:
    case ID_SHOW_Y:
    case ID_SHOW_Z:
        setComponentVisible(id - ID_SHOW_X, !chart_->isSeriesVisible(id - ID_SHOW_X));
        chart_->redraw();
        break;
    case ID_SHOW_TOTAL_FIELD:
        if (hasTotalSeries()) {
            setComponentVisible(GraphTables::totalFieldSeries,
                                !chart_->isSeriesVisible(GraphTables::totalFieldSeries));
            chart_->redraw();
        }
        break;
    default: // Show All, the marker commands: nothing to do
        break;
    }
}

void CCorvelView::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Menu: {
        QMenu* menu = createGraphPopup(this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(mapToGlobal(rect().center()));
        break;
    }
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
        emit readoutsCleared();
        break;
    default:
        break;
    }
    QWidget::keyPressEvent(event);
}

void CCorvelView::contextMenuEvent(QContextMenuEvent* event)
{
    // The chart has its own menu for the mouse; the keyboard gets the view's.
    if (event->reason() != QContextMenuEvent::Keyboard) return QWidget::contextMenuEvent(event);
    QMenu* menu = createGraphPopup(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}
