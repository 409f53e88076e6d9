#include "app/graphs/gui/CImageSizeDlg.h"

#include "common/platform/Hooks.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {

bool readSide(QLineEdit* edit, int* value)
{
    bool ok = false;
    const int v = edit->text().trimmed().toInt(&ok);
    if (!ok || v < CImageSizeDlg::minimumSide || v > CImageSizeDlg::maximumSide) return false;
    *value = v;
    return true;
}

} // namespace

CImageSizeDlg::CImageSizeDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Image Size"));
    heightEdit_ = new QLineEdit(QString::number(height_), this);
    widthEdit_ = new QLineEdit(QString::number(width_), this);
    for (QLineEdit* e : {heightEdit_, widthEdit_}) {
        e->setMaxLength(6);
        e->setAlignment(Qt::AlignRight);
    }
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Height"), heightEdit_);
    form->addRow(QStringLiteral("Width"), widthEdit_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CImageSizeDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

bool CImageSizeDlg::validate()
{
    int height = 0, width = 0;
    for (auto [edit, target] : {std::pair{heightEdit_, &height}, std::pair{widthEdit_, &width}}) {
        if (!readSide(edit, target)) {
            FenmarlCommonDLL::platform::showMessageBox("Please enter an integer between 0 and 10000.",
                                                       "Tesselon-6",
                                                       FenmarlCommonDLL::platform::MB_ICONEXCLAMATION_);
            edit->setFocus();
            edit->selectAll();
            return false;
        }
    }
    height_ = height;
    width_ = width;
    return true;
}

void CImageSizeDlg::accept()
{
    if (validate()) QDialog::accept();
}
