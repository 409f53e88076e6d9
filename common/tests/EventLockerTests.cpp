#include "common/Event.h"
#include "common/Locker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace FenmarlCommonDLL;

TEST(Event, ManualResetWakesWaitersUntilReset)
{
    Event event;
    EXPECT_FALSE(event.sleep(0));
    EXPECT_FALSE(event.sleep(10));
    std::atomic<bool> woke{false};
    std::thread waiter([&] { woke = event.sleep(60000); });
    event.wakeUp();
    waiter.join();
    EXPECT_TRUE(woke);
    // Manual reset: it stays signalled for every later wait.
    EXPECT_TRUE(event.sleep(0));
    EXPECT_TRUE(event.isSignalled());
    event.reset();
    EXPECT_FALSE(event.sleep(0));
    Event named(L"Global\\Something");
    EXPECT_FALSE(named.sleep(0));
}

TEST(Locker, RecursiveScopedHoldersExcludeOtherThreads)
{
    Locker lock;
    int shared = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 5000; ++i) {
                ThreadLocker outer(&lock, true);
                ThreadLocker inner(&lock, true); // the same thread may hold it twice
                ++shared;
            }
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(shared, 20000);

    ThreadLocker early(&lock, true);
    early.unlock();
    early.unlock(); // a second unlock leaves it alone
    std::thread other([&] {
        EXPECT_TRUE(lock.tryEnter());
        lock.leave();
    });
    other.join();
}
