#pragma once

#include "app/graphs/GraphTables.h"

#include <QImage>
#include <QWidget>

#include <array>
#include <filesystem>
#include <string>

class CCorvelDoc;
class QcpChartControl;

// The four graphs of a scan window drawn from a loaded document, without a
// window on screen: time record and spectrum of input group 1 on top, of input
// group 2 below, panes hidden as the document's configuration asks. Unattended
// runs leave one as a PNG beside their scan file.
class ScanPicture : public QWidget
{
    Q_OBJECT

public:
    static constexpr int defaultWidth = 1280;
    static constexpr int defaultHeight = 800;

    explicit ScanPicture(CCorvelDoc& document, int width = defaultWidth, int height = defaultHeight,
                         QWidget* parent = nullptr);
    ~ScanPicture() override;

    QcpChartControl& chart(int kind) const { return *charts_[static_cast<std::size_t>(kind)]; }
    bool isPaneShown(int kind) const { return shown_[static_cast<std::size_t>(kind)]; }

    // The grid as it would appear on screen, at the requested size.
    QImage image();
    // False (with the reason) when the file cannot be written.
    bool savePng(const std::filesystem::path& path, std::string* error = nullptr);

    // Loads a scan data file and saves its picture.
    static bool saveScanFile(const std::filesystem::path& scanFile, const std::filesystem::path& png,
                             std::string* error = nullptr);
    // The most recently written ".ts6" file in `folder` not older than `since`;
    // empty when there is none.
    static std::filesystem::path newestScanFile(const std::filesystem::path& folder,
                                                std::filesystem::file_time_type since);

private:
    // Series, scale and titles of one pane.
    void fillPane(CCorvelDoc& document, int kind);

    std::array<QcpChartControl*, GraphTables::paneCount> charts_{};
    std::array<bool, GraphTables::paneCount> shown_{};
    std::array<QWidget*, 2> rows_{};
};
