#pragma once

#include "app/acquisition/ScanEvents.h"
#include "app/shell/FrameServices.h"

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class MainFrameControl;

// The main frame's message loop without windows: posted actions, the scan
// thread's notices and the two timers, all run on the thread that calls
// run*/pumpMessages. Silent runs and tests drive MainFrameControl with it.
class CoreFrameLoop : public FrameServices
{
public:
    CoreFrameLoop();
    ~CoreFrameLoop() override;

    // Where notices and timers go. Set before anything runs.
    void setControl(MainFrameControl* control) { control_ = control; }
    ScanEvents& scanEvents() { return events_; }

    // FrameServices
    void setTimer(int id, unsigned periodMs) override;
    void killTimer(int id) override;
    void pumpMessages() override;
    void post(std::function<void()> action) override;
    void enableMainWindowClose(bool enable) override { mainWindowCloseEnabled_ = enable; }
    CCorvelDoc* createDocument(const CScanConfiguration& configuration,
                               const DefaultSettings& settings) override;
    CCorvelDoc* activeDocument() override;
    void enableDocumentClose(CCorvelDoc& document, bool enable) override;
    void closeMainWindow() override { closed_ = true; }

    // Runs until the main window closes or limit passes; true when it closed.
    bool runUntilClosed(std::chrono::milliseconds limit);
    // Runs until condition holds or limit passes; true when it held.
    bool runUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit);

    bool closed() const { return closed_; }
    bool mainWindowCloseEnabled() const { return mainWindowCloseEnabled_; }
    bool documentCloseEnabled(const CCorvelDoc* document) const;
    bool timerRunning(int id) const { return timers_.count(id) != 0; }
    unsigned timerPeriod(int id) const;
    const std::vector<std::unique_ptr<CCorvelDoc>>& documents() const { return documents_; }
    // Makes another document the active one (as a click on its child frame would).
    void activate(CCorvelDoc* document) { active_ = document; }

private:
    struct Timer
    {
        unsigned period;
        std::chrono::steady_clock::time_point due;
    };
    // One pass: posted actions, notices, due timers. Waits at most `wait` for a notice.
    void processOnce(std::chrono::milliseconds wait);

    MainFrameControl* control_ = nullptr;
    QueuedScanEvents events_;
    std::deque<std::function<void()>> posted_;
    std::map<int, Timer> timers_;
    std::vector<std::unique_ptr<CCorvelDoc>> documents_;
    std::map<const CCorvelDoc*, bool> closeEnabled_;
    CCorvelDoc* active_ = nullptr;
    bool mainWindowCloseEnabled_ = true;
    bool closed_ = false;
};
