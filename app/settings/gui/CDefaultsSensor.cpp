#include "app/settings/gui/CDefaultsSensor.h"

#include "app/settings/ConfigureRules.h"
#include "app/settings/gui/ChoiceList.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>

namespace R = ConfigureRules;

namespace {

void setIndex(QComboBox* list, int index)
{
    list->setCurrentIndex(index >= 0 && index < list->count() ? index : 0);
}

QString number(double v)
{
    return QString::number(v, 'g', 10);
}

double value(const QLineEdit* e)
{
    return R::readNumber(e->text().toStdString()).value_or(0.0);
}

} // namespace

CDefaultsSensor::CDefaultsSensor(QWidget* parent) : CSettingsPage(tr("Sensor"), parent)
{
    auto* grid = new QGridLayout(this);
    auto* units = new QGroupBox(tr("Units"), this);
    auto* unitForm = new QFormLayout(units);
    magneticUnits = choiceList(R::magneticUnits(), units);
    vibrationUnits = choiceList(R::vibrationUnits(), units);
    microphoneUnits = choiceList(R::microphoneUnits(), units);
    unitForm->addRow(tr("Magnetic"), magneticUnits);
    unitForm->addRow(tr("Vibration"), vibrationUnits);
    unitForm->addRow(tr("Microphone"), microphoneUnits);
    grid->addWidget(units, 0, 0, 1, 2);
    for (int i = 0; i < 2; ++i) {
        auto* box = new QGroupBox(tr("Input %1 Scaling").arg(i + 1), this);
        auto* form = new QFormLayout(box);
        magneticChoice[i] = choiceList(R::standardScalings(), box);
        form->addRow(tr("Magnetic / uT/10V"), magneticChoice[i]);
        customMagnetic[i] = new QLineEdit(box);
        form->addRow(tr("Custom Magnetic / uT/10V"), customMagnetic[i]);
        customVibration[i] = new QLineEdit(box);
        form->addRow(tr("Vibration / V/g"), customVibration[i]);
        microphoneSensitivity[i] = new QLineEdit(box);
        form->addRow(tr("Microphone / mV/Pa"), microphoneSensitivity[i]);
        grid->addWidget(box, 1, i);
        connect(magneticChoice[i], &QComboBox::currentIndexChanged, this, [this] { updateEnabling(); });
    }
    grid->setRowStretch(2, 1);
    load(DefaultSettings());
}

void CDefaultsSensor::load(const DefaultSettings& s)
{
    setIndex(magneticUnits, s.MagneticUnits);
    setIndex(vibrationUnits, s.VibrationUnits);
    setIndex(microphoneUnits, s.MicrophoneUnits);
    const double magnetic[2] = {s.Input1MagneticScaling, s.Input2MagneticScaling};
    const double customMag[2] = {s.Input1CustomMagneticScaling, s.Input2CustomMagneticScaling};
    const double vibration[2] = {s.Input1VibrationScaling, s.Input2VibrationScaling};
    const double customVib[2] = {s.Input1CustomVibrationScaling, s.Input2CustomVibrationScaling};
    const double microphone[2] = {s.Input1MicrophoneScaling, s.Input2MicrophoneScaling};
    for (int i = 0; i < 2; ++i) {
        // The stored scaling decides what the page shows; the custom value is
        // shown as kept when a standard choice matches.
        const double sensitivity = R::magneticSensitivityFrom(magnetic[i], s.MagneticUnits);
        const int choice = R::standardScalingChoice(sensitivity);
        magneticChoice[i]->setCurrentIndex(choice);
        customMagnetic[i]->setText(number(choice == 4 ? sensitivity : customMag[i]));
        customVibration[i]->setText(
            number(R::vibrationSensitivityFrom(vibration[i], s.VibrationUnits, customVib[i])));
        microphoneSensitivity[i]->setText(number(microphone[i] * 1000.0));
    }
    updateEnabling();
    loaded_ = s;
    shown_.magneticUnits = magneticUnits->currentIndex();
    shown_.vibrationUnits = vibrationUnits->currentIndex();
    for (int i = 0; i < 2; ++i) {
        shown_.magneticChoice[i] = magneticChoice[i]->currentIndex();
        shown_.customMagnetic[i] = customMagnetic[i]->text();
        shown_.customVibration[i] = customVibration[i]->text();
        shown_.microphoneSensitivity[i] = microphoneSensitivity[i]->text();
    }
}

void CDefaultsSensor::updateEnabling()
{
    for (int i = 0; i < 2; ++i)
        customMagnetic[i]->setEnabled(magneticChoice[i]->currentIndex() == 4);
}

bool CDefaultsSensor::validate()
{
    for (int i = 0; i < 2; ++i)
        for (QLineEdit* e : {customMagnetic[i], customVibration[i], microphoneSensitivity[i]})
            if (!R::readNumber(e->text().toStdString())) return refuse(e, R::kEnterNumber);
    if (const auto refusal = R::validateCustomVibration(value(customVibration[0]), value(customVibration[1])))
        return refuse(refusal->field == R::Refusal::CustomVibration1 ? customVibration[0]
                                                                     : customVibration[1],
                      refusal->message);
    if (const auto refusal = R::validateMicrophoneSensitivity(value(microphoneSensitivity[0]),
                                                              value(microphoneSensitivity[1])))
        return refuse(refusal->field == R::Refusal::Microphone1 ? microphoneSensitivity[0]
                                                                : microphoneSensitivity[1],
                      refusal->message);
    return true;
}

void CDefaultsSensor::store(DefaultSettings& s) const
{
    s.MagneticUnits = magneticUnits->currentIndex();
    s.VibrationUnits = vibrationUnits->currentIndex();
    s.MicrophoneUnits = microphoneUnits->currentIndex();
    double* magnetic[2] = {&s.Input1MagneticScaling, &s.Input2MagneticScaling};
    double* customMag[2] = {&s.Input1CustomMagneticScaling, &s.Input2CustomMagneticScaling};
    double* vibration[2] = {&s.Input1VibrationScaling, &s.Input2VibrationScaling};
    double* customVib[2] = {&s.Input1CustomVibrationScaling, &s.Input2CustomVibrationScaling};
    double* microphone[2] = {&s.Input1MicrophoneScaling, &s.Input2MicrophoneScaling};
    const DefaultSettings& was = loaded_;
    const double wasMagnetic[2] = {was.Input1MagneticScaling, was.Input2MagneticScaling};
    const double wasCustomMag[2] = {was.Input1CustomMagneticScaling, was.Input2CustomMagneticScaling};
    const double wasVibration[2] = {was.Input1VibrationScaling, was.Input2VibrationScaling};
    const double wasCustomVib[2] = {was.Input1CustomVibrationScaling, was.Input2CustomVibrationScaling};
    const double wasMicrophone[2] = {was.Input1MicrophoneScaling, was.Input2MicrophoneScaling};
    const bool magneticUnitsKept = magneticUnits->currentIndex() == shown_.magneticUnits;
    const bool vibrationUnitsKept = vibrationUnits->currentIndex() == shown_.vibrationUnits;
    for (int i = 0; i < 2; ++i) {
        const int choice = magneticChoice[i]->currentIndex();
        const bool customMagKept = customMagnetic[i]->text() == shown_.customMagnetic[i];
        *customMag[i] = customMagKept ? wasCustomMag[i] : value(customMagnetic[i]);
        if (magneticUnitsKept && choice == shown_.magneticChoice[i] && (choice != 4 || customMagKept)) {
            *magnetic[i] = wasMagnetic[i];
        } else {
            const double sensitivity =
                choice == 4 ? value(customMagnetic[i]) : R::standardScalingValue(choice);
            *magnetic[i] = R::magneticScalingFor(sensitivity, s.MagneticUnits);
        }
        if (vibrationUnitsKept && customVibration[i]->text() == shown_.customVibration[i]) {
            *customVib[i] = wasCustomVib[i];
            *vibration[i] = wasVibration[i];
        } else {
            *customVib[i] = value(customVibration[i]);
            if (*customVib[i] != 0.0) *vibration[i] = R::vibrationScalingFor(*customVib[i], s.VibrationUnits);
        }
        *microphone[i] = microphoneSensitivity[i]->text() == shown_.microphoneSensitivity[i]
                             ? wasMicrophone[i]
                             : value(microphoneSensitivity[i]) / 1000.0;
    }
}
