#include "simulator/SimulatorProfile.h"

#include "common/platform/PrivateProfile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace FenmarlUsb {

namespace {

namespace pp = FenmarlCommonDLL::platform;

class Reader
{
public:
    Reader(const std::filesystem::path& file, std::vector<std::string>* warnings)
        : file_(file), warnings_(warnings)
    {
    }

    std::string text(const std::string& section, const std::string& key, const std::string& fallback) const
    {
        return pp::getPrivateProfileString(section, key, fallback, file_);
    }

    bool has(const std::string& section, const std::string& key) const
    {
        // Two different defaults tell a missing key from one that holds either.
        return text(section, key, "\x01") != "\x01" || text(section, key, "\x02") != "\x02";
    }

    double number(const std::string& section, const std::string& key, double fallback, double low,
                  double high) const
    {
        const std::string t = text(section, key, "");
        if (t.empty()) return fallback;
        char* end = nullptr;
        const double v = std::strtod(t.c_str(), &end);
        if (!end || *end != '\0' || !std::isfinite(v) || v < low || v > high) {
            warn(section, key, t);
            return fallback;
        }
        return v;
    }

    // Decimal or 0x-hexadecimal integers.
    long long integer(const std::string& section, const std::string& key, long long fallback, long long low,
                      long long high) const
    {
        const std::string t = text(section, key, "");
        if (t.empty()) return fallback;
        char* end = nullptr;
        const long long v = std::strtoll(t.c_str(), &end, 0);
        if (!end || *end != '\0' || v < low || v > high) {
            warn(section, key, t);
            return fallback;
        }
        return v;
    }

    bool flag(const std::string& section, const std::string& key, bool fallback) const
    {
        return integer(section, key, fallback ? 1 : 0, 0, 1) != 0;
    }

    void warn(const std::string& section, const std::string& key, const std::string& value) const
    {
        warnings_->push_back("[" + section + "] " + key + "=" + value + " is not valid; the default applies");
    }

private:
    std::filesystem::path file_;
    std::vector<std::string>* warnings_;
};

ChannelSignal defaultChannel(int k)
{
    // Something recognisable on every axis: a mains-like tone, a slower one
    // on Z, distinct DC levels per channel.
    ChannelSignal c;
    static const double dc[6] = {0.05, -0.03, 0.02, 0.04, 0.01, -0.02};
    static const double tone[6] = {50.0, 120.0, 7.5, 60.0, 180.0, 3.0};
    static const double amplitude[6] = {0.5, 0.2, 1.0, 0.4, 0.1, 0.8};
    c.dc = dc[k];
    c.sines = {Sine{amplitude[k], tone[k], 0.0}, Sine{amplitude[k] / 10.0, tone[k] * 3.0, 30.0}};
    c.noise = 0.002;
    c.offset = 0.001 * (k + 1);
    c.adcNoise = 0.0002;
    return c;
}

InstrumentConfig defaultInstrument(int number)
{
    InstrumentConfig config;
    config.product = "TS6SIM" + std::to_string(number);
    config.seed = static_cast<std::uint64_t>(number);
    for (int k = 0; k < 6; ++k)
        config.channels[k] = defaultChannel(k);
    return config;
}

} // namespace

SimulatorProfile defaultProfile()
{
    SimulatorProfile profile;
    profile.instruments.push_back({defaultInstrument(1), false});
    return profile;
}

SimulatorProfile readProfile(const std::filesystem::path& file)
{
    SimulatorProfile profile;
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) {
        profile = defaultProfile();
        profile.warnings.push_back("profile " + file.string() + " not found; the default profile applies");
        return profile;
    }
    Reader ini(file, &profile.warnings);
    const std::string top = "Simulator";
    const int count = static_cast<int>(ini.integer(top, "Instruments", 1, 0, 16));
    const double speed = ini.number(top, "SpeedFactor", 1.0, 1e-3, 1e4);
    const auto fifo = static_cast<std::uint32_t>(ini.integer(top, "FifoRecords", 16384, 1, 1 << 22));
    const auto seed = ini.integer(top, "Seed", 1, 0, 1LL << 62);

    for (int n = 1; n <= count; ++n) {
        const std::string s = "Instrument" + std::to_string(n);
        SimulatedInstrumentEntry entry{defaultInstrument(n), false};
        InstrumentConfig& c = entry.config;
        c.product = ini.text(s, "Product", c.product);
        const std::string speedText = ini.text(s, "Speed", "high");
        if (speedText == "full" || speedText == "Full")
            c.highSpeed = false;
        else if (speedText != "high" && speedText != "High")
            ini.warn(s, "Speed", speedText);
        c.firmwareVersion =
            static_cast<std::uint8_t>(ini.integer(s, "FirmwareVersion", c.firmwareVersion, 0, 255));
        entry.startBare = ini.flag(s, "StartBare", false);
        c.speedFactor = ini.number(s, "SpeedFactor", speed, 1e-3, 1e4);
        c.fifoRecords = static_cast<std::uint32_t>(ini.integer(s, "FifoRecords", fifo, 1, 1 << 22));
        c.seed = static_cast<std::uint64_t>(ini.integer(s, "Seed", seed + n - 1, 0, 1LL << 62));
        const std::string signal = ini.text(s, "Signal", "normal");
        if (signal == "ramp" || signal == "Ramp")
            c.ramp = true;
        else if (signal != "normal" && signal != "Normal")
            ini.warn(s, "Signal", signal);
        c.highPassSeconds = ini.number(s, "HighPassSeconds", 0.0, 0.0, 1e4);

        for (int k = 0; k < 6; ++k) {
            ChannelSignal& ch = c.channels[k];
            const std::string p = "Channel" + std::to_string(k) + ".";
            ch.dc = ini.number(s, p + "DC", ch.dc, -1e6, 1e6);
            ch.noise = ini.number(s, p + "Noise", ch.noise, 0.0, 1e6);
            ch.offset = ini.number(s, p + "Offset", ch.offset, -1e6, 1e6);
            ch.adcNoise = ini.number(s, p + "AdcNoise", ch.adcNoise, 0.0, 1e6);
            if (ini.has(s, p + "Sines")) {
                const std::string sines = ini.text(s, p + "Sines", "");
                std::vector<Sine> parsed;
                if (parseSines(sines, &parsed))
                    ch.sines = parsed;
                else
                    ini.warn(s, p + "Sines", sines);
            }
        }

        if (ini.has(s, "FailRequest")) {
            InstrumentFault f;
            f.kind = InstrumentFault::Kind::VendorRequest;
            f.request = static_cast<int>(ini.integer(s, "FailRequest", -1, -1, 255));
            f.error = static_cast<std::uint32_t>(ini.integer(s, "FailRequestError", 31, 1, 0xFFFFFFFFLL));
            f.after = static_cast<int>(ini.integer(s, "FailRequestAfter", 0, 0, 1 << 30));
            f.count = static_cast<int>(ini.integer(s, "FailRequestCount", -1, -1, 1 << 30));
            c.faults.push_back(f);
        }
        if (ini.has(s, "FailBulkReadError")) {
            InstrumentFault f;
            f.kind = InstrumentFault::Kind::BulkRead;
            f.error = static_cast<std::uint32_t>(ini.integer(s, "FailBulkReadError", 31, 1, 0xFFFFFFFFLL));
            f.after = static_cast<int>(ini.integer(s, "FailBulkReadAfter", 0, 0, 1 << 30));
            f.count = static_cast<int>(ini.integer(s, "FailBulkReadCount", -1, -1, 1 << 30));
            c.faults.push_back(f);
        }
        c.refuseOpen = static_cast<std::uint32_t>(ini.integer(s, "RefuseOpen", 0, 0, 0xFFFFFFFFLL));
        c.unplugAfterMs = static_cast<std::uint32_t>(ini.integer(s, "UnplugAfterMs", 0, 0, 0xFFFFFFFFLL));
        c.unplugAfterBytes = static_cast<std::uint64_t>(ini.integer(s, "UnplugAfterBytes", 0, 0, 1LL << 62));
        profile.instruments.push_back(std::move(entry));
    }
    return profile;
}

SimulatorProfile activeProfile()
{
    const char* file = std::getenv("TESSELON_SIMULATOR");
    if (!file || !*file) return defaultProfile();
    SimulatorProfile profile = readProfile(file);
    for (const std::string& w : profile.warnings)
        std::fprintf(stderr, "Tesselon-6 simulator: %s\n", w.c_str());
    return profile;
}

std::vector<std::shared_ptr<Instrument>> plugProfile(SimulatedBus& bus, const SimulatorProfile& profile)
{
    std::vector<std::shared_ptr<Instrument>> made;
    for (const SimulatedInstrumentEntry& entry : profile.instruments) {
        auto instrument = std::make_shared<Instrument>(entry.config);
        made.push_back(instrument);
        if (entry.startBare) {
            if (const BareDeviceFactory factory = bareDeviceFactory()) {
                if (auto bare = factory(instrument)) {
                    bus.plug(bare);
                    continue;
                }
            }
            std::fprintf(stderr, "Tesselon-6 simulator: no bare device model; %s starts with its firmware\n",
                         entry.config.product.c_str());
        }
        bus.plug(instrument);
    }
    return made;
}

} // namespace FenmarlUsb
