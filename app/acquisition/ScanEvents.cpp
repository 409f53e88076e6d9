#include "app/acquisition/ScanEvents.h"

void QueuedScanEvents::push(Notice notice)
{
    {
        std::lock_guard<std::mutex> hold(mutex_);
        queue_.push_back(std::move(notice));
    }
    arrived_.notify_all();
}

void QueuedScanEvents::dataReady()
{
    push({Notice::Kind::DataReady, {}, 0, false});
}

void QueuedScanEvents::scanComplete(bool instrumentFailed)
{
    push({Notice::Kind::ScanComplete, {}, 0, instrumentFailed});
}

void QueuedScanEvents::saveRun(const std::string& fileName)
{
    push({Notice::Kind::SaveRun, fileName, 0, false});
}

void QueuedScanEvents::armGraphTimer(unsigned periodMs)
{
    push({Notice::Kind::ArmGraphTimer, {}, periodMs, false});
}

void QueuedScanEvents::killGraphTimer()
{
    push({Notice::Kind::KillGraphTimer, {}, 0, false});
}

std::optional<QueuedScanEvents::Notice> QueuedScanEvents::next(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> hold(mutex_);
    if (!arrived_.wait_for(hold, timeout, [this] { return !queue_.empty(); })) return std::nullopt;
    Notice notice = std::move(queue_.front());
    queue_.pop_front();
    return notice;
}

bool QueuedScanEvents::empty() const
{
    std::lock_guard<std::mutex> hold(mutex_);
    return queue_.empty();
}
