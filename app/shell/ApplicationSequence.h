#pragma once

#include "app/base/AppLog.h"
#include "app/base/CommandLine.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

class UserInteraction;

// The application object's life as logic, in the order the GUI follows:
//   construction: log file, "Started", firmware loader loaded;
//   start-up: parseCommandLine (failure ends the program), main frame,
//     diagnostics window, kDetectionDelayMs, instrument detection (silent:
//     MainFrameControl::silentDetectAndRun), printer set-up;
//   exit: exitProcessing (configuration saved), then destruction: loader
//     unloaded, "Exit".
class ApplicationSequence
{
public:
    static constexpr const char* kSource = "Tesselon";
    static constexpr const char* kFirmwareLoaderLibrary = "libAmbrel.so";
    static constexpr unsigned kDetectionDelayMs = 1000;

    // Installs the application log (the default Tesselon.log when logger is
    // null) and logs "Started". loadFirmwareLoader: load the loader library,
    // whose own watcher uploads firmware to bare instruments; failing to load
    // it is tolerated.
    explicit ApplicationSequence(std::shared_ptr<FenmarlCommonDLL::Logger> logger = nullptr,
                                 ApplicationLog::DiagnosticsSink diagnostics = {},
                                 bool loadFirmwareLoader = true);
    virtual ~ApplicationSequence();
    ApplicationSequence(const ApplicationSequence&) = delete;
    ApplicationSequence& operator=(const ApplicationSequence&) = delete;

    ApplicationLog& log() { return log_; }
    const CommandLineSwitches& switches() const { return switches_; }
    bool firmwareLoaderLoaded() const { return loaderHandle_ != nullptr; }

    // The program's own switches from the raw command line: logged, each
    // error shown (caption "Tesselon-6", error icon) and logged. False on any error.
    bool parseCommandLine(const std::string& raw, UserInteraction& ui);

    // Exit processing: saves the whole configuration and destroys the store.
    void exitProcessing();

private:
    ApplicationLog log_;
    CommandLineSwitches switches_;
    void* loaderHandle_ = nullptr;
};

struct UnattendedOptions
{
    // Pause between start-up and the detection.
    std::chrono::milliseconds detectionDelay{ApplicationSequence::kDetectionDelayMs};
    // The whole run is abandoned (result "No") after this long.
    std::chrono::milliseconds limit{std::chrono::hours(24)};
    // The Stop sequence's two waits and a multiple scan's save hand-shake.
    std::chrono::milliseconds stopWaitLimit{10000};
    std::chrono::milliseconds saveWaitLimit{std::chrono::minutes(2)};
};

// The silent run after start-up: configuration store (registry or -i
// settings file), detection of the first instrument, connection and zeroing,
// one scan, completion with the scan file, its text export and the result
// file, then exit processing. Returns 0 when the scan completed and was saved,
// 1 otherwise. A settings file that cannot be loaded ends the run with the
// result "No" instead of scanning with half-reset settings.
int RunUnattended(const CommandLineSwitches& switches, UserInteraction& ui,
                  const UnattendedOptions& options = {});

// The whole program without windows: application object, switches from
// argv (without the program name), the silent run when -s is given. Returns
// the exit code (2 for bad switches or a run without -s).
int RunUnattendedProgram(const std::vector<std::string>& arguments, UserInteraction& ui,
                         const UnattendedOptions& options = {});
