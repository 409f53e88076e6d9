#pragma once

#include "common/platform/MessageBoxCodes.h"

#include <filesystem>
#include <string>
#include <vector>

// Everything the application core shows to the user or asks of the user goes
// through this interface, so the core runs without widgets: the GUI answers
// with real dialogs, silent runs and tests with a script.
//
// Message-box flags and results are the Win32 numbers of common/platform/MessageBoxCodes.h
// (MB_OK_, MB_YESNO_, MB_ICONERROR_, ... and IDOK_, IDYES_, ...).
class UserInteraction
{
public:
    virtual ~UserInteraction() = default;

    // A message box with buttons and icon given by `flags`; returns the button
    // pressed (IDOK_ for a plain box).
    virtual int messageBox(const std::string& text, const std::string& caption, unsigned flags) = 0;

    // A Yes/No question; true for Yes.
    bool askYesNo(const std::string& text, const std::string& caption,
                  unsigned icon = FenmarlCommonDLL::platform::MB_ICONQUESTION_)
    {
        return messageBox(text, caption, FenmarlCommonDLL::platform::MB_YESNO_ | icon) ==
               FenmarlCommonDLL::platform::IDYES_;
    }

    // File open/save dialog. `filter` is the Windows form
    // ("Scan Template Files (*.tst)|*.tst||"); the GUI translates it.
    struct FileRequest
    {
        bool save = false;
        std::string title;            // empty: the toolkit's default title
        std::string defaultExtension; // without the dot: "tst"
        std::string filter;
        std::filesystem::path initialFolder;
        std::string initialFileName;
        bool hideReadOnly = true;
        bool overwritePrompt = false;   // save: ask before replacing
        bool fileMustExist = false;     // open: only existing files
        bool multipleSelection = false; // open: several files
    };
    // The chosen files (one unless multipleSelection); empty when cancelled.
    virtual std::vector<std::filesystem::path> chooseFiles(const FileRequest& request) = 0;

    // Single-file convenience over chooseFiles; empty path when cancelled.
    std::filesystem::path chooseFile(const FileRequest& request)
    {
        const auto files = chooseFiles(request);
        return files.empty() ? std::filesystem::path() : files.front();
    }

    // Folder chooser; empty path when cancelled.
    virtual std::filesystem::path chooseFolder(const std::string& title,
                                               const std::filesystem::path& initialFolder) = 0;

    // The modeless progress dialog: a title and two text lines (an empty
    // line is hidden). showBar false hides the bar and shows the animation.
    virtual void showProgress(const std::string& title, const std::string& line1, const std::string& line2,
                              bool showBar) = 0;
    virtual void setProgressText(const std::string& line1, const std::string& line2) = 0;
    virtual void closeProgress() = 0;
};

// For the core's own quiet uses (reading a file for its values, exporting):
// only messages are handled, by the subclass; choosers cancel and progress is
// not shown.
class MessageOnlyInteraction : public UserInteraction
{
public:
    std::vector<std::filesystem::path> chooseFiles(const FileRequest&) override { return {}; }
    std::filesystem::path chooseFolder(const std::string&, const std::filesystem::path&) override
    {
        return {};
    }
    void showProgress(const std::string&, const std::string&, const std::string&, bool) override {}
    void setProgressText(const std::string&, const std::string&) override {}
    void closeProgress() override {}
};
