#include "app/settings/gui/CConfigureDlg.h"

#include "app/settings/ConfigureRules.h"
#include "app/settings/gui/ChoiceList.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cstdlib>

namespace R = ConfigureRules;

namespace {

int indexOf(const std::vector<std::string>& items, const std::string& text, int fallback)
{
    for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i] == text) return static_cast<int>(i);
    return fallback;
}

QSpinBox* spin(int minimum, int maximum, QWidget* parent)
{
    auto* s = new QSpinBox(parent);
    s->setRange(minimum, maximum);
    return s;
}

QString number(double v)
{
    // The shortest text that reads back to the same value.
    return QString::number(v, 'g', QLocale::FloatingPointShortest);
}

} // namespace

CConfigureDlg::CConfigureDlg(QWidget* parent) : CSettingsPage(tr("Scan Configuration"), parent)
{
    auto* grid = new QGridLayout(this);
    for (int i = 0; i < 2; ++i) {
        auto* box = new QGroupBox(tr("Input %1").arg(i + 1), this);
        auto* form = new QFormLayout(box);
        useInput[i] = new QCheckBox(tr("Use Input %1").arg(i + 1), box);
        form->addRow(useInput[i]);
        sensorTypeList[i] = choiceList(R::sensorTypes(), box);
        form->addRow(tr("Sensor Type"), sensorTypeList[i]);
        couplingList[i] = choiceList(R::couplings(), box);
        form->addRow(tr("Coupling"), couplingList[i]);
        displayTypeList[i] = choiceList(R::displayTypes(), box);
        form->addRow(tr("Display Type"), displayTypeList[i]);
        displayModeList[i] = choiceList(R::displayModes(), box);
        form->addRow(tr("Display Mode"), displayModeList[i]);
        autoScale[i] = new QCheckBox(tr("Auto Scale"), box);
        form->addRow(autoScale[i]);
        yMinimum[i] = new QLineEdit(box);
        form->addRow(tr("Y Minimum"), yMinimum[i]);
        yMaximum[i] = new QLineEdit(box);
        form->addRow(tr("Y Maximum"), yMaximum[i]);
        grid->addWidget(box, 0, i);

        connect(useInput[i], &QCheckBox::toggled, this, [this, i] { useInputToggled(i); });
        connect(sensorTypeList[i], &QComboBox::currentIndexChanged, this, [this] {
            updateEnabling();
            if (!loading_) emit inputsChanged();
        });
        connect(autoScale[i], &QCheckBox::toggled, this, [this] { updateEnabling(); });
    }

    auto* display = new QGroupBox(tr("Display"), this);
    auto* displayLayout = new QVBoxLayout(display);
    differential = new QCheckBox(tr("Differential / Gradiometer"), display);
    showComponents = new QCheckBox(tr("Show Field Components"), display);
    showTotal = new QCheckBox(tr("Show Total Field"), display);
    displayLayout->addWidget(differential);
    displayLayout->addWidget(showComponents);
    displayLayout->addWidget(showTotal);
    displayLayout->addStretch();
    grid->addWidget(display, 0, 2);

    auto* acquisition = new QGroupBox(tr("Acquisition"), this);
    auto* acq = new QFormLayout(acquisition);
    intervalList = choiceList(R::intervalChoices(), acquisition);
    intervalList->setEditable(true);
    intervalList->setInsertPolicy(QComboBox::NoInsert);
    acq->addRow(tr("Sample Interval"), intervalList);
    useSampleFrequency = new QCheckBox(tr("Use Sample Frequency"), acquisition);
    acq->addRow(useSampleFrequency);
    maximumFrequency = new QLineEdit(acquisition);
    acq->addRow(tr("Maximum Frequency / Hz"), maximumFrequency);
    samples = spin(R::kMinSamples, R::kMaxSamples, acquisition);
    acq->addRow(tr("Number of Samples"), samples);
    averages = spin(R::kMinAverages, R::kMaxAverages, acquisition);
    acq->addRow(tr("Number of Averages"), averages);
    runs = spin(R::kMinRuns, R::kMaxRuns, acquisition);
    acq->addRow(tr("Number of Runs"), runs);
    oversample = new QCheckBox(tr("Data Averaging"), acquisition);
    acq->addRow(oversample);
    grid->addWidget(acquisition, 1, 0);

    auto* modeBox = new QGroupBox(tr("Scan Mode"), this);
    auto* modeLayout = new QVBoxLayout(modeBox);
    scanMode = new QButtonGroup(this);
    // The button ids are the stored scan modes.
    const char* modes[] = {"Single", "Continuous", "Multiple"};
    for (int m = ScanModes::Single; m <= ScanModes::Multiple; ++m) {
        auto* radio = new QRadioButton(tr(modes[m]), modeBox);
        scanMode->addButton(radio, m);
        modeLayout->addWidget(radio);
    }
    modeLayout->addStretch();
    grid->addWidget(modeBox, 1, 1);

    auto* filterBox = new QGroupBox(tr("Digital Filtering"), this);
    auto* filterLayout = new QFormLayout(filterBox);
    filter = filterChoice(filterLayout, filterBox, this);
    rollingPoints = spin(R::kMinRollingPoints, R::kMaxRollingPoints, filterBox);
    filterLayout->addRow(tr("Number of Rolling Points"), rollingPoints);
    cutOff = new QLineEdit(filterBox);
    cutOff->setReadOnly(true);
    cutOff->setMinimumWidth(90); // room for "%.6g" values
    filterLayout->addRow(tr("Cut Off Frequency / Hz"), cutOff);
    grid->addWidget(filterBox, 1, 2);

    auto* buttons = new QHBoxLayout;
    saveTemplate = new QPushButton(tr("Save Scan Template"), this);
    loadTemplate = new QPushButton(tr("Load Scan Template"), this);
    buttons->addStretch();
    buttons->addWidget(saveTemplate);
    buttons->addWidget(loadTemplate);
    grid->addLayout(buttons, 2, 0, 1, 3);

    connect(scanMode, &QButtonGroup::idToggled, this, [this](int, bool on) {
        if (on) updateEnabling();
    });
    connect(useSampleFrequency, &QCheckBox::toggled, this, [this] { updateEnabling(); });
    connect(intervalList, &QComboBox::currentTextChanged, this, [this] { intervalEdited(); });
    connect(maximumFrequency, &QLineEdit::textEdited, this, [this] { frequencyEdited(); });
    connect(rollingPoints, &QSpinBox::valueChanged, this, [this] { updateCutOff(); });
    for (QSpinBox* count : {samples, averages, runs, rollingPoints}) {
        count->installEventFilter(this);
        if (auto* edit = count->findChild<QLineEdit*>())
            connect(edit, &QLineEdit::textEdited, this, [this, count] { rejected_.erase(count); });
    }
    connect(saveTemplate, &QPushButton::clicked, this, &CConfigureDlg::saveTemplateRequested);
    connect(loadTemplate, &QPushButton::clicked, this, &CConfigureDlg::loadTemplateRequested);

    load(CScanConfiguration(), 0, 0);
}

void CConfigureDlg::load(const CScanConfiguration& c, int coupling1, int coupling2,
                         const std::array<std::int32_t, 2>& reserved)
{
    loading_ = true;
    working_ = c;
    reserved_ = reserved;
    interval_ = c.SampleInterval;
    const std::string* modes[2] = {&c.Input1Mode, &c.Input2Mode};
    const std::string* types[2] = {&c.Input1DisplayType, &c.Input2DisplayType};
    const std::string* dmodes[2] = {&c.Input1DisplayMode, &c.Input2DisplayMode};
    const int used[2] = {c.UseInput1, c.UseInput2};
    const int scale[2] = {c.Input1AutoScale, c.Input2AutoScale};
    const double minimum[2] = {c.Input1Minimum, c.Input2Minimum};
    const double maximum[2] = {c.Input1Maximum, c.Input2Maximum};
    const int coupling[2] = {coupling1, coupling2};
    for (int i = 0; i < 2; ++i) {
        useInput[i]->setChecked(used[i] != 0);
        sensorTypeList[i]->setCurrentIndex(indexOf(R::sensorTypes(), *modes[i], 0));
        couplingList[i]->setCurrentIndex(coupling[i] != 0 ? 1 : 0);
        displayTypeList[i]->setCurrentIndex(indexOf(R::displayTypes(), *types[i], 2));
        displayModeList[i]->setCurrentIndex(indexOf(R::displayModes(), *dmodes[i], 0));
        autoScale[i]->setChecked(scale[i] != 0);
        yMinimum[i]->setText(number(minimum[i]));
        yMaximum[i]->setText(number(maximum[i]));
    }
    // A record with neither input in use still leaves one ticked.
    if (!used[0] && !used[1]) useInput[0]->setChecked(true);
    differential->setChecked(c.DiffGrad != 0);
    showComponents->setChecked(c.ShowFieldComponents != 0);
    showTotal->setChecked(c.ShowTotalField != 0);
    useSampleFrequency->setChecked(c.UseFrequency != 0);
    const QString text = QString::fromStdString(R::sampleIntervalText(c.SampleInterval));
    const int entry = intervalList->findText(text);
    if (entry >= 0)
        intervalList->setCurrentIndex(entry);
    else
        intervalList->setEditText(text);
    loadedIntervalText_ = intervalText();
    maximumFrequency->setText(QString::fromStdString(R::maximumFrequencyText(c.SampleInterval)));
    samples->setValue(c.NoOfSamples);
    averages->setValue(c.NoOfAverages);
    runs->setValue(c.NumberofRuns);
    oversample->setChecked(c.Oversample != 0);
    if (QAbstractButton* b = scanMode->button(
            c.ScanMode >= ScanModes::Single && c.ScanMode <= ScanModes::Multiple ? c.ScanMode
                                                                                 : ScanModes::Single))
        b->setChecked(true);
    filter->button(c.Filter != 0 ? 1 : 0)->setChecked(true);
    rollingPoints->setValue(c.CutOffFrequency);
    loading_ = false;
    updateCutOff();
    updateEnabling();
}

bool CConfigureDlg::inputUsed(int input) const
{
    return useInput[input]->isChecked();
}

std::string CConfigureDlg::sensorType(int input) const
{
    return sensorTypeList[input]->currentText().toStdString();
}

int CConfigureDlg::coupling(int input) const
{
    return couplingList[input]->currentIndex() > 0 ? 1 : 0;
}

std::string CConfigureDlg::intervalText() const
{
    return intervalList->currentText().toStdString();
}

void CConfigureDlg::useInputToggled(int input)
{
    if (loading_) return;
    // One input must stay in use: unticking the last one ticks it again.
    if (!useInput[0]->isChecked() && !useInput[1]->isChecked()) {
        useInput[input]->setChecked(true);
        return;
    }
    updateEnabling();
    emit inputsChanged();
}

void CConfigureDlg::updateEnabling()
{
    const bool magnetometer[2] = {sensorTypeList[0]->currentIndex() == 1,
                                  sensorTypeList[1]->currentIndex() == 1};
    for (int i = 0; i < 2; ++i) {
        const bool used = useInput[i]->isChecked();
        for (QWidget* w : std::initializer_list<QWidget*>{sensorTypeList[i], displayTypeList[i],
                                                          displayModeList[i], autoScale[i]})
            w->setEnabled(used);
        couplingList[i]->setEnabled(used && magnetometer[i]);
        yMinimum[i]->setEnabled(used && !autoScale[i]->isChecked());
        yMaximum[i]->setEnabled(used && !autoScale[i]->isChecked());
    }
    differential->setEnabled(useInput[0]->isChecked() && useInput[1]->isChecked() && magnetometer[0] &&
                             magnetometer[1]);
    const bool byFrequency = useSampleFrequency->isChecked();
    maximumFrequency->setEnabled(byFrequency);
    intervalList->setEnabled(!byFrequency);
    const int mode = scanMode->checkedId();
    samples->setEnabled(mode != ScanModes::Continuous);
    runs->setEnabled(mode == ScanModes::Multiple);
    averages->setEnabled(mode != ScanModes::Multiple);
}

void CConfigureDlg::intervalEdited()
{
    if (loading_) return;
    interval_ = parsedInterval();
    if (!useSampleFrequency->isChecked() && interval_ != 0.0)
        maximumFrequency->setText(QString::fromStdString(R::maximumFrequencyText(interval_)));
    updateCutOff();
}

void CConfigureDlg::frequencyEdited()
{
    if (!useSampleFrequency->isChecked()) return;
    const double f = std::atof(maximumFrequency->text().toStdString().c_str());
    const std::string text = R::intervalTextForFrequency(f);
    if (text.empty()) return;
    const QString q = QString::fromStdString(text);
    // Typed in unless it is one of the list's entries; the edit of the list
    // must not rewrite the frequency being typed.
    loading_ = true;
    const int entry = intervalList->findText(q);
    if (entry >= 0)
        intervalList->setCurrentIndex(entry);
    else
        intervalList->setEditText(q);
    loading_ = false;
    interval_ = R::parseSampleInterval(text);
    updateCutOff();
}

void CConfigureDlg::updateCutOff()
{
    if (loading_) return;
    cutOff->setText(QString::fromStdString(R::cutOffText(rollingPoints->value(), interval_)));
}

bool CConfigureDlg::eventFilter(QObject* watched, QEvent* event)
{
    auto* count = qobject_cast<QSpinBox*>(watched);
    const bool leaving =
        event->type() == QEvent::FocusOut ||
        (event->type() == QEvent::KeyPress && (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Return ||
                                               static_cast<QKeyEvent*>(event)->key() == Qt::Key_Enter));
    if (count && leaving && !count->hasAcceptableInput()) rejected_[count] = count->text();
    return CSettingsPage::eventFilter(watched, event);
}

bool CConfigureDlg::validate()
{
    for (int i = 0; i < 2; ++i)
        for (QLineEdit* e : {yMinimum[i], yMaximum[i]})
            if (!R::readNumber(e->text().toStdString())) return refuse(e, R::kEnterNumber);
    for (QSpinBox* count : {samples, averages, runs, rollingPoints}) {
        const auto it = rejected_.find(count);
        if (it == rejected_.end() && count->hasAcceptableInput()) continue;
        if (it != rejected_.end()) {
            // Show what was typed, not the value the box put back.
            if (auto* edit = count->findChild<QLineEdit*>()) edit->setText(it->second);
            rejected_.erase(it);
        }
        return refuse(count, R::integerRangeMessage(count->minimum(), count->maximum()));
    }
    for (int i = 0; i < 2; ++i) {
        if (!useInput[i]->isChecked()) continue;
        const auto refusal =
            R::validateYRange(i, autoScale[i]->isChecked(), *R::readNumber(yMinimum[i]->text().toStdString()),
                              *R::readNumber(yMaximum[i]->text().toStdString()));
        if (refusal) return refuse(yMaximum[i], refusal->message);
    }
    R::ScanPageInput in;
    in.scanMode = scanMode->checkedId();
    in.samples = samples->value();
    in.averages = averages->value();
    in.runs = runs->value();
    in.rollingPoints = rollingPoints->value();
    in.intervalText = intervalText();
    in.interval = interval_;
    if (const auto refusal = R::validateScanPage(in)) {
        QWidget* field = intervalList;
        switch (refusal->field) {
        case R::Refusal::Samples:
            field = samples;
            break;
        case R::Refusal::Averages:
            field = averages;
            break;
        case R::Refusal::Runs:
            field = runs;
            break;
        case R::Refusal::RollingPoints:
            field = rollingPoints;
            break;
        default:
            break;
        }
        return refuse(field, refusal->message);
    }
    return true;
}

CScanConfiguration CConfigureDlg::current() const
{
    CScanConfiguration c = working_;
    std::string* modes[2] = {&c.Input1Mode, &c.Input2Mode};
    std::string* types[2] = {&c.Input1DisplayType, &c.Input2DisplayType};
    std::string* dmodes[2] = {&c.Input1DisplayMode, &c.Input2DisplayMode};
    std::int32_t* used[2] = {&c.UseInput1, &c.UseInput2};
    std::int32_t* scale[2] = {&c.Input1AutoScale, &c.Input2AutoScale};
    double* minimum[2] = {&c.Input1Minimum, &c.Input2Minimum};
    double* maximum[2] = {&c.Input1Maximum, &c.Input2Maximum};
    for (int i = 0; i < 2; ++i) {
        *modes[i] = sensorTypeList[i]->currentText().toStdString();
        *types[i] = displayTypeList[i]->currentText().toStdString();
        *dmodes[i] = displayModeList[i]->currentText().toStdString();
        *used[i] = useInput[i]->isChecked() ? 1 : 0;
        *scale[i] = autoScale[i]->isChecked() ? 1 : 0;
        *minimum[i] = R::readNumber(yMinimum[i]->text().toStdString()).value_or(*minimum[i]);
        *maximum[i] = R::readNumber(yMaximum[i]->text().toStdString()).value_or(*maximum[i]);
    }
    c.DiffGrad = differential->isChecked() ? 1 : 0;
    c.ShowFieldComponents = showComponents->isChecked() ? 1 : 0;
    c.ShowTotalField = showTotal->isChecked() ? 1 : 0;
    c.UseFrequency = useSampleFrequency->isChecked() ? 1 : 0;
    c.Filter = filter->checkedId() == 1 ? 1 : 0;
    c.CutOffFrequency = rollingPoints->value();
    c.Oversample = oversample->isChecked() ? 1 : 0;
    c.ScanMode = scanMode->checkedId();
    c.SampleInterval = interval_;
    c.NoOfSamples = samples->value();
    c.NoOfAverages = averages->value();
    c.NumberofRuns = runs->value();
    return c;
}

double CConfigureDlg::parsedInterval() const
{
    const std::string text = intervalText();
    return text == loadedIntervalText_ ? working_.SampleInterval : R::parseSampleInterval(text);
}

CScanConfiguration CConfigureDlg::finish()
{
    interval_ = parsedInterval();
    for (int i = 0; i < 2; ++i)
        if (sensorTypeList[i]->currentIndex() != 1) couplingList[i]->setCurrentIndex(0);
    return current();
}
