#include "app/acquisition/ReplacingFile.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

ReplacingFile::ReplacingFile(const std::filesystem::path& target) : target_(target)
{
    std::string name = target.string() + ".XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        error_ = std::strerror(errno);
        return;
    }
    temporary_ = name;
    file_ = ::fdopen(fd, "wb");
    if (!file_) {
        error_ = std::strerror(errno);
        ::close(fd);
        ::unlink(name.c_str());
    }
}

ReplacingFile::~ReplacingFile()
{
    if (file_) {
        std::fclose(file_);
        ::unlink(temporary_.c_str());
    }
}

void ReplacingFile::write(const void* bytes, std::size_t size)
{
    if (!file_ || failed_ || size == 0) return;
    if (std::fwrite(bytes, 1, size, file_) != size) {
        failed_ = true;
        error_ = std::strerror(errno);
    }
}

bool ReplacingFile::commit()
{
    if (!file_) return false;
    std::FILE* f = file_;
    file_ = nullptr;
    // Writes through file() report their failures only here.
    bool ok = !failed_ && std::ferror(f) == 0;
    if (!ok && error_.empty()) error_ = std::strerror(errno ? errno : EIO);
    if (ok && (std::fflush(f) != 0 || ::fsync(::fileno(f)) != 0)) {
        ok = false;
        error_ = std::strerror(errno);
    }
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        error_ = std::strerror(errno);
    }
    if (ok) {
        // The permissions a newly created file would get.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::chmod(temporary_.c_str(), 0666 & ~mask);
        if (std::rename(temporary_.c_str(), target_.c_str()) == 0) return true;
        error_ = std::strerror(errno);
    }
    ::unlink(temporary_.c_str());
    return false;
}
