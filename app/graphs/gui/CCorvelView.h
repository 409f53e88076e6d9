#pragma once

#include "app/acquisition/CCorvelDoc.h"
#include "app/graphs/GraphSettingsStore.h"

#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class DisplaySeries;
class QcpChartControl;
class QMenu;

// One graph pane of a scan window: its chart, its name and kind, the
// "Graph Popup" menu and the chart's own custom menu entries. As a view of
// its document it turns the input's data set into the plotted series.
class CCorvelView : public QWidget, public DocumentView
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
    // Series 4..9: two limit lines per component.
    static constexpr int firstLimitSeries = 4;
    static constexpr int seriesWithLimits = 10;

    CCorvelView(int kind, QWidget* parent = nullptr);
    ~CCorvelView() override;

    int kind() const { return kind_; }
    QString name() const;
    QcpChartControl& chart() const { return *chart_; }
    GraphSettingsStore::Graph& persistedGraph() { return persisted_; }

    // The document whose "Properties..." command this view offers; the frame sets it.
    void setDocument(CCorvelDoc* document) { document_ = document; }
    CCorvelDoc* document() const { return document_; }

    // Rebuilds the chart for a new data set: series, labels, colours, the
    // custom menu; a spectrum may stay hidden until its data arrive.
    void setUpGraph(const std::vector<std::string>& labels, bool stayHidden);
    // The document's set-up for a data set of `points` points: x, y, z and
    // Total, nothing drawn yet. Time graphs are shown, spectra stay hidden.
    void setUpForData(int points);
    bool isSetUp() const { return setUp_; }
    // Graph, x and y titles from the document's configuration and settings.
    void setTitles(CCorvelDoc& document);
    // Shows a series and, when the limit lines are drawn, its two limit lines.
    void setComponentVisible(int component, bool visible);
    void setLimitLinesShown(bool shown) { limitLinesShown_ = shown; }
    bool limitLinesShown() const { return limitLinesShown_; }

    // DocumentView: redraw from the document; store and load with it.
    void onDocumentUpdate(CCorvelDoc& document) override;
    void storeGraph(ArchiveWriter& archive) override;
    void loadGraph(int points) override;

    // Points of the input's time record already on the chart (incremental drawing).
    std::size_t drawnPoints() const { return drawn_; }
    double firstX() const { return firstX_; }
    double xSpacing() const { return xSpacing_; }
    // Whether the driver is running a scan; replaceable so tests need no instrument.
    using ScanningQuery = std::function<bool()>;
    void setScanningQuery(ScanningQuery query) { scanningQuery_ = std::move(query); }

    // The "Graph Popup" menu as it would open now; the caller owns it.
    QMenu* createGraphPopup(QWidget* parent);
    // Runs one "Graph Popup" command.
    void runCommand(int id);

signals:
    // Cursor readouts for the status bar ("X = …", "Y = …") and the graph's name.
    void readoutsChanged(const QString& x, const QString& y);
    void cursorGraphChanged(const QString& graphName);
    void readoutsCleared();
    // "Properties...": the frame copies the titles and saves every graph.
    void propertiesRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // Marks the drawn samples beyond the limit the document judged against.
    void markExceedances(const double* x, const std::vector<const double*>& axes, std::size_t n,
                         double reference, double limit, bool fresh);
    class ChartEvents;
    void customMenuClicked(int index);
    void refreshCustomMenuStates();
    void applyVisibility();
    bool hasTotalSeries() const;
    void updateTimeGraph(CCorvelDoc& document);
    void updateSpectrum(CCorvelDoc& document);
    // Series count, labels and colours for the components, total and limit lines in use.
    void arrangeSeries(const DisplaySeries& shown, bool limits);
    // Layout, titles, first visibility and the values: replacing the drawn ones or appended to them.
    void drawSeries(CCorvelDoc& document, DisplaySeries& shown, bool limits, bool replace);
    void initialiseVisibility(const DisplaySeries& series);

    int kind_;
    QcpChartControl* chart_ = nullptr;
    std::unique_ptr<ChartEvents> events_;
    GraphSettingsStore::Graph persisted_;
    CCorvelDoc* document_ = nullptr;
    bool limitLinesShown_ = false;
    bool setUp_ = false;
    bool visibilityInitialised_ = false;
    std::size_t drawn_ = 0;
    double firstX_ = 0.0;
    double xSpacing_ = 0.0;
    ScanningQuery scanningQuery_;
};
