#include "app/graphs/gui/CCorvelView.h"

#include "app/graphs/GraphTables.h"
#include "app/graphs/gui/QcpChartControl.h"
#include "common/platform/Hooks.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QVBoxLayout>

#include <random>

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
        chart_->setSeriesVisible(i, true);
    }
    chart_->setCustomMenu({"|", "X", "Y", "Z", "Total Field", "|", "Reset Graph Settings"});
    refreshCustomMenuStates();
    chart_->setHidden(stayHidden);
    if (!stayHidden) chart_->redraw();
}

void CCorvelView::setComponentVisible(int component, bool visible)
{
    chart_->setSeriesVisible(component, visible);
    if (limitLinesShown_ && component >= 0 && component < 3) {
        chart_->setSeriesVisible(4 + 2 * component, visible);
        chart_->setSeriesVisible(5 + 2 * component, visible);
    }
    refreshCustomMenuStates();
}

void CCorvelView::refreshCustomMenuStates()
{
    for (int i = 0; i < 4; ++i)
        chart_->setCustomMenuChecked(CustomX + i, chart_->isSeriesVisible(i));
}

void CCorvelView::customMenuClicked(int index)
{
    if (index >= CustomX && index <= CustomTotalField) {
        const int series = index - CustomX;
        setComponentVisible(series, !chart_->isSeriesVisible(series));
        chart_->redraw();
    } else if (index == CustomReset) {
        GraphSettingsStore::resetGraph(persisted_);
    }
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
    // Copies the titles into the document's settings: waits for the document.
    add(QStringLiteral("Properties..."), ID_GRAPH_PROPERTIES)->setEnabled(false);
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
    total->setEnabled(chart_->seriesCount() > GraphTables::totalFieldSeries);
    total->setChecked(total->isEnabled() && chart_->isSeriesVisible(GraphTables::totalFieldSeries));
    return menu;
}

void CCorvelView::runCommand(int id)
{
    switch (id) {
    case ID_UNDO_ZOOM:
        chart_->undoZoom();
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
        if (chart_->seriesCount() > GraphTables::totalFieldSeries) {
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
