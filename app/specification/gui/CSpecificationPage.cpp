#include "app/specification/gui/CSpecificationPage.h"

#include "app/base/EntryRules.h"
#include "app/base/ConfigurationValues.h"
#include "common/platform/MessageBoxCodes.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace S = SpecificationRules;

CSpecificationPage::CSpecificationPage(QWidget* parent) : CSettingsPage(tr("Specification"), parent)
{
    auto* grid = new QGridLayout(this);
    for (int i = 0; i < 2; ++i) {
        auto* box = new QGroupBox(tr("Input %1").arg(i + 1), this);
        auto* layout = new QGridLayout(box);
        applyTime[i] = new QCheckBox(tr("Apply Time Domain Specification"), box);
        layout->addWidget(applyTime[i], 0, 0, 1, 3);
        excursionUnit[i] = new QLabel(box);
        excursion[i] = new QLineEdit(box);
        excursionFieldUnit[i] = new QLabel(box);
        layout->addWidget(excursionUnit[i], 1, 0);
        layout->addWidget(excursion[i], 1, 1);
        layout->addWidget(excursionFieldUnit[i], 1, 2);
        applyFrequency[i] = new QCheckBox(tr("Apply Frequency Domain Specification"), box);
        layout->addWidget(applyFrequency[i], 2, 0, 1, 3);
        curveList[i] = new QTreeWidget(box);
        curveList[i]->setColumnCount(2);
        curveList[i]->setHeaderLabels({tr("Frequency"), tr("Intensity")});
        curveList[i]->setRootIsDecorated(false);
        curveList[i]->setSelectionMode(QAbstractItemView::SingleSelection);
        curveList[i]->header()->setSectionResizeMode(QHeaderView::Stretch);
        curveList[i]->setMinimumHeight(120);
        layout->addWidget(curveList[i], 3, 0, 1, 3);
        frequencyEntry[i] = new QLineEdit(box);
        intensityEntry[i] = new QLineEdit(box);
        intensityUnit[i] = new QLabel(box);
        layout->addWidget(new QLabel(tr("Frequency / Hz"), box), 4, 0);
        layout->addWidget(frequencyEntry[i], 4, 1, 1, 2);
        layout->addWidget(intensityUnit[i], 5, 0);
        layout->addWidget(intensityEntry[i], 5, 1, 1, 2);
        addButton[i] = new QPushButton(tr("Add"), box);
        removeButton[i] = new QPushButton(tr("Remove"), box);
        clearButton[i] = new QPushButton(tr("Clear"), box);
        layout->addWidget(addButton[i], 6, 0);
        layout->addWidget(removeButton[i], 6, 1);
        layout->addWidget(clearButton[i], 6, 2);
        grid->addWidget(box, 0, i);

        connect(applyTime[i], &QCheckBox::toggled, this, [this] { updateEnabling(); });
        connect(addButton[i], &QPushButton::clicked, this, [this, i] { addRow(i); });
        connect(removeButton[i], &QPushButton::clicked, this, [this, i] { removeSelectedRow(i); });
        connect(clearButton[i], &QPushButton::clicked, this, [this, i] { clearRows(i); });
    }
    auto* flags = new QHBoxLayout;
    displayCurves = new QCheckBox(tr("Display Specification Curves"), this);
    audioAlert = new QCheckBox(tr("Audio Alert"), this);
    flags->addWidget(displayCurves);
    flags->addWidget(audioAlert);
    flags->addStretch();
    grid->addLayout(flags, 1, 0, 1, 2);
    load(SpecificationSettings());
    setInputs(true, false, SensorTypes::Accelerometer, SensorTypes::Accelerometer);
}

void CSpecificationPage::load(const SpecificationSettings& s)
{
    for (int i = 0; i < 2; ++i) {
        applyTime[i]->setChecked(s.applyTimeTest[i] != 0);
        applyFrequency[i]->setChecked(s.applyFrequencyTest[i] != 0);
        excursion[i]->setText(QString::fromStdString(S::formatValue(s.maximumExcursion[i])));
        curveList[i]->clear();
        for (const auto& p : s.curve[i]) {
            const S::CurveRow row = S::makeRow(p.frequency, p.intensity);
            curveList[i]->addTopLevelItem(new QTreeWidgetItem(
                QStringList{QString::fromStdString(row.frequency), QString::fromStdString(row.intensity)}));
        }
        frequencyEntry[i]->setText("0");
        intensityEntry[i]->setText("0");
    }
    displayCurves->setChecked(s.displayCurves != 0);
    audioAlert->setChecked(s.audioAlert != 0);
    updateEnabling();
    loaded_ = s;
    for (int i = 0; i < 2; ++i) {
        loadedExcursion_[i] = excursion[i]->text().toStdString();
        loadedRows_[i] = rows(i);
    }
}

void CSpecificationPage::setInputs(bool used1, bool used2, const std::string& sensor1,
                                   const std::string& sensor2)
{
    used_ = {used1, used2};
    const std::string* sensors[2] = {&sensor1, &sensor2};
    for (int i = 0; i < 2; ++i) {
        sensors_[static_cast<std::size_t>(i)] = *sensors[i];
        excursionUnit[i]->setText(QString::fromStdString(S::excursionLabel(*sensors[i])));
        intensityUnit[i]->setText(QString::fromStdString(S::intensityLabel(*sensors[i])));
    }
    updateUnitLabels();
    updateEnabling();
}

void CSpecificationPage::setGraphUnits(const std::string& unit1, const std::string& unit2)
{
    graphUnits_ = {unit1, unit2};
    updateUnitLabels();
}

void CSpecificationPage::updateUnitLabels()
{
    for (std::size_t i = 0; i < 2; ++i) {
        // The limit is entered in the sensor's base unit; the graph may show another.
        const std::string unit = S::unitFor(sensors_[i]);
        std::string text = unit;
        if (!graphUnits_[i].empty() && graphUnits_[i] != unit) text += " (graph: " + graphUnits_[i] + ")";
        excursionFieldUnit[i]->setText(QString::fromStdString(text));
    }
}

void CSpecificationPage::updateEnabling()
{
    for (int i = 0; i < 2; ++i) {
        const bool used = used_[i];
        for (QWidget* w :
             std::initializer_list<QWidget*>{applyTime[i], applyFrequency[i], curveList[i], frequencyEntry[i],
                                             intensityEntry[i], addButton[i], removeButton[i], clearButton[i],
                                             excursionUnit[i], intensityUnit[i], excursionFieldUnit[i]})
            w->setEnabled(used);
        excursion[i]->setEnabled(used && applyTime[i]->isChecked());
    }
}

bool CSpecificationPage::checkNumber(QLineEdit* field)
{
    const auto v = EntryRules::readNumber(field->text().toStdString());
    if (!v) return refuse(field, EntryRules::kEnterNumber);
    if (*v < S::kMinimumValue || *v > S::kMaximumValue)
        return refuse(field, EntryRules::numberRangeMessage(S::kMinimumValue, S::kMaximumValue));
    return true;
}

std::vector<S::CurveRow> CSpecificationPage::rows(int input) const
{
    std::vector<S::CurveRow> out;
    for (int r = 0; r < curveList[input]->topLevelItemCount(); ++r) {
        const QTreeWidgetItem* item = curveList[input]->topLevelItem(r);
        out.push_back({item->text(0).toStdString(), item->text(1).toStdString()});
    }
    return out;
}

bool CSpecificationPage::addRow(int input)
{
    if (!checkNumber(frequencyEntry[input]) || !checkNumber(intensityEntry[input])) return false;
    const double f = *EntryRules::readNumber(frequencyEntry[input]->text().toStdString());
    const double v = *EntryRules::readNumber(intensityEntry[input]->text().toStdString());
    const S::CurveRow row = S::makeRow(f, v);
    curveList[input]->addTopLevelItem(new QTreeWidgetItem(
        QStringList{QString::fromStdString(row.frequency), QString::fromStdString(row.intensity)}));
    return true;
}

void CSpecificationPage::removeSelectedRow(int input)
{
    QTreeWidgetItem* item = curveList[input]->currentItem();
    if (item && item->isSelected()) delete item;
}

void CSpecificationPage::clearRows(int input)
{
    curveList[input]->clear();
}

bool CSpecificationPage::validate()
{
    for (int i = 0; i < 2; ++i)
        for (QLineEdit* e : {excursion[i], frequencyEntry[i], intensityEntry[i]})
            if (!checkNumber(e)) return false;
    for (int i = 0; i < 2; ++i) {
        if (!applyFrequency[i]->isChecked()) continue;
        if (const auto message = S::validateCurve(i, rows(i)))
            return refuse(curveList[i], *message, S::kCurveCaption,
                          FenmarlCommonDLL::platform::MB_OK_ |
                              FenmarlCommonDLL::platform::MB_ICONEXCLAMATION_);
    }
    return true;
}

void CSpecificationPage::store(SpecificationSettings& s) const
{
    for (int i = 0; i < 2; ++i) {
        s.applyTimeTest[i] = applyTime[i]->isChecked() ? 1 : 0;
        s.applyFrequencyTest[i] = applyFrequency[i]->isChecked() ? 1 : 0;
        const std::string excursionText = excursion[i]->text().toStdString();
        s.maximumExcursion[i] = excursionText == loadedExcursion_[i]
                                    ? loaded_.maximumExcursion[i]
                                    : EntryRules::readNumber(excursionText).value_or(s.maximumExcursion[i]);
        const std::vector<S::CurveRow> shown = rows(i);
        s.curve[i] = shown == loadedRows_[i] ? loaded_.curve[i] : S::curveFromRows(shown);
    }
    s.displayCurves = displayCurves->isChecked() ? 1 : 0;
    s.audioAlert = audioAlert->isChecked() ? 1 : 0;
}
