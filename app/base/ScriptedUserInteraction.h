#pragma once

#include "app/base/UserInteraction.h"

#include <deque>
#include <mutex>
#include <string>
#include <vector>

// UserInteraction for silent tests: records everything shown and answers
// from queued replies. Without a queued reply a message box answers IDOK_
// (IDYES_ for Yes/No boxes), a file or folder chooser cancels.
class ScriptedUserInteraction : public UserInteraction
{
public:
    struct Message
    {
        std::string text;
        std::string caption;
        unsigned flags = 0;
        unsigned icon() const { return flags & 0xF0u; }
        unsigned buttons() const { return flags & 0x0Fu; }
    };

    struct ProgressEvent
    {
        enum class Kind { Show, Text, Close } kind = Kind::Show;
        std::string title;
        std::string line1;
        std::string line2;
        bool showBar = false;
    };

    // Replies, consumed in order.
    void queueMessageReply(int result);
    void queueFiles(std::vector<std::filesystem::path> files);
    void queueFile(const std::filesystem::path& file) { queueFiles({file}); }
    void queueFolder(const std::filesystem::path& folder);

    int messageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    std::vector<std::filesystem::path> chooseFiles(const FileRequest& request) override;
    std::filesystem::path chooseFolder(const std::string& title,
                                       const std::filesystem::path& initialFolder) override;
    void showProgress(const std::string& title, const std::string& line1, const std::string& line2,
                      bool showBar) override;
    void setProgressText(const std::string& line1, const std::string& line2) override;
    void closeProgress() override;

    // What was shown (copies, safe to call from any thread).
    std::vector<Message> messages() const;
    std::vector<FileRequest> fileRequests() const;
    std::vector<ProgressEvent> progressEvents() const;
    std::vector<std::string> folderRequests() const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::deque<int> messageReplies_;
    std::deque<std::vector<std::filesystem::path>> fileReplies_;
    std::deque<std::filesystem::path> folderReplies_;
    std::vector<Message> messages_;
    std::vector<FileRequest> fileRequests_;
    std::vector<std::string> folderRequests_;
    std::vector<ProgressEvent> progress_;
};
