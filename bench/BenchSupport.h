#pragma once

// What the benchmarks share: the reporter that gives ours-over-baseline
// ratios from one run, and the raw-write baseline the file benchmarks are
// measured against.

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace benchsupport {

// Prints the usual table and keeps every run's adjusted times for ratio().
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            cpu_[run.benchmark_name()] = run.GetAdjustedCPUTime();
            real_[run.benchmark_name()] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    // Time of a over time of b (full benchmark names); 0 when either is missing
    // or b took no time. CPU time unless real is asked for: the machines are
    // shared, but real time includes the waits for the disk.
    double ratio(const std::string& a, const std::string& b, bool real = false) const
    {
        const auto& times = real ? real_ : cpu_;
        const auto x = times.find(a);
        const auto y = times.find(b);
        return x == times.end() || y == times.end() || y->second == 0 ? 0.0 : x->second / y->second;
    }

private:
    std::map<std::string, double> cpu_;
    std::map<std::string, double> real_;
};

// The raw baseline of a safe save: size bytes written to temp, synced, and
// renamed over target.
inline void writeSyncedAndRename(const std::string& temp, const std::string& target, const char* bytes,
                                 std::size_t size)
{
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, bytes + done, size - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    ::fsync(fd);
    ::close(fd);
    std::rename(temp.c_str(), target.c_str());
}

} // namespace benchsupport
