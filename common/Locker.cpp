#include "common/Locker.h"

namespace FenmarlCommonDLL {

Locker::Locker() = default;
Locker::~Locker() = default;

void Locker::enter()
{
    mutex_.lock();
}
void Locker::leave()
{
    mutex_.unlock();
}
bool Locker::tryEnter()
{
    return mutex_.try_lock();
}

ThreadLocker::ThreadLocker(Locker* locker, bool lockNow) : locker_(locker)
{
    if (lockNow) lock();
}

ThreadLocker::~ThreadLocker()
{
    unlock();
}

void ThreadLocker::lock()
{
    if (!locker_) return;
    locked_ = true;
    locker_->enter();
}

void ThreadLocker::unlock()
{
    if (locked_ && locker_) {
        locked_ = false;
        locker_->leave();
    }
}

} // namespace FenmarlCommonDLL
