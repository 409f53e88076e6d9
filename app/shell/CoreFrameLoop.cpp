#include "app/shell/CoreFrameLoop.h"

#include "app/acquisition/CCorvelDoc.h"
#include "app/shell/MainFrameControl.h"

#include <algorithm>

using Clock = std::chrono::steady_clock;

CoreFrameLoop::CoreFrameLoop() = default;
CoreFrameLoop::~CoreFrameLoop() = default;

void CoreFrameLoop::setTimer(int id, unsigned periodMs)
{
    timers_[id] = Timer{periodMs, Clock::now() + std::chrono::milliseconds(periodMs)};
}

void CoreFrameLoop::killTimer(int id)
{
    timers_.erase(id);
}

unsigned CoreFrameLoop::timerPeriod(int id) const
{
    const auto it = timers_.find(id);
    return it == timers_.end() ? 0 : it->second.period;
}

void CoreFrameLoop::post(std::function<void()> action)
{
    posted_.push_back(std::move(action));
}

CCorvelDoc* CoreFrameLoop::createDocument(const CScanConfiguration& configuration,
                                          const DefaultSettings& settings)
{
    documents_.push_back(std::make_unique<CCorvelDoc>(configuration, settings));
    active_ = documents_.back().get();
    closeEnabled_[active_] = true;
    return active_;
}

CCorvelDoc* CoreFrameLoop::activeDocument()
{
    return active_;
}

void CoreFrameLoop::enableDocumentClose(CCorvelDoc& document, bool enable)
{
    closeEnabled_[&document] = enable;
}

bool CoreFrameLoop::documentCloseEnabled(const CCorvelDoc* document) const
{
    const auto it = closeEnabled_.find(document);
    return it == closeEnabled_.end() || it->second;
}

void CoreFrameLoop::pumpMessages()
{
    processOnce(std::chrono::milliseconds(0));
}

void CoreFrameLoop::processOnce(std::chrono::milliseconds wait)
{
    while (!posted_.empty()) {
        auto action = std::move(posted_.front());
        posted_.pop_front();
        action();
    }
    // Never sleep past a timer that falls due.
    auto until = Clock::now() + wait;
    for (const auto& [id, timer] : timers_)
        until = std::min(until, timer.due);
    const auto timeout =
        std::max(std::chrono::milliseconds(0),
                 std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()));
    if (auto notice = events_.next(timeout)) {
        if (control_) control_->dispatch(*notice);
        while ((notice = events_.poll()))
            if (control_) control_->dispatch(*notice);
    }
    const auto now = Clock::now();
    std::vector<int> due;
    for (auto& [id, timer] : timers_)
        if (timer.due <= now) {
            timer.due = now + std::chrono::milliseconds(std::max(timer.period, 1u));
            due.push_back(id);
        }
    for (int id : due)
        if (timers_.count(id) && control_) control_->onTimer(id);
}

bool CoreFrameLoop::runUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit)
{
    const auto deadline = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() >= deadline) return false;
        processOnce(std::chrono::milliseconds(20));
    }
    return true;
}

bool CoreFrameLoop::runUntilClosed(std::chrono::milliseconds limit)
{
    return runUntil([this] { return closed_; }, limit);
}
