#pragma once

#include <memory>
#include <string>

class ApplicationSequence;
class CMainFrame;
class MainFrameHost;
class MainProcessDiagDlg;
class ProcessOutput;
class QtUserInteraction;

// The desktop program's application object: the log ("Started"/"Exit"),
// the firmware loader, the switches, the configuration store, the main
// window with its scan control, the diagnostics window and the first
// instrument detection. Silent runs do not come here (they have no windows).
class CCorvelApp
{
public:
    // detectionDelayMs: the pause between showing the window and the detection.
    explicit CCorvelApp(unsigned detectionDelayMs = 1000);
    ~CCorvelApp();
    CCorvelApp(const CCorvelApp&) = delete;
    CCorvelApp& operator=(const CCorvelApp&) = delete;

    // Parses the raw command line, builds and shows the main window and
    // schedules the detection. False when the switches were refused (their
    // messages have been shown); the program then ends.
    bool initInstance(const std::string& rawCommandLine);
    // Exit processing: the scan control ends, the configuration is saved.
    void exitInstance();

    CMainFrame* mainFrame() const { return frame_.get(); }
    MainFrameHost* host() const { return host_.get(); }
    QtUserInteraction& ui() const { return *ui_; }
    MainProcessDiagDlg* diagnostics() const { return diagnostics_.get(); }

private:
    unsigned detectionDelayMs_;
    std::unique_ptr<ProcessOutput> output_;
    std::unique_ptr<ApplicationSequence> sequence_;
    std::unique_ptr<QtUserInteraction> ui_;
    std::unique_ptr<CMainFrame> frame_;
    std::unique_ptr<MainProcessDiagDlg> diagnostics_;
    std::unique_ptr<MainFrameHost> host_;
    bool storePrepared_ = false;
};
