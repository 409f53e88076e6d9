#include "app/acquisition/MappedSeries.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <new>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>

namespace {

std::atomic<std::uint64_t> growthLimit{0};

std::string temporaryTemplate()
{
    return (std::filesystem::path(MappedSeries::temporaryFolder()) /
            (std::string(MappedSeries::kFilePrefix) + "XXXXXX"))
        .string();
}

std::uint64_t roundUpToStep(std::uint64_t bytes)
{
    const std::uint64_t step = MappedSeries::kGrowthStep;
    return (bytes + step - 1) / step * step;
}

} // namespace

std::string MappedSeries::temporaryFolder()
{
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
    if (ec) dir = "/tmp";
    return dir.string();
}

void MappedSeries::setGrowthLimitForTesting(std::uint64_t bytes)
{
    growthLimit = bytes;
}

MappedSeries::~MappedSeries()
{
    release();
}

MappedSeries::MappedSeries(MappedSeries&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), base_(std::exchange(other.base_, nullptr)),
      mappingBytes_(std::exchange(other.mappingBytes_, 0)), highWater_(std::exchange(other.highWater_, 0))
{
}

MappedSeries& MappedSeries::operator=(MappedSeries&& other) noexcept
{
    if (this != &other) {
        release();
        fd_ = std::exchange(other.fd_, -1);
        base_ = std::exchange(other.base_, nullptr);
        mappingBytes_ = std::exchange(other.mappingBytes_, 0);
        highWater_ = std::exchange(other.highWater_, 0);
    }
    return *this;
}

void MappedSeries::release() noexcept
{
    if (base_) ::munmap(base_, mappingBytes_);
    if (fd_ >= 0) ::close(fd_);
    base_ = nullptr;
    fd_ = -1;
    mappingBytes_ = 0;
    highWater_ = 0;
}

void MappedSeries::destroy()
{
    release();
}

int MappedSeries::open()
{
    if (base_) return fd_ >= 0 ? 0 : 1;
    std::string name = temporaryTemplate();
    int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0) {
        // Unlinked at once: the kernel frees the file with its last descriptor.
        ::unlink(name.c_str());
        const std::uint64_t bytes = kGrowthStep;
        void* map = MAP_FAILED;
        if (::posix_fallocate(fd, 0, static_cast<off_t>(bytes)) == 0)
            map = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (map != MAP_FAILED) {
            fd_ = fd;
            base_ = static_cast<double*>(map);
            mappingBytes_ = bytes;
            return 0;
        }
        ::close(fd);
    }
    // No usable temporary folder: anonymous memory still reads 0 where unwritten.
    void* map = ::mmap(nullptr, kGrowthStep, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED) return 1;
    base_ = static_cast<double*>(map);
    mappingBytes_ = kGrowthStep;
    return 1;
}

void MappedSeries::ensureOpen()
{
    if (!base_) {
        open();
        if (!base_) throw std::bad_alloc();
    }
}

void MappedSeries::grow(std::uint64_t neededElements)
{
    if (!tryGrow(neededElements)) throw std::bad_alloc();
}

bool MappedSeries::tryGrow(std::uint64_t neededElements) noexcept
{
    // Grow by at least half the current size so long series remap only a
    // logarithmic number of times.
    const std::uint64_t neededBytes = neededElements * sizeof(double);
    std::uint64_t newBytes = roundUpToStep(
        std::max({neededBytes, mappingBytes_ + kGrowthStep, mappingBytes_ + mappingBytes_ / 2}));
    const std::uint64_t limit = growthLimit.load();
    if (limit != 0 && newBytes > limit) {
        // Near the limit only what is needed is taken, as on a nearly full disk.
        newBytes = std::max(roundUpToStep(neededBytes), mappingBytes_);
        if (newBytes > limit) {
            growthError_ = ENOSPC;
            return false;
        }
    }
    if (fd_ >= 0) {
        // Reserve the blocks now: a sparse file on a full disk would fault on write.
        const int rc = ::posix_fallocate(fd_, static_cast<off_t>(mappingBytes_),
                                         static_cast<off_t>(newBytes - mappingBytes_));
        if (rc != 0) {
            growthError_ = rc;
            return false;
        }
    }
    void* map = ::mremap(base_, mappingBytes_, newBytes, MREMAP_MAYMOVE);
    if (map == MAP_FAILED) {
        growthError_ = errno;
        return false;
    }
    base_ = static_cast<double*>(map);
    mappingBytes_ = newBytes;
    return true;
}

bool MappedSeries::reserve(std::uint64_t count) noexcept
{
    if (!base_) {
        try {
            open();
        } catch (const std::exception&) {
            // Reported below as no memory.
        }
    }
    if (!base_) {
        growthError_ = ENOMEM;
        return false;
    }
    return count <= capacity() || tryGrow(count);
}

double& MappedSeries::operator[](std::uint32_t index)
{
    if (index >= capacity() || !base_) {
        ensureOpen();
        if (index >= capacity()) grow(std::uint64_t(index) + 1);
    }
    if (index >= highWater_) highWater_ = index + 1;
    return base_[index];
}

double* MappedSeries::span(std::uint32_t first, std::uint32_t count)
{
    ensureOpen();
    const std::uint64_t end = std::uint64_t(first) + count;
    if (end > capacity()) grow(end);
    if (count > 0 && end > highWater_)
        highWater_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(end, UINT32_MAX));
    return base_ + first;
}

void MappedSeries::copyFrom(const MappedSeries& other, std::uint32_t count)
{
    if (count == 0) return;
    double* dst = span(0, count);
    const std::uint64_t available = std::min<std::uint64_t>(count, other.base_ ? other.capacity() : 0);
    if (available > 0) std::memcpy(dst, other.base_, available * sizeof(double));
    std::fill(dst + available, dst + count, 0.0);
}

void MappedSeries::zero()
{
    if (base_) std::memset(base_, 0, mappingBytes_);
}
