// Refresh of one graph pane holding long records while a scan runs: appending
// the newest 65536 points to each of four 700000-point series and redrawing,
// against resending all points of all series and redrawing, in the same run.
// Then how the redraw grows with the record: one second of new points (20833)
// appended to four series of 175000 and of 2800000 points and redrawn.
#include "app/graphs/gui/QcpChartControl.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <qcustomplot.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr std::size_t recordPoints = 700000;
constexpr std::size_t newPoints = 65536;
constexpr int seriesCount = 4;

struct Records
{
    std::vector<double> x;
    std::array<std::vector<double>, seriesCount> y;
    Records()
    {
        const std::size_t n = recordPoints + newPoints;
        x.resize(n);
        for (auto& s : y)
            s.resize(n);
        for (std::size_t i = 0; i < n; ++i) {
            x[i] = i * 1e-4;
            for (int s = 0; s < seriesCount; ++s)
                y[static_cast<std::size_t>(s)][i] = std::sin(i * 1e-3 * (s + 1)) + 0.01 * ((i * 7919) % 101);
        }
    }
};

const Records& records()
{
    static const Records r;
    return r;
}

double appendSeconds = 0;
double resendSeconds = 0;

void prepare(QcpChartControl& chart)
{
    chart.resize(900, 520);
    chart.setSeriesCount(seriesCount);
    for (int s = 0; s < seriesCount; ++s)
        chart.setSeriesData(s, records().x.data(), records().y[static_cast<std::size_t>(s)].data(),
                            recordPoints);
    chart.redraw();
}

// Mean seconds to append count points (from index shown on) to every series
// and redraw; before each round, untimed, all after the first shown points go.
double meanAppendSeconds(benchmark::State& state, QcpChartControl& chart, const std::vector<double>& x,
                         const std::array<std::vector<double>, seriesCount>& y, std::size_t shown,
                         std::size_t count)
{
    const double lastKey = x[shown - 1];
    double total = 0;
    for (auto _ : state) {
        state.PauseTiming();
        for (int s = 0; s < seriesCount; ++s)
            chart.plot()->graph(s)->data()->removeAfter(lastKey);
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        for (int s = 0; s < seriesCount; ++s)
            chart.appendSeriesData(s, x.data() + shown, y[static_cast<std::size_t>(s)].data() + shown, count);
        chart.redraw();
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    return total / static_cast<double>(state.iterations());
}

void BM_RefreshAppendNewPoints(benchmark::State& state)
{
    QcpChartControl chart;
    prepare(chart);
    appendSeconds = meanAppendSeconds(state, chart, records().x, records().y, recordPoints, newPoints);
}

void BM_RefreshFullResend(benchmark::State& state)
{
    QcpChartControl chart;
    prepare(chart);
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        for (int s = 0; s < seriesCount; ++s)
            chart.setSeriesData(s, records().x.data(), records().y[static_cast<std::size_t>(s)].data(),
                                recordPoints + newPoints);
        chart.redraw();
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    resendSeconds = total / static_cast<double>(state.iterations());
}

// Four series of n points, then one second of points (20833) more.
constexpr std::size_t growthNewPoints = 20833;
// [envelope on][size]; every point drawn (envelope off) is the earlier way.
double growthSeconds[2][2] = {{0, 0}, {0, 0}};

void BM_RedrawGrowth(benchmark::State& state)
{
    const auto n = static_cast<std::size_t>(state.range(0));
    const bool envelope = state.range(1) != 0;
    const std::size_t total = n + growthNewPoints;
    std::vector<double> x(total);
    std::array<std::vector<double>, seriesCount> y;
    for (auto& s : y)
        s.resize(total);
    for (std::size_t i = 0; i < total; ++i) {
        x[i] = static_cast<double>(i) / 20833.0;
        for (int s = 0; s < seriesCount; ++s)
            y[static_cast<std::size_t>(s)][i] = std::sin(static_cast<double>(i) * 1e-3 * (s + 1)) +
                                                0.01 * static_cast<double>((i * 7919) % 101);
    }
    QcpChartControl chart;
    chart.resize(900, 520);
    chart.setSeriesCount(seriesCount);
    chart.setEnvelopeDrawing(envelope);
    for (int s = 0; s < seriesCount; ++s)
        chart.setSeriesData(s, x.data(), y[static_cast<std::size_t>(s)].data(), n);
    chart.redraw();
    growthSeconds[envelope ? 1 : 0][n > 1000000 ? 1 : 0] =
        meanAppendSeconds(state, chart, x, y, n, growthNewPoints);
}

BENCHMARK(BM_RefreshAppendNewPoints)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RefreshFullResend)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RedrawGrowth)
    ->Args({175000, 0})
    ->Args({2800000, 0})
    ->Args({175000, 1})
    ->Args({2800000, 1})->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (appendSeconds > 0 && resendSeconds > 0)
        std::printf(
            "refresh of 4 x %zu points after %zu new: append %.2f ms, full resend %.2f ms, ratio %.1fx\n",
            recordPoints, newPoints, appendSeconds * 1e3, resendSeconds * 1e3, resendSeconds / appendSeconds);
    const double(&all)[2] = growthSeconds[0];
    if (all[0] > 0 && all[1] > 0)
        std::printf("every point drawn: %.2f ms at 175000, %.2f ms at 2800000, ratio %.2f\n", all[0] * 1e3,
                    all[1] * 1e3, all[1] / all[0]);
    const double(&envelope)[2] = growthSeconds[1];
    if (envelope[0] > 0 && envelope[1] > 0)
        std::printf("redraw growth: %.2f ms at 175000, %.2f ms at 2800000, ratio %.2f\n", envelope[0] * 1e3,
                    envelope[1] * 1e3, envelope[1] / envelope[0]);
    return 0;
}
