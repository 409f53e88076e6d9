// The libusb backend (over the usbdevfs bridge) against the simulated bus, in
// the same run, reading the instrument's stream the way the driver does
// (5120-byte bulk reads):
//   Throughput   the instrument far faster than any path: bytes per second
//                each path delivers;
//   FullRate     the instrument at its real full rate (20833 samples/s,
//                0.5 MB/s): CPU seconds per second of scan, whole process,
//                and the libusb event thread's share;
//   Idle         an open libusb handle and a watcher, nothing transferring:
//                CPU of the libusb event thread ("usb-events"), of the busiest
//                thread and of the whole process, in % of a core. Goal for the
//                event thread: below 2 %.
// CPU is the process's (or thread's) own clock, so the bridge's and libusb's
// threads count, not only the benchmark's.
// The libusb path pays for umockdev's ioctl emulation (a socket round trip per
// ioctl), which a kernel does not; its figures bound the real backend's cost
// from above.
#include "simulator/Instrument.h"
#include "simulator/SimulatedBus.h"
#include "testsupport/UsbdevfsBridge.h"
#include "usb/UsbBus.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <dirent.h>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

using namespace FenmarlUsb;
using TestSupport::UsbdevfsBridge;

constexpr std::uint32_t kReadBytes = 5120; // the driver's read size: ten 512-byte packets
constexpr std::uint16_t kIndex = 0xBEEF;

double processCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

std::string threadName(int tid)
{
    std::ifstream comm("/proc/self/task/" + std::to_string(tid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

// CPU seconds of every thread of this process, by thread id, from each
// thread's own CPU clock (nanoseconds, not clock ticks).
std::map<int, double> threadCpuSeconds()
{
    std::map<int, double> cpu;
    DIR* dir = opendir("/proc/self/task");
    if (!dir) return cpu;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        const int tid = std::atoi(entry->d_name);
        // The kernel's per-thread scheduler clock of a thread id: CPUCLOCK_SCHED | CPUCLOCK_PERTHREAD.
        const clockid_t clock = static_cast<clockid_t>((~static_cast<unsigned>(tid) << 3) | 6);
        timespec t{};
        if (clock_gettime(clock, &t) == 0)
            cpu[tid] = static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
    }
    closedir(dir);
    return cpu;
}

struct Path
{
    std::shared_ptr<Instrument> instrument;
    std::unique_ptr<Device> device;
};

InstrumentConfig rampAt(double speed)
{
    InstrumentConfig config;
    config.ramp = true;
    config.speedFactor = speed;
    config.fifoRecords = 1u << 20;
    return config;
}

SimulatedBus& simulatedBus()
{
    static SimulatedBus* const bus = new SimulatedBus;
    return *bus;
}

Path openPath(bool libusb, double speed)
{
    Path p;
    p.instrument = std::make_shared<Instrument>(rampAt(speed));
    if (libusb) {
        UsbdevfsBridge& bridge = UsbdevfsBridge::instance();
        bridge.reset();
        const std::string path = bridge.plug(p.instrument);
        if (!path.empty()) p.device = libusbBus().open(path);
    } else {
        simulatedBus().reset();
        p.device = simulatedBus().open(simulatedBus().plug(p.instrument));
    }
    if (p.device) p.device->setPipeTransferTimeout(Instrument::kBulkInPipe, 5000);
    return p;
}

bool vendor(Device& d, std::uint8_t code)
{
    std::uint32_t n = 0;
    return d.controlTransfer(SetupPacket{0x40, code, 0, kIndex, 0}, nullptr, &n);
}

// Reads for `seconds` of wall time; counters: MB/s and CPU per second.
void scan(benchmark::State& state, bool libusb, double speed, double seconds)
{
    std::string why;
    if (libusb && !UsbdevfsBridge::instance().ready(&why)) {
        state.SkipWithError(why.c_str());
        return;
    }
    Path p = openPath(libusb, speed);
    if (!p.device) {
        state.SkipWithError("the instrument could not be opened");
        return;
    }
    std::vector<std::uint8_t> buffer(kReadBytes);
    double bytes = 0, wall = 0, cpu = 0;
    const std::uint64_t urbsBefore = UsbdevfsBridge::instance().urbsCompleted();
    double eventsCpu = 0;
    for (auto _ : state) {
        vendor(*p.device, 0xA6);
        vendor(*p.device, 0xA5);
        const auto threadsBefore = threadCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = processCpuSeconds();
        for (;;) {
            std::uint32_t got = 0;
            if (!p.device->readPipe(Instrument::kBulkInPipe, buffer.data(), kReadBytes, &got)) {
                state.SkipWithError("a read failed");
                break;
            }
            bytes += got;
            if (std::chrono::steady_clock::now() - start > std::chrono::duration<double>(seconds)) break;
        }
        cpu += processCpuSeconds() - cpuStart;
        for (const auto& [tid, seconds] : threadCpuSeconds())
            if (threadName(tid) == "usb-events") {
                const auto it = threadsBefore.find(tid);
                eventsCpu += seconds - (it == threadsBefore.end() ? 0.0 : it->second);
            }
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        vendor(*p.device, 0xAD);
    }
    state.counters["MB/s"] = bytes / wall / 1e6;
    state.counters["cpu_s_per_s"] = cpu / wall;
    if (libusb) state.counters["event_thread_%"] = 100.0 * eventsCpu / wall;
    if (libusb) state.counters["urbs"] = static_cast<double>(UsbdevfsBridge::instance().urbsCompleted() - urbsBefore);
    p.device.reset();
    if (libusb) UsbdevfsBridge::instance().reset();
}

void BM_Throughput_Simulated(benchmark::State& state)
{
    scan(state, false, 400.0, 2.0);
}
void BM_Throughput_Libusb(benchmark::State& state)
{
    scan(state, true, 400.0, 2.0);
}
void BM_FullRate_Simulated(benchmark::State& state)
{
    scan(state, false, 1.0, 3.0);
}
void BM_FullRate_Libusb(benchmark::State& state)
{
    scan(state, true, 1.0, 3.0);
}

void BM_Idle_Libusb(benchmark::State& state)
{
    std::string why;
    if (!UsbdevfsBridge::instance().ready(&why)) {
        state.SkipWithError(why.c_str());
        return;
    }
    Path p = openPath(true, 1.0);
    if (!p.device) {
        state.SkipWithError("the instrument could not be opened");
        return;
    }
    const int token = libusbBus().watch(DeviceClassId::Instrument, [](DeviceClassId, const std::string&, bool) {});
    double busiest = 0, events = 0, process = 0, wall = 0;
    std::string busiestName;
    for (auto _ : state) {
        const auto before = threadCpuSeconds();
        const double cpuStart = processCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(5));
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        process += processCpuSeconds() - cpuStart;
        wall += seconds;
        for (const auto& [tid, cpu] : threadCpuSeconds()) {
            const auto it = before.find(tid);
            const double share = (cpu - (it == before.end() ? 0.0 : it->second)) / seconds;
            if (share > busiest) {
                busiest = share;
                busiestName = threadName(tid);
            }
            if (threadName(tid) == "usb-events") events = std::max(events, share);
        }
    }
    libusbBus().unwatch(token);
    state.SetLabel("busiest: " + busiestName);
    state.counters["event_thread_%"] = 100.0 * events;
    state.counters["busiest_thread_%"] = 100.0 * busiest;
    state.counters["process_%"] = 100.0 * process / wall;
    p.device.reset();
    UsbdevfsBridge::instance().reset();
}

BENCHMARK(BM_Throughput_Simulated)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Throughput_Libusb)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FullRate_Simulated)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FullRate_Libusb)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Idle_Libusb)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
