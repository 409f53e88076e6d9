#include "app/graphs/gui/ChartExportDialog.h"

#include "app/graphs/gui/QcpChartControl.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

struct FormatInfo
{
    ChartControl::ImageFormat format;
    const char* name;
    const char* extension;
};

constexpr FormatInfo formats[] = {
    {ChartControl::ImageFormat::Png, "PNG image", "png"},
    {ChartControl::ImageFormat::Jpeg, "JPEG image", "jpg"},
    {ChartControl::ImageFormat::Bmp, "Bitmap", "bmp"},
    {ChartControl::ImageFormat::Pdf, "PDF document", "pdf"},
};

const FormatInfo& infoFor(ChartControl::ImageFormat format)
{
    for (const FormatInfo& f : formats)
        if (f.format == format) return f;
    return formats[0];
}

} // namespace

ChartExportDialog::ChartExportDialog(int width, int height, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tr("Export Graph"));
    format_ = new QComboBox(this);
    for (const FormatInfo& f : formats)
        format_->addItem(QString::fromLatin1(f.name));
    width_ = new QSpinBox(this);
    height_ = new QSpinBox(this);
    for (QSpinBox* s : {width_, height_}) {
        s->setRange(1, QcpChartControl::maximumImageSide);
        s->setSuffix(tr(" px"));
    }
    width_->setValue(width > 0 ? width : 600);
    height_->setValue(height > 0 ? height : 400);

    path_ = new QLineEdit(this);
    path_->setMinimumWidth(300);
    auto* browse = new QPushButton(tr("Browse..."), this);
    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(path_, 1);
    pathRow->addWidget(browse);

    auto* form = new QFormLayout;
    form->addRow(tr("Format:"), format_);
    form->addRow(tr("Width:"), width_);
    form->addRow(tr("Height:"), height_);
    form->addRow(tr("File:"), pathRow);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);

    setFilePath(QDir::home().filePath(QStringLiteral("graph.png")));
    connect(browse, &QPushButton::clicked, this, &ChartExportDialog::browse);
    connect(format_, &QComboBox::currentIndexChanged, this, &ChartExportDialog::formatChanged);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (!path_->text().trimmed().isEmpty()) accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

ChartControl::ImageFormat ChartExportDialog::format() const
{
    const int i = format_->currentIndex();
    return i >= 0 && i < static_cast<int>(std::size(formats)) ? formats[i].format
                                                              : ChartControl::ImageFormat::Png;
}

void ChartExportDialog::setFormat(ChartControl::ImageFormat format)
{
    for (int i = 0; i < static_cast<int>(std::size(formats)); ++i)
        if (formats[i].format == format) format_->setCurrentIndex(i);
}

int ChartExportDialog::imageWidth() const
{
    return width_->value();
}
int ChartExportDialog::imageHeight() const
{
    return height_->value();
}
QString ChartExportDialog::filePath() const
{
    return path_->text().trimmed();
}
void ChartExportDialog::setFilePath(const QString& path)
{
    path_->setText(path);
}

QString ChartExportDialog::withExtension(const QString& path, ChartControl::ImageFormat format)
{
    const QFileInfo info(path);
    const QString ext = QString::fromLatin1(infoFor(format).extension);
    if (info.suffix().compare(ext, Qt::CaseInsensitive) == 0) return path;
    const QString base = info.suffix().isEmpty() ? path : path.left(path.size() - info.suffix().size() - 1);
    return base + QLatin1Char('.') + ext;
}

void ChartExportDialog::formatChanged()
{
    if (!filePath().isEmpty()) setFilePath(withExtension(filePath(), format()));
}

void ChartExportDialog::browse()
{
    const FormatInfo& f = infoFor(format());
    const QString filter =
        QStringLiteral("%1 (*.%2)").arg(QString::fromLatin1(f.name), QString::fromLatin1(f.extension));
    const QString chosen = QFileDialog::getSaveFileName(this, tr("Export Graph"), filePath(), filter);
    if (!chosen.isEmpty()) setFilePath(withExtension(chosen, format()));
}
