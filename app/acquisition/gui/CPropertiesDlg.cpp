#include "app/acquisition/gui/CPropertiesDlg.h"

#include "app/acquisition/ScanDataLock.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QVBoxLayout>

CPropertiesDlg::CPropertiesDlg(const ScanProperties& scan, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tr("Properties"));
    {
        FenmarlCommonDLL::ThreadLocker lock(&ScanDataLock(), true);
        copy_.copyFrom(scan);
    }
    auto* layout = new QVBoxLayout(this);
    list = new QListWidget(this);
    for (const auto& line : ScanPropertiesLines(copy_))
        list->addItem(QString::fromStdString(line));
    list->setMinimumSize(260, 280);
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
}

QStringList CPropertiesDlg::lines() const
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}
