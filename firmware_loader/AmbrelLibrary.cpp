// The library's load and unload hooks: loading builds the one FirmwareWatcher
// and starts its thread, unloading stops the thread and destroys it. The
// application calls nothing but may look up Ambrel_Init.
#include "firmware_loader/Export.h"
#include "firmware_loader/FirmwareWatcher.h"

namespace {

TorvaneDLL::FirmwareWatcher* g_watcher = nullptr;

__attribute__((constructor)) void ambrelLoad()
{
    if (g_watcher) return;
    // No exception may leave a load hook: it would abort the loading process.
    try {
        g_watcher = new TorvaneDLL::FirmwareWatcher(TorvaneDLL::FirmwareWatcher::defaultLogPath());
        g_watcher->start();
    } catch (...) {
    }
}

__attribute__((destructor)) void ambrelUnload()
{
    if (!g_watcher) return;
    try {
        g_watcher->stop();
    } catch (...) {
    }
    delete g_watcher;
    g_watcher = nullptr;
}

} // namespace

extern "C" AMBREL_API int Ambrel_Init()
{
    return 0;
}
