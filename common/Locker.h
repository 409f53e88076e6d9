#pragma once

#include "common/Export.h"

#include <mutex>

namespace FenmarlCommonDLL {

// The system's one lock: recursive, process-local.
class FENMARL_COMMON_API Locker
{
public:
    Locker();
    virtual ~Locker();
    Locker(const Locker&) = delete;
    Locker& operator=(const Locker&) = delete;

    void enter();
    void leave();
    bool tryEnter();

private:
    std::recursive_mutex mutex_;
};

// Scoped holder; every caller passes lockNow = true.
class FENMARL_COMMON_API ThreadLocker
{
public:
    ThreadLocker(Locker* locker, bool lockNow);
    virtual ~ThreadLocker();
    ThreadLocker(const ThreadLocker&) = delete;
    ThreadLocker& operator=(const ThreadLocker&) = delete;

    void lock();
    void unlock();

private:
    bool locked_ = false;
    Locker* locker_;
};

} // namespace FenmarlCommonDLL
