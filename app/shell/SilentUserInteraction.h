#pragma once

#include "app/base/UserInteraction.h"

#include <functional>
#include <string>

// UserInteraction of a silent run without any window: every message goes to
// the log and to a text sink (stderr by default); message boxes answer OK,
// questions Yes (the answer an unattended run needs to go on), choosers
// cancel (as for the core's quiet uses), progress is written as text.
class SilentUserInteraction : public MessageOnlyInteraction
{
public:
    using Sink = std::function<void(const std::string& line)>;
    explicit SilentUserInteraction(Sink sink = {});

    int messageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    void showProgress(const std::string& title, const std::string& line1, const std::string& line2,
                      bool showBar) override;
    void setProgressText(const std::string& line1, const std::string& line2) override;

private:
    Sink sink_;
};
