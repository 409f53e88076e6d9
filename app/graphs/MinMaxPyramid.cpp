#include "app/graphs/MinMaxPyramid.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr MinMaxPyramid::Bucket kEmpty{std::numeric_limits<double>::infinity(),
                                       -std::numeric_limits<double>::infinity(), false};

MinMaxPyramid::Bucket merged(const MinMaxPyramid::Bucket& a, const MinMaxPyramid::Bucket& b)
{
    return {std::min(a.min, b.min), std::max(a.max, b.max), a.gap || b.gap};
}

} // namespace

void MinMaxPyramid::clear()
{
    levels_.clear();
    size_ = 0;
}

void MinMaxPyramid::append(const double* values, std::size_t count, std::size_t stride)
{
    if (count == 0) return;
    if (levels_.empty()) levels_.emplace_back();
    std::vector<Bucket>& base = levels_[0];
    const std::size_t firstChanged = size_ / kBaseBucket;
    for (std::size_t i = 0; i < count; ++i, ++size_) {
        if (size_ % kBaseBucket == 0) base.push_back(kEmpty);
        const double v = values[i * stride];
        Bucket& b = base.back();
        if (std::isnan(v)) {
            b.gap = true;
            continue;
        }
        b.min = std::min(b.min, v);
        b.max = std::max(b.max, v);
    }
    propagate(firstChanged / 2);
}

void MinMaxPyramid::truncate(std::size_t count, const std::function<double(std::size_t)>& value)
{
    if (count >= size_) return;
    if (count == 0) {
        clear();
        return;
    }
    size_ = count;
    std::vector<Bucket>& base = levels_[0];
    base.resize((count + kBaseBucket - 1) / kBaseBucket);
    // The last base bucket may now hold fewer points: measure it again.
    Bucket& last = base.back();
    last = kEmpty;
    for (std::size_t i = (base.size() - 1) * kBaseBucket; i < count; ++i) {
        const double v = value(i);
        if (std::isnan(v)) {
            last.gap = true;
            continue;
        }
        last.min = std::min(last.min, v);
        last.max = std::max(last.max, v);
    }
    propagate((base.size() - 1) / 2);
}

void MinMaxPyramid::propagate(std::size_t firstChanged)
{
    for (std::size_t level = 1;; ++level) {
        if (levels_[level - 1].size() <= 1) {
            levels_.resize(level);
            return;
        }
        if (levels_.size() <= level) levels_.emplace_back();
        const std::vector<Bucket>& below = levels_[level - 1];
        std::vector<Bucket>& here = levels_[level];
        const std::size_t count = (below.size() + 1) / 2;
        here.resize(count, kEmpty);
        for (std::size_t i = std::min(firstChanged, count); i < count; ++i) {
            const std::size_t child = 2 * i;
            here[i] = child + 1 < below.size() ? merged(below[child], below[child + 1]) : below[child];
        }
        firstChanged /= 2;
    }
}

std::size_t MinMaxPyramid::levelFor(std::size_t count, double pixels, double perPixel) const
{
    const double wanted = std::max(pixels, 1.0) * perPixel;
    std::size_t chosen = levels_.size();
    for (std::size_t level = 0; level < levels_.size(); ++level) {
        if (static_cast<double>(count) / static_cast<double>(bucketSize(level)) < wanted) break;
        chosen = level;
    }
    return chosen;
}
