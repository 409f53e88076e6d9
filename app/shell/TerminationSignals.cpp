#include "app/shell/TerminationSignals.h"

#include <atomic>
#include <csignal>

namespace TerminationSignals {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

std::atomic<int> noted{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void onSignal(int signal)
{
    int expected = 0;
    noted.compare_exchange_strong(expected, signal);
}

} // namespace

void install()
{
    for (const int signal : kSignals) {
        struct sigaction action = {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND | SA_RESTART;
        sigaction(signal, &action, nullptr);
    }
}

int pending()
{
    return noted.load();
}

std::string name(int signal)
{
    switch (signal) {
    case SIGTERM:
        return "SIGTERM";
    case SIGINT:
        return "SIGINT";
    case SIGHUP:
        return "SIGHUP";
    default:
        return "signal " + std::to_string(signal);
    }
}

void reset()
{
    noted = 0;
    for (const int signal : kSignals)
        std::signal(signal, SIG_DFL);
}

} // namespace TerminationSignals
