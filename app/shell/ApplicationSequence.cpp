#include "app/shell/ApplicationSequence.h"

#include "app/acquisition/ScanDataLock.h"
#include "app/settings/ScanConfigurationStore.h"
#include "app/settings/SettingRanges.h"
#include "app/settings/SettingsFile.h"
#include "app/shell/CoreFrameLoop.h"
#include "app/shell/InstrumentDetection.h"
#include "app/shell/MainFrameControl.h"
#include "app/shell/TerminationSignals.h"
#include "app/base/UserInteraction.h"

#include <dlfcn.h>
#include <thread>

using namespace FenmarlCommonDLL::platform;

ApplicationSequence::ApplicationSequence(std::shared_ptr<FenmarlCommonDLL::Logger> logger,
                                         ApplicationLog::DiagnosticsSink diagnostics, bool loadFirmwareLoader)
    : log_(logger ? std::move(logger) : ApplicationLog::makeDefaultLogger(), std::move(diagnostics))
{
    SetApplicationLog(&log_);
    log_.logToLogFile(kSource, "Started", LogInformation);
    if (loadFirmwareLoader) loaderHandle_ = dlopen(kFirmwareLoaderLibrary, RTLD_NOW | RTLD_LOCAL);
}

ApplicationSequence::~ApplicationSequence()
{
    if (loaderHandle_) dlclose(loaderHandle_);
    log_.logToLogFile(kSource, "Exit", LogInformation);
    if (GetApplicationLog() == &log_) SetApplicationLog(nullptr);
}

bool ApplicationSequence::parseCommandLine(const std::string& raw, UserInteraction& ui)
{
    log_.logToLogFile(kSource, "Application started with command line: " + raw, LogInformation);
    return ParseCommandLine(raw, switches_, [&](const std::string& message) {
        ui.messageBox(message, "Tesselon-6", MB_OK_ | MB_ICONERROR_);
        log_.logToLogFile(kSource, message, LogError);
    });
}

void ApplicationSequence::exitProcessing()
{
    ScanConfigurationStore::exitProcessing();
}

int RunUnattended(const CommandLineSwitches& switches, UserInteraction& ui, const UnattendedOptions& options)
{
    bool settingsLoaded = true;
    std::string settingsRefusal;
    if (switches.isTemplateFileSet()) {
        CScanConfiguration configuration;
        DefaultSettings defaults;
        settingsLoaded = loadSettingsFile(switches.templateFile, configuration, defaults);
        if (settingsLoaded) {
            if (const auto refusal = SettingRanges::checkSettingsFile(
                    configuration, defaults, SettingRanges::availableMemoryBytes())) {
                settingsLoaded = false;
                settingsRefusal = " " + *refusal;
            }
        }
    }
    ScanConfigurationStore::prepare(&ui, switches);
    ScanConfigurationStore& store = ScanConfigurationStore::instance();

    int result = 1;
    {
        CoreFrameLoop loop;
        MainFrameControl control(ui, loop, loop.scanEvents(), store, switches);
        control.stopWaitLimit = options.stopWaitLimit;
        control.saveWaitLimit = options.saveWaitLimit;
        loop.setControl(&control);

        const auto signalled = [] { return TerminationSignals::pending() != 0; };
        // The folder first: it takes the result file of every other failure.
        if (!control.checkScanFolder(control.scanFolderForAutomaticNames())) {
            // Said before the instrument is touched; the result goes where it can.
            control.writeResultFile(false);
        } else if (!settingsLoaded) {
            control.writeResultFile(false, "Unattended run abandoned: the settings file " +
                                               switches.templateFile + " could not be loaded." +
                                               settingsRefusal);
        } else {
            std::this_thread::sleep_for(options.detectionDelay);
            InstrumentDetection detection(ui, store, switches.silentMode, [&loop] { loop.pumpMessages(); });
            if (!signalled()) control.silentDetectAndRun(detection);
            if (!loop.runUntil([&] { return loop.closed() || signalled(); }, options.limit)) {
                control.writeResultFile(false, "Unattended run abandoned: it did not end in time.");
            } else if (!loop.closed()) {
                control.endOnSignal(TerminationSignals::name(TerminationSignals::pending()));
            }
            // Notices still queued (the thread's last ones) have nothing left to do.
            loop.setControl(nullptr);
        }
        result = control.lastResult() == 1 ? 0 : 1;
    }
    ScanConfigurationStore::exitProcessing();
    return result;
}

int RunUnattendedProgram(const std::vector<std::string>& arguments, UserInteraction& ui,
                         const UnattendedOptions& options)
{
    ApplicationSequence application;
    if (!application.parseCommandLine(RawCommandLineFromArguments(arguments), ui)) return 2;
    if (!application.switches().silentMode) return 2;
    return RunUnattended(application.switches(), ui, options);
}
