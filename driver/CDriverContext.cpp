#include "driver/CDriverContext.h"

#include "common/Logger.h"
#include "common/platform/Hooks.h"
#include "common/platform/KnownFolders.h"
#include "common/platform/Text.h"
#include "driver/Torvane.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <new>
#include <system_error>

namespace {

using namespace std::chrono_literals;

// Sensor control word: power, gain and high-pass filter of both sensor groups.
constexpr std::uint16_t kSensor1Power = 0x0001;    // group 1 sensor supply on
constexpr int kSensor1GainShift = 1;               // bits 1-2: group 1 gain - 1
constexpr std::uint16_t kSensor1HighPass = 0x0008; // group 1 high-pass filter in circuit
constexpr int kSensor2GainShift = 4;               // bits 4-5: group 2 gain - 1
constexpr std::uint16_t kSensor2HighPass = 0x0040; // group 2 high-pass filter in circuit
constexpr std::uint16_t kSensor2Power = 0x0080;    // group 2 sensor supply on
constexpr std::uint16_t kGainCodeMask = 0x3;       // two bits of gain code per group

// Input control word: input type and zeroing switches of both groups.
constexpr std::uint16_t kInput1Type = 0x0001;   // group 1 input type 1; such an input is never zeroed
constexpr std::uint16_t kInput2Type = 0x0002;   // group 2 input type 1
constexpr std::uint16_t kInput1Zeroed = 0x0004; // group 1 input switched to zero to measure its offset
constexpr std::uint16_t kInput2Zeroed = 0x0008; // group 2 input switched to zero

// The rate divider travels to the instrument in a 16-bit field.
constexpr double kMaxDividerField = 0xFFFF;

std::filesystem::path logFilePath()
{
    return FenmarlCommonDLL::platform::applicationDataFolder() / "Tesselon" / "Logs" / "Torvane.log";
}

std::filesystem::path makeTemporaryFilePath()
{
    const std::filesystem::path folder = FenmarlCommonDLL::platform::temporaryFolder();
    if (folder.empty()) return CDriverContext::kTemporaryFileName;
    return folder / CDriverContext::kTemporaryFileName;
}

void sleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// word with bit set or cleared.
std::uint16_t withBit(std::uint16_t word, std::uint16_t bit, bool set)
{
    return static_cast<std::uint16_t>(set ? (word | bit) : (word & ~bit));
}

// A wait on the caller's thread: its window messages are dispatched every 50 ms.
void pumpingSleepMs(int ms)
{
    for (; ms > 0; ms -= 50) {
        FenmarlCommonDLL::platform::pumpMessages();
        sleepMs(std::min(ms, 50));
    }
}

} // namespace

CDriverContext::CDriverContext()
{
    log_ = std::make_unique<FenmarlCommonDLL::Logger>(
        FenmarlCommonDLL::platform::utf8ToWide(logFilePath().string()), 40960, true, true);
    usb_ = std::make_unique<CUSBLib>(log_.get());
    for (auto& ring : filterRings_)
        ring.assign(static_cast<std::size_t>(filterLength_), 0.0);
    temporaryFilePath_ = makeTemporaryFilePath();
    std::error_code ignored;
    std::filesystem::remove(temporaryFilePath_, ignored);
    log_->logNote("Torvane", "Loaded");
}

CDriverContext::~CDriverContext()
{
    // Threads still running hold this object; end them before it goes.
    if (continuousThread_.joinable()) {
        continuousStop_ = true;
        continuousThread_.join();
    }
    if (scanThread_.joinable()) {
        abort_ = true;
        usb_->requestStop();
        scanThread_.join();
    }
    log_->logNote("Torvane", "Closed");
    usb_.reset();
    log_.reset();
}

void CDriverContext::setDriverError(const std::string& source, const std::string& text, bool fromRequest)
{
    if (!fromRequest) usb_->setErrorText(text);
    {
        std::lock_guard<std::mutex> hold(driverErrorMutex_);
        std::snprintf(driverError_, sizeof driverError_, "%s", text.c_str());
    }
    log_->logError(source, text);
}

std::string CDriverContext::driverErrorText() const
{
    std::lock_guard<std::mutex> hold(driverErrorMutex_);
    return driverError_;
}

int CDriverContext::controlFailure(const char* exportName, const char* text, bool fromRequest)
{
    setDriverError(std::string("Torvane::") + exportName, text, fromRequest);
    return 1;
}

bool CDriverContext::validGroup(const char* exportName, int group)
{
    if (!usb_->isOpen()) {
        controlFailure(exportName, "Device not initialised");
        return false;
    }
    if (group != 1 && group != 2) {
        controlFailure(exportName, "Sensor group number out of range");
        return false;
    }
    return true;
}

int CDriverContext::sendControlWord(const char* exportName, std::uint8_t request, std::uint16_t& stored, std::uint16_t word,
                                    const char* failure)
{
    // The new word is kept only once the instrument has taken it.
    const std::uint16_t previous = stored;
    stored = word;
    if (usb_->VendorRequest(request, word)) return 0;
    stored = previous;
    return controlFailure(exportName, failure, true);
}

int CDriverContext::sendSensorWord(const char* exportName, std::uint16_t word)
{
    return sendControlWord(exportName, VEND_SENSORCONTROL, sensorWord_, word, "Cannot send sensor control byte");
}

int CDriverContext::sendInputWord(const char* exportName, std::uint16_t word)
{
    return sendControlWord(exportName, VEND_INPUTCONTROL, inputWord_, word, "Cannot send input control byte");
}

int CDriverContext::FindDevices()
{
    return usb_->FindDevices();
}

int CDriverContext::GetDescriptor(int index, char* text, unsigned capacity, unsigned* length)
{
    return usb_->GetDescriptor(index, text, capacity, length);
}

int CDriverContext::OpenDevice(int index)
{
    if (usb_->OpenDevice(index) != 0) {
        setDriverError("Torvane::OpenDevice", usb_->lastError().substr(0, 127), true);
        return 1;
    }
    log_->logNote("Torvane", "Connected to a device");
    return 0;
}

int CDriverContext::SetTimeOut(int ms)
{
    if (usb_->SetTimeOut(ms) != 0) {
        setDriverError("Torvane::SetTimeOut", usb_->lastError().substr(0, 127), true);
        return 1;
    }
    return 0;
}

int CDriverContext::CloseDevice()
{
    if (usb_->CloseDevice() != 0) {
        setDriverError("Torvane::CloseDevice", usb_->lastError().substr(0, 127), true);
        return 1;
    }
    log_->logNote("Torvane", "Disconnected from a device");
    return 0;
}

bool CDriverContext::IsDeviceOpen()
{
    return usb_->isOpen();
}

int CDriverContext::TurnSensorOn(int group, bool on)
{
    if (!validGroup("TurnSensorOn", group)) return 1;
    const std::uint16_t bit = group == 1 ? kSensor1Power : kSensor2Power;
    return sendSensorWord("TurnSensorOn", withBit(sensorWord_, bit, on));
}

int CDriverContext::SetSensorGain(int group, int gain)
{
    if (!validGroup("SetSensorGain", group)) return 1;
    if (gain < 1 || gain > 4) return controlFailure("SetSensorGain", "Sensor gain out of range");
    const int shift = group == 1 ? kSensor1GainShift : kSensor2GainShift;
    const std::uint16_t mask = static_cast<std::uint16_t>(kGainCodeMask << shift);
    const std::uint16_t code = static_cast<std::uint16_t>((gain - 1) << shift);
    return sendSensorWord("SetSensorGain", static_cast<std::uint16_t>((sensorWord_ & ~mask) | code));
}

int CDriverContext::SetSensorHPFilter(int group, bool on)
{
    if (!validGroup("SetSensorHPFilter", group)) return 1;
    const std::uint16_t bit = group == 1 ? 0x0008 : 0x0040;
    return sendSensorWord("SetSensorHPFilter", withBit(sensorWord_, bit, on));
}

int CDriverContext::SetInputType(int group, int type)
{
    if (!validGroup("SetInputType", group)) return 1;
    const std::uint16_t bit = group == 1 ? 0x0001 : 0x0002;
    return sendInputWord("SetInputType", withBit(inputWord_, bit, type == 1));
}

int CDriverContext::SetMeasurementRate(double rateHz, bool decimate)
{
    static const char* const kSource = "Torvane::SetMeasurementRate";
    // Written so that NaN is refused as well.
    if (!(rateHz > 0.0 && rateHz <= kBaseClockHz)) {
        setDriverError(kSource, "Measurement rate out of range");
        return 1;
    }
    double clocked = rateHz;
    double factor = 1.0;
    bool picks = false;
    if (decimate && rateHz < 1000.0) {
        factor = std::trunc(1000.0 / rateHz);
        clocked = 1000.0;
    }
    double divider = std::trunc(kBaseClockHz / clocked + 0.5);
    // The divider travels in a 16-bit field. Slower rates clock the
    // instrument N times faster and keep one sample in N, so the points still
    // come at the rate asked (within the clock's granularity).
    if (divider - 1.0 > kMaxDividerField && !decimate) {
        factor = std::ceil(kBaseClockHz / rateHz / (kMaxDividerField + 1.0));
        clocked = rateHz * factor;
        divider = std::trunc(kBaseClockHz / clocked + 0.5);
        picks = true;
    }
    // N must stay a count: a rate that still cannot be programmed is refused
    // rather than sent truncated.
    if (divider < 1.0 || divider - 1.0 > kMaxDividerField || factor > INT_MAX) {
        setDriverError(kSource, "Measurement rate out of range");
        return 1;
    }
    const double previousRate = effectiveRate_;
    decimation_ = static_cast<int>(factor);
    decimationPicks_ = picks;
    effectiveRate_ = kBaseClockHz / divider / factor;
    if (!usb_->VendorRequest(VEND_RATECONTROL, static_cast<std::uint32_t>(divider) - 1)) {
        effectiveRate_ = previousRate;
        setDriverError(kSource, "Cannot send rate control byte", true);
        return 1;
    }
    usb_->setSampleClock(kBaseClockHz / divider);
    return 0;
}

int CDriverContext::Reset()
{
    static const char* const kSource = "Torvane::Reset";
    if (!usb_->isOpen()) {
        setDriverError(kSource, "Device not initialised");
        return 1;
    }
    const std::uint16_t savedInput = inputWord_;
    const std::uint16_t savedSensor = sensorWord_;

    // High-pass filters off where the input is zeroed, so the offset is measured.
    std::uint16_t sensor = savedSensor;
    if (!(savedInput & kInput1Type)) sensor &= static_cast<std::uint16_t>(~kSensor1HighPass);
    if (!(savedInput & kInput2Type)) sensor &= static_cast<std::uint16_t>(~kSensor2HighPass);
    sensorWord_ = sensor;
    if (!usb_->VendorRequest(VEND_SENSORCONTROL, sensor)) {
        sensorWord_ = savedSensor;
        inputWord_ = savedInput;
        setDriverError(kSource, "Cannot send sensor control byte", true);
        return 1;
    }

    pumpingSleepMs(300);
    std::uint16_t input = savedInput;
    if (!(savedInput & kInput1Type)) input |= kInput1Zeroed;
    if (!(savedInput & kInput2Type)) input |= kInput2Zeroed;
    inputWord_ = input;
    if (!usb_->VendorRequest(VEND_INPUTCONTROL, input)) {
        inputWord_ = savedInput;
        setDriverError(kSource, "Cannot send input control byte", true);
        return 1;
    }

    SetMeasurementRate(20000.0, false);
    if (RunScan(true, 40) != 0) {
        // Nothing was measured: put the words back as far as the instrument takes them.
        usb_->VendorRequest(VEND_SENSORCONTROL, savedSensor);
        usb_->VendorRequest(VEND_INPUTCONTROL, savedInput);
        sensorWord_ = savedSensor;
        inputWord_ = savedInput;
        setDriverError(kSource, "Cannot start the zeroing scan");
        return 1;
    }
    while (IsScanning())
        pumpingSleepMs(100);

    double values[2][3][40];
    double times[40];
    int counts[2] = {40, 40};
    for (int g = 0; g < 2; ++g) {
        if (GetData(g + 1, 0, &counts[g], times, values[g][0], values[g][1], values[g][2], 0) != 0)
            counts[g] = 0;
    }
    for (int g = 0; g < 2; ++g) {
        const bool inputTypeSet = savedInput & (g == 0 ? kInput1Type : kInput2Type);
        for (int axis = 0; axis < 3; ++axis) {
            const int channel = g * 3 + axis;
            if (inputTypeSet) {
                zeroTable_[channel] = 0.0;
                continue;
            }
            // No points means nothing was measured: keep the table rather than divide by zero.
            if (counts[g] <= 0) continue;
            double sum = 0.0;
            for (int i = 0; i < counts[g]; ++i)
                sum += zeroTable_[channel] + values[g][axis][i];
            zeroTable_[channel] = sum / counts[g];
        }
        if (!inputTypeSet && counts[g] <= 0) log_->logWarning(kSource, "No points were measured for zeroing");
    }

    pumpingSleepMs(200);
    sensorWord_ = savedSensor;
    if (!usb_->VendorRequest(VEND_SENSORCONTROL, savedSensor)) {
        sensorWord_ = sensor;
        setDriverError(kSource, "Cannot send sensor control byte", true);
        return 1;
    }

    // A powered sensor with its high-pass filter on, or a powered group of
    // input type 1, needs time to settle once the zeroing switches open.
    const bool settle = ((savedSensor & kSensor2HighPass) && (savedSensor & kSensor2Power)) ||
                        ((savedSensor & kSensor1Power) && (savedSensor & kSensor1HighPass)) ||
                        ((savedInput & kInput2Type) && (savedSensor & kSensor2Power)) ||
                        ((savedInput & kInput1Type) && (savedSensor & kSensor1Power));
    auto pumpAndSleep = [](int times) { pumpingSleepMs(100 * times); };
    if (settle) pumpAndSleep(5);
    if (!usb_->VendorRequest(VEND_INPUTCONTROL, savedInput)) {
        setDriverError(kSource, "Cannot send input control byte", true);
        return 1;
    }
    inputWord_ = savedInput;
    if (settle) pumpAndSleep(100);
    return 0;
}

int CDriverContext::GetFirmwareVersion(unsigned* version)
{
    std::uint32_t reply = 0;
    if (!version || !usb_->VendorRequest(VEND_GETVERSION, 0, &reply)) {
        setDriverError("Torvane::GetFirmwareVersion", "Cannot get version number", version != nullptr);
        return 1;
    }
    *version = reply;
    return 0;
}

bool CDriverContext::IsUSBTwo()
{
    return usb_->interfaceType() != 0;
}

bool CDriverContext::IsBoardInReset()
{
    return usb_->isBoardInReset();
}

int CDriverContext::GetErrorText(char* text)
{
    if (text) std::snprintf(text, 128, "%s", usb_->lastError().c_str());
    return 0;
}

int CDriverContext::SetLowpassFilterCutOff(double cutoffHz)
{
    const double length = std::trunc(std::pow(0.4776 * effectiveRate_ / cutoffHz, 0.9798) + 0.5);
    // A cut-off that gives no usable length (zero, negative, NaN) leaves the filter as it is.
    if (!(cutoffHz > 0.0) || !std::isfinite(length) || length > INT_MAX) return 0;
    filterLength_ = std::max(2, static_cast<int>(length));
    return 0;
}

int CDriverContext::SetLowpassFilterSize(int length)
{
    // Below 1 there is no moving average to take; 1 passes values through.
    filterLength_ = std::max(1, length);
    return 0;
}

void CDriverContext::GetThreadDetails(bool* readRunning, bool* processRunning, int* samplesRead,
                                      int* bytesBuffered, int* pointsProcessed)
{
    if (readRunning) *readRunning = usb_->readRunning();
    if (processRunning) *processRunning = usb_->processRunning();
    if (samplesRead) *samplesRead = static_cast<int>(CUSBLib::bytesReadTotal() / 24);
    if (bytesBuffered) *bytesBuffered = static_cast<int>(usb_->bytesBuffered());
    if (pointsProcessed) *pointsProcessed = blockPoints_.load();
}

int CDriverContext::GetLostSampleCount()
{
    return static_cast<int>(usb_->fifoOverflows() - overflowsAtScanStart_.load());
}
