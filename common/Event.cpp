#include "common/Event.h"

#include <chrono>

namespace FenmarlCommonDLL {

struct Event::State
{
    std::mutex mutex;
    std::condition_variable cv;
    bool signalled = false;
};

Event::Event() : state_(std::make_shared<State>()) {}
Event::Event(const wchar_t*) : Event() {}
Event::~Event() = default;

void Event::wakeUp()
{
    {
        std::lock_guard<std::mutex> guard(state_->mutex);
        state_->signalled = true;
    }
    state_->cv.notify_all();
}

void Event::reset()
{
    std::lock_guard<std::mutex> guard(state_->mutex);
    state_->signalled = false;
}

bool Event::sleep(unsigned long milliseconds)
{
    std::unique_lock<std::mutex> guard(state_->mutex);
    // INFINITE (0xFFFFFFFF) waits for ever, as WaitForSingleObject does.
    if (milliseconds == 0xFFFFFFFFul) {
        state_->cv.wait(guard, [this] { return state_->signalled; });
        return true;
    }
    return state_->cv.wait_for(guard, std::chrono::milliseconds(milliseconds),
                               [this] { return state_->signalled; });
}

bool Event::isSignalled() const
{
    std::lock_guard<std::mutex> guard(state_->mutex);
    return state_->signalled;
}

} // namespace FenmarlCommonDLL
