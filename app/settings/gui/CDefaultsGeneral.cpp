#include "app/settings/gui/CDefaultsGeneral.h"

#include "app/settings/ConfigureRules.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CDefaultsGeneral::CDefaultsGeneral(QWidget* parent) : CSettingsPage(tr("General"), parent)
{
    auto* layout = new QVBoxLayout(this);
    auto* box = new QGroupBox(tr("Data Folder"), this);
    auto* row = new QHBoxLayout(box);
    folder = new QLineEdit(box);
    browseButton = new QPushButton(tr("..."), box);
    browseButton->setFixedWidth(32);
    row->addWidget(folder);
    row->addWidget(browseButton);
    layout->addWidget(box);
    scanOnExit = new QCheckBox(tr("Scan on Exit"), this);
    exportAscii = new QCheckBox(tr("Export ASCII"), this);
    layout->addWidget(scanOnExit);
    layout->addWidget(exportAscii);
    layout->addStretch();

    chooser_ = [this](const std::string& initial) {
        return QFileDialog::getExistingDirectory(this, tr("Data Folder"), QString::fromStdString(initial))
            .toStdString();
    };
    connect(browseButton, &QPushButton::clicked, this, &CDefaultsGeneral::browse);
}

void CDefaultsGeneral::browse()
{
    const std::string chosen = chooser_ ? chooser_(folder->text().toStdString()) : std::string();
    if (!chosen.empty()) folder->setText(QString::fromStdString(ConfigureRules::folderWithSeparator(chosen)));
}

void CDefaultsGeneral::load(const DefaultSettings& s)
{
    folder->setText(QString::fromStdString(s.FilePath));
    scanOnExit->setChecked(s.ScanOnExit != 0);
    exportAscii->setChecked(s.ExportMultiASCII != 0);
}

void CDefaultsGeneral::store(DefaultSettings& s) const
{
    s.FilePath = ConfigureRules::folderWithSeparator(folder->text().toStdString());
    s.ScanOnExit = scanOnExit->isChecked() ? 1 : 0;
    s.ExportMultiASCII = exportAscii->isChecked() ? 1 : 0;
}
