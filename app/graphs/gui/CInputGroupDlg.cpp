#include "app/graphs/gui/CInputGroupDlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

CInputGroupDlg::CInputGroupDlg(bool useInput1, bool useInput2, QWidget* parent)
    : QDialog(parent), choices_(GraphTables::inputGroupChoices(useInput1, useInput2))
{
    setWindowTitle(tr("Select Graph"));
    list_ = new QListWidget(this);
    for (const auto& c : choices_)
        list_->addItem(QString::fromStdString(c.text));
    if (!choices_.empty()) list_->setCurrentRow(0);
    list_->setMinimumWidth(260);
    list_->setMaximumHeight(list_->sizeHintForRow(0) * 4 + 2 * list_->frameWidth() + 4);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setEnabled(!choices_.empty());
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Input group and graph:"), this));
    layout->addWidget(list_);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
}

int CInputGroupDlg::chosenPane() const
{
    const int row = list_->currentRow();
    return row >= 0 && row < static_cast<int>(choices_.size()) ? choices_[static_cast<std::size_t>(row)].pane
                                                               : -1;
}

int CInputGroupDlg::entryCount() const
{
    return static_cast<int>(choices_.size());
}
QString CInputGroupDlg::entryText(int row) const
{
    return list_->item(row) ? list_->item(row)->text() : QString();
}
void CInputGroupDlg::selectRow(int row)
{
    list_->setCurrentRow(row);
}

int CInputGroupDlg::choose(QWidget* parent, bool useInput1, bool useInput2)
{
    CInputGroupDlg dialog(useInput1, useInput2, parent);
    if (dialog.entryCount() == 0 || dialog.exec() != QDialog::Accepted) return -1;
    return dialog.chosenPane();
}
