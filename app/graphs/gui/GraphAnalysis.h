#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>

#include <array>
#include <filesystem>
#include <memory>
#include <vector>

class CCorvelDoc;
class CCorvelView;
class QCPGraph;
class QCPItemStraightLine;
class QCPItemText;
class QCPItemTracer;
class QCustomPlot;
class QMenu;

// Measurements on one graph pane, drawn as items on its chart so they are
// printed, exported and copied with the graph's image: two cursors that snap
// to samples with their readouts, the largest peaks of a spectrum, harmonic
// markers, the band level between the cursors and a dashed overlay of a saved
// reference scan. Nothing here changes the document or the chart's own series,
// so none of it is ever saved into a scan or the graph settings.
class GraphAnalysis : public QObject
{
    Q_OBJECT

public:
    static constexpr int peaksPerSeries = 5;
    static constexpr int maxHarmonics = 20;

    // The view's analysis, made on first use.
    static GraphAnalysis* of(CCorvelView* view);
    static GraphAnalysis* find(const CCorvelView* view);
    ~GraphAnalysis() override;

    // ---- cursors ----
    void setCursorsShown(bool shown);
    bool cursorsShown() const { return cursorsShown_; }
    // Cursor 0 or 1; placed at the sample nearest x of the tracked series.
    void placeCursor(int cursor, double x);
    bool isCursorPlaced(int cursor) const { return placed_[static_cast<std::size_t>(cursor & 1)]; }
    double cursorX(int cursor) const { return x_[static_cast<std::size_t>(cursor & 1)]; }
    double cursorY(int cursor) const;
    void setActiveCursor(int cursor) { active_ = cursor & 1; }
    int activeCursor() const { return active_; }
    // Moves the active cursor by whole samples.
    void stepActiveCursor(int samples);
    // A click: the first places cursor 1, the next cursor 2, later ones move the nearer cursor.
    void clickAt(double x);
    // Label of the series the cursors read ("x", "y", "z", "Total").
    QString trackedSeries() const;

    // The readout beside the graph (several lines) and its one-line form for the status bar.
    QString readoutText() const { return readout_; }
    QString statusText() const { return status_; }

    // ---- spectra ----
    void setPeaksShown(bool shown);
    bool peaksShown() const { return peaksShown_; }
    struct PeakRow
    {
        QString series;
        int rank = 0;
        double frequency = 0, level = 0, relativeDb = 0;
    };
    // The largest peaks of each component series (visible or not), largest first per series.
    std::vector<PeakRow> peakRows() const;
    // Tab-separated: a title line, a column line, then one row per peak.
    QString peakListText() const;
    // 0 removes the markers.
    void setHarmonicFundamental(double hertz);
    double harmonicFundamental() const { return fundamental_; }
    // Band level between the placed cursors: per component series its mean square (display units²).
    bool bandMeanSquares(double& low, double& high, std::vector<double>& meanSquares) const;

    // ---- reference overlay ----
    // Draws the reference scan's record of this pane's input (dashed, named in the legend).
    void setReference(std::shared_ptr<CCorvelDoc> reference, const QString& name);
    void removeReference();
    bool hasReference() const { return reference_ != nullptr; }
    QString referenceName() const { return referenceName_; }
    int referenceGraphCount() const;

    // Loads a saved scan and overlays it on every pane of the view's window that shows the same document.
    static bool overlayReferenceFile(CCorvelView* view, const std::filesystem::path& path, QString* error);
    static void removeReferenceEverywhere(CCorvelView* view);

    // The "Analysis" entries of the graph's popup menu.
    void addMenuEntries(QMenu* menu);
    // Writes the peak list as text; false with the reason.
    static bool writeText(const std::filesystem::path& path, const QString& text, QString* error);

    // Recomputes every readout and marker from the chart's data (also done before each replot).
    void refresh();

signals:
    void readoutChanged(const QString& statusText);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit GraphAnalysis(CCorvelView* view);
    bool isSpectrum() const;
    QCustomPlot* plot() const;
    // The chart's own series graphs, in series order (the overlay's graphs left out).
    std::vector<QCPGraph*> seriesGraphs() const;
    QCPGraph* trackedGraph() const;
    int nearestIndex(const QCPGraph* graph, double x) const;
    QString xUnit() const;
    QString yUnit() const;
    QString baseUnit() const;
    bool decibel() const;
    void ensureItems();
    void updateCursorItems();
    void updatePeakItems();
    void updateHarmonicItems();
    void updateReferenceVisibility();
    void updateReadout();
    void publishStatus();
    void fillReferenceGraphs();
    void showPeakList();
    void askHarmonics();
    void askReference();

    QPointer<CCorvelView> view_;
    bool cursorsShown_ = false;
    std::array<bool, 2> placed_{false, false};
    std::array<double, 2> x_{0.0, 0.0};
    int active_ = 0;
    int clicks_ = 0;
    int dragging_ = -1;
    QPoint pressPos_;
    bool pressed_ = false;
    bool peaksShown_ = false;
    double fundamental_ = 0.0;
    QString readout_, status_;
    bool refreshing_ = false;

    std::array<QCPItemStraightLine*, 2> lines_{};
    std::array<QCPItemTracer*, 2> tracers_{};
    QCPItemText* readoutItem_ = nullptr;
    std::vector<QCPItemTracer*> peakMarkers_;
    std::vector<QCPItemText*> peakLabels_;
    std::vector<QCPItemStraightLine*> harmonicLines_;
    std::vector<QCPItemText*> harmonicLabels_;

    std::shared_ptr<CCorvelDoc> reference_;
    QString referenceName_;
    std::vector<QPointer<QCPGraph>> referenceGraphs_;
};
