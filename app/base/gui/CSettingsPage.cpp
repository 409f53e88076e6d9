#include "app/base/gui/CSettingsPage.h"

#include "app/base/EntryRules.h"
#include "common/platform/Hooks.h"

#include <QLineEdit>
#include <QTabWidget>

CSettingsPage::CSettingsPage(const QString& title, QWidget* parent) : QWidget(parent), title_(title) {}

bool CSettingsPage::refuse(QWidget* field, const std::string& message)
{
    return refuse(field, message, EntryRules::kCaption, FenmarlCommonDLL::platform::MB_OK_);
}

bool CSettingsPage::refuse(QWidget* field, const std::string& message, const std::string& caption,
                           unsigned flags)
{
    FenmarlCommonDLL::platform::showMessageBox(message, caption, flags);
    if (field) {
        // The page must be the visible one for the focus to land on the field.
        for (QWidget* w = parentWidget(); w; w = w->parentWidget())
            if (auto* tabs = qobject_cast<QTabWidget*>(w)) {
                tabs->setCurrentWidget(this);
                break;
            }
        field->setFocus(Qt::OtherFocusReason);
        if (auto* edit = qobject_cast<QLineEdit*>(field)) edit->selectAll();
    }
    return false;
}
