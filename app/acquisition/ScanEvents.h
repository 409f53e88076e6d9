#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

// What the scan thread tells the main window. The scan thread never touches
// a window: it calls these from its own thread and the receiver queues them
// to the user-interface thread (the GUI through queued signals, silent runs
// and tests through QueuedScanEvents).
class ScanEvents
{
public:
    // The graph refresh timer the scan thread arms after each acquisition and
    // kills while it reads samples.
    static constexpr int kGraphTimerId = 1001;

    virtual ~ScanEvents() = default;

    // New data is consistent: refresh the views now.
    virtual void dataReady() = 0;
    // The scan thread has ended. instrumentFailed: the instrument stopped
    // delivering (failure, removal) while the scan was still wanted; what was
    // read until then is in the document.
    virtual void scanComplete(bool instrumentFailed) = 0;
    // Multiple mode: save the active document to fileName, then clear the
    // scan's savePending (the thread waits for it).
    virtual void saveRun(const std::string& fileName) = 0;
    virtual void armGraphTimer(unsigned periodMs) = 0;
    virtual void killGraphTimer() = 0;
};

// A thread-safe queue of scan notices, drained by the loop that owns the
// main frame's sequences (silent runs, tests).
class QueuedScanEvents : public ScanEvents
{
public:
    struct Notice
    {
        enum class Kind { DataReady, ScanComplete, SaveRun, ArmGraphTimer, KillGraphTimer } kind;
        std::string fileName;          // SaveRun
        unsigned periodMs = 0;         // ArmGraphTimer
        bool instrumentFailed = false; // ScanComplete
    };

    void dataReady() override;
    void scanComplete(bool instrumentFailed) override;
    void saveRun(const std::string& fileName) override;
    void armGraphTimer(unsigned periodMs) override;
    void killGraphTimer() override;

    // The oldest notice, waiting at most `timeout` for one.
    std::optional<Notice> next(std::chrono::milliseconds timeout);
    // The oldest notice if one is waiting.
    std::optional<Notice> poll() { return next(std::chrono::milliseconds(0)); }
    bool empty() const;

private:
    void push(Notice notice);

    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<Notice> queue_;
};
