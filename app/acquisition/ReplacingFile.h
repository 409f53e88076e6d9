#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <string>

// A file written beside its target and renamed over it when complete, so a
// failed export never leaves half a file under the target's name.
class ReplacingFile
{
public:
    explicit ReplacingFile(const std::filesystem::path& target);
    // An uncommitted file is removed.
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    bool isOpen() const { return file_ != nullptr; }
    std::FILE* file() const { return file_; }
    // Why the file could not be made or written (the system's text).
    const std::string& error() const { return error_; }

    void write(const void* bytes, std::size_t size);
    void write(const std::string& text) { write(text.data(), text.size()); }

    // Flushes to the disk and renames over the target; false (with error()) when
    // anything written before failed, and then the target is left as it was.
    bool commit();

private:
    std::filesystem::path target_;
    std::string temporary_;
    std::string error_;
    std::FILE* file_ = nullptr;
    bool failed_ = false;
};
