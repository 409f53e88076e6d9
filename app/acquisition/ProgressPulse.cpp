#include "app/acquisition/ProgressPulse.h"

#include <thread>

namespace {

std::function<void()> pulseHook;
std::thread::id pulseThread;

} // namespace

void SetProgressPulse(std::function<void()> hook)
{
    pulseHook = std::move(hook);
    pulseThread = std::this_thread::get_id();
}

void ClearProgressPulse()
{
    pulseHook = nullptr;
    pulseThread = std::thread::id();
}

void ProgressPulse()
{
    if (pulseHook && std::this_thread::get_id() == pulseThread) pulseHook();
}
