#include "app/base/ScriptedUserInteraction.h"

namespace platform = FenmarlCommonDLL::platform;

void ScriptedUserInteraction::queueMessageReply(int result)
{
    std::lock_guard lock(mutex_);
    messageReplies_.push_back(result);
}

void ScriptedUserInteraction::queueFiles(std::vector<std::filesystem::path> files)
{
    std::lock_guard lock(mutex_);
    fileReplies_.push_back(std::move(files));
}

void ScriptedUserInteraction::queueFolder(const std::filesystem::path& folder)
{
    std::lock_guard lock(mutex_);
    folderReplies_.push_back(folder);
}

int ScriptedUserInteraction::messageBox(const std::string& text, const std::string& caption, unsigned flags)
{
    std::lock_guard lock(mutex_);
    messages_.push_back({text, caption, flags});
    if (!messageReplies_.empty()) {
        const int reply = messageReplies_.front();
        messageReplies_.pop_front();
        return reply;
    }
    const unsigned buttons = flags & 0x0Fu;
    if (buttons == platform::MB_YESNO_ || buttons == platform::MB_YESNOCANCEL_) return platform::IDYES_;
    return platform::IDOK_;
}

std::vector<std::filesystem::path> ScriptedUserInteraction::chooseFiles(const FileRequest& request)
{
    std::lock_guard lock(mutex_);
    fileRequests_.push_back(request);
    if (fileReplies_.empty()) return {};
    auto reply = std::move(fileReplies_.front());
    fileReplies_.pop_front();
    return reply;
}

std::filesystem::path ScriptedUserInteraction::chooseFolder(const std::string& title,
                                                            const std::filesystem::path& /*initialFolder*/)
{
    std::lock_guard lock(mutex_);
    folderRequests_.push_back(title);
    if (folderReplies_.empty()) return {};
    auto reply = folderReplies_.front();
    folderReplies_.pop_front();
    return reply;
}

void ScriptedUserInteraction::showProgress(const std::string& title, const std::string& line1,
                                           const std::string& line2, bool showBar)
{
    std::lock_guard lock(mutex_);
    progress_.push_back({ProgressEvent::Kind::Show, title, line1, line2, showBar});
}

void ScriptedUserInteraction::setProgressText(const std::string& line1, const std::string& line2)
{
    std::lock_guard lock(mutex_);
    progress_.push_back({ProgressEvent::Kind::Text, {}, line1, line2, false});
}

void ScriptedUserInteraction::closeProgress()
{
    std::lock_guard lock(mutex_);
    progress_.push_back({ProgressEvent::Kind::Close, {}, {}, {}, false});
}

std::vector<ScriptedUserInteraction::Message> ScriptedUserInteraction::messages() const
{
    std::lock_guard lock(mutex_);
    return messages_;
}

std::vector<UserInteraction::FileRequest> ScriptedUserInteraction::fileRequests() const
{
    std::lock_guard lock(mutex_);
    return fileRequests_;
}

std::vector<ScriptedUserInteraction::ProgressEvent> ScriptedUserInteraction::progressEvents() const
{
    std::lock_guard lock(mutex_);
    return progress_;
}

std::vector<std::string> ScriptedUserInteraction::folderRequests() const
{
    std::lock_guard lock(mutex_);
    return folderRequests_;
}

void ScriptedUserInteraction::clear()
{
    std::lock_guard lock(mutex_);
    messageReplies_.clear();
    fileReplies_.clear();
    folderReplies_.clear();
    messages_.clear();
    fileRequests_.clear();
    folderRequests_.clear();
    progress_.clear();
}
