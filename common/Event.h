#pragma once

#include "common/Export.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

namespace FenmarlCommonDLL {

// Manual-reset event, initially not signalled. Not copyable.
class FENMARL_COMMON_API Event
{
public:
    Event();
    explicit Event(const wchar_t* name); // named events are process-local here
    virtual ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void wakeUp();
    void reset();
    // True only when signalled within the time.
    bool sleep(unsigned long milliseconds);
    bool isSignalled() const;

private:
    struct State;
    std::shared_ptr<State> state_;
};

} // namespace FenmarlCommonDLL
