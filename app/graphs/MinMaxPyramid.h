#pragma once

#include <cstddef>
#include <functional>
#include <vector>

// Minima and maxima of a growing series per bucket of consecutive points, at
// bucket sizes kBaseBucket × 2^level. A pane a thousand pixels wide then draws
// a record of millions of points from a few thousand buckets, and appending
// costs only the new points. The series may also be cut back at its end.
// Values that are not numbers take no part in the extremes, but mark their
// bucket as holding a gap, which the drawing keeps.
class MinMaxPyramid
{
public:
    // 16 points: the pyramid takes about 3 bytes per point over all levels.
    static constexpr std::size_t kBaseBucket = 16;

    struct Bucket
    {
        double min;
        double max;
        bool gap; // holds a value that is not a number
        bool empty() const { return !(min <= max); }
    };

    void clear();
    // Adds the values that follow the ones already counted.
    void append(const double* values, std::size_t count) { append(values, count, 1); }
    // The same, the values lying `stride` doubles apart (a field of records).
    void append(const double* values, std::size_t count, std::size_t stride);
    // Keeps the first count values; value(i) gives the i-th value (read only
    // for the last, partly cut bucket).
    void truncate(std::size_t count, const std::function<double(std::size_t)>& value);

    std::size_t size() const { return size_; }
    std::size_t levels() const { return levels_.size(); }
    std::size_t bucketSize(std::size_t level) const { return kBaseBucket << level; }
    std::size_t bucketCount(std::size_t level) const { return level < levels_.size() ? levels_[level].size() : 0; }
    Bucket bucket(std::size_t level, std::size_t index) const { return levels_[level][index]; }
    // The coarsest level whose buckets still number at least perPixel × pixels
    // over count points; levels() when even the finest has fewer.
    std::size_t levelFor(std::size_t count, double pixels, double perPixel = 2.0) const;

private:
    // Rebuilds the buckets of every level above 0 from index first of level 1.
    void propagate(std::size_t firstChanged);

    std::vector<std::vector<Bucket>> levels_;
    std::size_t size_ = 0;
};
