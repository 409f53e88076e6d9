#pragma once

#include "common/Locker.h"

#include <functional>
#include <mutex>
#include <string>
#include <vector>

class UserInteraction;
class ScanConfigurationStore;

// The logic of the "Available Instruments" dialog: it lists the instruments
// the driver finds, refreshes itself when instruments arrive or leave, opens
// the chosen one, sends it the set-up and zeroes it. The dialog widget shows
// statusText(), entries() and okEnabled() after each change (onChanged).
class InstrumentDetection
{
public:
    static constexpr int kDescriptorCapacity = 128;
    static constexpr const char* kSource = "Detect Instruments";
    static constexpr const char* kNoInstrumentMessage = "Error - No Tesselon-6 found";

    // pumpMessages lets the zeroing dialog paint; store gives the set-up.
    InstrumentDetection(UserInteraction& ui, ScanConfigurationStore& store, bool silentMode,
                        std::function<void()> pumpMessages = {});
    virtual ~InstrumentDetection();
    InstrumentDetection(const InstrumentDetection&) = delete;
    InstrumentDetection& operator=(const InstrumentDetection&) = delete;

    // Watches arrival and removal of instruments on the USB layer. The
    // callback runs on the bus's thread: the dialog posts a detection to its
    // own thread from there (the core never runs a detection on that thread).
    void startWatching(std::function<void()> postDetection);
    void stopWatching();

    // One detection run. False when a silent run skipped it (the posted
    // detection that follows silent start-up's direct one).
    bool detect();

    std::string statusText() const;
    std::vector<std::string> entries() const;
    bool okEnabled() const;
    // -1 when nothing is selected.
    int selection() const;
    void select(int index);

    // OK pressed: opens the instrument of the selected entry (entries whose
    // descriptor could not be read are not listed, so an entry keeps its own
    // driver index), sends the set-up and zeroes
    // it when configured. True when an instrument was opened and set up; a
    // refused set-up call or zeroing is shown and logged and closes the
    // instrument again.
    bool connect();
    // Why the last connect failed (the call and the driver's text), empty after a success.
    const std::string& lastFailure() const { return lastFailure_; }

    // Why no usable instrument was listed although something is plugged in
    // (access denied, an instrument without its firmware, no answer), with
    // what to do; empty when nothing of ours is on the bus.
    static std::string whyNoInstrument();
    // Why a scan stopped receiving data: disconnected, a full-speed (USB 1)
    // port, or no data within the driver's read time-out; with what to do.
    static std::string whyDataStopped();
    // The driver's bulk read time-out.
    static constexpr int kReadTimeoutSeconds = 10;

    // Called after each change of the texts above (UI thread).
    void setOnChanged(std::function<void()> onChanged) { onChanged_ = std::move(onChanged); }

private:
    void setStatus(const std::string& text, bool log);
    void changed();

    UserInteraction& ui_;
    ScanConfigurationStore& store_;
    bool silentMode_;
    std::function<void()> pump_;
    std::function<void()> onChanged_;
    FenmarlCommonDLL::Locker detectionLock_;
    bool skipNextSilentSearch_ = false;
    int watchToken_ = 0;
    std::string lastFailure_;

    mutable std::mutex stateMutex_;
    std::string status_;
    std::vector<std::string> entries_;
    std::vector<int> deviceIndexes_; // driver index of each entry
    int selection_ = -1;
    bool okEnabled_ = false;
};
