#include "app/acquisition/gui/CDataSetDlg.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

CDataSetDlg::CDataSetDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tr("Data Set"));
    auto* layout = new QVBoxLayout(this);
    list = new QListWidget(this);
    list->addItems({tr("Input 1"), tr("Input 2")});
    list->setCurrentRow(0);
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    QPushButton* go = buttons->addButton(tr("Continue"), QDialogButtonBox::AcceptRole);
    go->setDefault(true);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
}

int CDataSetDlg::chosenInput() const
{
    return list->currentRow() == 1 ? 1 : 0;
}

int CDataSetDlg::choose(bool useInput1, bool useInput2, QWidget* parent)
{
    if (useInput1 && useInput2) {
        CDataSetDlg dialog(parent);
        return dialog.exec() == QDialog::Accepted ? dialog.chosenInput() : -1;
    }
    if (useInput1) return 0;
    if (useInput2) return 1;
    return -1;
}
