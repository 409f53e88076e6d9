#include "common/Publisher.h"

#include <algorithm>

namespace FenmarlCommonDLL {

std::atomic<std::uint32_t> Publisher::s_PublisherID{0};

Observer::~Observer() = default;

Publisher::Publisher() : id_(getNextPublisherID()) {}
Publisher::~Publisher() = default;

std::uint32_t Publisher::getNextPublisherID()
{
    return ++s_PublisherID;
}

std::uint32_t Publisher::addObserver(Observer* observer)
{
    std::lock_guard<std::mutex> guard(mutex_);
    if (observer && std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
        observers_.push_back(observer);
    return id_;
}

void Publisher::removeObserver(Observer* observer)
{
    std::lock_guard<std::mutex> guard(mutex_);
    std::erase(observers_, observer);
}

void Publisher::notifyObservers(int event)
{
    std::vector<Observer*> current;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        current = observers_;
    }
    // Called without the lock, so an observer may remove itself.
    for (Observer* o : current)
        o->notify(id_, event);
}

} // namespace FenmarlCommonDLL
