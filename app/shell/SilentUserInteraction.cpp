#include "app/shell/SilentUserInteraction.h"

#include "app/base/AppLog.h"

#include <cstdio>

using namespace FenmarlCommonDLL::platform;

SilentUserInteraction::SilentUserInteraction(Sink sink) : sink_(std::move(sink))
{
    if (!sink_) sink_ = [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); };
}

int SilentUserInteraction::messageBox(const std::string& text, const std::string& caption, unsigned flags)
{
    const unsigned icon = flags & 0xF0u;
    LogToLogFile("Tesselon", caption + ": " + text,
                 icon == MB_ICONERROR_         ? LogError
                 : icon == MB_ICONEXCLAMATION_ ? LogWarning
                                               : LogInformation);
    sink_(caption + ": " + text);
    const unsigned buttons = flags & 0x0Fu;
    return (buttons == MB_YESNO_ || buttons == MB_YESNOCANCEL_) ? IDYES_ : IDOK_;
}

void SilentUserInteraction::showProgress(const std::string& title, const std::string& line1,
                                         const std::string& line2, bool)
{
    sink_(title + ": " + line1 + (line2.empty() ? "" : " " + line2));
}

void SilentUserInteraction::setProgressText(const std::string& line1, const std::string& line2)
{
    sink_(line1 + (line2.empty() ? "" : " " + line2));
}
