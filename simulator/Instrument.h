#pragma once

// The simulated Tesselon-6 instrument: its vendor requests, control words,
// sample clock, FIFO and measurement stream, as the driver sees them through
// FenmarlUsb.
//
// Vendor requests (index 0xBEEF from the driver; the firmware ignores it):
//   0xA1/0xA2 sample-count words (kept, reported; streaming is not limited by
//   them, since they carry only the low 16 bits of a count), 0xA3 sensor word,
//   0xA4 rate divider - 1, 0xA5 start sampling, 0xA6 empty the FIFO, 0xA9
//   input word, 0xAA interface type (IN), 0xAB firmware version (IN), 0xAD stop
//   sampling. The OUT-form codes are also accepted in the IN form (16-byte
//   reply of zeros), which is how a board reset sends them. Anything else stalls.
//
// Stream: sampling fills the FIFO at 20833 Hz / divider (times the speed
// factor) from the moment of 0xA5 until 0xAD; samples that find the FIFO full
// are lost, counted, and the next stored record carries bit 7 of byte 0.
// Bulk reads on pipe 0x86 return when the requested bytes are there, or with
// what is left once sampling stopped, or fail at the pipe's time-out.

#include "simulator/InstrumentSignal.h"
#include "simulator/SimulatedBus.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace FenmarlUsb {

// A fault injected into the instrument.
struct InstrumentFault
{
    enum class Kind { VendorRequest, BulkRead };
    Kind kind = Kind::VendorRequest;
    int request = -1;         // VendorRequest: the code that fails; -1 = every vendor request
    std::uint32_t error = 31; // Win32 number; 121 waits the pipe time-out (divided by the speed factor)
    int after = 0;            // matching transfers that still succeed first
    int count = -1;           // failures before the transfer works again; -1 = for ever
};

struct InstrumentConfig
{
    std::string product = "TS6SIM1"; // at most 7 characters fit the driver's 16-byte read
    bool highSpeed = true;
    std::uint8_t firmwareVersion = 7;
    double speedFactor = 1.0;          // instrument seconds per wall-clock second
    std::uint32_t fifoRecords = 16384; // FIFO capacity in 24-byte records
    bool ramp = false;                 // channel k reads (sample index + k) mod 2^23 counts
    std::uint64_t seed = 1;
    double highPassSeconds = 0.0; // time constant of the high-pass DC removal (0 = at once)
    ChannelSignal channels[6];
    std::vector<InstrumentFault> faults;
    std::uint32_t refuseOpen = 0;       // Win32 number an open gets (0 = opens)
    std::uint32_t unplugAfterMs = 0;    // unplug itself this long after being plugged (0 = never)
    std::uint64_t unplugAfterBytes = 0; // unplug itself once the host read this many bytes (0 = never)
};

// One control transfer as the instrument received it.
struct ControlRecord
{
    std::uint8_t requestType;
    std::uint8_t request;
    std::uint16_t value;
    std::uint16_t index;
    std::uint16_t length;
    std::uint32_t result; // Win32 number the transfer ended with
};

struct InstrumentState
{
    std::uint16_t sensorWord = 0;
    std::uint16_t inputWord = 0;
    std::uint32_t divider = 1;
    std::uint16_t samplesWord1 = 0;
    std::uint16_t samplesWord2 = 0;
    bool sampling = false;
    std::uint64_t samplesTaken = 0; // since the last start of sampling, lost ones included
    std::uint64_t samplesLost = 0;  // since the instrument was made
    std::uint32_t overflows = 0;    // overflow episodes since the instrument was made
    std::uint32_t fifoBytes = 0;
    std::uint64_t bytesRead = 0; // by the host since the instrument was made
};

class FENMARL_USB_API Instrument : public SimulatedDevice
{
public:
    static constexpr std::uint8_t kBulkInPipe = 0x86;
    static constexpr std::uint8_t kBulkOutPipe = 0x02;
    static constexpr double kBaseClockHz = 20833.0;

    explicit Instrument(InstrumentConfig config = {});
    ~Instrument() override;

    // SimulatedDevice
    DeviceClassId deviceClass() const override { return DeviceClassId::Instrument; }
    UsbId usbId() const override;
    std::uint8_t speed() const override;
    std::uint32_t onOpen() override;
    std::uint32_t controlTransfer(const SetupPacket& setup, std::uint8_t* data, std::uint32_t* transferred,
                                  std::uint32_t timeoutMs) override;
    std::uint32_t vendorRequest(const SetupPacket& setup, std::uint8_t* data, std::uint32_t* transferred,
                                std::uint32_t timeoutMs) override;
    std::uint32_t descriptor(std::uint8_t type, std::uint8_t index, std::uint16_t languageId,
                             std::uint8_t* buffer, std::uint32_t length, std::uint32_t* transferred) override;
    std::vector<PipeInformation> pipes() const override;
    std::uint32_t bulkRead(std::uint8_t pipeId, std::uint8_t* buffer, std::uint32_t length,
                           std::uint32_t* transferred, std::uint32_t timeoutMs) override;
    std::uint32_t abortPipe(std::uint8_t pipeId) override;

    // For tests.
    const InstrumentConfig& config() const { return config_; }
    std::vector<ControlRecord> controlRequests() const;
    void clearControlRequests();
    // Waits until at least n control transfers were received. False on time-out.
    bool waitForControlRequests(std::size_t n, std::chrono::milliseconds timeout);
    InstrumentState state();
    void setFaults(std::vector<InstrumentFault> faults);
    void setSpeedFactor(double factor);
    // Sample clock now, Hz (instrument time).
    double sampleRate() const;
    // What channel k reads for sample index i with the control words now, volts
    // before quantisation (ramp mode: the ramp's counts times the volts per count).
    double channelVolts(int channel, std::uint64_t sampleIndex);

protected:
    void onPlugged() override;
    void onUnplugged() override;

private:
    using Clock = std::chrono::steady_clock;

    std::uint32_t handleVendor(const SetupPacket& setup, std::uint8_t* data, std::uint32_t* transferred);
    // Takes the samples due by now into the FIFO, or skips them (lock held).
    void advance(Clock::time_point now, bool store);
    // Re-bases the clock after a change of rate or speed (lock held).
    void rebase(Clock::time_point now);
    // What decides a sample's value besides its index; fixed for a run of samples.
    struct Conditions
    {
        std::uint16_t sensorWord;
        std::uint16_t inputWord;
        double rate;
        double baseTime;
        double speedFactor;
        std::uint64_t baseCount;
        Clock::time_point epoch;
        Clock::time_point highPassOn[2];
    };
    // Samples waiting in the FIFO. They are encoded only when read, so a large
    // FIFO at a high speed factor costs nothing until the host asks.
    struct Pending
    {
        std::uint64_t first;
        std::uint64_t count;
        std::shared_ptr<const Conditions> conditions;
        bool marked; // the first of them follows lost samples
    };
    const std::shared_ptr<const Conditions>& conditions();
    double channelVoltsLocked(int channel, std::uint64_t sampleIndex, const Conditions& c) const;
    void encodeSample(std::uint64_t sampleIndex, const Conditions& c, std::uint8_t out[24]) const;
    std::size_t fifoBytes() const;
    void emptyFifo();
    // A fault for this transfer, if one applies (lock held): its error, else 0.
    std::uint32_t faultFor(InstrumentFault::Kind kind, int request, bool vendor);
    double sampleRateLocked() const;
    // Waits a faulted time-out; 995/1167 if aborted or unplugged meanwhile (lock held).
    std::uint32_t waitTimeout(std::unique_lock<std::mutex>& hold, std::uint32_t timeoutMs);
    void scheduleUnplug(std::chrono::milliseconds delay);

    InstrumentConfig config_;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    bool plugged_ = false;

    InstrumentState state_;
    std::vector<ControlRecord> requests_;
    std::condition_variable requestArrived_;
    std::vector<int> faultSeen_; // matching transfers seen per fault

    // Clock: samples due = baseCount_ + (now - epoch_) * rate * speed.
    Clock::time_point epoch_;
    std::uint64_t baseCount_ = 0;
    double baseTime_ = 0.0; // instrument time of sample baseCount_
    bool markOverflow_ = false;
    Clock::time_point highPassOn_[2]; // when each group's high-pass was switched on

    std::shared_ptr<const Conditions> conditions_; // null when the words or the clock changed
    std::deque<Pending> fifo_;
    std::uint64_t fifoRecords_ = 0; // records in the FIFO, the partly read one included
    std::size_t headOffset_ = 0;    // bytes of the oldest record already read
    std::uint64_t abortCount_ = 0;
    bool unplugScheduled_ = false;
};

} // namespace FenmarlUsb
