// Record decoder throughput against a straightforward bit-by-bit decoder, in
// the same run. The instrument delivers at most 0.5 MB/s; the goal for the
// decoder is at least 1 GB/s of records on one core.
#include "driver/RecordDecoder.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <ctime>
#include <random>
#include <vector>

namespace {

using namespace TorvaneDecode;

constexpr std::size_t kBufferRecords = 20000; // 480 KB: stays in cache, as the decode block does

const std::vector<std::uint8_t>& records()
{
    static const std::vector<std::uint8_t> data = [] {
        std::vector<std::uint8_t> bytes(kBufferRecords * kRecordBytes);
        std::mt19937 random(7);
        for (auto& b : bytes)
            b = static_cast<std::uint8_t>(random());
        return bytes;
    }();
    return data;
}

// One bit at a time, exactly as the record layout reads.
void decodeRecordReference(const std::uint8_t* record, const double zero[kChannels], double volts[kChannels])
{
    for (std::size_t k = 0; k < kChannels; ++k) {
        std::int32_t magnitude = 0;
        for (std::size_t j = 1; j < kRecordBytes; ++j)
            if ((record[j] >> k) & 1) magnitude |= 1 << (23 - j);
        const std::int32_t raw = ((record[0] >> k) & 1) ? magnitude - kFullScaleCounts : magnitude;
        volts[k] = raw * kVoltsPerCount - zero[k];
    }
}

template <void (*Decode)(const std::uint8_t*, const double*, double*)>
double decodeAll(const std::vector<std::uint8_t>& data)
{
    static const double zero[kChannels] = {};
    double sums[kChannels] = {};
    for (std::size_t offset = 0; offset + kRecordBytes <= data.size(); offset += kRecordBytes) {
        double volts[kChannels];
        Decode(data.data() + offset, zero, volts);
        for (std::size_t k = 0; k < kChannels; ++k)
            sums[k] += volts[k];
    }
    return sums[0] + sums[1] + sums[2] + sums[3] + sums[4] + sums[5];
}

template <void (*Decode)(const std::uint8_t*, const double*, double*)> void BM_Decode(benchmark::State& state)
{
    const auto& data = records();
    for (auto _ : state)
        benchmark::DoNotOptimize(decodeAll<Decode>(data));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

double threadSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Both decoders timed in one benchmark, on this thread's CPU time, so the
// ratio comes from the same moment of a shared, noisy machine.
void BM_DecodeRatio(benchmark::State& state)
{
    const auto& data = records();
    double fastSeconds = 0.0;
    double referenceSeconds = 0.0;
    for (auto _ : state) {
        double start = threadSeconds();
        benchmark::DoNotOptimize(decodeAll<decodeRecord>(data));
        fastSeconds += threadSeconds() - start;
        start = threadSeconds();
        benchmark::DoNotOptimize(decodeAll<decodeRecordReference>(data));
        referenceSeconds += threadSeconds() - start;
    }
    const double megabytes = static_cast<double>(state.iterations()) * static_cast<double>(data.size()) / 1e6;
    state.counters["decoder_MBps"] = megabytes / fastSeconds;
    state.counters["reference_MBps"] = megabytes / referenceSeconds;
    state.counters["ratio"] = referenceSeconds / fastSeconds;
}

} // namespace

BENCHMARK(BM_Decode<decodeRecord>)->Name("BM_Decode/decoder");
BENCHMARK(BM_Decode<decodeRecordReference>)->Name("BM_Decode/bit_by_bit_reference");
BENCHMARK(BM_DecodeRatio);

BENCHMARK_MAIN();
