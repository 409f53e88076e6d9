#include "app/acquisition/gui/CPropertiesDlg.h"

#include "app/acquisition/ScanDataLock.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QVBoxLayout>

#include <algorithm>

CPropertiesDlg::CPropertiesDlg(const ScanProperties& scan, QWidget* parent, const QStringList& results)
    : QDialog(parent)
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
    int widest = 260;
    for (const QString& line : results) {
        list->addItem(line);
        widest = std::max(widest, list->fontMetrics().horizontalAdvance(line) + 40);
    }
    list->setMinimumSize(widest, 280);
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
