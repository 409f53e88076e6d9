#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What the application needs from a charting component, without naming one.
// A graph pane owns one implementation; the core drives it through this
// interface so the same code runs with the Qt widget or with a test double.
//
// Colours are COLORREF values with the alpha in the top byte: 0xAABBGGRR.
class ChartControl
{
public:
    // The nine user-adjustable display options kept between sessions, in the
    // order of their slots in the graph settings file.
    enum DisplaySetting : int {
        GridLines = 0,      // 0 both, 1 horizontal only, 2 vertical only, 3 none
        SubGrid = 1,        // 0 off, 1 on
        LegendPosition = 2, // 0 hidden, 1 top left, 2 top right, 3 bottom left, 4 bottom right
        Antialiasing = 3,   // 0 off, 1 on
        PointMarkers = 4,   // 0 none, 1 dot, 2 circle, 3 cross, 4 square
        LineWidth = 5,      // 1 to 5 pixels
        Background = 6,     // 0 white, 1 light grey, 2 dark
        LogYAxis = 7,       // 0 linear, 1 logarithmic
        LogXAxis = 8,       // 0 linear, 1 logarithmic
    };
    static constexpr int displaySettingCount = 9;

    struct SettingRange
    {
        int minimum;
        int maximum;
    };
    // Values outside these ranges are clamped on the way in, so settings read
    // from a damaged file can never put the chart in an undefined state.
    static constexpr std::array<SettingRange, displaySettingCount> settingRanges{
        {{0, 3}, {0, 1}, {0, 4}, {0, 1}, {0, 4}, {1, 5}, {0, 2}, {0, 1}, {0, 1}}};
    // Restored by "Reset Graph Settings"; antialiasing is left as the user set it.
    static constexpr std::array<int, displaySettingCount> defaultSettings{0, 0, 2, 1, 0, 1, 0, 0, 0};
    static constexpr std::array<bool, displaySettingCount> resetBySettingsReset{true, true, true, false, true,
                                                                                true, true, true, true};

    static int clampSetting(int slot, int value)
    {
        const SettingRange r = settingRanges[static_cast<std::size_t>(slot)];
        return value < r.minimum ? r.minimum : (value > r.maximum ? r.maximum : value);
    }

    enum class ImageFormat { Png, Jpeg, Bmp, Pdf };

    struct Range
    {
        double lower = 0.0;
        double upper = 0.0;
        bool operator==(const Range&) const = default;
    };

    // Notifications from the component to its owner (all on the UI thread).
    class Listener
    {
    public:
        virtual ~Listener() = default;
        // A custom popup-menu entry was clicked; index into setCustomMenu's list.
        virtual void customMenuClicked(int /*index*/) {}
        // The user changed a display option: the owner saves the graph's settings.
        virtual void displaySettingsChanged() {}
        // The mouse is over the plot area at these axis coordinates.
        virtual void cursorMoved(double /*x*/, double /*y*/) {}
    };

    virtual ~ChartControl() = default;

    virtual void setListener(Listener* listener) = 0;

    // Series: a fixed count of (x, y) point lists with a label and a colour each.
    virtual void setSeriesCount(int count) = 0;
    virtual int seriesCount() const = 0;
    virtual void setSeriesLabel(int series, const std::string& label) = 0;
    virtual std::string seriesLabel(int series) const = 0;
    virtual void setSeriesColour(int series, std::uint32_t colourRef) = 0;
    virtual std::uint32_t seriesColour(int series) const = 0;
    // Replaces the whole point list of one series.
    virtual void setSeriesData(int series, const double* x, const double* y, std::size_t count) = 0;
    // Adds points after the last one; cost proportional to count.
    virtual void appendSeriesData(int series, const double* x, const double* y, std::size_t count) = 0;
    virtual std::size_t seriesPointCount(int series) const = 0;
    virtual void clearSeriesData() = 0;

    virtual void setSeriesVisible(int series, bool visible) = 0;
    virtual bool isSeriesVisible(int series) const = 0;

    // Titles.
    virtual void setTitle(const std::string& text) = 0;
    virtual std::string title() const = 0;
    virtual void setSubtitle(const std::string& text) = 0;
    virtual std::string subtitle() const = 0;
    virtual void setXAxisTitle(const std::string& text) = 0;
    virtual std::string xAxisTitle() const = 0;
    virtual void setYAxisTitle(const std::string& text) = 0;
    virtual std::string yAxisTitle() const = 0;

    // Scaling: a manual range is kept until automatic scaling is asked for again.
    virtual void setManualXRange(Range range) = 0;
    virtual void setAutomaticXRange() = 0;
    virtual void setManualYRange(Range range) = 0;
    virtual void setAutomaticYRange() = 0;
    virtual bool isXRangeManual() const = 0;
    virtual bool isYRangeManual() const = 0;
    virtual Range xRange() const = 0;
    virtual Range yRange() const = 0;

    // Zoom: the user drags a rectangle; zoomTo does the same programmatically.
    virtual void zoomTo(Range x, Range y) = 0;
    virtual bool isZoomed() const = 0;
    virtual void undoZoom() = 0;

    // Display options as integers (see DisplaySetting).
    virtual int displaySetting(int slot) const = 0;
    virtual void setDisplaySetting(int slot, int value) = 0;
    virtual void resetDisplaySettings() = 0;

    // Application entries at the top of the component's popup menu; "|" is a separator.
    virtual void setCustomMenu(const std::vector<std::string>& entries) = 0;
    virtual void setCustomMenuChecked(int index, bool checked) = 0;
    // A greyed entry stays in the menu but cannot be chosen.
    virtual void setCustomMenuEnabled(int index, bool enabled) = 0;
    virtual bool isCustomMenuEnabled(int index) const = 0;
    virtual bool isCustomMenuChecked(int index) const = 0;

    // Shows or hides the component's window (a spectrum stays hidden until it has data).
    virtual void setHidden(bool hidden) = 0;
    virtual bool isHidden() const = 0;

    // Re-applies the ranges and draws.
    virtual void redraw() = 0;

    // Output. A size of 0 means the size on screen.
    // The folder and name (no extension) the print and export dialogs start with.
    virtual void setSuggestedFileName(const std::string& pathWithoutExtension) = 0;
    virtual bool print() = 0;
    virtual bool exportWithDialog() = 0;
    virtual bool exportImage(const std::string& path, ImageFormat format, int width, int height) = 0;
    virtual bool copyImage(int height, int width) = 0;
};
