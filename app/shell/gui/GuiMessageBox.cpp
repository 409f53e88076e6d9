#include "app/shell/gui/GuiMessageBox.h"

#include "app/shell/gui/MessageBoxMapping.h"
#include "common/platform/Hooks.h"

#include <QApplication>

#include <cstdio>

namespace hooks = FenmarlCommonDLL::platform;

namespace {

int showBox(const std::string& text, const std::string& caption, unsigned flags)
{
    if (MessageBoxMapping::nobodyToAnswer()) {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        return MessageBoxMapping::unattendedAnswer(flags);
    }
    return MessageBoxMapping::exec(text, caption, flags, QApplication::activeWindow());
}

} // namespace

void installGuiMessageBoxHandler()
{
    hooks::setMessageBoxHandler(showBox);
}
