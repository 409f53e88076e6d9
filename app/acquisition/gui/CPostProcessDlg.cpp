#include "app/acquisition/gui/CPostProcessDlg.h"

#include "app/acquisition/PostProcessing.h"
#include "app/settings/gui/ChoiceList.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

CPostProcessDlg::CPostProcessDlg(const PostProcessOptions& o, QWidget* parent)
    : QDialog(parent), sampleInterval_(o.sampleInterval)
{
    setWindowTitle(tr("Post Processing"));
    auto* layout = new QVBoxLayout(this);
    auto* box = new QGroupBox(tr("Digital Filtering"), this);
    auto* form = new QFormLayout(box);
    filter = filterChoice(form, box, this);
    rollingPoints = new QSpinBox(box);
    rollingPoints->setRange(2, 60);
    form->addRow(tr("Number of Rolling Points"), rollingPoints);
    filterPasses = new QSpinBox(box);
    filterPasses->setRange(1, 10);
    form->addRow(tr("Number of Filter Passes"), filterPasses);
    cutOff = new QLineEdit(box);
    cutOff->setReadOnly(true);
    form->addRow(tr("Cut Off Frequency / Hz"), cutOff);
    layout->addWidget(box);
    averageSpectra = new QCheckBox(tr("Average FFT Spectra"), this);
    finalOnly = new QCheckBox(tr("Only Display Final Data Set"), this);
    layout->addWidget(averageSpectra);
    layout->addWidget(finalOnly);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    filter->button(o.filterChoice == 1 ? 1 : 0)->setChecked(true);
    rollingPoints->setValue(o.rollingPoints);
    filterPasses->setValue(o.filterPasses);
    averageSpectra->setChecked(o.averageSpectra != 0);
    finalOnly->setChecked(o.finalOnly != 0);
    connect(filter, &QButtonGroup::idToggled, this, [this](int, bool on) {
        if (on) refresh();
    });
    connect(rollingPoints, &QSpinBox::valueChanged, this, [this] { refresh(); });
    refresh();
}

void CPostProcessDlg::refresh()
{
    const bool lowPass = filter->checkedId() == 1;
    rollingPoints->setEnabled(lowPass);
    filterPasses->setEnabled(lowPass);
    cutOff->setEnabled(lowPass);
    cutOff->setText(QString::fromStdString(MovingAverageCutOffText(sampleInterval_, rollingPoints->value())));
}

PostProcessOptions CPostProcessDlg::options() const
{
    PostProcessOptions o;
    o.filterChoice = filter->checkedId() == 1 ? 1 : 0;
    o.rollingPoints = rollingPoints->value();
    o.sampleInterval = sampleInterval_;
    o.averageSpectra = averageSpectra->isChecked() ? 1 : 0;
    o.filterPasses = filterPasses->value();
    o.finalOnly = finalOnly->isChecked() ? 1 : 0;
    return o;
}

bool CPostProcessDlg::ask(PostProcessOptions& options, QWidget* parent)
{
    CPostProcessDlg dialog(options, parent);
    if (dialog.exec() != QDialog::Accepted) return false;
    options = dialog.options();
    return true;
}
