#pragma once

#include "app/graphs/ChartControl.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QSpinBox;

// The chart's own export dialog: format, image size and destination file.
class ChartExportDialog : public QDialog
{
    Q_OBJECT

public:
    ChartExportDialog(int width, int height, QWidget* parent = nullptr);

    ChartControl::ImageFormat format() const;
    void setFormat(ChartControl::ImageFormat format);
    int imageWidth() const;
    int imageHeight() const;
    QString filePath() const;
    void setFilePath(const QString& path);

    // The file name with the extension of the chosen format.
    static QString withExtension(const QString& path, ChartControl::ImageFormat format);

private:
    void browse();
    void formatChanged();

    QComboBox* format_ = nullptr;
    QSpinBox* width_ = nullptr;
    QSpinBox* height_ = nullptr;
    QLineEdit* path_ = nullptr;
};
