#include "app/settings/gui/CDefaultsFFT.h"

#include "app/settings/ConfigureRules.h"
#include "app/settings/gui/ChoiceList.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace R = ConfigureRules;

CDefaultsFFT::CDefaultsFFT(QWidget* parent) : CSettingsPage(tr("FFT"), parent)
{
    auto* grid = new QGridLayout(this);
    auto* windowBox = new QGroupBox(tr("Window"), this);
    auto* windowLayout = new QVBoxLayout(windowBox);
    windowButtons = new QButtonGroup(this);
    const char* names[] = {"None", "Bartlett", "Blackman", "Flat Top", "Hamming", "Hann", "Welch"};
    for (int b = 0; b < 7; ++b) {
        auto* radio = new QRadioButton(tr(names[b]), windowBox);
        windowButtons->addButton(radio, b);
        windowLayout->addWidget(radio);
        if (R::windowButtonHidden(b)) {
            radio->setEnabled(false);
            radio->setVisible(false);
        }
    }
    windowLayout->addStretch();
    grid->addWidget(windowBox, 0, 0, 2, 1, Qt::AlignTop);

    auto* transform = new QGroupBox(tr("Transform"), this);
    auto* form = new QFormLayout(transform);
    overlap = new QCheckBox(tr("Overlap"), transform);
    form->addRow(overlap);
    discreteFrequencies = new QSpinBox(transform);
    discreteFrequencies->setRange(R::kMinDiscreteFrequencies, R::kMaxDiscreteFrequencies);
    form->addRow(tr("Number of Discrete Frequencies"), discreteFrequencies);
    grid->addWidget(transform, 0, 1, Qt::AlignTop);

    auto* unitsBox = new QGroupBox(tr("Amplitude and Power Spectrum Units"), this);
    auto* unitsForm = new QFormLayout(unitsBox);
    for (int i = 0; i < 2; ++i) {
        spectrumUnits[i] = choiceList(R::spectrumUnits(), unitsBox);
        unitsForm->addRow(tr("Input %1").arg(i + 1), spectrumUnits[i]);
    }
    grid->addWidget(unitsBox, 1, 1, Qt::AlignTop);
    grid->setRowStretch(2, 1);
    load(DefaultSettings());
}

void CDefaultsFFT::load(const DefaultSettings& s)
{
    windowButtons->button(R::buttonForWindowCode(s.FFTWindowing))->setChecked(true);
    overlap->setChecked(s.FFTOverlap != 0);
    discreteFrequencies->setValue(s.FFTK);
    const int units[2] = {s.Input1Scaling, s.Input2Scaling};
    for (int i = 0; i < 2; ++i)
        spectrumUnits[i]->setCurrentIndex(units[i] >= 0 && units[i] < 4 ? units[i] : 0);
}

bool CDefaultsFFT::validate()
{
    const int k = discreteFrequencies->value();
    if (k < R::kMinDiscreteFrequencies || k > R::kMaxDiscreteFrequencies)
        return refuse(discreteFrequencies,
                      R::integerRangeMessage(R::kMinDiscreteFrequencies, R::kMaxDiscreteFrequencies));
    return true;
}

void CDefaultsFFT::store(DefaultSettings& s) const
{
    s.FFTWindowing = R::windowCodeForButton(windowButtons->checkedId());
    s.FFTOverlap = overlap->isChecked() ? 1 : 0;
    s.FFTK = discreteFrequencies->value();
    s.Input1Scaling = spectrumUnits[0]->currentIndex();
    s.Input2Scaling = spectrumUnits[1]->currentIndex();
}
