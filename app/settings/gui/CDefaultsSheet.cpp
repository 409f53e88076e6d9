#include "app/settings/gui/CDefaultsSheet.h"

#include "app/settings/SensorUnits.h"
#include "app/settings/ScanConfigurationStore.h"
#include "app/settings/ScanTemplate.h"
#include "app/settings/gui/CConfigureDlg.h"
#include "app/settings/gui/CDefaultsFFT.h"
#include "app/settings/gui/CDefaultsGeneral.h"
#include "app/settings/gui/CDefaultsSensor.h"
#include "app/settings/gui/CInstrumentSetupDlg.h"
#include "app/specification/gui/CSpecificationPage.h"

#include <QComboBox>

CDefaultsSheet::CDefaultsSheet(ScanConfigurationStore* store, QWidget* parent)
    : CPropertySheet(tr("Settings"), parent), store_(store), configure_(new CConfigureDlg(this)),
      specification_(new CSpecificationPage(this)), instrument_(new CInstrumentSetupDlg(this)),
      general_(new CDefaultsGeneral(this)), sensor_(new CDefaultsSensor(this)), fft_(new CDefaultsFFT(this))
{
    for (CSettingsPage* page : std::initializer_list<CSettingsPage*>{configure_, specification_, instrument_,
                                                                     general_, sensor_, fft_})
        addPage(page);
    connect(configure_, &CConfigureDlg::inputsChanged, this, &CDefaultsSheet::inputsChanged);
    for (QComboBox* units : {sensor_->magneticUnits, sensor_->vibrationUnits})
        connect(units, &QComboBox::currentIndexChanged, this, &CDefaultsSheet::inputsChanged);
    connect(configure_, &CConfigureDlg::saveTemplateRequested, this, [this] { saveTemplate(); });
    connect(configure_, &CConfigureDlg::loadTemplateRequested, this, [this] { loadTemplate(); });
    inputsChanged();
}

void CDefaultsSheet::inputsChanged()
{
    specification_->setInputs(configure_->inputUsed(0), configure_->inputUsed(1), configure_->sensorType(0),
                              configure_->sensorType(1));
    const int magnetic = sensor_->magneticUnits->currentIndex();
    const int vibration = sensor_->vibrationUnits->currentIndex();
    specification_->setGraphUnits(SensorUnits::unitName(configure_->sensorType(0), magnetic, vibration),
                                  SensorUnits::unitName(configure_->sensorType(1), magnetic, vibration));
}

void CDefaultsSheet::load(const SettingsSheetValues& v)
{
    loaded_ = v;
    configure_->load(v.scanConfiguration, v.coupling1, v.coupling2);
    specification_->load(v.specification);
    instrument_->load(v.gain1, v.gain2);
    general_->load(v.defaults);
    sensor_->load(v.defaults);
    fft_->load(v.defaults);
    inputsChanged();
}

SettingsSheetValues CDefaultsSheet::values()
{
    SettingsSheetValues v = loaded_;
    v.scanConfiguration = configure_->finish();
    specification_->store(v.specification);
    v.gain1 = instrument_->gain(0);
    v.gain2 = instrument_->gain(1);
    v.coupling1 = configure_->coupling(0);
    v.coupling2 = configure_->coupling(1);
    general_->store(v.defaults);
    sensor_->store(v.defaults);
    fft_->store(v.defaults);
    return v;
}

bool CDefaultsSheet::run(SettingsSheetValues& v)
{
    load(v);
    if (exec() != QDialog::Accepted) return false;
    v = accepted_;
    return true;
}

bool CDefaultsSheet::saveTemplate()
{
    if (!store_ || !validateAll()) return false;
    const SettingsSheetValues v = values();
    CScanConfiguration c = v.scanConfiguration;
    c.Specification = v.specification;
    c.Input1SensorGain = v.gain1;
    c.Input2SensorGain = v.gain2;
    c.Input1HPFilter = v.coupling1;
    c.Input2HPFilter = v.coupling2;
    ScanTemplate t = ScanTemplate::fromSettings(c, v.defaults, configure_->intervalText());
    const auto reserved = configure_->reserved();
    t.reserved[0] = reserved[0];
    t.reserved[1] = reserved[1];
    return store_->chooseAndSaveScanTemplate(t);
}

bool CDefaultsSheet::loadTemplate()
{
    if (!store_) return false;
    ScanTemplate t;
    if (!store_->chooseAndLoadScanTemplate(t)) return false;
    // Whatever the pages hold that a template does not carry stays as it is.
    SettingsSheetValues v = values();
    CScanConfiguration c = v.scanConfiguration;
    c.Specification = v.specification;
    t.applyTo(c, v.defaults);
    v.scanConfiguration = c;
    v.specification = c.Specification;
    v.gain1 = c.Input1SensorGain;
    v.gain2 = c.Input2SensorGain;
    v.coupling1 = t.coupling(0);
    v.coupling2 = t.coupling(1);
    const SettingsSheetValues keep = loaded_;
    load(v);
    loaded_ = keep;
    configure_->load(v.scanConfiguration, v.coupling1, v.coupling2, {t.reserved[0], t.reserved[1]});
    if (!t.sampleIntervalText.empty())
        configure_->intervalList->setEditText(QString::fromStdString(t.sampleIntervalText));
    return true;
}
