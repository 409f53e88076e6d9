#include "app/shell/gui/GuiResources.h"

#include <QtCore/qglobal.h>

#include <mutex>

void initGuiResources()
{
    static std::once_flag once;
    // The resources live in a static library, so nothing registers them on its own.
    std::call_once(once, [] { Q_INIT_RESOURCE(tesselon); });
}
