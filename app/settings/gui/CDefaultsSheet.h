#pragma once

#include "app/settings/gui/CPropertySheet.h"
#include "app/settings/SettingsSheet.h"

class CConfigureDlg;
class CDefaultsFFT;
class CDefaultsGeneral;
class CDefaultsSensor;
class CInstrumentSetupDlg;
class CSpecificationPage;
class ScanConfigurationStore;

// The Configure command's "Settings" sheet: Scan Configuration,
// Specification, Instrument Setup, General, Sensor and FFT.
class CDefaultsSheet : public CPropertySheet, public SettingsSheet
{
    Q_OBJECT

public:
    // `store` serves the template buttons (its file dialogs and files); without one they do nothing.
    explicit CDefaultsSheet(ScanConfigurationStore* store = nullptr, QWidget* parent = nullptr);

    void load(const SettingsSheetValues& values);
    // The pages' values as OK takes them (the Scan Configuration page's last steps included).
    SettingsSheetValues values();
    // Shows the sheet modally; on OK `values` holds the edited pages.
    bool run(SettingsSheetValues& values) override;

    // The template buttons.
    bool saveTemplate();
    bool loadTemplate();

    CConfigureDlg* configurePage() const { return configure_; }
    CSpecificationPage* specificationPage() const { return specification_; }
    CInstrumentSetupDlg* instrumentPage() const { return instrument_; }
    CDefaultsGeneral* generalPage() const { return general_; }
    CDefaultsSensor* sensorPage() const { return sensor_; }
    CDefaultsFFT* fftPage() const { return fft_; }

protected:
    void takeValues() override { accepted_ = values(); }

private:
    void inputsChanged();

    ScanConfigurationStore* store_;
    CConfigureDlg* configure_;
    CSpecificationPage* specification_;
    CInstrumentSetupDlg* instrument_;
    CDefaultsGeneral* general_;
    CDefaultsSensor* sensor_;
    CDefaultsFFT* fft_;
    SettingsSheetValues loaded_;
    SettingsSheetValues accepted_;
};
