#pragma once

#include "app/settings/ScanConfiguration.h"
#include "app/base/gui/CSettingsPage.h"

#include <array>
#include <cstdint>
#include <map>
#include <string>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QEvent;
class QLineEdit;
class QPushButton;
class QSpinBox;

// "Scan Configuration": inputs, acquisition, scan mode, digital filtering
// and the template buttons.
class CConfigureDlg : public CSettingsPage
{
    Q_OBJECT

public:
    explicit CConfigureDlg(QWidget* parent = nullptr);

    // Fills the controls from a working copy and the two coupling choices.
    void load(const CScanConfiguration& configuration, int coupling1, int coupling2,
              const std::array<std::int32_t, 2>& reserved = {0, 0});
    bool validate() override;
    // OK: the interval parsed once more, the record read from the controls,
    // and the coupling of a non-magnetometer input forced to DC.
    CScanConfiguration finish();
    // The record as the controls hold it now, without OK's last steps.
    CScanConfiguration current() const;
    int coupling(int input) const;
    std::string intervalText() const;
    double interval() const { return interval_; }
    std::array<std::int32_t, 2> reserved() const { return reserved_; }
    bool inputUsed(int input) const;
    std::string sensorType(int input) const;

    // Controls, per input where two.
    std::array<QCheckBox*, 2> useInput{};
    std::array<QComboBox*, 2> sensorTypeList{};
    std::array<QComboBox*, 2> couplingList{};
    std::array<QComboBox*, 2> displayTypeList{};
    std::array<QComboBox*, 2> displayModeList{};
    std::array<QCheckBox*, 2> autoScale{};
    std::array<QLineEdit*, 2> yMinimum{};
    std::array<QLineEdit*, 2> yMaximum{};
    QCheckBox* differential = nullptr;
    QCheckBox* showComponents = nullptr;
    QCheckBox* showTotal = nullptr;
    QComboBox* intervalList = nullptr;
    QCheckBox* useSampleFrequency = nullptr;
    QLineEdit* maximumFrequency = nullptr;
    QSpinBox* samples = nullptr;
    QSpinBox* averages = nullptr;
    QSpinBox* runs = nullptr;
    QCheckBox* oversample = nullptr;
    QButtonGroup* scanMode = nullptr;
    QButtonGroup* filter = nullptr;
    QSpinBox* rollingPoints = nullptr;
    QLineEdit* cutOff = nullptr;
    QPushButton* saveTemplate = nullptr;
    QPushButton* loadTemplate = nullptr;

signals:
    // Use-input flags or sensor types changed (so the limits page follows).
    void inputsChanged();
    void saveTemplateRequested();
    void loadTemplateRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void updateEnabling();
    void useInputToggled(int input);
    void intervalEdited();
    void frequencyEdited();
    void updateCutOff();
    // The interval the text means: the loaded value itself while the text is
    // the one load() showed (its six digits need not give that value back).
    double parsedInterval() const;

    CScanConfiguration working_;
    std::array<std::int32_t, 2> reserved_{};
    double interval_ = 0.001;
    std::string loadedIntervalText_;
    bool loading_ = false;
    // Out-of-range counts typed into a spin box: it would quietly put its
    // previous value back, so the text is kept and refused on OK instead.
    std::map<QSpinBox*, QString> rejected_;
};
