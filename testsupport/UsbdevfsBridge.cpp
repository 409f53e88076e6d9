#include "testsupport/UsbdevfsBridge.h"

#include "testsupport/WaitFor.h"
#include "usb/UsbBus.h"

#include <umockdev.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <linux/usbdevice_fs.h>
#include <map>
#include <mutex>
#include <pthread.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace TestSupport {

using FenmarlUsb::DeviceClassId;
using FenmarlUsb::PipeInformation;
using FenmarlUsb::SetupPacket;
using FenmarlUsb::SimulatedDevice;

namespace {

constexpr std::uint8_t kUrbControl = USBDEVFS_URB_TYPE_CONTROL;
constexpr std::uint8_t kUrbBulk = USBDEVFS_URB_TYPE_BULK;

// What a modern host controller reports: whole bulk transfers in one URB.
constexpr std::uint32_t kCapabilities = USBDEVFS_CAP_BULK_SCATTER_GATHER | USBDEVFS_CAP_NO_PACKET_SIZE_LIM;

// The simulator's Win32 results as the kernel would end the URB.
int urbStatus(std::uint32_t win32)
{
    switch (win32) {
    case 0:
        return 0;
    case 995: // aborted
        return -ENOENT;
    case 1167: // device not connected
        return -ESHUTDOWN;
    case 121: // time-out
        return -ETIMEDOUT;
    case 31: // a stalled request
    case 87: // no such pipe
        return -EPIPE;
    default:
        return -EPROTO;
    }
}

std::vector<std::uint8_t> descriptorsOf(const SimulatedDevice& device)
{
    const FenmarlUsb::UsbId id = device.usbId();
    const std::vector<PipeInformation> pipes = device.pipes();
    const auto lo = [](unsigned v) { return static_cast<std::uint8_t>(v & 0xFF); };
    const auto hi = [](unsigned v) { return static_cast<std::uint8_t>(v >> 8); };
    std::vector<std::uint8_t> d = {18, 1, 0x00, 0x02, 0, 0, 0, 64, lo(id.vendorId), hi(id.vendorId),
                                   lo(id.productId), hi(id.productId), 0x01, 0x00, 0, 2, 0, 1};
    const unsigned total = 9 + 9 + 7 * static_cast<unsigned>(pipes.size());
    const std::vector<std::uint8_t> config = {9, 2, lo(total), hi(total), 1, 1, 0, 0x80, 50};
    const std::vector<std::uint8_t> interface = {9, 4, 0, 0, static_cast<std::uint8_t>(pipes.size()),
                                                 0xFF, 0, 0, 0};
    d.insert(d.end(), config.begin(), config.end());
    d.insert(d.end(), interface.begin(), interface.end());
    for (const PipeInformation& p : pipes) {
        const std::vector<std::uint8_t> e = {7, 5, p.pipeId, static_cast<std::uint8_t>(p.pipeType),
                                             lo(p.maximumPacketSize), hi(p.maximumPacketSize), p.interval};
        d.insert(d.end(), e.begin(), e.end());
    }
    return d;
}

struct Urb
{
    UMockdevIoctlClient* client = nullptr; // identity only
    UMockdevIoctlData* urbData = nullptr;  // owned reference
    UMockdevIoctlData* bufferData = nullptr;
    gulong address = 0; // the URB's address in the client
    std::uint8_t type = 0;
    std::uint8_t endpoint = 0;
    std::vector<std::uint8_t> bytes;
    int status = 0;
    int actual = 0;
    bool running = false;
    bool discarded = false;
    bool done = false;
    bool orphaned = false; // its client closed the node: nobody will reap it
};
using UrbPtr = std::shared_ptr<Urb>;

} // namespace

class UsbdevfsBridge::Impl
{
public:
    struct Mirror;

    // URBs of one endpoint run in order on its own thread, as the bus would
    // serve them; the ioctl handler only queues them.
    struct Worker
    {
        std::thread thread;
        std::condition_variable wake;
        std::deque<UrbPtr> queue;
        UrbPtr running;
        bool stop = false;
    };

    struct Mirror
    {
        Impl* owner = nullptr;
        std::shared_ptr<SimulatedDevice> device;
        std::string simPath;
        std::string sysPath;
        std::string devnode;
        std::string libusbPath;
        int port = 0;
        int devnum = 0;
        UMockdevIoctlBase* handler = nullptr;
        int fifo = -1; // our end of the node's FIFO: full = no POLLOUT for libusb
        bool fifoFull = false;
        bool gone = false;
        UMockdevIoctlClient* claimedBy = nullptr; // interface 0, as usbfs keeps it per open file
        std::map<std::uint8_t, std::unique_ptr<Worker>> workers;
        std::vector<UrbPtr> inFlight;
        std::deque<UrbPtr> reapable;
    };

    Impl()
    {
        testbed_ = umockdev_testbed_new();
        // Asked only now: before a testbed exists the answer is cached as false.
        mocked_ = umockdev_in_mock_environment();
        gchar* root = umockdev_testbed_get_root_dir(testbed_);
        root_ = root;
        g_free(root);
        // The root hub: a parent for port numbers, and /dev/bus/usb for libusb_init.
        const std::vector<std::uint8_t> hub = {18, 1, 0, 2, 9, 0, 1, 64, 0x6b, 0x1d, 2, 0, 0, 1, 0, 0, 0, 1,
                                               9, 2, 18, 0, 1, 1, 0, 0xE0, 0,
                                               9, 4, 0, 0, 0, 9, 0, 0, 0};
        hubPath_ = addDevice("usb1", nullptr, "480", "/dev/bus/usb/001/001", hub);
        setAddress(hubPath_, 1);
        watchTokens_[0] = bus_.watch(DeviceClassId::Instrument, [this](DeviceClassId, const std::string& p,
                                                                       bool arrived) { mirror(p, arrived); });
        watchTokens_[1] = bus_.watch(DeviceClassId::BareMicrocontroller,
                                     [this](DeviceClassId, const std::string& p, bool arrived) {
                                         mirror(p, arrived);
                                     });
        aborter_ = std::thread([this] { abortLoop(); });
        pthread_setname_np(aborter_.native_handle(), "bridge-abort");
    }

    // The process ends with the bridge alive: libusb keeps its handles and
    // threads until exit, and umockdev's worker may still answer them.

    bool mocked_ = false;
    FenmarlUsb::SimulatedBus bus_;

    std::string plug(std::shared_ptr<SimulatedDevice> device, std::chrono::milliseconds timeout)
    {
        const std::string simPath = bus_.plug(device);
        if (simPath.empty() || !bus_.waitIdle()) return {};
        const std::string path = libusbPath(device);
        if (path.empty()) return {};
        if (!waitFor([&] { return listed(device->deviceClass(), path); }, timeout)) return {};
        return path;
    }

    bool unplug(const std::shared_ptr<SimulatedDevice>& device, std::chrono::milliseconds timeout)
    {
        const std::string path = libusbPath(device);
        if (!bus_.unplug(device->path()) || !bus_.waitIdle()) return false;
        return waitFor([&] { return path.empty() || !listed(device->deviceClass(), path); }, timeout);
    }

    void reset()
    {
        bus_.waitIdle();
        for (const auto& device : bus_.devices())
            unplug(device, std::chrono::seconds(10));
        bus_.waitIdle();
    }

    std::string libusbPath(const std::shared_ptr<SimulatedDevice>& device)
    {
        std::lock_guard<std::mutex> hold(lock_);
        for (auto& [key, m] : mirrors_)
            if (!m->gone && m->device == device) return m->libusbPath;
        return {};
    }

    static bool listed(DeviceClassId cls, const std::string& path)
    {
        const auto paths = FenmarlUsb::libusbBus().enumerate(cls);
        return std::find(paths.begin(), paths.end(), path) != paths.end();
    }

    std::uint64_t urbsCompleted()
    {
        std::lock_guard<std::mutex> hold(lock_);
        return completed_;
    }

private:
    // The testbed announces "add" at once, before the binary descriptors can be
    // written: the bus and device numbers, without which libusb ignores a
    // device, come last (setAddress), so libusb never reads half an entry.
    std::string addDevice(const char* name, const char* parent, const char* speed, const std::string& devnode,
                          const std::vector<std::uint8_t>& descriptors)
    {
        // As sysfs shows them: one value a line.
        const std::string speedLine = std::string(speed) + "\n";
        const char* attributes[] = {"speed", speedLine.c_str(), "bConfigurationValue", "1\n", nullptr};
        const char* properties[] = {"DEVNAME", devnode.c_str(), "DEVTYPE", "usb_device", "BUSNUM", "001",
                                    nullptr};
        gchar* sys = umockdev_testbed_add_devicev(testbed_, "usb", name, parent,
                                                  const_cast<gchar**>(attributes),
                                                  const_cast<gchar**>(properties));
        std::string sysPath = sys ? sys : "";
        g_free(sys);
        std::vector<std::uint8_t> bytes = descriptors;
        umockdev_testbed_set_attribute_binary(testbed_, sysPath.c_str(), "descriptors", bytes.data(),
                                              static_cast<gint>(bytes.size()));
        return sysPath;
    }

    void setAddress(const std::string& sysPath, int devnum)
    {
        umockdev_testbed_set_attribute(testbed_, sysPath.c_str(), "busnum", "1\n");
        umockdev_testbed_set_attribute(testbed_, sysPath.c_str(), "devnum", (std::to_string(devnum) + "\n").c_str());
    }

    // On the simulated bus's thread: a device arrived or left.
    void mirror(const std::string& simPath, bool arrived)
    {
        if (arrived)
            attach(simPath);
        else
            detach(simPath);
    }

    void attach(const std::string& simPath)
    {
        std::shared_ptr<SimulatedDevice> device = bus_.deviceAt(simPath);
        if (!device) return;
        auto m = std::make_unique<Mirror>();
        m->owner = this;
        m->device = device;
        m->simPath = simPath;
        {
            std::lock_guard<std::mutex> hold(lock_);
            m->devnum = ++lastDevnum_;
            int port = 1;
            for (bool taken = true; taken; ++port) {
                taken = false;
                for (auto& [key, other] : mirrors_)
                    if (!other->gone && other->port == port) taken = true;
                if (!taken) break;
            }
            m->port = port;
        }
        char node[32];
        std::snprintf(node, sizeof node, "/dev/bus/usb/001/%03d", m->devnum);
        m->devnode = node;
        const std::string name = "1-" + std::to_string(m->port);
        m->sysPath = addDevice(name.c_str(), hubPath_.c_str(),
                               device->speed() == FenmarlUsb::kHighSpeed ? "480" : "12", m->devnode,
                               descriptorsOf(*device));
        // umockdev does not emulate poll(): a FIFO whose fullness we control
        // tells libusb's event loop when a URB can be reaped.
        const std::string fifoPath = root_ + m->devnode;
        std::filesystem::create_directories(std::filesystem::path(fifoPath).parent_path());
        ::unlink(fifoPath.c_str());
        ::mkfifo(fifoPath.c_str(), 0666);
        m->fifo = ::open(fifoPath.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        ::fcntl(m->fifo, F_SETPIPE_SZ, 4096);
        setPollout(*m, false);
        m->handler = umockdev_ioctl_base_new();
        g_signal_connect(m->handler, "handle-ioctl", G_CALLBACK(&Impl::onIoctl), m.get());
        g_signal_connect(m->handler, "client-vanished", G_CALLBACK(&Impl::onVanished), m.get());
        GError* error = nullptr;
        if (!umockdev_testbed_attach_ioctl(testbed_, m->devnode.c_str(), m->handler, &error)) {
            std::fprintf(stderr, "usbdevfs bridge: cannot attach to %s: %s\n", m->devnode.c_str(),
                         error ? error->message : "?");
            g_clear_error(&error);
        }
        const FenmarlUsb::UsbId id = device->usbId();
        char head[48];
        std::snprintf(head, sizeof head, "\\\\?\\usb#vid_%04x&pid_%04x#", id.vendorId, id.productId);
        std::string guid = FenmarlUsb::deviceClass(device->deviceClass()).interfaceGuid;
        for (char& c : guid)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        m->libusbPath = head + name + "#" + guid;
        const std::string sysPath = m->sysPath;
        const int devnum = m->devnum;
        {
            std::lock_guard<std::mutex> hold(lock_);
            mirrors_[simPath + "#" + std::to_string(m->devnum)] = std::move(m);
        }
        setAddress(sysPath, devnum);
        umockdev_testbed_uevent(testbed_, sysPath.c_str(), "add");
    }

    void detach(const std::string& simPath)
    {
        Mirror* m = nullptr;
        std::vector<std::unique_ptr<Worker>> workers;
        {
            std::lock_guard<std::mutex> hold(lock_);
            for (auto& [key, other] : mirrors_)
                if (!other->gone && other->simPath == simPath) m = other.get();
            if (!m) return;
            // Pending URBs end as the kernel ends them on disconnect; later
            // calls fail with ENODEV. (A FIFO cannot raise POLLERR.)
            m->gone = true;
            for (auto& [ep, w] : m->workers) {
                for (const UrbPtr& u : w->queue) {
                    u->status = -ESHUTDOWN;
                    finishLocked(*m, u);
                }
                w->queue.clear();
                w->stop = true;
                w->wake.notify_all();
                workers.push_back(std::move(w));
            }
            m->workers.clear();
        }
        // A read still running ends by itself: the unplugged device fails it.
        for (auto& w : workers)
            if (w->thread.joinable()) w->thread.join();
        umockdev_testbed_uevent(testbed_, m->sysPath.c_str(), "remove");
        umockdev_testbed_remove_device(testbed_, m->sysPath.c_str());
    }

    void setPollout(Mirror& m, bool on)
    {
        if (m.fifo < 0) return;
        if (on && m.fifoFull) {
            char c;
            while (::read(m.fifo, &c, 1) == 1) {
            }
            m.fifoFull = false;
        } else if (!on && !m.fifoFull) {
            const char c = 0;
            m.fifoFull = ::write(m.fifo, &c, 1) == 1;
        }
    }

    void finishLocked(Mirror& m, const UrbPtr& u)
    {
        u->done = true;
        u->running = false;
        if (u->orphaned) {
            m.inFlight.erase(std::remove(m.inFlight.begin(), m.inFlight.end(), u), m.inFlight.end());
            release(*u);
            return;
        }
        m.reapable.push_back(u);
        ++completed_;
        setPollout(m, true);
    }

    Worker& workerFor(Mirror& m, std::uint8_t endpoint)
    {
        std::unique_ptr<Worker>& w = m.workers[endpoint];
        if (!w) {
            w = std::make_unique<Worker>();
            Worker* raw = w.get();
            Mirror* mirror = &m;
            w->thread = std::thread([this, mirror, raw] { runWorker(*mirror, *raw); });
            pthread_setname_np(w->thread.native_handle(), "bridge-urbs");
        }
        return *w;
    }

    void runWorker(Mirror& m, Worker& w)
    {
        std::unique_lock<std::mutex> hold(lock_);
        for (;;) {
            w.wake.wait(hold, [&] { return w.stop || !w.queue.empty(); });
            if (w.stop) return;
            UrbPtr u = w.queue.front();
            w.queue.pop_front();
            u->running = true;
            w.running = u;
            hold.unlock();
            execute(*m.device, *u);
            hold.lock();
            w.running.reset();
            if (u->discarded && u->status != 0) u->status = -ENOENT;
            finishLocked(m, u);
        }
    }

    static void execute(SimulatedDevice& device, Urb& u)
    {
        std::uint32_t rc = 87;
        std::uint32_t count = 0;
        if (u.type == kUrbControl && u.bytes.size() >= 8) {
            const std::uint8_t* s = u.bytes.data();
            const SetupPacket setup{s[0], s[1], static_cast<std::uint16_t>(s[2] | (s[3] << 8)),
                                    static_cast<std::uint16_t>(s[4] | (s[5] << 8)),
                                    static_cast<std::uint16_t>(s[6] | (s[7] << 8))};
            const std::uint32_t room = static_cast<std::uint32_t>(u.bytes.size() - 8);
            if (setup.length <= room) {
                rc = device.controlTransfer(setup, u.bytes.data() + 8, &count, 0);
                count = std::min<std::uint32_t>(count, setup.length);
            }
        } else if (u.type == kUrbBulk && (u.endpoint & 0x80)) {
            const std::uint32_t length = static_cast<std::uint32_t>(u.bytes.size());
            rc = device.bulkRead(u.endpoint, u.bytes.data(), length, &count, 0);
            count = std::min(count, length);
        }
        u.status = urbStatus(rc);
        u.actual = static_cast<int>(count);
    }

    // Discarding a running URB aborts its pipe until it has ended: an abort
    // that comes before the read started waiting would be missed.
    void abortLoop()
    {
        std::unique_lock<std::mutex> hold(lock_);
        for (;;) {
            abortWake_.wait(hold, [this] { return !aborting_.empty(); });
            for (auto it = aborting_.begin(); it != aborting_.end();) {
                if (it->second->done) {
                    it = aborting_.erase(it);
                    continue;
                }
                // Under lock_: the pipe's next URB cannot start meanwhile.
                it->first->abortPipe(it->second->endpoint);
                ++it;
            }
            if (!aborting_.empty()) {
                hold.unlock();
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                hold.lock();
            }
        }
    }

    static void onVanished(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self)
    {
        auto& m = *static_cast<Mirror*>(self);
        std::lock_guard<std::mutex> hold(m.owner->lock_);
        if (m.claimedBy == client) m.claimedBy = nullptr;
        const auto drop = [&](const UrbPtr& u) {
            if (u->client != client) return false;
            m.owner->release(*u);
            return true;
        };
        m.reapable.erase(std::remove_if(m.reapable.begin(), m.reapable.end(), drop), m.reapable.end());
        // URBs still running end unreaped; kept until then so a discard finds them.
        for (const UrbPtr& u : m.inFlight)
            if (u->client == client) u->orphaned = true;
        m.inFlight.erase(std::remove_if(m.inFlight.begin(), m.inFlight.end(),
                                        [&](const UrbPtr& u) { return u->client == client && u->done; }),
                         m.inFlight.end());
        m.owner->setPollout(m, !m.reapable.empty());
    }

    void release(Urb& u)
    {
        if (u.urbData) g_object_unref(u.urbData);
        if (u.bufferData) g_object_unref(u.bufferData);
        u.urbData = u.bufferData = nullptr;
    }

    static gboolean onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self)
    {
        auto& m = *static_cast<Mirror*>(self);
        return m.owner->handle(m, client);
    }

    gboolean handle(Mirror& m, UMockdevIoctlClient* client)
    {
        const unsigned long request = umockdev_ioctl_client_get_request(client);
        UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
        std::unique_lock<std::mutex> hold(lock_);
        if (m.gone && request != USBDEVFS_REAPURBNDELAY && request != USBDEVFS_REAPURB &&
            request != USBDEVFS_RELEASEINTERFACE) {
            umockdev_ioctl_client_complete(client, -1, ENODEV);
            return TRUE;
        }
        switch (request) {
        case USBDEVFS_GET_CAPABILITIES: {
            UMockdevIoctlData* d = umockdev_ioctl_data_resolve(arg, 0, sizeof(std::uint32_t), nullptr);
            if (!d) break;
            std::uint32_t caps = kCapabilities;
            umockdev_ioctl_data_update(d, 0, reinterpret_cast<guint8*>(&caps), sizeof caps);
            umockdev_ioctl_client_complete(client, 0, 0);
            g_object_unref(d);
            return TRUE;
        }
        case USBDEVFS_GETDRIVER: // no kernel driver holds the interface
            umockdev_ioctl_client_complete(client, -1, ENODATA);
            return TRUE;
        case USBDEVFS_CLAIMINTERFACE:
            // A second open file cannot claim what another one holds.
            if (m.claimedBy && m.claimedBy != client) {
                umockdev_ioctl_client_complete(client, -1, EBUSY);
                return TRUE;
            }
            m.claimedBy = client;
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        case USBDEVFS_RELEASEINTERFACE:
            if (m.claimedBy == client) m.claimedBy = nullptr;
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        case USBDEVFS_SETINTERFACE:
        case USBDEVFS_CLEAR_HALT:
        case USBDEVFS_RESETEP:
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        case USBDEVFS_SUBMITURB:
            return submit(m, client, arg);
        case USBDEVFS_DISCARDURB:
            return discard(m, client, arg);
        case USBDEVFS_REAPURBNDELAY:
        case USBDEVFS_REAPURB: // libusb only reaps without delay; never block the worker
            return reap(m, client, arg);
        default:
            std::fprintf(stderr, "usbdevfs bridge: ioctl 0x%lx not emulated\n", request);
            umockdev_ioctl_client_complete(client, -1, ENOTTY);
            return TRUE;
        }
        umockdev_ioctl_client_complete(client, -1, EFAULT);
        return TRUE;
    }

    gboolean submit(Mirror& m, UMockdevIoctlClient* client, UMockdevIoctlData* arg)
    {
        UMockdevIoctlData* urbData = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
        if (!urbData) {
            umockdev_ioctl_client_complete(client, -1, EFAULT);
            return TRUE;
        }
        usbdevfs_urb urb;
        std::memcpy(&urb, urbData->data, sizeof urb);
        auto u = std::make_shared<Urb>();
        u->client = client;
        u->urbData = urbData;
        u->address = urbData->client_addr;
        u->type = urb.type;
        u->endpoint = urb.endpoint;
        if (urb.buffer_length < 0 || (urb.type != kUrbControl && urb.type != kUrbBulk)) {
            release(*u);
            umockdev_ioctl_client_complete(client, -1, EINVAL);
            return TRUE;
        }
        if (urb.buffer_length > 0) {
            u->bufferData = umockdev_ioctl_data_resolve(urbData, offsetof(usbdevfs_urb, buffer),
                                                        static_cast<gsize>(urb.buffer_length), nullptr);
            if (!u->bufferData) {
                release(*u);
                umockdev_ioctl_client_complete(client, -1, EFAULT);
                return TRUE;
            }
            u->bytes.assign(u->bufferData->data, u->bufferData->data + urb.buffer_length);
        }
        const std::uint8_t queueKey = urb.type == kUrbControl ? 0 : urb.endpoint;
        m.inFlight.push_back(u);
        Worker& w = workerFor(m, queueKey);
        w.queue.push_back(u);
        w.wake.notify_all();
        umockdev_ioctl_client_complete(client, 0, 0);
        return TRUE;
    }

    gboolean discard(Mirror& m, UMockdevIoctlClient* client, UMockdevIoctlData* arg)
    {
        gulong address = 0;
        std::memcpy(&address, arg->data, std::min<std::size_t>(sizeof address, arg->data_len));
        for (const UrbPtr& u : m.inFlight) {
            if (u->client != client || u->address != address || u->done) continue;
            u->discarded = true;
            if (!u->running) {
                for (auto& [ep, w] : m.workers)
                    w->queue.erase(std::remove(w->queue.begin(), w->queue.end(), u), w->queue.end());
                u->status = -ENOENT;
                finishLocked(m, u);
            } else {
                aborting_.emplace_back(m.device, u);
                abortWake_.notify_all();
            }
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        }
        // Already ended (or never submitted): as the kernel answers.
        umockdev_ioctl_client_complete(client, -1, EINVAL);
        return TRUE;
    }

    gboolean reap(Mirror& m, UMockdevIoctlClient* client, UMockdevIoctlData* arg)
    {
        auto it = std::find_if(m.reapable.begin(), m.reapable.end(),
                               [&](const UrbPtr& u) { return u->client == client; });
        if (it == m.reapable.end()) {
            setPollout(m, !m.reapable.empty());
            umockdev_ioctl_client_complete(client, -1, m.gone ? ENODEV : EAGAIN);
            return TRUE;
        }
        UrbPtr u = *it;
        m.reapable.erase(it);
        m.inFlight.erase(std::remove(m.inFlight.begin(), m.inFlight.end(), u), m.inFlight.end());
        setPollout(m, !m.reapable.empty());
        UMockdevIoctlData* target = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), nullptr);
        if (!target) {
            release(*u);
            umockdev_ioctl_client_complete(client, -1, EFAULT);
            return TRUE;
        }
        if (u->bufferData && u->actual > 0) {
            // Control URBs carry the setup packet first.
            const std::size_t offset = u->type == kUrbControl ? 8 : 0;
            umockdev_ioctl_data_update(u->bufferData, offset, u->bytes.data() + offset, u->actual);
        }
        umockdev_ioctl_data_update(u->urbData, offsetof(usbdevfs_urb, status),
                                   reinterpret_cast<guint8*>(&u->status), sizeof u->status);
        umockdev_ioctl_data_update(u->urbData, offsetof(usbdevfs_urb, actual_length),
                                   reinterpret_cast<guint8*>(&u->actual), sizeof u->actual);
        umockdev_ioctl_data_set_ptr(target, 0, u->urbData);
        umockdev_ioctl_client_complete(client, 0, 0);
        g_object_unref(target);
        release(*u);
        return TRUE;
    }

    UMockdevTestbed* testbed_ = nullptr;
    std::string root_;
    std::string hubPath_;
    int watchTokens_[2] = {0, 0};
    std::mutex lock_;
    std::map<std::string, std::unique_ptr<Mirror>> mirrors_; // kept: libusb may still hold their handles
    int lastDevnum_ = 1;
    std::uint64_t completed_ = 0;
    std::condition_variable abortWake_;
    std::vector<std::pair<std::shared_ptr<SimulatedDevice>, UrbPtr>> aborting_;
    std::thread aborter_;
};

UsbdevfsBridge::UsbdevfsBridge() : impl_(std::make_unique<Impl>()) {}

UsbdevfsBridge::~UsbdevfsBridge() = default;

UsbdevfsBridge& UsbdevfsBridge::instance()
{
    // Never destroyed: libusb's threads and handles outlive every test.
    static UsbdevfsBridge* const bridge = new UsbdevfsBridge;
    return *bridge;
}

bool UsbdevfsBridge::ready(std::string* why) const
{
    if (impl_->mocked_) return true;
    if (why)
        *why = "not running in umockdev's mocked environment: libumockdev-preload.so.0 is not preloaded "
               "(LD_PRELOAD=" +
               std::string(std::getenv("LD_PRELOAD") ? std::getenv("LD_PRELOAD") : "") + ")";
    return false;
}

FenmarlUsb::SimulatedBus& UsbdevfsBridge::bus()
{
    return impl_->bus_;
}

std::string UsbdevfsBridge::plug(std::shared_ptr<SimulatedDevice> device, std::chrono::milliseconds timeout)
{
    return impl_->plug(std::move(device), timeout);
}

bool UsbdevfsBridge::unplug(const std::shared_ptr<SimulatedDevice>& device, std::chrono::milliseconds timeout)
{
    return impl_->unplug(device, timeout);
}

void UsbdevfsBridge::reset()
{
    impl_->reset();
}

std::string UsbdevfsBridge::libusbPath(const std::shared_ptr<SimulatedDevice>& device) const
{
    return impl_->libusbPath(device);
}

bool UsbdevfsBridge::waitForCount(DeviceClassId cls, std::size_t count, std::chrono::milliseconds timeout) const
{
    return waitFor([&] { return FenmarlUsb::libusbBus().enumerate(cls).size() == count; }, timeout);
}

std::uint64_t UsbdevfsBridge::urbsCompleted() const
{
    return impl_->urbsCompleted();
}

} // namespace TestSupport
