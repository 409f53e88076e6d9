#include "simulator/InstrumentSignal.h"

#include <cmath>
#include <cstdlib>
#include <numbers>

namespace FenmarlUsb {

namespace {

std::uint64_t splitmix(std::uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// Uniform in (0, 1], never 0 so the logarithm stays finite.
double unit(std::uint64_t bits)
{
    return (static_cast<double>(bits >> 11) + 1.0) * (1.0 / 9007199254740992.0);
}

std::string trim(const std::string& text)
{
    const auto a = text.find_first_not_of(" \t");
    if (a == std::string::npos) return {};
    const auto b = text.find_last_not_of(" \t");
    return text.substr(a, b - a + 1);
}

bool parseNumber(const std::string& text, double* value)
{
    const std::string t = trim(text);
    if (t.empty()) return false;
    char* end = nullptr;
    *value = std::strtod(t.c_str(), &end);
    return end && *end == '\0' && std::isfinite(*value);
}

} // namespace

double gaussian(std::uint64_t seed, int channel, std::uint64_t sampleIndex, int stream)
{
    const std::uint64_t key =
        splitmix(seed ^ splitmix(sampleIndex * 16 + static_cast<std::uint64_t>(channel) * 2 +
                                 static_cast<std::uint64_t>(stream)));
    const double u1 = unit(key);
    const double u2 = unit(splitmix(key));
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
}

double sensorVolts(const ChannelSignal& signal, double t, std::uint64_t seed, int channel,
                   std::uint64_t sampleIndex)
{
    double v = signal.dc;
    for (const Sine& s : signal.sines)
        v += s.amplitude *
             std::sin(2.0 * std::numbers::pi * s.frequency * t + s.phase * std::numbers::pi / 180.0);
    if (signal.noise > 0.0) v += signal.noise * gaussian(seed, channel, sampleIndex, 0);
    return v;
}

bool parseSines(const std::string& text, std::vector<Sine>* sines)
{
    sines->clear();
    std::size_t start = 0;
    while (start <= text.size()) {
        auto end = text.find(';', start);
        if (end == std::string::npos) end = text.size();
        const std::string item = trim(text.substr(start, end - start));
        start = end + 1;
        if (item.empty()) continue;
        Sine sine;
        const auto at1 = item.find('@');
        if (at1 == std::string::npos) return false;
        const auto at2 = item.find('@', at1 + 1);
        if (!parseNumber(item.substr(0, at1), &sine.amplitude) ||
            !parseNumber(item.substr(at1 + 1, at2 == std::string::npos ? std::string::npos : at2 - at1 - 1),
                         &sine.frequency))
            return false;
        if (at2 != std::string::npos && !parseNumber(item.substr(at2 + 1), &sine.phase)) return false;
        if (sine.frequency < 0.0) return false;
        sines->push_back(sine);
    }
    return true;
}

} // namespace FenmarlUsb
