#include "app/acquisition/gui/CDisplaySettings.h"

#include "app/settings/ConfigureRules.h"
#include "app/settings/gui/ChoiceList.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QVBoxLayout>

CDisplaySettings::CDisplaySettings(QWidget* parent) : CSettingsPage(tr("Display"), parent)
{
    auto* layout = new QVBoxLayout(this);
    auto* box = new QGroupBox(tr("Display Mode"), this);
    auto* form = new QFormLayout(box);
    for (int i = 0; i < 2; ++i) {
        displayMode[i] = choiceList(ConfigureRules::displayModes(), box);
        form->addRow(tr("Input %1").arg(i + 1), displayMode[i]);
    }
    layout->addWidget(box);
    layout->addStretch();
}

void CDisplaySettings::load(const CScanConfiguration& c)
{
    const std::string* modes[2] = {&c.Input1DisplayMode, &c.Input2DisplayMode};
    const bool used[2] = {c.UseInput1 != 0, c.UseInput2 != 0};
    for (int i = 0; i < 2; ++i) {
        const int index = displayMode[i]->findText(QString::fromStdString(*modes[i]));
        displayMode[i]->setCurrentIndex(index >= 0 ? index : 0);
        displayMode[i]->setEnabled(used[i]);
    }
}

void CDisplaySettings::store(CScanConfiguration& c) const
{
    // An input not in use keeps its mode: the list was not offered.
    if (displayMode[0]->isEnabled()) c.Input1DisplayMode = displayMode[0]->currentText().toStdString();
    if (displayMode[1]->isEnabled()) c.Input2DisplayMode = displayMode[1]->currentText().toStdString();
}
