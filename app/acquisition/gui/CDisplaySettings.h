#pragma once

#include "app/settings/ScanConfiguration.h"
#include "app/base/gui/CSettingsPage.h"

#include <array>

class QComboBox;

// "Display": the time-domain display mode of each input in use.
class CDisplaySettings : public CSettingsPage
{
    Q_OBJECT

public:
    explicit CDisplaySettings(QWidget* parent = nullptr);
    void load(const CScanConfiguration& configuration);
    bool validate() override { return true; }
    void store(CScanConfiguration& configuration) const;

    std::array<QComboBox*, 2> displayMode{};
};
