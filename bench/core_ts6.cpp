// Saving and loading a 700000-sample, two-input scan data file against
// writing and reading the same number of bytes raw, in the same run.
#include "app/acquisition/CCorvelDoc.h"
#include "bench/BenchScan.h"
#include "bench/BenchSupport.h"

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
        for (int input = 0; input < 2; ++input)
            benchsupport::fillScan(d->scan.input(input), kRows, [input](int a, std::uint32_t i) {
                return std::sin(0.001 * i * (a + 1 + input));
            });
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
    const std::string tmp = filePath("raw.tmp").string();
    const std::string target = filePath("raw.bin").string();
    for (auto _ : state)
        benchsupport::writeSyncedAndRename(tmp, target, bytes.data(), bytes.size());
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

// A benchmark's run name under MinTime(2.0).
std::string run(const char* name)
{
    return std::string(name) + "/min_time:2.000";
}

BENCHMARK(BM_Ts6Save)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RawWriteBaseline)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Ts6Load)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RawReadBaseline)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchsupport::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("file size %.1f MB\n", savedSize() / 1e6);
    std::printf("save time / raw write time: %.2f CPU, %.2f real\n",
                reporter.ratio(run("BM_Ts6Save"), run("BM_RawWriteBaseline")),
                reporter.ratio(run("BM_Ts6Save"), run("BM_RawWriteBaseline"), true));
    std::printf("load time / raw read time:  %.2f CPU, %.2f real\n",
                reporter.ratio(run("BM_Ts6Load"), run("BM_RawReadBaseline")),
                reporter.ratio(run("BM_Ts6Load"), run("BM_RawReadBaseline"), true));
    std::error_code ec;
    fs::remove(filePath("bench.ts6"), ec);
    fs::remove(filePath("raw.bin"), ec);
    benchmark::Shutdown();
    return 0;
}
