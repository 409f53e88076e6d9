// Saving and loading a 700000-sample, two-input scan data file against
// writing and reading the same number of bytes raw, in the same run.
#include "app/acquisition/CCorvelDoc.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <memory>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kRows = 700000;

fs::path filePath(const char* name)
{
    return fs::temp_directory_path() / name;
}

CCorvelDoc& document()
{
    static std::unique_ptr<CCorvelDoc> doc = [] {
        auto d = std::make_unique<CCorvelDoc>();
        d->scan.configuration.UseInput2 = 1;
        for (int input = 0; input < 2; ++input) {
            ScanData& s = d->scan.input(input);
            s.pointCount = kRows;
            s.axisCount = 3;
            s.allocate();
            for (std::uint32_t i = 0; i < kRows; ++i) {
                s.timeAxis[i] = i * 1e-4;
                for (int a = 0; a < 3; ++a)
                    s.timeData[static_cast<std::size_t>(a)][i] = std::sin(0.001 * i * (a + 1 + input));
            }
            s.samplesAcquired = kRows;
        }
        d->RecomputeSpectra();
        return d;
    }();
    return *doc;
}

std::uintmax_t savedSize()
{
    static const std::uintmax_t size = [] {
        document().OnSaveDocument(filePath("bench.ts6"));
        return fs::file_size(filePath("bench.ts6"));
    }();
    return size;
}

void BM_Ts6Save(benchmark::State& state)
{
    CCorvelDoc& doc = document();
    for (auto _ : state)
        if (!doc.OnSaveDocument(filePath("bench.ts6"))) state.SkipWithError("save failed");
    state.SetBytesProcessed(static_cast<std::int64_t>(savedSize() * state.iterations()));
}

void BM_RawWriteBaseline(benchmark::State& state)
{
    // Same bytes, same safety: temporary file, sync, rename.
    const std::vector<char> bytes(savedSize(), 'x');
    const fs::path tmp = filePath("raw.tmp");
    for (auto _ : state) {
        const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        ::fsync(fd);
        ::close(fd);
        fs::rename(tmp, filePath("raw.bin"));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes.size() * state.iterations()));
}

void BM_Ts6Load(benchmark::State& state)
{
    savedSize();
    for (auto _ : state) {
        CCorvelDoc doc;
        if (!doc.OnOpenDocument(filePath("bench.ts6"), nullptr)) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(doc.scan.input2.samplesAcquired);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(savedSize() * state.iterations()));
}

void BM_RawReadBaseline(benchmark::State& state)
{
    const std::uintmax_t size = savedSize();
    for (auto _ : state) {
        std::vector<char> bytes(size);
        std::FILE* f = std::fopen(filePath("bench.ts6").c_str(), "rb");
        const std::size_t n = std::fread(bytes.data(), 1, size, f);
        std::fclose(f);
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(size * state.iterations()));
}

BENCHMARK(BM_Ts6Save)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RawWriteBaseline)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Ts6Load)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RawReadBaseline)->Unit(benchmark::kMillisecond)->MinTime(2.0);

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
    // Time of ours over time of the baseline; CPU time unless real is asked for
    // (the machines are shared, but real time includes the waits for the disk).
    double ratio(const std::string& ours, const std::string& base, bool real = false) const
    {
        const auto& times = real ? real_ : cpu_;
        const auto a = times.find(ours + "/min_time:2.000");
        const auto b = times.find(base + "/min_time:2.000");
        return a == times.end() || b == times.end() || b->second == 0 ? 0.0 : a->second / b->second;
    }

private:
    std::map<std::string, double> cpu_;
    std::map<std::string, double> real_;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("file size %.1f MB\n", savedSize() / 1e6);
    std::printf("save time / raw write time: %.2f CPU, %.2f real\n",
                reporter.ratio("BM_Ts6Save", "BM_RawWriteBaseline"),
                reporter.ratio("BM_Ts6Save", "BM_RawWriteBaseline", true));
    std::printf("load time / raw read time:  %.2f CPU, %.2f real\n",
                reporter.ratio("BM_Ts6Load", "BM_RawReadBaseline"),
                reporter.ratio("BM_Ts6Load", "BM_RawReadBaseline", true));
    std::error_code ec;
    fs::remove(filePath("bench.ts6"), ec);
    fs::remove(filePath("raw.bin"), ec);
    benchmark::Shutdown();
    return 0;
}
