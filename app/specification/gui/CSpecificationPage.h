#pragma once

#include "app/base/gui/CSettingsPage.h"
#include "app/specification/SpecificationSettings.h"
#include "app/specification/SpecificationRules.h"

#include <array>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

// "Specification": per input the time and frequency tests with their
// excursion and limit curve, and the display and alert flags.
class CSpecificationPage : public CSettingsPage
{
    Q_OBJECT

public:
    explicit CSpecificationPage(QWidget* parent = nullptr);

    void load(const SpecificationSettings& specification);
    // The Scan Configuration page's use-input flags and sensor types.
    void setInputs(bool used1, bool used2, const std::string& sensor1, const std::string& sensor2);
    // The units the time graphs show ("ug", "nT", …): said beside an excursion
    // field when they differ from the unit the field is entered in.
    void setGraphUnits(const std::string& unit1, const std::string& unit2);
    bool validate() override;
    // Apply flags, excursions, curves (read back from the list texts),
    // display and alert; the rest of `specification` is left alone.
    void store(SpecificationSettings& specification) const;

    std::vector<SpecificationRules::CurveRow> rows(int input) const;
    // Add: the entry fields' values appended as a row ("%.5lg").
    bool addRow(int input);
    void removeSelectedRow(int input);
    void clearRows(int input);

    std::array<QCheckBox*, 2> applyTime{};
    std::array<QLineEdit*, 2> excursion{};
    std::array<QLabel*, 2> excursionUnit{};
    // Right of the field: its unit, and the graph's when that differs ("g (graph: ug)").
    std::array<QLabel*, 2> excursionFieldUnit{};
    std::array<QCheckBox*, 2> applyFrequency{};
    std::array<QTreeWidget*, 2> curveList{};
    std::array<QLineEdit*, 2> frequencyEntry{};
    std::array<QLineEdit*, 2> intensityEntry{};
    std::array<QLabel*, 2> intensityUnit{};
    std::array<QPushButton*, 2> addButton{};
    std::array<QPushButton*, 2> removeButton{};
    std::array<QPushButton*, 2> clearButton{};
    QCheckBox* displayCurves = nullptr;
    QCheckBox* audioAlert = nullptr;

private:
    void updateEnabling();
    bool checkNumber(QLineEdit* field);

    void updateUnitLabels();

    std::array<bool, 2> used_{true, false};
    // What load() showed and the values behind it: an excursion or a curve the
    // user left alone keeps its stored values exactly, not their five digits.
    SpecificationSettings loaded_;
    std::array<std::string, 2> loadedExcursion_;
    std::array<std::vector<SpecificationRules::CurveRow>, 2> loadedRows_;
    std::array<std::string, 2> sensors_;
    std::array<std::string, 2> graphUnits_;
};
