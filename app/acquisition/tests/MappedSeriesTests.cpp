#include "app/acquisition/MappedSeries.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <new>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Open descriptors of this process that point at a series' temporary file.
int openSeriesFiles()
{
    int count = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        const fs::path target = fs::read_symlink(entry.path(), ec);
        if (!ec && target.filename().string().find(MappedSeries::kFilePrefix) != std::string::npos) ++count;
    }
    return count;
}

int seriesFilesInTemporaryFolder()
{
    int count = 0;
    for (const auto& entry : fs::directory_iterator(fs::temp_directory_path()))
        if (entry.path().filename().string().rfind(MappedSeries::kFilePrefix, 0) == 0) ++count;
    return count;
}

} // namespace

TEST(MappedSeries, UnwrittenElementsReadZeroEverywhere)
{
    MappedSeries s;
    EXPECT_EQ(s.open(), 0);
    EXPECT_TRUE(s.isFileBacked());
    EXPECT_EQ(s.get(5), 0.0);
    EXPECT_EQ(s.get(50'000'000), 0.0); // beyond the mapping: no growth on read
    EXPECT_EQ(s.capacity(), MappedSeries::kGrowthStep / sizeof(double));
    s[3] = 7.5;
    EXPECT_EQ(s[2], 0.0);
    EXPECT_EQ(s[1'000'000], 0.0); // grows, new part reads 0
    EXPECT_EQ(s.get(3), 7.5);
    EXPECT_EQ(s.highWaterCount(), 1'000'001u);
}

TEST(MappedSeries, GrowthKeepsEveryEarlierValueAndWindowMovesBack)
{
    MappedSeries s;
    s.open();
    const std::uint32_t last = 3'000'000;
    for (std::uint32_t i = 0; i < last; i += 997)
        s[i] = i * 0.5;
    s[last] = -1.0; // far past the first growth step
    EXPECT_GT(s.capacity(), last);
    s[0] = 42.0; // back to the start after a high index
    for (std::uint32_t i = 997; i < last; i += 997)
        ASSERT_EQ(s[i], i * 0.5) << i;
    EXPECT_EQ(s[0], 42.0);
    EXPECT_EQ(s[last], -1.0);
}

TEST(MappedSeries, TemporaryFileNeverVisibleAndGoneWithTheSeries)
{
    const int before = openSeriesFiles();
    {
        MappedSeries a;
        MappedSeries b;
        a.open();
        b.open();
        a[200'000] = 1.0;
        EXPECT_EQ(openSeriesFiles(), before + 2);
        // Unlinked at creation: nothing to leave behind.
        EXPECT_EQ(seriesFilesInTemporaryFolder(), 0);
        MappedSeries moved(std::move(a));
        EXPECT_EQ(moved.get(200'000), 1.0);
        EXPECT_FALSE(a.isOpen());
        b.destroy();
        EXPECT_EQ(openSeriesFiles(), before + 1);
    }
    EXPECT_EQ(openSeriesFiles(), before);
}

TEST(MappedSeries, KilledProcessLeavesNoTemporaryFile)
{
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        MappedSeries s;
        s.open();
        s[100'000] = 3.0;
        ::raise(SIGKILL);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(seriesFilesInTemporaryFolder(), 0);
}

TEST(MappedSeries, StorageThatCannotGrowIsAResultAndKeepsTheValues)
{
    MappedSeries::setGrowthLimitForTesting(2 * MappedSeries::kGrowthStep);
    MappedSeries series;
    ASSERT_EQ(series.open(), 0);
    const std::uint64_t fits = 2 * MappedSeries::kGrowthStep / sizeof(double);
    ASSERT_TRUE(series.reserve(fits)) << "up to the limit the storage grows";
    series[static_cast<std::uint32_t>(fits - 1)] = 42.0;
    series[7] = 7.0;
    EXPECT_FALSE(series.reserve(fits + 1));
    EXPECT_EQ(series.growthError(), ENOSPC);
    EXPECT_EQ(series.capacity(), fits) << "a failed growth leaves the storage as it was";
    EXPECT_EQ(series.get(static_cast<std::uint32_t>(fits - 1)), 42.0);
    EXPECT_EQ(series.get(7), 7.0);
    // The element operators still report it as an exception to callers that did not reserve.
    EXPECT_THROW(series[static_cast<std::uint32_t>(fits)], std::bad_alloc);
    MappedSeries::setGrowthLimitForTesting(0);
    EXPECT_TRUE(series.reserve(fits + 1));
    EXPECT_EQ(series.get(static_cast<std::uint32_t>(fits - 1)), 42.0);
}
