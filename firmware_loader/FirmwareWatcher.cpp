#include "firmware_loader/FirmwareWatcher.h"

#include "firmware_loader/Ambrel.h"

#include "common/Utils.h"

namespace TorvaneDLL {

namespace {

using FenmarlUsb::DeviceClassId;

constexpr const char* kSource = "Firmware Driver";
constexpr const char* kUploadSource = "Firmware Driver::handleDevicePresent";
constexpr int kOpenAttempts = 20;
constexpr unsigned long kOpenRetryMs = 50;
constexpr unsigned long kLoopSleepMs = 50;

} // namespace

FirmwareWatcher::FirmwareWatcher(const std::wstring& logPath) : Logger(logPath, 40960, true, true)
{
    logNote(kSource, "Loaded.");
}

FirmwareWatcher::~FirmwareWatcher()
{
    if (thread_) stop();
}

std::wstring FirmwareWatcher::defaultLogPath()
{
    return FenmarlCommonDLL::Utils::getUsersDataDirectory() + L"/Tesselon/Logs/FirmwareDriver.log";
}

bool FirmwareWatcher::start()
{
    if (thread_) return true;
    stopEvent_.reset();
    threadDone_.reset();
    {
        std::lock_guard<std::mutex> hold(mailbox_->lock);
        mailbox_->quit = false;
        mailbox_->changes.clear(); // left from an earlier run
    }
    try {
        thread_ = std::make_unique<std::thread>([this] { threadMain(); });
    } catch (const std::exception& e) {
        logError(kSource, std::string("Could not start the background thread: ") + e.what());
        return false;
    }
    return true;
}

void FirmwareWatcher::stop()
{
    if (thread_) {
        stopEvent_.wakeUp();
        {
            std::lock_guard<std::mutex> hold(mailbox_->lock);
            mailbox_->quit = true;
        }
        if (!threadDone_.sleep(static_cast<unsigned long>(kStopTime.count())))
            // Its code and this object must outlive it, so waiting on is the only safe choice.
            logError(kSource, "The background thread did not stop within 5000 ms; waiting for it.");
        thread_->join();
        thread_.reset();
    }
    uploaded_ = false;
    logNote(kSource, "Unloaded.");
}

void FirmwareWatcher::threadMain()
{
    // The watch stands in for the hidden window's device notifications: the
    // bus calls back on its own thread, so changes are queued for this one.
    FenmarlUsb::Bus& bus = FenmarlUsb::bus();
    std::shared_ptr<Mailbox> mailbox = mailbox_;
    bareWatch_ =
        bus.watch(DeviceClassId::BareMicrocontroller, [mailbox](DeviceClassId cls, const std::string& path,
                                                                bool arrived) {
            std::lock_guard<std::mutex> hold(mailbox->lock);
            mailbox->changes.push_back({arrived ? kDeviceArrival : kDeviceRemoveComplete, cls, path});
        });
    instrumentWatch_ =
        bus.watch(DeviceClassId::Instrument, [mailbox](DeviceClassId, const std::string&, bool arrived) {
            if (arrived) ++mailbox->instrumentArrivals;
        });

    if (searchPresentDevice()) handleDevicePresent();

    bool quit = false;
    while (!quit && !stopEvent_.isSignalled()) {
        dispatchPending(&quit);
        checkInstrumentReturn();
        if (!quit) stopEvent_.sleep(kLoopSleepMs);
    }

    bus.unwatch(instrumentWatch_);
    bus.unwatch(bareWatch_);
    threadDone_.wakeUp();
}

bool FirmwareWatcher::searchPresentDevice()
{
    for (const std::string& path : FenmarlUsb::bus().enumerate(DeviceClassId::BareMicrocontroller))
        if (!path.empty()) return true;
    return false;
}

void FirmwareWatcher::dispatchPending(bool* quit)
{
    for (;;) {
        DeviceChange change;
        {
            std::lock_guard<std::mutex> hold(mailbox_->lock);
            if (mailbox_->changes.empty()) {
                *quit = mailbox_->quit;
                return;
            }
            change = std::move(mailbox_->changes.front());
            mailbox_->changes.pop_front();
        }
        onDeviceChange(change.event, change.cls, change.path);
        if (stopEvent_.isSignalled()) return;
    }
}

void FirmwareWatcher::onDeviceChange(std::uint32_t event, DeviceClassId cls, const std::string&)
{
    if (cls != DeviceClassId::BareMicrocontroller) return;
    if (event != kDeviceArrival && event != kDeviceRemoveComplete) return;
    if (event == kDeviceArrival && !uploaded_) handleDevicePresent();
}

bool FirmwareWatcher::handleDevicePresent()
{
    FenmarlUsb::Bus& bus = FenmarlUsb::bus();
    std::unique_ptr<FenmarlUsb::Device> device;
    for (int attempt = 0; attempt < kOpenAttempts && !device; ++attempt) {
        const std::vector<std::string> paths = bus.enumerate(DeviceClassId::BareMicrocontroller);
        if (!paths.empty() && !paths.front().empty()) device = bus.open(paths.front());
        if (!device && stopEvent_.sleep(kOpenRetryMs)) break; // unloading: give up at once
    }
    if (!device) {
        logError(kUploadSource, "winusbReady == false");
        return false;
    }

    activate(std::move(device));

    logNote(kUploadSource, "Found a device, uploading its firmware.");
    const std::uint64_t arrivalsBefore = mailbox_->instrumentArrivals.load();
    Ambrel uploader(this);
    const bool ok = uploader.LoadTesselonFirmware();
    logNote(kUploadSource, "Completed firmware upload.");

    deactivate();
    if (ok) {
        uploaded_ = true;
        awaitingInstrument_ = true;
        arrivalsBefore_ = arrivalsBefore;
        instrumentDeadline_ = std::chrono::steady_clock::now() + kInstrumentReturnTime;
    }
    return ok;
}

FirmwareWatcher::DeviceContext* FirmwareWatcher::activate(std::unique_ptr<FenmarlUsb::Device> handle)
{
    deviceContext_.winusbHandle = std::move(handle);
    deviceContext_.vendorId = 0;
    deviceContext_.productId = 0;
    std::uint8_t descriptor[18] = {};
    std::uint32_t transferred = 0;
    if (deviceContext_.winusbHandle &&
        deviceContext_.winusbHandle->getDescriptor(1, 0, 0, descriptor, sizeof descriptor, &transferred) &&
        transferred >= 12) {
        deviceContext_.vendorId = static_cast<std::uint16_t>(descriptor[8] | descriptor[9] << 8);
        deviceContext_.productId = static_cast<std::uint16_t>(descriptor[10] | descriptor[11] << 8);
    }
    activeDevice_ = deviceContext_.winusbHandle ? &deviceContext_ : nullptr;
    return activeDevice_;
}

void FirmwareWatcher::deactivate()
{
    activeDevice_ = nullptr;
    deviceContext_.winusbHandle.reset();
}

void FirmwareWatcher::checkInstrumentReturn()
{
    if (!awaitingInstrument_) return;
    if (mailbox_->instrumentArrivals.load() != arrivalsBefore_) {
        awaitingInstrument_ = false;
        logNote(kUploadSource, "The device came back as an instrument.");
    } else if (std::chrono::steady_clock::now() >= instrumentDeadline_) {
        awaitingInstrument_ = false;
        logError(kUploadSource,
                 "The device did not come back as an instrument within 5 seconds of its firmware upload.");
    }
}

} // namespace TorvaneDLL
