#include "usb/LibusbBus.h"

#include "usb/BackendShared.h"
#include "usb/OsDescriptors.h"

#include <libusb.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <pthread.h>
#include <set>
#include <thread>

// The hardware backend: thin on purpose. It claims interface 0 (detaching a
// kernel driver that holds it), turns WinUSB's calls into libusb transfers
// and reports arrivals and removals from hotplug events or a 1 s poll.
namespace FenmarlUsb {

namespace {

// "\\?\usb#vid_04b4&pid_8613#1-1.4#{guid}": the Windows form, with the bus
// number and port chain as the instance part so the order is stable.
std::string makePath(libusb_device* device, const libusb_device_descriptor& d, DeviceClassId cls)
{
    std::uint8_t ports[8];
    const int depth = libusb_get_port_numbers(device, ports, sizeof ports);
    std::string location = std::to_string(libusb_get_bus_number(device)) + "-";
    for (int i = 0; i < depth; ++i)
        location += (i ? "." : "") + std::to_string(ports[i]);
    if (depth <= 0) location += "a" + std::to_string(libusb_get_device_address(device));
    return devicePath(UsbId{d.idVendor, d.idProduct}, location, cls);
}

bool idsMatch(const DeviceClass& c, const libusb_device_descriptor& d)
{
    return std::any_of(c.ids.begin(), c.ids.end(), [&](const UsbId& id) {
        return id.vendorId == d.idVendor && id.productId == d.idProduct;
    });
}

// Microsoft OS 1.0 descriptors: string 0xEE "MSFT100" names a vendor code;
// the extended-properties feature (index 5) lists DeviceInterfaceGUID(s).
bool namesGuidInOsDescriptors(libusb_device* device, const std::string& guid)
{
    libusb_device_handle* h = nullptr;
    if (libusb_open(device, &h) != 0) return false;
    bool found = false;
    std::uint8_t buffer[4096];
    const int n = libusb_get_descriptor(h, LIBUSB_DT_STRING, 0xEE, buffer, 18);
    const int vendorCode = n > 0 ? OsDescriptors::vendorCode(buffer, static_cast<std::size_t>(n)) : -1;
    if (vendorCode >= 0) {
        const int m = libusb_control_transfer(h, 0xC1, static_cast<std::uint8_t>(vendorCode), 0, 5, buffer,
                                              sizeof buffer, 1000);
        if (m > 0) found = OsDescriptors::propertiesNameGuid(buffer, static_cast<std::size_t>(m), guid);
    }
    libusb_close(h);
    return found;
}

struct Pending
{
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
    int status = LIBUSB_TRANSFER_ERROR;
    int actual = 0;
};

void LIBUSB_CALL transferDone(libusb_transfer* transfer)
{
    auto* pending = static_cast<Pending*>(transfer->user_data);
    std::lock_guard<std::mutex> hold(pending->lock);
    pending->status = transfer->status;
    pending->actual = transfer->actual_length;
    pending->finished = true;
    pending->done.notify_all();
}

class LibusbDevice final : public Device
{
public:
    LibusbDevice(libusb_device_handle* handle, std::string path) : handle_(handle), path_(std::move(path)) {}

    ~LibusbDevice() override
    {
        abortAll();
        libusb_release_interface(handle_, 0);
        libusb_close(handle_);
    }

    bool controlTransfer(const SetupPacket& setup, std::uint8_t* data, std::uint32_t* transferred) override
    {
        if (transferred) *transferred = 0;
        if (setup.length > 0 && !data) return fail(kErrorInvalidParameter);
        const int n = libusb_control_transfer(handle_, setup.requestType, setup.request, setup.value,
                                              setup.index, data, setup.length, timeout(0));
        if (n < 0) return fail(win32FromLibusb(n));
        if (transferred) *transferred = static_cast<std::uint32_t>(n);
        return true;
    }

    bool getDescriptor(std::uint8_t type, std::uint8_t index, std::uint16_t languageId, std::uint8_t* buffer,
                       std::uint32_t length, std::uint32_t* transferred) override
    {
        if (!buffer || length > 0xFFFF) return fail(kErrorInvalidParameter);
        const SetupPacket setup{0x80, LIBUSB_REQUEST_GET_DESCRIPTOR,
                                static_cast<std::uint16_t>((type << 8) | index), languageId,
                                static_cast<std::uint16_t>(length)};
        return controlTransfer(setup, buffer, transferred);
    }

    bool queryPipes(std::vector<PipeInformation>* pipes) override
    {
        if (!pipes) return fail(kErrorInvalidParameter);
        libusb_config_descriptor* config = nullptr;
        const int rc = libusb_get_active_config_descriptor(libusb_get_device(handle_), &config);
        if (rc != 0) return fail(win32FromLibusb(rc));
        pipes->clear();
        if (config->bNumInterfaces > 0 && config->interface[0].num_altsetting > 0) {
            const libusb_interface_descriptor& alt = config->interface[0].altsetting[0];
            for (int i = 0; i < alt.bNumEndpoints; ++i) {
                const libusb_endpoint_descriptor& e = alt.endpoint[i];
                pipes->push_back(
                    PipeInformation{static_cast<PipeType>(e.bmAttributes & 3), e.bEndpointAddress,
                                    static_cast<std::uint16_t>(e.wMaxPacketSize & 0x7FF), e.bInterval});
            }
        }
        libusb_free_config_descriptor(config);
        return true;
    }

    bool setPipeTransferTimeout(std::uint8_t pipeId, std::uint32_t milliseconds) override
    {
        timeouts_.set(pipeId, milliseconds);
        return true;
    }

    bool readPipe(std::uint8_t pipeId, std::uint8_t* buffer, std::uint32_t length,
                  std::uint32_t* transferred) override
    {
        if (transferred) *transferred = 0;
        if ((!buffer && length) || !(pipeId & 0x80) || length > 0x7FFFFFFF)
            return fail(kErrorInvalidParameter);
        libusb_transfer* transfer = libusb_alloc_transfer(0);
        if (!transfer) return fail(win32FromLibusb(LIBUSB_ERROR_NO_MEM));
        Pending pending;
        libusb_fill_bulk_transfer(transfer, handle_, pipeId, buffer, static_cast<int>(length), transferDone,
                                  &pending, timeout(pipeId));
        {
            std::lock_guard<std::mutex> hold(lock_);
            const int rc = libusb_submit_transfer(transfer);
            if (rc != 0) {
                libusb_free_transfer(transfer);
                return fail(win32FromLibusb(rc));
            }
            inFlight_.insert(transfer);
        }
        {
            std::unique_lock<std::mutex> wait(pending.lock);
            pending.done.wait(wait, [&] { return pending.finished; });
        }
        {
            std::lock_guard<std::mutex> hold(lock_);
            inFlight_.erase(transfer);
        }
        libusb_free_transfer(transfer);
        if (transferred) *transferred = static_cast<std::uint32_t>(pending.actual);
        const std::uint32_t rc = win32FromTransferStatus(pending.status);
        return rc == 0 ? true : fail(rc);
    }

    bool abortPipe(std::uint8_t pipeId) override
    {
        std::lock_guard<std::mutex> hold(lock_);
        for (libusb_transfer* t : inFlight_)
            if (t->endpoint == pipeId) libusb_cancel_transfer(t);
        return true;
    }

    bool resetPipe(std::uint8_t pipeId) override
    {
        const int rc = libusb_clear_halt(handle_, pipeId);
        return rc == 0 ? true : fail(win32FromLibusb(rc));
    }

    bool queryDeviceSpeed(std::uint8_t* speed) override
    {
        if (!speed) return fail(kErrorInvalidParameter);
        const int s = libusb_get_device_speed(libusb_get_device(handle_));
        *speed = s >= LIBUSB_SPEED_HIGH ? kHighSpeed : kFullSpeed;
        return true;
    }

    std::string path() const override { return path_; }

private:
    unsigned timeout(std::uint8_t pipeId) { return timeouts_.get(pipeId); }

    bool fail(std::uint32_t code)
    {
        setLastError(code);
        return false;
    }

    // Reads still pending on other threads end as aborted before the handle closes.
    void abortAll()
    {
        for (;;) {
            {
                std::lock_guard<std::mutex> hold(lock_);
                if (inFlight_.empty()) return;
                for (libusb_transfer* t : inFlight_)
                    libusb_cancel_transfer(t);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    libusb_device_handle* handle_;
    const std::string path_;
    std::mutex lock_;
    PipeTimeouts timeouts_;
    std::set<libusb_transfer*> inFlight_;
};

class LibusbBus final : public Bus
{
public:
    LibusbBus()
    {
        if (libusb_init(&context_) != 0) {
            context_ = nullptr;
            return;
        }
        events_ = std::thread([this] { handleEvents(); });
        // Named, so its share of the CPU can be told apart (top -H, the benchmark).
        pthread_setname_np(events_.native_handle(), "usb-events");
        if (libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG)) {
            libusb_hotplug_register_callback(
                context_,
                static_cast<libusb_hotplug_event>(LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED |
                                                  LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT),
                LIBUSB_HOTPLUG_NO_FLAGS, LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY,
                LIBUSB_HOTPLUG_MATCH_ANY, hotplugEvent, this, &hotplugHandle_);
        }
    }

    // Never destroyed (see libusbBus()); the threads live as long as the process.

    std::vector<std::string> enumerate(DeviceClassId cls) override
    {
        std::vector<std::string> paths;
        if (!context_) return paths;
        libusb_device** list = nullptr;
        const ssize_t count = libusb_get_device_list(context_, &list);
        for (ssize_t i = 0; i < count; ++i) {
            libusb_device_descriptor d{};
            if (libusb_get_device_descriptor(list[i], &d) != 0) continue;
            if (belongs(list[i], d, cls)) paths.push_back(makePath(list[i], d, cls));
        }
        if (list) libusb_free_device_list(list, 1);
        std::sort(paths.begin(), paths.end(), [](const std::string& a, const std::string& b) {
            return instanceOf(a) < instanceOf(b) || (instanceOf(a) == instanceOf(b) && a < b);
        });
        return paths;
    }

    std::unique_ptr<Device> open(const std::string& path) override
    {
        if (!context_) {
            setLastError(kErrorFileNotFound);
            return nullptr;
        }
        const std::string wanted = lowerCase(path);
        libusb_device** list = nullptr;
        const ssize_t count = libusb_get_device_list(context_, &list);
        libusb_device* match = nullptr;
        for (ssize_t i = 0; i < count && !match; ++i) {
            libusb_device_descriptor d{};
            if (libusb_get_device_descriptor(list[i], &d) != 0) continue;
            for (const DeviceClass& c : deviceClasses())
                if (lowerCase(makePath(list[i], d, c.id)) == wanted && belongs(list[i], d, c.id))
                    match = list[i];
        }
        std::unique_ptr<Device> device;
        if (!match) {
            setLastError(kErrorFileNotFound);
        } else {
            libusb_device_handle* h = nullptr;
            int rc = libusb_open(match, &h);
            if (rc == 0) {
                if (libusb_kernel_driver_active(h, 0) == 1) libusb_detach_kernel_driver(h, 0);
                rc = libusb_claim_interface(h, 0);
                if (rc != 0) libusb_close(h);
            }
            if (rc == 0)
                device = std::make_unique<LibusbDevice>(h, path);
            else
                setLastError(win32FromLibusb(rc));
        }
        if (list) libusb_free_device_list(list, 1);
        return device;
    }

    int watch(DeviceClassId cls, WatchCallback callback) override
    {
        std::lock_guard<std::recursive_mutex> hold(watchLock_);
        const int token = nextToken_++;
        Watch w{cls, std::move(callback), {}};
        const auto present = enumerate(cls);
        w.known.insert(present.begin(), present.end());
        watches_[token] = std::move(w);
        if (!poller_.joinable()) {
            poller_ = std::thread([this] { poll(); });
            pthread_setname_np(poller_.native_handle(), "usb-watch");
        }
        return token;
    }

    void unwatch(int token) override
    {
        std::lock_guard<std::recursive_mutex> hold(watchLock_);
        watches_.erase(token);
    }

    std::string backendName() const override { return "libusb"; }

private:
    struct Watch
    {
        DeviceClassId cls;
        WatchCallback callback;
        std::set<std::string> known;
    };

    static std::string instanceOf(const std::string& path)
    {
        const auto a = path.find('#');
        const auto b = path.find('#', a + 1);
        const auto c = path.find('#', b + 1);
        return (a == std::string::npos || b == std::string::npos || c == std::string::npos)
                   ? path
                   : path.substr(b + 1, c - b - 1);
    }

    bool belongs(libusb_device* device, const libusb_device_descriptor& d, DeviceClassId cls)
    {
        const DeviceClass& c = deviceClass(cls);
        if (idsMatch(c, d)) return true;
        if (cls != DeviceClassId::Instrument || d.bDeviceClass == LIBUSB_CLASS_HUB) return false;
        // A bare microcontroller is never the instrument, whatever it says.
        if (idsMatch(deviceClass(DeviceClassId::BareMicrocontroller), d)) return false;
        // Opening every device is slow: remember the answer per device.
        const auto key = std::make_tuple(libusb_get_bus_number(device), libusb_get_device_address(device),
                                         d.idVendor, d.idProduct);
        std::lock_guard<std::mutex> hold(osDescriptorLock_);
        const auto it = osDescriptorAnswers_.find(key);
        if (it != osDescriptorAnswers_.end()) return it->second;
        const bool named = namesGuidInOsDescriptors(device, c.interfaceGuid);
        osDescriptorAnswers_[key] = named;
        return named;
    }

    static int LIBUSB_CALL hotplugEvent(libusb_context*, libusb_device*, libusb_hotplug_event, void* self)
    {
        auto* bus = static_cast<LibusbBus*>(self);
        {
            std::lock_guard<std::mutex> hold(bus->pollLock_);
            bus->changed_ = true;
        }
        bus->pollWake_.notify_all();
        return 0;
    }

    void handleEvents()
    {
        for (;;) {
            timeval tv{0, 200000};
            libusb_handle_events_timeout_completed(context_, &tv, nullptr);
        }
    }

    // Arrival/removal by comparing what is present with what each watcher knew;
    // hotplug events only make the next comparison come sooner.
    void poll()
    {
        for (;;) {
            {
                std::unique_lock<std::mutex> hold(pollLock_);
                pollWake_.wait_for(hold, std::chrono::seconds(1), [this] { return changed_; });
                changed_ = false;
            }
            std::lock_guard<std::recursive_mutex> hold(watchLock_);
            std::map<DeviceClassId, std::set<std::string>> present;
            for (auto& [token, w] : watches_)
                if (!present.count(w.cls)) {
                    const auto list = enumerate(w.cls);
                    present[w.cls] = std::set<std::string>(list.begin(), list.end());
                }
            std::vector<int> tokens;
            for (auto& [token, w] : watches_)
                tokens.push_back(token);
            for (int token : tokens) {
                auto it = watches_.find(token);
                if (it == watches_.end()) continue;
                const DeviceClassId cls = it->second.cls;
                const std::set<std::string> now = present[cls];
                const std::set<std::string> before = it->second.known;
                it->second.known = now;
                const WatchCallback callback = it->second.callback;
                for (const std::string& p : before)
                    if (!now.count(p) && callback) callback(cls, p, false);
                for (const std::string& p : now)
                    if (!before.count(p) && callback) callback(cls, p, true);
            }
        }
    }

    libusb_context* context_ = nullptr;
    libusb_hotplug_callback_handle hotplugHandle_ = 0;
    std::thread events_;
    std::thread poller_;
    std::mutex pollLock_;
    std::condition_variable pollWake_;
    bool changed_ = false;
    std::recursive_mutex watchLock_;
    std::map<int, Watch> watches_;
    int nextToken_ = 1;
    std::mutex osDescriptorLock_;
    std::map<std::tuple<int, int, int, int>, bool> osDescriptorAnswers_;
};

} // namespace

Bus& libusbBus()
{
    // Never destroyed: its event and poll threads run until the process ends,
    // and other libraries may unwatch from their unload hooks.
    static LibusbBus* const theBus = new LibusbBus;
    return *theBus;
}

} // namespace FenmarlUsb
