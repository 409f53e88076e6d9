#include "app/settings/SettingsSheet.h"

#include "app/settings/ScanConfigurationStore.h"

SettingsSheetValues SettingsSheetValues::fromStore(const ScanConfigurationStore& store)
{
    SettingsSheetValues v;
    const CScanConfiguration& c = store.scanConfiguration();
    v.scanConfiguration = c;
    v.specification = c.Specification;
    v.gain1 = c.Input1SensorGain;
    v.gain2 = c.Input2SensorGain;
    v.coupling1 = c.Input1HPFilter != 0 ? 1 : 0;
    v.coupling2 = c.Input2HPFilter != 0 ? 1 : 0;
    v.defaults = store.defaultSettings();
    return v;
}
