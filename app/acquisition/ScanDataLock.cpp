#include "app/acquisition/ScanDataLock.h"

std::atomic<bool> scanRequested{false};
std::atomic<bool> scanThreadActive{false};

FenmarlCommonDLL::Locker& ScanDataLock()
{
    // Built on first use so that static objects of other files may take it.
    static FenmarlCommonDLL::Locker lock;
    return lock;
}
