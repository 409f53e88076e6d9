#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

class CCorvelDoc;
class ScanConfigurationStore;
class ScanEvents;
class ScanProperties;
class UserInteraction;

// What a scan thread is started with. StartScan allocates it; the thread
// owns it and frees it when it ends.
struct ScanThreadParams
{
    ScanProperties* scan = nullptr;                 // the document's scan
    ScanEvents* events = nullptr;                   // the main window's notices and graph timer
    std::atomic<std::uint8_t>* dataReady = nullptr; // the document's dataReady
    ScanConfigurationStore* store = nullptr;        // gains, scalings, FFT settings, graph updates
    // Multiple mode: how long a run waits for the main window to save it
    // before it gives up (logged) and goes on.
    std::chrono::milliseconds saveWaitLimit{std::chrono::minutes(2)};
};

// Points fetched per driver read and input group.
inline constexpr int kScanChunkPoints = 65536;
// The number of points RunScan is given for a continuous scan (all bits set).
inline constexpr int kContinuousPoints = -1;

// Modes 0 (Single) and 1 (Continuous): acquisitions averaged into the scan.
void ScanThread(ScanThreadParams* params);
// Mode 2 (Multiple): NumberofRuns runs, each handed to the main window to save.
void MultipleScanThread(ScanThreadParams* params);

// Starts the thread for params (MultipleScanThread for mode 2, else
// ScanThread). False when the thread cannot be created; params are then freed.
bool LaunchScanThread(ScanThreadParams* params);
// Waits until the last launched scan thread has ended (exit, tests).
void WaitForScanThreadExit();

// Starts the document's scan: marks it modified, resets the pass/fail
// results, sets scanActive and the acquisition time, sizes both data sets and
// starts the thread. The configuration must already be in the document.
// A thread that cannot be created gives "Cannot start scan thread" (caption
// "Error", error icon) and false; the document keeps scanActive 1.
bool StartScan(CCorvelDoc& document, ScanEvents& events, ScanConfigurationStore& store, UserInteraction& ui,
               std::chrono::milliseconds saveWaitLimit = std::chrono::minutes(2));

// Graph refresh period: 2000 ms, or (interval + 1 s) rounded to milliseconds
// when the interval is longer than 2 s.
unsigned GraphTimerPeriodMs(double sampleInterval);

// A multiple scan's run file: fileName up to its last '.', then "_<run>.ts6",
// cut at kMaxRunFileName characters.
inline constexpr std::size_t kMaxRunFileName = 255;
std::string RunFileName(const std::string& fileName, int run);
// Whether the names of runs 0 … runs − 1 all fit uncut (cut names could
// collide and overwrite each other).
bool RunFileNamesFit(const std::string& fileName, int runs);

// The status pane's progress text for a running scan, from input 1's data
// set (the caller holds ScanDataLock).
std::string ScanProgressText(const ScanProperties& scan);
