#include "simulator/SimulatedBus.h"

#include "simulator/SimulatorProfile.h"
#include "usb/BackendShared.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace FenmarlUsb {

namespace {

std::string makePath(const SimulatedDevice& device, std::uint64_t number)
{
    char instance[32];
    std::snprintf(instance, sizeof instance, "sim%04llu", static_cast<unsigned long long>(number));
    return devicePath(device.usbId(), instance, device.deviceClass());
}

// What an opened path gives: WinUSB's calls on one device. The device may go
// away at any time; every call then fails with ERROR_DEVICE_NOT_CONNECTED.
class SimulatedHandle final : public Device
{
public:
    SimulatedHandle(std::shared_ptr<SimulatedDevice> device, std::string path)
        : device_(std::move(device)), path_(std::move(path))
    {}

    bool controlTransfer(const SetupPacket& setup, std::uint8_t* data, std::uint32_t* transferred) override
    {
        if (transferred) *transferred = 0;
        if (setup.length > 0 && !data) return fail(kErrorInvalidParameter);
        if (!connected()) return fail(kErrorDeviceNotConnected);
        std::uint32_t count = 0;
        const std::uint32_t rc = device_->controlTransfer(setup, data, &count, timeout(0));
        if (transferred) *transferred = std::min<std::uint32_t>(count, setup.length);
        return finish(rc);
    }

    bool getDescriptor(std::uint8_t type, std::uint8_t index, std::uint16_t languageId, std::uint8_t* buffer,
                       std::uint32_t length, std::uint32_t* transferred) override
    {
        if (transferred) *transferred = 0;
        if (!buffer || length == 0 || length > 0xFFFF) return fail(kErrorInvalidParameter);
        if (!connected()) return fail(kErrorDeviceNotConnected);
        const SetupPacket setup{0x80, 6, static_cast<std::uint16_t>((type << 8) | index), languageId,
                                static_cast<std::uint16_t>(length)};
        std::uint32_t count = 0;
        const std::uint32_t rc = device_->controlTransfer(setup, buffer, &count, timeout(0));
        if (transferred) *transferred = std::min(count, length);
        return finish(rc);
    }

    bool queryPipes(std::vector<PipeInformation>* pipes) override
    {
        if (!pipes) return fail(kErrorInvalidParameter);
        if (!connected()) return fail(kErrorDeviceNotConnected);
        *pipes = device_->pipes();
        return true;
    }

    bool setPipeTransferTimeout(std::uint8_t pipeId, std::uint32_t milliseconds) override
    {
        if (!connected()) return fail(kErrorDeviceNotConnected);
        if (pipeId != 0 && !hasPipe(pipeId)) return fail(kErrorInvalidParameter);
        timeouts_.set(pipeId, milliseconds);
        return true;
    }

    bool readPipe(std::uint8_t pipeId, std::uint8_t* buffer, std::uint32_t length,
                  std::uint32_t* transferred) override
    {
        if (transferred) *transferred = 0;
        if (!buffer && length > 0) return fail(kErrorInvalidParameter);
        if (!connected()) return fail(kErrorDeviceNotConnected);
        if (!(pipeId & 0x80) || !hasPipe(pipeId)) return fail(kErrorInvalidParameter);
        std::uint32_t count = 0;
        const std::uint32_t rc = device_->bulkRead(pipeId, buffer, length, &count, timeout(pipeId));
        if (transferred) *transferred = std::min(count, length);
        return finish(rc);
    }

    bool abortPipe(std::uint8_t pipeId) override
    {
        if (!connected()) return fail(kErrorDeviceNotConnected);
        if (pipeId != 0 && !hasPipe(pipeId)) return fail(kErrorInvalidParameter);
        return finish(device_->abortPipe(pipeId));
    }

    bool resetPipe(std::uint8_t pipeId) override
    {
        if (!connected()) return fail(kErrorDeviceNotConnected);
        if (pipeId != 0 && !hasPipe(pipeId)) return fail(kErrorInvalidParameter);
        return finish(device_->resetPipe(pipeId));
    }

    bool queryDeviceSpeed(std::uint8_t* speed) override
    {
        if (!speed) return fail(kErrorInvalidParameter);
        if (!connected()) return fail(kErrorDeviceNotConnected);
        *speed = device_->speed();
        return true;
    }

    std::string path() const override { return path_; }

private:
    bool connected() const { return device_->path() == path_; }

    bool hasPipe(std::uint8_t pipeId) const
    {
        const auto pipes = device_->pipes();
        return std::any_of(pipes.begin(), pipes.end(),
                           [&](const PipeInformation& p) { return p.pipeId == pipeId; });
    }

    std::uint32_t timeout(std::uint8_t pipeId) const { return timeouts_.get(pipeId); }

    bool fail(std::uint32_t code)
    {
        setLastError(code);
        return false;
    }

    // A transfer that ended because the device left reports that, not its own code.
    bool finish(std::uint32_t rc)
    {
        if (rc == kErrorSuccess) return true;
        return fail(connected() ? rc : kErrorDeviceNotConnected);
    }

    std::shared_ptr<SimulatedDevice> device_;
    const std::string path_;
    PipeTimeouts timeouts_;
};

std::mutex factoryLock;
BareDeviceFactory& factorySlot()
{
    static BareDeviceFactory factory;
    return factory;
}

} // namespace

// ---------------------------------------------------------------- SimulatedDevice

SimulatedDevice::SimulatedDevice() = default;
SimulatedDevice::~SimulatedDevice() = default;

std::uint32_t SimulatedDevice::controlTransfer(const SetupPacket& setup, std::uint8_t* data,
                                               std::uint32_t* transferred, std::uint32_t timeoutMs)
{
    *transferred = 0;
    if (setup.requestType == 0x80 && setup.request == 6)
        return descriptor(static_cast<std::uint8_t>(setup.value >> 8),
                          static_cast<std::uint8_t>(setup.value & 0xFF), setup.index, data, setup.length,
                          transferred);
    if ((setup.requestType & 0x60) == 0x40) return vendorRequest(setup, data, transferred, timeoutMs);
    return kErrorGenFailure;
}

std::uint32_t SimulatedDevice::descriptor(std::uint8_t type, std::uint8_t index, std::uint16_t,
                                          std::uint8_t* buffer, std::uint32_t length,
                                          std::uint32_t* transferred)
{
    *transferred = 0;
    if (type != 1 || index != 0) return kErrorGenFailure;
    return answerDescriptor(deviceDescriptor(0xFF, 0xA001, 0, 0), buffer, length, transferred);
}

std::vector<std::uint8_t> SimulatedDevice::deviceDescriptor(std::uint8_t classCode, std::uint16_t release,
                                                            std::uint8_t manufacturerString,
                                                            std::uint8_t productString) const
{
    const UsbId id = usbId();
    return {18,
            1,
            0x00,
            0x02,
            classCode,
            classCode,
            classCode,
            64,
            static_cast<std::uint8_t>(id.vendorId & 0xFF),
            static_cast<std::uint8_t>(id.vendorId >> 8),
            static_cast<std::uint8_t>(id.productId & 0xFF),
            static_cast<std::uint8_t>(id.productId >> 8),
            static_cast<std::uint8_t>(release & 0xFF),
            static_cast<std::uint8_t>(release >> 8),
            manufacturerString,
            productString,
            0,
            1};
}

std::uint32_t SimulatedDevice::answerDescriptor(const std::vector<std::uint8_t>& bytes, std::uint8_t* buffer,
                                                std::uint32_t length, std::uint32_t* transferred)
{
    const std::uint32_t n = std::min<std::uint32_t>(length, static_cast<std::uint32_t>(bytes.size()));
    if (buffer && n) std::memcpy(buffer, bytes.data(), n);
    *transferred = n;
    return kErrorSuccess;
}

std::uint32_t SimulatedDevice::bulkRead(std::uint8_t, std::uint8_t*, std::uint32_t,
                                        std::uint32_t* transferred, std::uint32_t)
{
    *transferred = 0;
    return kErrorInvalidParameter;
}

std::uint32_t SimulatedDevice::abortPipe(std::uint8_t)
{
    return kErrorSuccess;
}
std::uint32_t SimulatedDevice::resetPipe(std::uint8_t)
{
    return kErrorSuccess;
}

std::string SimulatedDevice::path() const
{
    std::lock_guard<std::mutex> hold(placeLock_);
    return path_;
}

bool SimulatedDevice::isPlugged() const
{
    std::lock_guard<std::mutex> hold(placeLock_);
    return bus_ != nullptr;
}

SimulatedBus* SimulatedDevice::bus() const
{
    std::lock_guard<std::mutex> hold(placeLock_);
    return bus_;
}

// ---------------------------------------------------------------- SimulatedBus

SimulatedBus::SimulatedBus()
{
    thread_ = std::make_unique<std::thread>([this] { run(); });
}

SimulatedBus::~SimulatedBus()
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        stopping_ = true;
        tasks_.clear();
    }
    wake_.notify_all();
    if (thread_->get_id() == std::this_thread::get_id())
        thread_->detach();
    else
        thread_->join();
    for (auto& [number, device] : devices_) {
        {
            std::lock_guard<std::mutex> hold(device->placeLock_);
            device->bus_ = nullptr;
            device->path_.clear();
        }
        device->onUnplugged();
    }
}

SimulatedBus& SimulatedBus::instance()
{
    // Never destroyed: other libraries' unload hooks may still unwatch while
    // the process exits.
    static SimulatedBus* const theBus = [] {
        auto* made = new SimulatedBus;
        plugProfile(*made, activeProfile());
        return made;
    }();
    return *theBus;
}

std::string SimulatedBus::plug(std::shared_ptr<SimulatedDevice> device)
{
    if (!device) return {};
    std::string path;
    {
        std::lock_guard<std::mutex> hold(lock_);
        {
            std::lock_guard<std::mutex> place(device->placeLock_);
            if (device->bus_)
                return device->bus_ == this ? device->path_ : std::string(); // one place at a time
        }
        const std::uint64_t number = nextNumber_++;
        path = makePath(*device, number);
        {
            std::lock_guard<std::mutex> place(device->placeLock_);
            device->bus_ = this;
            device->path_ = path;
        }
        devices_[number] = device;
    }
    announce(device->deviceClass(), path, true);
    device->onPlugged();
    return path;
}

bool SimulatedBus::unplug(const std::string& path)
{
    std::shared_ptr<SimulatedDevice> device;
    {
        std::lock_guard<std::mutex> hold(lock_);
        for (auto it = devices_.begin(); it != devices_.end(); ++it) {
            if (it->second->path() == path) {
                device = it->second;
                devices_.erase(it);
                break;
            }
        }
        if (!device) return false;
        std::lock_guard<std::mutex> place(device->placeLock_);
        device->bus_ = nullptr;
        device->path_.clear();
    }
    device->onUnplugged();
    announce(device->deviceClass(), path, false);
    return true;
}

void SimulatedBus::reset()
{
    std::map<std::uint64_t, std::shared_ptr<SimulatedDevice>> gone;
    {
        std::lock_guard<std::mutex> hold(lock_);
        gone.swap(devices_);
        tasks_.clear();
        for (auto& [number, device] : gone) {
            std::lock_guard<std::mutex> place(device->placeLock_);
            device->bus_ = nullptr;
            device->path_.clear();
        }
    }
    idle_.notify_all();
    for (auto& [number, device] : gone)
        device->onUnplugged();
}

void SimulatedBus::after(std::chrono::milliseconds delay, std::function<void()> action)
{
    post(std::chrono::steady_clock::now() + delay, std::move(action));
}

bool SimulatedBus::waitIdle(std::chrono::milliseconds timeout)
{
    const auto target = std::chrono::steady_clock::now();
    std::unique_lock<std::mutex> hold(lock_);
    if (std::this_thread::get_id() == threadId_) return false; // would wait for itself
    return idle_.wait_for(hold, timeout, [&] {
        return stopping_ || (!busy_ && (tasks_.empty() || tasks_.begin()->first.first > target));
    });
}

std::vector<std::shared_ptr<SimulatedDevice>> SimulatedBus::devices() const
{
    std::lock_guard<std::mutex> hold(lock_);
    std::vector<std::shared_ptr<SimulatedDevice>> list;
    for (const auto& [number, device] : devices_)
        list.push_back(device);
    return list;
}

std::shared_ptr<SimulatedDevice> SimulatedBus::deviceAt(const std::string& path) const
{
    std::lock_guard<std::mutex> hold(lock_);
    for (const auto& [number, device] : devices_)
        if (device->path() == path) return device;
    return nullptr;
}

std::vector<std::string> SimulatedBus::enumerate(DeviceClassId cls)
{
    std::lock_guard<std::mutex> hold(lock_);
    std::vector<std::string> paths;
    for (const auto& [number, device] : devices_)
        if (device->deviceClass() == cls) paths.push_back(device->path());
    return paths;
}

std::unique_ptr<Device> SimulatedBus::open(const std::string& path)
{
    // Paths are matched as Windows matches them: without regard to case.
    const std::string wanted = lowerCase(path);
    std::shared_ptr<SimulatedDevice> device;
    {
        std::lock_guard<std::mutex> hold(lock_);
        for (const auto& [number, candidate] : devices_)
            if (lowerCase(candidate->path()) == wanted) device = candidate;
    }
    if (!device) {
        setLastError(kErrorFileNotFound);
        return nullptr;
    }
    if (const std::uint32_t rc = device->onOpen()) {
        setLastError(rc);
        return nullptr;
    }
    return std::make_unique<SimulatedHandle>(device, device->path());
}

int SimulatedBus::watch(DeviceClassId cls, WatchCallback callback)
{
    std::lock_guard<std::recursive_mutex> hold(watchLock_);
    const int token = nextToken_++;
    watchers_[token] = Watcher{cls, std::move(callback)};
    return token;
}

void SimulatedBus::unwatch(int token)
{
    std::lock_guard<std::recursive_mutex> hold(watchLock_);
    watchers_.erase(token);
}

void SimulatedBus::post(std::chrono::steady_clock::time_point due, std::function<void()> action)
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (stopping_) return;
        tasks_.emplace(std::make_pair(due, nextSequence_++), std::move(action));
    }
    wake_.notify_all();
}

void SimulatedBus::announce(DeviceClassId cls, const std::string& path, bool arrived)
{
    post(std::chrono::steady_clock::now(), [this, cls, path, arrived] {
        std::lock_guard<std::recursive_mutex> hold(watchLock_);
        // A callback may watch or unwatch: walk a snapshot of the tokens.
        std::vector<int> tokens;
        for (const auto& [token, watcher] : watchers_)
            if (watcher.cls == cls) tokens.push_back(token);
        for (int token : tokens) {
            const auto it = watchers_.find(token);
            if (it == watchers_.end()) continue;
            const WatchCallback callback = it->second.callback;
            if (callback) callback(cls, path, arrived);
        }
    });
}

void SimulatedBus::run()
{
    std::unique_lock<std::mutex> hold(lock_);
    threadId_ = std::this_thread::get_id();
    while (!stopping_) {
        if (tasks_.empty()) {
            wake_.wait(hold);
            continue;
        }
        const auto due = tasks_.begin()->first.first;
        if (due > std::chrono::steady_clock::now()) {
            wake_.wait_until(hold, due);
            continue;
        }
        std::function<void()> action = std::move(tasks_.begin()->second);
        tasks_.erase(tasks_.begin());
        busy_ = true;
        hold.unlock();
        action();
        action = nullptr;
        hold.lock();
        busy_ = false;
        idle_.notify_all();
    }
}

void setBareDeviceFactory(BareDeviceFactory factory)
{
    std::lock_guard<std::mutex> hold(factoryLock);
    factorySlot() = std::move(factory);
}

BareDeviceFactory bareDeviceFactory()
{
    std::lock_guard<std::mutex> hold(factoryLock);
    return factorySlot();
}

} // namespace FenmarlUsb
