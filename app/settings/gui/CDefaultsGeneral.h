#pragma once

#include "app/settings/DefaultSettings.h"
#include "app/base/gui/CSettingsPage.h"

#include <functional>
#include <string>

class QCheckBox;
class QLineEdit;
class QPushButton;

// "General": data folder, Scan on Exit, Export ASCII.
class CDefaultsGeneral : public CSettingsPage
{
    Q_OBJECT

public:
    explicit CDefaultsGeneral(QWidget* parent = nullptr);
    void load(const DefaultSettings& settings);
    bool validate() override { return true; }
    void store(DefaultSettings& settings) const;

    // The "..." button's folder browser: the chosen folder, empty when
    // cancelled. Replaceable for tests.
    using FolderChooser = std::function<std::string(const std::string& initial)>;
    void setFolderChooser(FolderChooser chooser) { chooser_ = std::move(chooser); }
    void browse();

    QLineEdit* folder = nullptr;
    QPushButton* browseButton = nullptr;
    QCheckBox* scanOnExit = nullptr;
    QCheckBox* exportAscii = nullptr;

private:
    FolderChooser chooser_;
};
