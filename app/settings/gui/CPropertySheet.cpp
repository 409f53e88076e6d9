#include "app/settings/gui/CPropertySheet.h"

#include "app/base/gui/CSettingsPage.h"

#include <QDialogButtonBox>
#include <QTabWidget>
#include <QVBoxLayout>

CPropertySheet::CPropertySheet(const QString& caption, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(caption);
    auto* layout = new QVBoxLayout(this);
    tabs_ = new QTabWidget(this);
    layout->addWidget(tabs_);
    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons_);
    connect(buttons_, &QDialogButtonBox::accepted, this, &CPropertySheet::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &CPropertySheet::reject);
    connect(tabs_, &QTabWidget::currentChanged, this, &CPropertySheet::pageChanging);
}

void CPropertySheet::addPage(CSettingsPage* page)
{
    pages_.push_back(page);
    tabs_->addTab(page, page->title());
}

CSettingsPage* CPropertySheet::currentPage() const
{
    return qobject_cast<CSettingsPage*>(tabs_->currentWidget());
}

void CPropertySheet::pageChanging(int index)
{
    if (reverting_) return;
    const int previous = shown_;
    if (previous != index && previous >= 0 && previous < static_cast<int>(pages_.size())) {
        reverting_ = true;
        tabs_->setCurrentIndex(previous);
        const bool ok = pages_[static_cast<std::size_t>(previous)]->validate();
        if (ok) tabs_->setCurrentIndex(index);
        reverting_ = false;
        if (!ok) return;
    }
    shown_ = index;
}

bool CPropertySheet::validateAll()
{
    if (CSettingsPage* page = currentPage(); page && !page->validate()) return false;
    for (CSettingsPage* page : pages_)
        if (page != currentPage() && !page->validate()) {
            // The refusal brought that page to the front: it is the one shown now.
            shown_ = tabs_->currentIndex();
            return false;
        }
    return true;
}

void CPropertySheet::accept()
{
    if (!validateAll()) return;
    takeValues();
    QDialog::accept();
}
