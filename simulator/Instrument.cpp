#include "simulator/Instrument.h"

#include "simulator/RecordCodec.h"
#include "usb/BackendShared.h"

#include "common/platform/Text.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace FenmarlUsb {

namespace {

constexpr std::uint8_t VEND_SETSAMPLES2 = 0xA1;
constexpr std::uint8_t VEND_SETSAMPLES1 = 0xA2;
constexpr std::uint8_t VEND_SENSORCONTROL = 0xA3;
constexpr std::uint8_t VEND_RATECONTROL = 0xA4;
constexpr std::uint8_t VEND_STARTSCAN = 0xA5;
constexpr std::uint8_t VEND_RESETFIFO = 0xA6;
constexpr std::uint8_t VEND_INPUTCONTROL = 0xA9;
constexpr std::uint8_t VEND_GETINTERFACETYPE = 0xAA;
constexpr std::uint8_t VEND_GETVERSION = 0xAB;
constexpr std::uint8_t VEND_STOPSCAN = 0xAD;

constexpr std::uint32_t kReplyBytes = 16;
constexpr double kGains[4] = {1.0, 10.0, 100.0, 1000.0};

// Sensor word: bit 0 power, bits 1-2 gain code, bit 3 high-pass (group 1);
// bit 7 power, bits 4-5 gain code, bit 6 high-pass (group 2).
bool powered(std::uint16_t sensor, int group)
{
    return sensor & (group == 0 ? 0x01 : 0x80);
}
double gain(std::uint16_t sensor, int group)
{
    return kGains[group == 0 ? (sensor >> 1) & 3 : (sensor >> 4) & 3];
}
bool highPass(std::uint16_t sensor, int group)
{
    return sensor & (group == 0 ? 0x08 : 0x40);
}
// Input word: bits 2 and 3 short each group's input for zeroing.
bool zeroed(std::uint16_t input, int group)
{
    return input & (group == 0 ? 0x04 : 0x08);
}

std::chrono::steady_clock::duration seconds(double s)
{
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(s));
}

} // namespace

Instrument::Instrument(InstrumentConfig config) : config_(std::move(config))
{
    if (!(config_.speedFactor > 0.0) || !std::isfinite(config_.speedFactor)) config_.speedFactor = 1.0;
    config_.fifoRecords = std::clamp<std::uint32_t>(config_.fifoRecords, 1, 1u << 22);
    faultSeen_.assign(config_.faults.size(), 0);
    epoch_ = Clock::now();
}

Instrument::~Instrument() = default;

UsbId Instrument::usbId() const
{
    return FenmarlUsb::deviceClass(DeviceClassId::Instrument).ids.front();
}

std::uint8_t Instrument::speed() const
{
    return config_.highSpeed ? kHighSpeed : kFullSpeed;
}

std::uint32_t Instrument::onOpen()
{
    return config_.refuseOpen;
}

std::vector<PipeInformation> Instrument::pipes() const
{
    // EZ-USB endpoints 2 OUT and 6 IN; the driver must pick the IN one.
    const std::uint16_t packet = config_.highSpeed ? 512 : 64;
    return {{PipeType::Bulk, kBulkOutPipe, packet, 0}, {PipeType::Bulk, kBulkInPipe, packet, 0}};
}

std::uint32_t Instrument::controlTransfer(const SetupPacket& setup, std::uint8_t* data,
                                          std::uint32_t* transferred, std::uint32_t timeoutMs)
{
    *transferred = 0;
    std::unique_lock<std::mutex> hold(lock_);
    const bool vendor = (setup.requestType & 0x60) == 0x40;
    std::uint32_t rc = faultFor(InstrumentFault::Kind::VendorRequest, setup.request, vendor);
    if (rc == kErrorSemTimeout)
        rc = waitTimeout(hold, timeoutMs);
    else if (rc == kErrorSuccess)
        rc = vendor ? handleVendor(setup, data, transferred)
                    : SimulatedDevice::controlTransfer(setup, data, transferred, timeoutMs);
    if (rc != kErrorSuccess) *transferred = 0;
    requests_.push_back(
        ControlRecord{setup.requestType, setup.request, setup.value, setup.index, setup.length, rc});
    requestArrived_.notify_all();
    return rc;
}

std::uint32_t Instrument::vendorRequest(const SetupPacket& setup, std::uint8_t* data,
                                        std::uint32_t* transferred, std::uint32_t)
{
    std::lock_guard<std::mutex> hold(lock_);
    return handleVendor(setup, data, transferred);
}

std::uint32_t Instrument::handleVendor(const SetupPacket& setup, std::uint8_t* data,
                                       std::uint32_t* transferred)
{
    *transferred = 0;
    const bool in = setup.requestType & 0x80;
    const auto now = Clock::now();
    auto reply = [&](std::uint8_t byte0) {
        const std::uint32_t n = std::min<std::uint32_t>(setup.length, kReplyBytes);
        if (n && data) {
            std::memset(data, 0, n);
            data[0] = byte0;
        }
        *transferred = n;
        return kErrorSuccess;
    };
    switch (setup.request) {
    case VEND_GETINTERFACETYPE:
        return in ? reply(config_.highSpeed ? 1 : 0) : kErrorGenFailure;
    case VEND_GETVERSION:
        return in ? reply(config_.firmwareVersion) : kErrorGenFailure;
    case VEND_SETSAMPLES2:
        state_.samplesWord2 = setup.value;
        break;
    case VEND_SETSAMPLES1:
        state_.samplesWord1 = setup.value;
        break;
    case VEND_SENSORCONTROL:
        advance(now, true);
        for (int g = 0; g < 2; ++g)
            if (highPass(setup.value, g) && !highPass(state_.sensorWord, g)) highPassOn_[g] = now;
        state_.sensorWord = setup.value;
        conditions_.reset();
        break;
    case VEND_RATECONTROL:
        advance(now, true);
        rebase(now);
        state_.divider = static_cast<std::uint32_t>(setup.value) + 1;
        break;
    case VEND_STARTSCAN:
        if (!state_.sampling) {
            state_.sampling = true;
            state_.samplesTaken = 0;
            baseCount_ = 0;
            baseTime_ = 0.0;
            epoch_ = now;
            conditions_.reset();
        }
        break;
    case VEND_RESETFIFO:
        advance(now, false); // what was due is discarded with the rest
        emptyFifo();
        markOverflow_ = false;
        break;
    case VEND_INPUTCONTROL:
        advance(now, true);
        state_.inputWord = setup.value;
        conditions_.reset();
        break;
    case VEND_STOPSCAN:
        advance(now, true);
        state_.sampling = false;
        break;
    default:
        return kErrorGenFailure;
    }
    changed_.notify_all();
    return in ? reply(0) : kErrorSuccess;
}

std::uint32_t Instrument::descriptor(std::uint8_t type, std::uint8_t index, std::uint16_t languageId,
                                     std::uint8_t* buffer, std::uint32_t length, std::uint32_t* transferred)
{
    *transferred = 0;
    std::vector<std::uint8_t> d;
    if (type == 1 && index == 0) {
        d = deviceDescriptor(0, 0x0100, 1, 2);
    } else if (type == 3 && index == 0) {
        d = {4, 3, 0x09, 0x04};
    } else if (type == 3 && index == 1) {
        const std::string maker = "Fenmarl";
        d = {static_cast<std::uint8_t>(2 + 2 * maker.size()), 3};
        for (char c : maker) {
            d.push_back(static_cast<std::uint8_t>(c));
            d.push_back(0);
        }
    } else if (type == 3 && index == 2) {
        // The firmware's product string reply: a big-endian length that counts
        // one leading byte, the descriptor type 3, then the UTF-16LE text.
        std::u16string text = FenmarlCommonDLL::platform::utf8ToUtf16(config_.product);
        text.resize(std::min<std::size_t>(text.size(), 120));
        const std::size_t total = 3 + 2 * text.size();
        d = {static_cast<std::uint8_t>(total >> 8), static_cast<std::uint8_t>(total & 0xFF), 3};
        for (char16_t c : text) {
            d.push_back(static_cast<std::uint8_t>(c & 0xFF));
            d.push_back(static_cast<std::uint8_t>(c >> 8));
        }
    } else {
        return SimulatedDevice::descriptor(type, index, languageId, buffer, length, transferred);
    }
    return answerDescriptor(d, buffer, length, transferred);
}

std::uint32_t Instrument::bulkRead(std::uint8_t pipeId, std::uint8_t* buffer, std::uint32_t length,
                                   std::uint32_t* transferred, std::uint32_t timeoutMs)
{
    *transferred = 0;
    if (pipeId != kBulkInPipe) return kErrorInvalidParameter;
    std::unique_lock<std::mutex> hold(lock_);
    if (!plugged_) return kErrorDeviceNotConnected;
    if (const std::uint32_t fault = faultFor(InstrumentFault::Kind::BulkRead, -1, false))
        return fault == kErrorSemTimeout ? waitTimeout(hold, timeoutMs) : fault;

    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const std::uint64_t aborts = abortCount_;
    // A read larger than the FIFO completes once the FIFO is full.
    const std::size_t want = std::min<std::size_t>(length, std::size_t{config_.fifoRecords} * record::kBytes -
                                                               (record::kBytes - 1));
    for (;;) {
        if (!plugged_) return kErrorDeviceNotConnected;
        if (abortCount_ != aborts) return kErrorOperationAborted;
        const auto now = Clock::now();
        advance(now, true);
        if (length == 0) return kErrorSuccess;
        const std::size_t available = fifoBytes();
        if (available >= want || (!state_.sampling && available > 0)) {
            const std::size_t n = std::min<std::size_t>(length, available);
            std::size_t done = 0;
            while (done < n) {
                Pending& head = fifo_.front();
                std::uint8_t bytes[record::kBytes];
                encodeSample(head.first, *head.conditions, bytes);
                if (head.marked) bytes[0] |= record::kOverflowMark;
                const std::size_t take = std::min(record::kBytes - headOffset_, n - done);
                std::memcpy(buffer + done, bytes + headOffset_, take);
                done += take;
                headOffset_ += take;
                if (headOffset_ == record::kBytes) {
                    headOffset_ = 0;
                    ++head.first;
                    head.marked = false;
                    --fifoRecords_;
                    if (--head.count == 0) fifo_.pop_front();
                }
            }
            state_.bytesRead += n;
            *transferred = static_cast<std::uint32_t>(n);
            const bool unplugNow =
                config_.unplugAfterBytes && state_.bytesRead >= config_.unplugAfterBytes && !unplugScheduled_;
            if (unplugNow) {
                unplugScheduled_ = true;
                hold.unlock();
                scheduleUnplug(std::chrono::milliseconds(0));
            }
            return kErrorSuccess;
        }
        if (timeoutMs && now >= deadline) return kErrorSemTimeout;
        auto wake = timeoutMs ? deadline : now + std::chrono::seconds(1);
        if (state_.sampling) {
            // Sleep until the missing records are due.
            const std::uint64_t need = (want - available + record::kBytes - 1) / record::kBytes;
            const double perSecond = sampleRateLocked() * config_.speedFactor;
            const auto due =
                epoch_ + seconds(static_cast<double>(state_.samplesTaken + need - baseCount_) / perSecond);
            wake = std::min(wake, due);
        }
        changed_.wait_until(hold, wake);
    }
}

std::uint32_t Instrument::abortPipe(std::uint8_t)
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        ++abortCount_;
    }
    changed_.notify_all();
    return kErrorSuccess;
}

void Instrument::onPlugged()
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        plugged_ = true;
    }
    if (config_.unplugAfterMs) scheduleUnplug(std::chrono::milliseconds(config_.unplugAfterMs));
}

void Instrument::onUnplugged()
{
    {
        // Without power the instrument forgets its FIFO and stops sampling.
        std::lock_guard<std::mutex> hold(lock_);
        plugged_ = false;
        state_.sampling = false;
        emptyFifo();
    }
    changed_.notify_all();
    requestArrived_.notify_all();
}

std::vector<ControlRecord> Instrument::controlRequests() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return requests_;
}

void Instrument::clearControlRequests()
{
    std::lock_guard<std::mutex> hold(lock_);
    requests_.clear();
}

bool Instrument::waitForControlRequests(std::size_t n, std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> hold(lock_);
    return requestArrived_.wait_for(hold, timeout, [&] { return requests_.size() >= n; });
}

InstrumentState Instrument::state()
{
    std::lock_guard<std::mutex> hold(lock_);
    advance(Clock::now(), true);
    InstrumentState s = state_;
    s.fifoBytes = static_cast<std::uint32_t>(fifoBytes());
    return s;
}

void Instrument::setFaults(std::vector<InstrumentFault> faults)
{
    std::lock_guard<std::mutex> hold(lock_);
    config_.faults = std::move(faults);
    faultSeen_.assign(config_.faults.size(), 0);
}

void Instrument::setSpeedFactor(double factor)
{
    if (!(factor > 0.0) || !std::isfinite(factor)) return;
    {
        std::lock_guard<std::mutex> hold(lock_);
        const auto now = Clock::now();
        advance(now, true);
        rebase(now);
        config_.speedFactor = factor;
    }
    changed_.notify_all();
}

double Instrument::sampleRate() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return sampleRateLocked();
}

double Instrument::sampleRateLocked() const
{
    return kBaseClockHz / state_.divider;
}

double Instrument::channelVolts(int channel, std::uint64_t sampleIndex)
{
    std::lock_guard<std::mutex> hold(lock_);
    return channelVoltsLocked(channel, sampleIndex, *conditions());
}

const std::shared_ptr<const Instrument::Conditions>& Instrument::conditions()
{
    if (!conditions_)
        conditions_ = std::make_shared<const Conditions>(Conditions{state_.sensorWord,
                                                                    state_.inputWord,
                                                                    sampleRateLocked(),
                                                                    baseTime_,
                                                                    config_.speedFactor,
                                                                    baseCount_,
                                                                    epoch_,
                                                                    {highPassOn_[0], highPassOn_[1]}});
    return conditions_;
}

double Instrument::channelVoltsLocked(int channel, std::uint64_t sampleIndex, const Conditions& c) const
{
    if (config_.ramp)
        return record::voltsFromCounts(static_cast<std::int32_t>((sampleIndex + channel) % (1u << 23)));
    const ChannelSignal& signal = config_.channels[channel];
    const int group = channel / 3;
    const bool live = powered(c.sensorWord, group) && !zeroed(c.inputWord, group);
    const double g = gain(c.sensorWord, group);
    const double sinceBase = (static_cast<double>(sampleIndex) - static_cast<double>(c.baseCount)) / c.rate;
    const double t = c.baseTime + sinceBase;

    double v = (live ? sensorVolts(signal, t, config_.seed, channel, sampleIndex) * g : 0.0) + signal.offset;
    if (highPass(c.sensorWord, group)) {
        // The DC part decays with the filter's time constant after it is switched on.
        const double dc = (live ? signal.dc * g : 0.0) + signal.offset;
        double remaining = 0.0;
        if (config_.highPassSeconds > 0.0) {
            const double sinceOn =
                std::chrono::duration<double>(c.epoch - c.highPassOn[group]).count() * c.speedFactor +
                sinceBase;
            remaining = std::exp(-std::max(0.0, sinceOn) / config_.highPassSeconds);
        }
        v -= dc * (1.0 - remaining);
    }
    if (signal.adcNoise > 0.0) v += signal.adcNoise * gaussian(config_.seed, channel, sampleIndex, 1);
    return v;
}

void Instrument::encodeSample(std::uint64_t sampleIndex, const Conditions& c, std::uint8_t out[24]) const
{
    std::int32_t raw[record::kChannels];
    for (int k = 0; k < record::kChannels; ++k)
        raw[k] = config_.ramp ? static_cast<std::int32_t>((sampleIndex + k) % (1u << 23))
                              : record::countsFromVolts(channelVoltsLocked(k, sampleIndex, c));
    record::encode(raw, out);
}

std::size_t Instrument::fifoBytes() const
{
    return static_cast<std::size_t>(fifoRecords_) * record::kBytes - headOffset_;
}

void Instrument::emptyFifo()
{
    fifo_.clear();
    fifoRecords_ = 0;
    headOffset_ = 0;
}

void Instrument::advance(Clock::time_point now, bool store)
{
    if (!state_.sampling) return;
    const double elapsed =
        std::max(0.0, std::chrono::duration<double>(now - epoch_).count()) * config_.speedFactor;
    const std::uint64_t due =
        baseCount_ + static_cast<std::uint64_t>(std::floor(elapsed * sampleRateLocked()));
    if (due <= state_.samplesTaken) return;
    const std::uint64_t count = due - state_.samplesTaken;
    if (store) {
        const std::uint64_t room = config_.fifoRecords - fifoRecords_;
        const std::uint64_t kept = std::min(count, room);
        if (kept > 0) {
            const auto& current = conditions();
            Pending* last = fifo_.empty() ? nullptr : &fifo_.back();
            if (last && !markOverflow_ && last->conditions == current &&
                last->first + last->count == state_.samplesTaken)
                last->count += kept;
            else
                fifo_.push_back(Pending{state_.samplesTaken, kept, current, markOverflow_});
            fifoRecords_ += kept;
            markOverflow_ = false;
        }
        if (kept < count) {
            // The FIFO is full: later samples are lost until the host reads.
            state_.samplesLost += count - kept;
            if (!markOverflow_) ++state_.overflows;
            markOverflow_ = true;
        }
    }
    state_.samplesTaken = due;
}

void Instrument::rebase(Clock::time_point now)
{
    const double rate = sampleRateLocked();
    baseTime_ += (static_cast<double>(state_.samplesTaken) - static_cast<double>(baseCount_)) / rate;
    baseCount_ = state_.samplesTaken;
    epoch_ = now;
    conditions_.reset();
}

std::uint32_t Instrument::faultFor(InstrumentFault::Kind kind, int request, bool vendor)
{
    for (std::size_t i = 0; i < config_.faults.size(); ++i) {
        const InstrumentFault& f = config_.faults[i];
        if (f.kind != kind) continue;
        if (kind == InstrumentFault::Kind::VendorRequest &&
            (f.request == -1 ? !vendor : f.request != request))
            continue;
        const int seen = faultSeen_[i]++;
        if (seen < f.after || (f.count >= 0 && seen >= f.after + f.count)) continue;
        return f.error ? f.error : kErrorGenFailure;
    }
    return kErrorSuccess;
}

std::uint32_t Instrument::waitTimeout(std::unique_lock<std::mutex>& hold, std::uint32_t timeoutMs)
{
    const std::uint64_t aborts = abortCount_;
    const bool forever = timeoutMs == 0;
    const auto deadline = Clock::now() + seconds(timeoutMs / 1000.0 / config_.speedFactor);
    for (;;) {
        if (!plugged_) return kErrorDeviceNotConnected;
        if (abortCount_ != aborts) return kErrorOperationAborted;
        if (!forever && Clock::now() >= deadline) return kErrorSemTimeout;
        if (forever)
            changed_.wait(hold);
        else
            changed_.wait_until(hold, deadline);
    }
}

void Instrument::scheduleUnplug(std::chrono::milliseconds delay)
{
    SimulatedBus* const where = bus();
    const std::string at = path();
    if (where && !at.empty()) where->after(delay, [where, at] { where->unplug(at); });
}

} // namespace FenmarlUsb
