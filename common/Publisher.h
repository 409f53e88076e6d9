#pragma once

#include "common/Export.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

namespace FenmarlCommonDLL {

class FENMARL_COMMON_API Observer
{
public:
    virtual ~Observer();
    virtual void notify(std::uint32_t publisherId, int event) = 0;
};

// Tells its observers about numbered events, in the order they were added.
class FENMARL_COMMON_API Publisher
{
public:
    Publisher();
    virtual ~Publisher();
    Publisher(const Publisher&) = delete;
    Publisher& operator=(const Publisher&) = delete;

    // Returns this publisher's identifier; a null or present observer is not added again.
    std::uint32_t addObserver(Observer* observer);
    void removeObserver(Observer* observer);
    void notifyObservers(int event);
    std::uint32_t publisherId() const { return id_; }

    static std::uint32_t getNextPublisherID();

private:
    static std::atomic<std::uint32_t> s_PublisherID;
    std::uint32_t id_;
    std::mutex mutex_;
    std::vector<Observer*> observers_;
};

} // namespace FenmarlCommonDLL
