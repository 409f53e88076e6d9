#pragma once

#include "app/settings/DefaultSettings.h"
#include "app/settings/ScanConfiguration.h"
#include "app/settings/gui/CPropertySheet.h"

class CCorvelDoc;
class CDefaultsFFT;
class CDefaultsSensor;
class CDisplaySettings;

// The document's Data → Settings sheet: Sensor, FFT and Display pages over
// one document's own copies.
class CDataSettings : public CPropertySheet
{
    Q_OBJECT

public:
    CDataSettings(const CScanConfiguration& configuration, const DefaultSettings& settings,
                  QWidget* parent = nullptr);

    // The copies as the pages hold them now.
    CScanConfiguration configuration() const;
    DefaultSettings settings() const;

    // OK: the document takes the edited copies and computes its spectra again.
    void applyTo(CCorvelDoc& document) const;
    // The command: shows the sheet for the document; true when OK changed it.
    static bool editDocument(CCorvelDoc& document, QWidget* parent);

    CDefaultsSensor* sensorPage() const { return sensor_; }
    CDefaultsFFT* fftPage() const { return fft_; }
    CDisplaySettings* displayPage() const { return display_; }

private:
    CScanConfiguration configuration_;
    DefaultSettings settings_;
    CDefaultsSensor* sensor_;
    CDefaultsFFT* fft_;
    CDisplaySettings* display_;
};
