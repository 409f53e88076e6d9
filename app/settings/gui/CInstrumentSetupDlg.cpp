#include "app/settings/gui/CInstrumentSetupDlg.h"

#include "app/settings/ConfigureRules.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QVBoxLayout>

namespace R = ConfigureRules;

CInstrumentSetupDlg::CInstrumentSetupDlg(QWidget* parent) : CSettingsPage(tr("Instrument Setup"), parent)
{
    auto* layout = new QVBoxLayout(this);
    auto* box = new QGroupBox(tr("Sensor Gain"), this);
    auto* form = new QFormLayout(box);
    for (int i = 0; i < 2; ++i) {
        gainEdit[i] = new QLineEdit(box);
        form->addRow(tr("Input %1 Sensor Gain").arg(i + 1), gainEdit[i]);
    }
    layout->addWidget(box);
    layout->addStretch();
    load(1, 1);
}

void CInstrumentSetupDlg::load(int gain1, int gain2)
{
    gainEdit[0]->setText(QString::number(gain1));
    gainEdit[1]->setText(QString::number(gain2));
}

int CInstrumentSetupDlg::gain(int input) const
{
    return R::readInteger(gainEdit[input]->text().toStdString()).value_or(0);
}

bool CInstrumentSetupDlg::validate()
{
    for (QLineEdit* e : gainEdit)
        if (!R::readInteger(e->text().toStdString())) return refuse(e, R::kEnterInteger);
    if (const auto refusal = R::validateGains(gain(0), gain(1)))
        return refuse(refusal->field == R::Refusal::Gain1 ? gainEdit[0] : gainEdit[1], refusal->message);
    return true;
}
