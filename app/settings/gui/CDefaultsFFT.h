#pragma once

#include "app/settings/DefaultSettings.h"
#include "app/base/gui/CSettingsPage.h"

#include <array>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QSpinBox;

// "FFT": window, overlap, number of discrete frequencies and the spectrum
// units of each input.
class CDefaultsFFT : public CSettingsPage
{
    Q_OBJECT

public:
    explicit CDefaultsFFT(QWidget* parent = nullptr);
    void load(const DefaultSettings& settings);
    bool validate() override;
    void store(DefaultSettings& settings) const;

    // Buttons in the order None, Bartlett, Blackman, Flat Top, Hamming, Hann, Welch.
    QButtonGroup* windowButtons = nullptr;
    QCheckBox* overlap = nullptr;
    QSpinBox* discreteFrequencies = nullptr;
    std::array<QComboBox*, 2> spectrumUnits{};
};
