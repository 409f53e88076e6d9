#pragma once

#include "app/acquisition/ScanData.h"
#include "app/acquisition/SystemTime.h"
#include "app/settings/ScanConfiguration.h"

#include <atomic>
#include <string>
#include <vector>

// One scan: when it was taken, the configuration it was taken under and the
// data sets of both input groups.
class ScanProperties
{
public:
    ScanProperties() = default;
    virtual ~ScanProperties() = default;
    ScanProperties(const ScanProperties&) = delete;
    ScanProperties& operator=(const ScanProperties&) = delete;

    // Time, configuration and both data sets (the properties dialog's copy).
    void copyFrom(const ScanProperties& other);

    ScanData& input(int index) { return index == 0 ? input1 : input2; }
    const ScanData& input(int index) const { return index == 0 ? input1 : input2; }

    SystemTime acquisitionTime;
    CScanConfiguration configuration;
    ScanData input1;
    ScanData input2;
    // The multiple-scan thread waits for the main window to save its run.
    std::atomic<bool> savePending{false};
    // A multiple-scan run is reading samples: frequency graphs do not draw.
    std::atomic<bool> runAcquiring{false};
    // Why the scan thread ended the scan early on its own (storage full, the
    // scan could not start); empty otherwise. Guarded by ScanDataLock.
    std::string failureReason;
    // Written by the scan thread (under ScanDataLock) before it reports the
    // scan complete, read by the main window then; not stored in the file.
    // The first set-up call the instrument refused ("SetMeasurementRate: …"), empty when none.
    std::string setupFailure;
    // Samples the instrument lost during this scan, all acquisitions and runs together.
    long long lostSamples = 0;
};

// The lines of the scan properties dialog's list, in order.
std::vector<std::string> ScanPropertiesLines(const ScanProperties& scan);
