#pragma once

#include "app/settings/DefaultSettings.h"
#include "app/settings/ScanConfiguration.h"

class ScanConfigurationStore;

// The pages of the Settings sheet as the Configure sequence loads and takes
// them back; the sheet itself is a dialog of the window layer.
struct SettingsSheetValues
{
    CScanConfiguration scanConfiguration; // Scan Configuration page (after its own derivations)
    SpecificationSettings
        specification; // Specification page: apply flags, excursions, curves, display, alert
    int gain1 = 1;     // Instrument Setup page
    int gain2 = 1;
    int coupling1 = 0; // 0 DC, 1 AC
    int coupling2 = 0;
    DefaultSettings defaults; // General, Sensor and FFT pages

    static SettingsSheetValues fromStore(const ScanConfigurationStore& store);
};

// The Settings sheet as the Configure sequence sees it; the window layer shows it.
class SettingsSheet
{
public:
    virtual ~SettingsSheet() = default;
    // Shows the sheet modally with values; true when closed with OK (values edited).
    virtual bool run(SettingsSheetValues& values) = 0;
};
