#include "app/shell/InstrumentDetection.h"

#include "app/settings/ScanConfigurationStore.h"
#include "app/base/AppLog.h"
#include "app/acquisition/InstrumentSetup.h"
#include "app/base/UserInteraction.h"
#include "driver/Torvane.h"
#include "usb/UsbBus.h"

#include <cstdio>
#include <cstring>

using namespace FenmarlCommonDLL::platform;

InstrumentDetection::InstrumentDetection(UserInteraction& ui, ScanConfigurationStore& store, bool silentMode,
                                         std::function<void()> pumpMessages)
    : ui_(ui), store_(store), silentMode_(silentMode), pump_(std::move(pumpMessages))
{
}

InstrumentDetection::~InstrumentDetection()
{
    stopWatching();
}

void InstrumentDetection::startWatching(std::function<void()> postDetection)
{
    stopWatching();
    watchToken_ = FenmarlUsb::bus().watch(
        FenmarlUsb::DeviceClassId::Instrument,
        [post = std::move(postDetection)](FenmarlUsb::DeviceClassId, const std::string&, bool) {
            if (post) post();
        });
}

void InstrumentDetection::stopWatching()
{
    if (watchToken_ != 0) {
        FenmarlUsb::bus().unwatch(watchToken_);
        watchToken_ = 0;
    }
}

void InstrumentDetection::setStatus(const std::string& text, bool log)
{
    {
        std::lock_guard<std::mutex> hold(stateMutex_);
        status_ = text;
    }
    if (log) LogToLogFile(kSource, text, LogInformation);
    changed();
}

void InstrumentDetection::changed()
{
    if (onChanged_) onChanged_();
}

bool InstrumentDetection::detect()
{
    FenmarlCommonDLL::ThreadLocker hold(&detectionLock_, true);
    {
        std::lock_guard<std::mutex> state(stateMutex_);
        status_.clear();
        entries_.clear();
        deviceIndexes_.clear();
        selection_ = -1;
    }
    if (silentMode_) {
        LogToLogFile(kSource, "Running silently.", LogInformation);
        if (skipNextSilentSearch_) {
            skipNextSilentSearch_ = false;
            changed();
            return false;
        }
        skipNextSilentSearch_ = true;
    }
    {
        std::lock_guard<std::mutex> state(stateMutex_);
        okEnabled_ = false;
    }
    setStatus("Searching For Instruments...", true);

    const int found = FindDevices();
    if (found > 0) {
        char text[64];
        std::snprintf(text, sizeof text, "%d Device(s) Found...", found);
        setStatus(text, true);
        std::vector<std::string> names;
        std::vector<int> indexes;
        for (int index = 0; index < found; ++index) {
            char descriptor[kDescriptorCapacity] = {};
            unsigned length = 0;
            GetDescriptor(index, descriptor, kDescriptorCapacity, &length);
            if (length > 0) {
                descriptor[kDescriptorCapacity - 1] = '\0';
                names.emplace_back(descriptor);
                indexes.push_back(index);
            }
        }
        std::lock_guard<std::mutex> state(stateMutex_);
        entries_ = std::move(names);
        deviceIndexes_ = std::move(indexes);
        selection_ = entries_.empty() ? -1 : 0;
        okEnabled_ = true;
    } else {
        {
            std::lock_guard<std::mutex> state(stateMutex_);
            okEnabled_ = true;
        }
        setStatus("No Devices Found", true);
    }
    if (entries().empty()) {
        // Something of ours is plugged in but cannot be used: say what and what to do.
        const std::string why = whyNoInstrument();
        if (!why.empty()) {
            LogToLogFile(kSource, why, LogWarning);
            setStatus(why, false);
        }
    }
    changed();
    return true;
}

std::string InstrumentDetection::statusText() const
{
    std::lock_guard<std::mutex> state(stateMutex_);
    return status_;
}

std::vector<std::string> InstrumentDetection::entries() const
{
    std::lock_guard<std::mutex> state(stateMutex_);
    return entries_;
}

bool InstrumentDetection::okEnabled() const
{
    std::lock_guard<std::mutex> state(stateMutex_);
    return okEnabled_;
}

int InstrumentDetection::selection() const
{
    std::lock_guard<std::mutex> state(stateMutex_);
    return selection_;
}

void InstrumentDetection::select(int index)
{
    std::lock_guard<std::mutex> state(stateMutex_);
    selection_ = (index >= 0 && index < static_cast<int>(entries_.size())) ? index : -1;
}

bool InstrumentDetection::connect()
{
    int index = -1;
    {
        std::lock_guard<std::mutex> state(stateMutex_);
        if (selection_ >= 0 && selection_ < static_cast<int>(deviceIndexes_.size()))
            index = deviceIndexes_[static_cast<std::size_t>(selection_)];
    }
    lastFailure_.clear();
    if (index < 0) {
        lastFailure_ = "No Device Present";
        LogToLogFile(kSource, "No Device Present", LogWarning);
        ui_.messageBox("No Device Present", "USB Control", MB_OK_ | MB_ICONEXCLAMATION_);
        return false;
    }
    if (OpenDevice(index) != 0) {
        lastFailure_ = DescribeDriverFailure("OpenDevice(" + std::to_string(index) + ")");
        LogToLogFile(kSource, "Unable to open device", LogError);
        ui_.messageBox("Unable to open device", "Tesselon", MB_OK_ | MB_ICONEXCLAMATION_);
        return false;
    }
    LogToLogFile(kSource, "Connecting to Tesselon.", LogInformation);
    const CScanConfiguration configuration = store_.scanConfiguration();
    std::string failure = SendInstrumentSetup(configuration);
    if (failure.empty() && store_.defaultSettings().ZeroAndStabilise != 0)
        failure = ZeroInstrument(ui_, configuration, pump_);
    if (!failure.empty()) {
        // An instrument half set up would measure with the wrong sensors or gains:
        // it is released, so it has to be connected again before a scan.
        lastFailure_ = failure;
        LogToLogFile(kSource, "The instrument could not be set up: " + failure, LogError);
        CloseDevice();
        ui_.messageBox(SetupFailureMessage(failure), kSetupFailureCaption, MB_OK_ | MB_ICONERROR_);
        return false;
    }
    LogToLogFile(kSource, "Tesselon ready to acquire data.", LogInformation);
    return true;
}

std::string InstrumentDetection::whyNoInstrument()
{
    FenmarlUsb::Bus& bus = FenmarlUsb::bus();
    for (const std::string& path : bus.enumerate(FenmarlUsb::DeviceClassId::Instrument)) {
        const auto device = bus.open(path);
        if (!device) {
            const std::uint32_t code = FenmarlUsb::lastError();
            if (code == 5)
                return "A Tesselon-6 was found (" + path +
                       "), but this user may not open it (access denied).\n"
                       "Install the udev rule 70-tesselon-6.rules in /etc/udev/rules.d (the Debian package "
                       "does "
                       "this), then unplug the instrument and plug it in again.";
            return "A Tesselon-6 was found (" + path + "), but it could not be opened (error " +
                   std::to_string(code) +
                   ").\nClose any other program using it, then unplug it and plug it in again.";
        }
        return "A Tesselon-6 was found (" + path +
               "), but it does not answer.\n"
               "Unplug it and plug it in again; if that does not help, it needs servicing.";
    }
    if (!bus.enumerate(FenmarlUsb::DeviceClassId::BareMicrocontroller).empty()) {
        const FenmarlUsb::UsbId id =
            FenmarlUsb::deviceClass(FenmarlUsb::DeviceClassId::BareMicrocontroller).ids.at(0);
        char ids[16];
        std::snprintf(ids, sizeof ids, "%04x:%04x", id.vendorId, id.productId);
        return std::string("A Tesselon-6 without its firmware was found (USB ") + ids +
               ").\nThe firmware loader (libAmbrel.so) did not start it: check that it is installed and that "
               "the udev rule 70-tesselon-6.rules gives access, then unplug the instrument and plug it in "
               "again.";
    }
    return {};
}

std::string InstrumentDetection::whyDataStopped()
{
    if (FenmarlUsb::bus().enumerate(FenmarlUsb::DeviceClassId::Instrument).empty())
        return "The instrument was disconnected: check the cable and plug it in again.";
    if (!IsUSBTwo())
        return "The instrument is connected through a full-speed (USB 1) port, which cannot carry this "
               "sample rate: connect it to a USB 2 port or choose a longer sample interval.";
    return "No data came from the instrument for " + std::to_string(kReadTimeoutSeconds) +
           " s: check the cable, then unplug the instrument and plug it in again.";
}
