#pragma once

#include "app/graphs/GraphSettingsStore.h"

#include <QWidget>

#include <string>
#include <vector>

class QcpChartControl;
class QMenu;

// One graph pane of a scan window: its chart, its name and kind, the
// "Graph Popup" menu and the chart's own custom menu entries.
class CCorvelView : public QWidget
{
    Q_OBJECT

public:
    // "Graph Popup" command identifiers.
    enum Command {
        ID_SHOW_ALL = 165,
        ID_UNDO_ZOOM = 32801,
        ID_GRAPH_PROPERTIES = 164,
        ID_SHOW_CURSOR = 179,
        ID_ADD_MARKER = 32787,
        ID_REMOVE_MARKER = 32788,
        ID_REMOVE_ALL_MARKERS = 32789,
        ID_SHOW_X = 32795,
        ID_SHOW_Y = 32796,
        ID_SHOW_Z = 32797,
        ID_SHOW_TOTAL_FIELD = 32798,
    };
    // Entries of the chart's own popup menu, by index.
    enum CustomEntry { CustomX = 1, CustomY = 2, CustomZ = 3, CustomTotalField = 4, CustomReset = 6 };

    CCorvelView(int kind, QWidget* parent = nullptr);
    ~CCorvelView() override;

    int kind() const { return kind_; }
    QString name() const;
    QcpChartControl& chart() const { return *chart_; }
    GraphSettingsStore::Graph& persistedGraph() { return persisted_; }

    // Rebuilds the chart for a new data set: series, labels, colours, the
    // custom menu; a spectrum may stay hidden until its data arrive.
    void setUpGraph(const std::vector<std::string>& labels, bool stayHidden);
    // Shows a series and, when the limit lines are drawn, its two limit lines.
    void setComponentVisible(int component, bool visible);
    void setLimitLinesShown(bool shown) { limitLinesShown_ = shown; }

    // The "Graph Popup" menu as it would open now; the caller owns it.
    QMenu* createGraphPopup(QWidget* parent);
    // Runs one "Graph Popup" command.
    void runCommand(int id);

signals:
    // Cursor readouts for the status bar ("X = …", "Y = …").
    void readoutsChanged(const QString& x, const QString& y);
    void readoutsCleared();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    class ChartEvents;
    void customMenuClicked(int index);
    void refreshCustomMenuStates();

    int kind_;
    QcpChartControl* chart_ = nullptr;
    std::unique_ptr<ChartEvents> events_;
    GraphSettingsStore::Graph persisted_;
    bool limitLinesShown_ = false;
};
