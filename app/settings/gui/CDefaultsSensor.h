#pragma once

#include "app/settings/DefaultSettings.h"
#include "app/base/gui/CSettingsPage.h"

#include <QString>

#include <array>

class QComboBox;
class QLineEdit;

// "Sensor": units and, per input, the magnetic (uT/10V), vibration (V/g)
// and microphone (mV/Pa) sensitivities the stored scalings derive from.
class CDefaultsSensor : public CSettingsPage
{
    Q_OBJECT

public:
    explicit CDefaultsSensor(QWidget* parent = nullptr);
    void load(const DefaultSettings& settings);
    bool validate() override;
    // The scalings in their stored forms (valid after validate()).
    void store(DefaultSettings& settings) const;

    QComboBox* magneticUnits = nullptr;
    QComboBox* vibrationUnits = nullptr;
    QComboBox* microphoneUnits = nullptr;
    std::array<QComboBox*, 2> magneticChoice{};        // "100" … "1000", "Custom"
    std::array<QLineEdit*, 2> customMagnetic{};        // uT/10V, used with "Custom"
    std::array<QLineEdit*, 2> customVibration{};       // V/g
    std::array<QLineEdit*, 2> microphoneSensitivity{}; // mV/Pa

private:
    void updateEnabling();

    // What load() showed and the values it came from: a field the user left
    // alone keeps its stored value exactly, not one converted there and back.
    DefaultSettings loaded_;
    struct Shown
    {
        int magneticUnits = 0;
        int vibrationUnits = 0;
        std::array<int, 2> magneticChoice{};
        std::array<QString, 2> customMagnetic, customVibration, microphoneSensitivity;
    } shown_;
};
