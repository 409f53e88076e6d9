#pragma once

#include "app/base/gui/CSettingsPage.h"

#include <array>

class QLineEdit;

// "Instrument Setup": the two sensor gains.
class CInstrumentSetupDlg : public CSettingsPage
{
    Q_OBJECT

public:
    explicit CInstrumentSetupDlg(QWidget* parent = nullptr);
    void load(int gain1, int gain2);
    bool validate() override;
    // The gain as typed (valid after validate()).
    int gain(int input) const;

    std::array<QLineEdit*, 2> gainEdit{};
};
