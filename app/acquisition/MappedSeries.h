#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Growable array of doubles held in a memory-mapped temporary file, so long
// scans never need contiguous heap memory. Elements never written read as 0.
//
// The temporary file ("CILMappedArray" + unique suffix, in the temporary
// folder) is unlinked as soon as it is created: it lives only as long as the
// descriptor, so nothing is left behind even when the process is killed.
// The whole file is mapped at once; growing it remaps, so a reference or a
// pointer obtained from the series stays valid only until the next access
// that may grow it. Callers copy values at once.
class MappedSeries
{
public:
    static constexpr const char* kFilePrefix = "CILMappedArray";
    // Growth step: ten allocation units of 64 KiB.
    static constexpr std::size_t kGrowthMultiplier = 10;
    static constexpr std::size_t kAllocationGranularity = 65536;
    static constexpr std::size_t kGrowthStep = kGrowthMultiplier * kAllocationGranularity;

    MappedSeries() = default;
    ~MappedSeries();
    MappedSeries(const MappedSeries&) = delete;
    MappedSeries& operator=(const MappedSeries&) = delete;
    MappedSeries(MappedSeries&& other) noexcept;
    MappedSeries& operator=(MappedSeries&& other) noexcept;

    // Creates the backing file and maps the first growth step. 0 on success,
    // 1 when the file or the mapping cannot be made (the series then keeps
    // its values in anonymous memory instead, so it stays usable).
    int open();
    bool isOpen() const { return base_ != nullptr; }
    bool isFileBacked() const { return fd_ >= 0; }
    // Unmaps and closes; the series reads as empty afterwards.
    void destroy();

    // Makes room for elements [0, count) without throwing: false when the
    // storage cannot grow (temporary folder full, no memory); the series
    // keeps what it holds and growthError() says why.
    bool reserve(std::uint64_t count) noexcept;
    int growthError() const { return growthError_; }
    // The temporary folder the series' files are made in.
    static std::string temporaryFolder();
    // Growth beyond this many bytes per series fails as on a full disk
    // (0: no limit). Lets tests run out of storage without filling a disk.
    static void setGrowthLimitForTesting(std::uint64_t bytes);

    // Element access; grows the mapping when the index lies beyond it.
    // Throws std::bad_alloc when the storage cannot grow (reserve() first
    // where that must be a result).
    double& operator[](std::uint32_t index);
    // Read without growing: 0 beyond what is mapped.
    double get(std::uint32_t index) const { return index < capacity() ? base_[index] : 0.0; }
    // Contiguous access to [first, first + count), grown as needed. Valid
    // until the next growing access.
    double* span(std::uint32_t first, std::uint32_t count);
    const double* mappedData() const { return base_; }

    // Copies the first count values of other (unwritten ones as 0).
    void copyFrom(const MappedSeries& other, std::uint32_t count);
    // Every element back to 0 without giving the storage back.
    void zero();

    std::uint32_t highWaterCount() const { return highWater_; }
    std::uint64_t capacity() const { return mappingBytes_ / sizeof(double); }
    std::uint64_t mappingBytes() const { return mappingBytes_; }

private:
    void ensureOpen();
    void grow(std::uint64_t neededElements);
    bool tryGrow(std::uint64_t neededElements) noexcept;
    void release() noexcept;

    int fd_ = -1;
    double* base_ = nullptr;
    std::uint64_t mappingBytes_ = 0;
    std::uint32_t highWater_ = 0;
    int growthError_ = 0;
};
