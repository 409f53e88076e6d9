#pragma once

#include <QDialog>

#include <vector>

class CSettingsPage;
class QDialogButtonBox;
class QTabWidget;

// A tabbed sheet of settings pages with OK and Cancel (no Apply). Leaving a
// page or pressing OK first asks the page to check its input; a refusal
// keeps that page open.
class CPropertySheet : public QDialog
{
    Q_OBJECT

public:
    explicit CPropertySheet(const QString& caption, QWidget* parent = nullptr);

    QTabWidget* tabs() const { return tabs_; }
    const std::vector<CSettingsPage*>& pages() const { return pages_; }
    CSettingsPage* currentPage() const;
    // The current page, then every page in tab order.
    bool validateAll();
    // OK: accepted only when every page accepts its input; takeValues() runs before closing.
    void accept() override;

protected:
    void addPage(CSettingsPage* page);
    // Called once the pages accepted OK, before the sheet closes.
    virtual void takeValues() {}

private:
    void pageChanging(int index);

    QTabWidget* tabs_ = nullptr;
    QDialogButtonBox* buttons_ = nullptr;
    std::vector<CSettingsPage*> pages_;
    int shown_ = 0;
    bool reverting_ = false;
};
