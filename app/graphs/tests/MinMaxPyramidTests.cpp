#include "app/graphs/MinMaxPyramid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace {

// Every bucket of every level against the minimum and maximum of its points.
void expectMatches(const MinMaxPyramid& p, const std::vector<double>& values)
{
    ASSERT_EQ(p.size(), values.size());
    for (std::size_t level = 0; level < p.levels(); ++level) {
        const std::size_t size = p.bucketSize(level);
        ASSERT_EQ(p.bucketCount(level), (values.size() + size - 1) / size) << "level " << level;
        for (std::size_t b = 0; b < p.bucketCount(level); ++b) {
            double lo = std::numeric_limits<double>::infinity();
            double hi = -lo;
            bool gap = false;
            for (std::size_t i = b * size; i < std::min(values.size(), (b + 1) * size); ++i) {
                if (std::isnan(values[i])) {
                    gap = true;
                    continue;
                }
                lo = std::min(lo, values[i]);
                hi = std::max(hi, values[i]);
            }
            const MinMaxPyramid::Bucket got = p.bucket(level, b);
            ASSERT_EQ(got.gap, gap) << "level " << level << " bucket " << b;
            if (lo > hi) {
                ASSERT_TRUE(got.empty()) << "level " << level << " bucket " << b;
            } else {
                ASSERT_EQ(got.min, lo) << "level " << level << " bucket " << b;
                ASSERT_EQ(got.max, hi) << "level " << level << " bucket " << b;
            }
        }
    }
    // The top level is a single bucket (or nothing at all).
    if (!values.empty()) {
        EXPECT_EQ(p.bucketCount(p.levels() - 1), 1u);
    } else {
        EXPECT_EQ(p.levels(), 0u);
    }
}

} // namespace

// Appends of every size and cuts at every kind of position, with gaps (not a
// number) and runs of them, keep every level equal to a fresh computation.
TEST(MinMaxPyramid, AppendsAndCutsKeepEveryLevelExact)
{
    std::mt19937 gen(11);
    std::uniform_real_distribution<double> value(-5.0, 5.0);
    std::uniform_int_distribution<int> chunk(0, 3000);
    std::vector<double> values;
    MinMaxPyramid p;
    for (int round = 0; round < 60; ++round) {
        const int n = round % 7 == 0 ? 1 : chunk(gen);
        std::vector<double> more;
        for (int i = 0; i < n; ++i)
            more.push_back(i % 97 < 9 && round % 3 == 0 ? std::nan("") : value(gen));
        p.append(more.data(), more.size());
        values.insert(values.end(), more.begin(), more.end());
        ASSERT_NO_FATAL_FAILURE(expectMatches(p, values)) << "after append in round " << round;
        if (round % 4 == 3) {
            const std::size_t keep = std::uniform_int_distribution<std::size_t>(0, values.size())(gen);
            p.truncate(keep, [&](std::size_t i) { return values[i]; });
            values.resize(keep);
            ASSERT_NO_FATAL_FAILURE(expectMatches(p, values)) << "after cut in round " << round;
        }
    }
    p.truncate(0, [&](std::size_t i) { return values[i]; });
    values.clear();
    expectMatches(p, values);
}

TEST(MinMaxPyramid, LevelForKeepsAtLeastTwoBucketsPerPixel)
{
    std::vector<double> values(1 << 20, 1.0);
    MinMaxPyramid p;
    p.append(values.data(), values.size());
    const std::size_t level = p.levelFor(values.size(), 1000.0);
    ASSERT_LT(level, p.levels());
    EXPECT_GE(values.size() / p.bucketSize(level), 2000u);
    EXPECT_LT(values.size() / p.bucketSize(level + 1), 2000u);
    // Fewer points than two per pixel: no level is coarse enough to help.
    EXPECT_EQ(p.levelFor(1500, 1000.0), p.levels());
}
