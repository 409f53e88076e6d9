#include "app/acquisition/gui/CDataSettings.h"

#include "app/acquisition/CCorvelDoc.h"
#include "app/acquisition/ScanDataLock.h"
#include "app/acquisition/gui/CDisplaySettings.h"
#include "app/settings/gui/CDefaultsFFT.h"
#include "app/settings/gui/CDefaultsSensor.h"
#include "common/Locker.h"

CDataSettings::CDataSettings(const CScanConfiguration& configuration, const DefaultSettings& settings,
                             QWidget* parent)
    : CPropertySheet(tr("Settings"), parent), configuration_(configuration), settings_(settings),
      sensor_(new CDefaultsSensor(this)), fft_(new CDefaultsFFT(this)), display_(new CDisplaySettings(this))
{
    addPage(sensor_);
    addPage(fft_);
    addPage(display_);
    sensor_->load(settings);
    fft_->load(settings);
    display_->load(configuration);
}

CScanConfiguration CDataSettings::configuration() const
{
    CScanConfiguration c = configuration_;
    display_->store(c);
    return c;
}

DefaultSettings CDataSettings::settings() const
{
    DefaultSettings s = settings_;
    sensor_->store(s);
    fft_->store(s);
    return s;
}

void CDataSettings::applyTo(CCorvelDoc& document) const
{
    document.ApplyDataSettings(configuration(), settings());
}

bool CDataSettings::editDocument(CCorvelDoc& document, QWidget* parent)
{
    CScanConfiguration configuration;
    {
        FenmarlCommonDLL::ThreadLocker lock(&ScanDataLock(), true);
        configuration = document.scan.configuration;
    }
    CDataSettings sheet(configuration, document.settings, parent);
    if (sheet.exec() != QDialog::Accepted) return false;
    sheet.applyTo(document);
    return true;
}
