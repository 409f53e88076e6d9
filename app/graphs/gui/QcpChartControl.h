#pragma once

#include "app/graphs/ChartControl.h"

#include <QPointer>
#include <QWidget>

#include <optional>
#include <vector>

class QCustomPlot;
class QLabel;
class QCPGraph;
class QCPLayer;
class QCPTextElement;
class QMenu;
class QPrinter;

// ChartControl over QCustomPlot: one widget per graph pane.
class QcpChartControl : public QWidget, public ChartControl
{
    Q_OBJECT

public:
    explicit QcpChartControl(QWidget* parent = nullptr);
    ~QcpChartControl() override;

    void setListener(Listener* listener) override { listener_ = listener; }

    void setSeriesCount(int count) override;
    int seriesCount() const override { return static_cast<int>(series_.size()); }
    void setSeriesLabel(int series, const std::string& label) override;
    std::string seriesLabel(int series) const override;
    void setSeriesColour(int series, std::uint32_t colourRef) override;
    std::uint32_t seriesColour(int series) const override;
    void setSeriesData(int series, const double* x, const double* y, std::size_t count) override;
    void appendSeriesData(int series, const double* x, const double* y, std::size_t count) override;
    std::size_t seriesPointCount(int series) const override;
    void clearSeriesData() override;
    void setSeriesVisible(int series, bool visible) override;
    bool isSeriesVisible(int series) const override;

    void setTitle(const std::string& text) override;
    std::string title() const override;
    void setSubtitle(const std::string& text) override;
    std::string subtitle() const override;
    void setXAxisTitle(const std::string& text) override;
    std::string xAxisTitle() const override;
    void setYAxisTitle(const std::string& text) override;
    std::string yAxisTitle() const override;

    void setManualXRange(Range range) override;
    void setAutomaticXRange() override;
    void setManualYRange(Range range) override;
    void setAutomaticYRange() override;
    bool isXRangeManual() const override { return xManual_; }
    bool isYRangeManual() const override { return yManual_; }
    Range xRange() const override;
    Range yRange() const override;

    void zoomTo(Range x, Range y) override;
    bool isZoomed() const override { return zoomed_; }
    void undoZoom() override;

    int displaySetting(int slot) const override;
    void setDisplaySetting(int slot, int value) override;
    void resetDisplaySettings() override;

    void setCustomMenu(const std::vector<std::string>& entries) override;
    void setCustomMenuChecked(int index, bool checked) override;
    void setCustomMenuEnabled(int index, bool enabled) override;
    bool isCustomMenuEnabled(int index) const override;
    bool isCustomMenuChecked(int index) const override;

    void setHidden(bool hidden) override;
    bool isHidden() const override { return hidden_; }
    // Drawn above the data (limit lines), on a layer of their own.
    void setSeriesOnTop(int series, bool onTop);
    bool isSeriesOnTop(int series) const;
    // Marks on samples beyond a limit, above everything else; `append` adds to
    // the marks already there. Named in the legend while there are any.
    void setMarks(const std::vector<double>& x, const std::vector<double>& y, bool append);
    void clearMarks();
    std::size_t markCount() const;
    // Said in the graph's place while it is hidden (empty: a blank pane).
    void setHiddenText(const QString& text);
    QString hiddenText() const;

    void redraw() override;

    void setSuggestedFileName(const std::string& pathWithoutExtension) override;
    QString suggestedFileName() const { return suggested_; }
    bool print() override;
    bool exportWithDialog() override;
    bool exportImage(const std::string& path, ImageFormat format, int width, int height) override;
    bool copyImage(int height, int width) override;

    // Renders the graph onto a printer already set up (the print dialog's result).
    bool printTo(QPrinter& printer);
    // The popup menu the user gets with the right mouse button; the caller owns it.
    QMenu* createPopupMenu(QWidget* parent);
    QCustomPlot* plot() const { return plot_; }
    // Lines that repeat another series' meaning (the second of a limit pair) stay out of the legend.
    void setSeriesInLegend(int series, bool inLegend);
    // Limit lines are dashed so they never pass for data.
    void setSeriesDashed(int series, bool dashed);

    // Long records draw from a min/max envelope (on by default); off draws
    // every point, as a reference for the envelope picture.
    void setEnvelopeDrawing(bool on);
    bool isEnvelopeDrawing() const { return envelope_; }

    // Largest image side accepted for export and copy.
    static constexpr int maximumImageSide = 10000;

signals:
    void cursorMoved(double x, double y);
    void customMenuClicked(int index);
    void displaySettingsChanged();
    // The popup menu is complete; owners may append their own entries.
    void popupMenuCreated(QMenu* menu);

private:
    struct Series
    {
        QCPGraph* graph = nullptr;
        std::string label;
        std::uint32_t colour = 0xC8000000u;
        bool visible = true;
        bool inLegend = true;
        bool dashed = false;
        // Running extent of the data so automatic scaling never rescans a long record.
        bool any = false;
        double xMin = 0, xMax = 0, yMin = 0, yMax = 0;
        double yMinPositive = 0, xMinPositive = 0;
        bool anyYPositive = false, anyXPositive = false;
        void resetExtent() { any = anyYPositive = anyXPositive = false; }
    };

    bool validSeries(int series) const { return series >= 0 && series < static_cast<int>(series_.size()); }
    void applySetting(int slot);
    void applySeriesStyle(Series& s);
    void applyLegendEntries();
    void showIfHidden();
    void addPoints(Series& s, const double* x, const double* y, std::size_t count, bool replace);
    // The extent of the visible series along one axis; none when nothing is drawn there.
    std::optional<Range> extent(bool logarithmic, bool Series::*anyPositive, double Series::*minimum,
                                double Series::*minPositive, double Series::*maximum) const;
    Range automaticXRange() const;
    Range automaticYRange() const;
    void onMouseMove(QMouseEvent* event);
    void onContextMenu(const QPoint& pos);
    void userChangedSetting(int slot, int value);
    QString titleText(const QCPTextElement* element) const;

    QCustomPlot* plot_ = nullptr;
    QCPTextElement* title_ = nullptr;
    QCPTextElement* subtitle_ = nullptr;
    Listener* listener_ = nullptr;
    std::vector<Series> series_;
    std::array<int, displaySettingCount> settings_ = defaultSettings;
    std::vector<std::string> customEntries_;
    QString suggested_;
    std::vector<bool> customChecked_;
    std::vector<bool> customEnabled_;
    std::vector<bool> customCheckable_;
    bool xManual_ = false;
    bool yManual_ = false;
    Range manualX_{0, 1};
    Range manualY_{0, 1};
    bool zoomed_ = false;
    bool hidden_ = false;
    bool envelope_ = true;
    QLabel* hiddenLabel_ = nullptr;
    QCPGraph* marks_ = nullptr;
    QCPLayer* topLayer();
};
