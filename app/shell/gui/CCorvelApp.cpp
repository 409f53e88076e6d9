#include "app/shell/gui/CCorvelApp.h"

#include "app/settings/ScanConfigurationStore.h"
#include "app/shell/ApplicationSequence.h"
#include "app/shell/gui/CMainFrame.h"
#include "app/shell/gui/CProgressDlg.h"
#include "app/shell/gui/MainFrameHost.h"
#include "app/shell/gui/MainProcessDiagDlg.h"
#include "app/shell/gui/ProcessOutput.h"
#include "app/shell/gui/QtUserInteraction.h"
#include "common/platform/Text.h"

#include <QPointer>
#include <QTimer>

CCorvelApp::CCorvelApp(unsigned detectionDelayMs)
    : detectionDelayMs_(detectionDelayMs), output_(std::make_unique<ProcessOutput>())
{
    ProcessOutput* output = output_.get();
    // The log's lines also go to the diagnostics window (queued until it opens).
    sequence_ = std::make_unique<ApplicationSequence>(nullptr, [output](const std::string& line) {
        output->writeOutput(FenmarlCommonDLL::platform::utf8ToWide(line));
    });
    ui_ = std::make_unique<QtUserInteraction>(nullptr);
}

CCorvelApp::~CCorvelApp()
{
    exitInstance();
    diagnostics_.reset();
    frame_.reset();
    ui_.reset();
    // Unloads the firmware loader and logs "Exit".
    sequence_.reset();
}

bool CCorvelApp::initInstance(const std::string& rawCommandLine)
{
    if (!sequence_->parseCommandLine(rawCommandLine, *ui_)) return false;
    ScanConfigurationStore::prepare(ui_.get(), sequence_->switches());
    storePrepared_ = true;
    ScanConfigurationStore& store = ScanConfigurationStore::instance();

    frame_ = std::make_unique<CMainFrame>();
    ui_->setOwner(frame_.get());
    host_ = std::make_unique<MainFrameHost>(*frame_, *ui_, store, sequence_->switches());
    diagnostics_ =
        std::make_unique<MainProcessDiagDlg>(sequence_->log().logger(), output_.get(), frame_.get());
    MainProcessDiagDlg* diagnostics = diagnostics_.get();
    QObject::connect(frame_.get(), &CMainFrame::showDebugWindowRequested, diagnostics, [diagnostics] {
        diagnostics->show();
        diagnostics->raise();
    });
    frame_->showFirstTime();

    QPointer<CMainFrame> frame = frame_.get();
    MainFrameHost* host = host_.get();
    QTimer::singleShot(detectionDelayMs_, frame_.get(), [frame, host] {
        if (frame) host->detectInstruments();
    });
    return true;
}

void CCorvelApp::exitInstance()
{
    // The scan control ends a running scan before the configuration is saved.
    host_.reset();
    if (storePrepared_) {
        storePrepared_ = false;
        sequence_->exitProcessing();
    }
}
