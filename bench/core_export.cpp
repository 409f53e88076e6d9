// Text export of a 700000-row scan: the export's std::to_chars formatting
// against an snprintf baseline writing the same table in the same run. The
// bytes are checked to be identical before anything is timed.
#include "app/acquisition/CCorvelDoc.h"
#include "app/acquisition/DataExport.h"
#include "app/acquisition/Spectrum.h"
#include "bench/BenchScan.h"
#include "bench/BenchSupport.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <numbers>
#include <string>

namespace {

constexpr int kRows = 700000;

CCorvelDoc& document()
{
    static std::unique_ptr<CCorvelDoc> doc = [] {
        auto d = std::make_unique<CCorvelDoc>();
        benchsupport::fillScan(d->scan.input1, kRows, [](int a, std::uint32_t i) {
            return (a + 1) * std::sin(2 * std::numbers::pi * 50.0 * i * 1e-4) + 1e-3 * (i % 97);
        });
        d->RecomputeSpectra();
        return d;
    }();
    return *doc;
}

// The same table written field by field with snprintf.
std::string snprintfTable(const ExportInput& input, bool preciseTime)
{
    ScanData& data = *input.data;
    MappedSeries tx, fx;
    MappedSeries ty[3], fy[3];
    std::vector<MappedSeries*> ys{&ty[0], &ty[1], &ty[2]};
    std::vector<MappedSeries*> fs{&fy[0], &fy[1], &fy[2]};
    int spectrumRows = 0;
    ConvertTimeForDisplay(data, input.displayMode, 0, false, input.scale, tx, ys);
    ConvertSpectrumForDisplay(data, input.displayMode, false, input.scale, fx, fs, spectrumRows);
    std::string out;
    const std::string t = UnitSuffix(input.sensorType, input.magneticUnits, input.vibrationUnits);
    const std::string f = FrequencySuffix(t, input.spectrumUnit);
    out +=
        "Time (s)\tx" + t + "\ty" + t + "\tz" + t + "\tFrequency (Hz)\tx" + f + "\ty" + f + "\tz" + f + "\n";
    char buf[400];
    for (int i = 0; i < data.samplesAcquired; ++i) {
        const auto r = static_cast<std::uint32_t>(i);
        out.append(buf, static_cast<std::size_t>(
                            std::snprintf(buf, sizeof buf, preciseTime ? "%.10f\t" : "%g\t", tx.get(r))));
        for (auto& y : ty)
            out.append(buf, static_cast<std::size_t>(std::snprintf(buf, sizeof buf, "%g\t", y.get(r))));
        if (i < spectrumRows) {
            out.append(buf, static_cast<std::size_t>(std::snprintf(buf, sizeof buf, "%g\t", fx.get(r))));
            for (auto& y : fy)
                out.append(buf, static_cast<std::size_t>(std::snprintf(buf, sizeof buf, "%g\t", y.get(r))));
        }
        out += '\n';
    }
    return out;
}

void checkIdentical()
{
    const ExportInput input = document().exportInput(0);
    for (bool precise : {false, true}) {
        ExportText out;
        WriteOneInputTable(out, input, precise);
        if (out.text() != snprintfTable(input, precise)) {
            std::fprintf(stderr, "export text differs from printf's\n");
            std::abort();
        }
    }
}

void BM_ExportToChars(benchmark::State& state)
{
    const ExportInput input = document().exportInput(0);
    std::size_t bytes = 0;
    for (auto _ : state) {
        ExportText out;
        WriteOneInputTable(out, input, true);
        bytes = out.text().size();
        benchmark::DoNotOptimize(out.text().data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes * state.iterations()));
}

void BM_ExportSnprintfBaseline(benchmark::State& state)
{
    const ExportInput input = document().exportInput(0);
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string text = snprintfTable(input, true);
        bytes = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes * state.iterations()));
}

BENCHMARK(BM_ExportToChars)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ExportSnprintfBaseline)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    checkIdentical();
    // CPU time: the build machines are shared, so wall time mostly measures the neighbours.
    benchsupport::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double speedUp =
        reporter.ratio("BM_ExportSnprintfBaseline/min_time:2.000", "BM_ExportToChars/min_time:2.000");
    if (speedUp > 0) std::printf("export speed-up over snprintf: %.2fx (bytes identical)\n", speedUp);
    benchmark::Shutdown();
    return 0;
}
