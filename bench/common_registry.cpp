// Loading and saving a registry store that holds another program's keys,
// against reading and writing the same bytes raw, in the same run. The key
// counts step from 10,000 to 100,000 so the fitted complexity shows whether
// the cost stays in proportion to the store's size.
#include "common/platform/KnownFolders.h"
#include "common/platform/Registry.h"
#include "bench/BenchSupport.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace FenmarlCommonDLL::platform;

namespace {

const char* const kOurKey = "Software\\Fenmarl\\Tesselon-6\\Defaults";

fs::path folder()
{
    static const fs::path base = [] {
        const fs::path b = fs::temp_directory_path() / ("bench_registry_" + std::to_string(::getpid()));
        fs::create_directories(b / "machine");
        setenv("XDG_CONFIG_HOME", b.c_str(), 1);
        setenv("XDG_DATA_HOME", (b / "data").c_str(), 1);
        setenv("FENMARL_MACHINE_CONFIG_DIR", (b / "machine").c_str(), 1);
        return b;
    }();
    return base;
}

fs::path storeFile()
{
    return userConfigFolder() / "registry.reg";
}

std::string storeText(int keys)
{
    std::string text = "Windows Registry Editor Version 5.00\n\n";
    for (int k = 0; k < keys; ++k) {
        text += "[HKEY_CURRENT_USER\\Software\\Other Vendor\\Other Program\\Settings\\Key" + std::to_string(k) +
                "]\n\"Name\"=\"value " + std::to_string(k) + "\"\n\"Count\"=dword:0000002a\n\n";
        if (k == keys / 2) text += "[HKEY_CURRENT_USER\\" + std::string(kOurKey) + "]\n\"NoOfSamples\"=dword:00000400\n\n";
    }
    return text;
}

void writeStore(int keys)
{
    folder();
    fs::create_directories(userConfigFolder());
    std::ofstream(storeFile(), std::ios::binary | std::ios::trunc) << storeText(keys);
}

// A new modification time: the store must read the file again.
void touch()
{
    static long nanoseconds = 0;
    const timespec times[2] = {{0, UTIME_OMIT}, {1700000000, ++nanoseconds % 1000000000}};
    ::utimensat(AT_FDCWD, storeFile().c_str(), times, 0);
}

void BM_RegistryLoad(benchmark::State& state)
{
    writeStore(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        touch();
        RegistryKey key;
        std::uint32_t v = 0;
        if (key.open(RegistryRoot::CurrentUser, kOurKey, false) != 0 || key.queryDword("NoOfSamples", &v) != 0 ||
            v != 1024)
            state.SkipWithError("our value was not read");
    }
    state.SetComplexityN(state.range(0));
    state.SetBytesProcessed(static_cast<std::int64_t>(fs::file_size(storeFile())) * state.iterations());
}

void BM_RawReadBaseline(benchmark::State& state)
{
    // The same bytes read and split into lines: the least any reader does.
    writeStore(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        std::ifstream in(storeFile(), std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::size_t lines = 0;
        for (char c : text)
            lines += c == '\n';
        benchmark::DoNotOptimize(lines);
    }
    state.SetComplexityN(state.range(0));
    state.SetBytesProcessed(static_cast<std::int64_t>(fs::file_size(storeFile())) * state.iterations());
}

void BM_RegistrySave(benchmark::State& state)
{
    // One value changed: read under the lock, replaced atomically, backup kept.
    writeStore(static_cast<int>(state.range(0)));
    RegistryKey key;
    if (key.open(RegistryRoot::CurrentUser, kOurKey, true) != 0) state.SkipWithError("open failed");
    std::uint32_t n = 0;
    for (auto _ : state)
        if (key.setDword("NoOfSamples", ++n) != 0) state.SkipWithError("write failed");
    state.SetComplexityN(state.range(0));
    state.SetBytesProcessed(static_cast<std::int64_t>(fs::file_size(storeFile())) * state.iterations());
}

void BM_RawWriteBaseline(benchmark::State& state)
{
    // The same bytes with the same safety: temporary file, sync, rename.
    writeStore(static_cast<int>(state.range(0)));
    const std::string text = storeText(static_cast<int>(state.range(0)));
    const std::string temp = storeFile().string() + ".raw";
    const std::string copy = storeFile().string() + ".copy";
    for (auto _ : state)
        benchsupport::writeSyncedAndRename(temp, copy, text.data(), text.size());
    state.SetComplexityN(state.range(0));
    state.SetBytesProcessed(static_cast<std::int64_t>(text.size()) * state.iterations());
}

} // namespace

BENCHMARK(BM_RegistryLoad)->RangeMultiplier(10)->Range(10000, 100000)->Unit(benchmark::kMillisecond)->Complexity();
BENCHMARK(BM_RawReadBaseline)->RangeMultiplier(10)->Range(10000, 100000)->Unit(benchmark::kMillisecond)->Complexity();
BENCHMARK(BM_RegistrySave)->RangeMultiplier(10)->Range(10000, 100000)->Unit(benchmark::kMillisecond)->Complexity();
BENCHMARK(BM_RawWriteBaseline)->RangeMultiplier(10)->Range(10000, 100000)->Unit(benchmark::kMillisecond)->Complexity();

BENCHMARK_MAIN();
