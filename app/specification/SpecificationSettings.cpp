#include "app/specification/SpecificationSettings.h"

#include "app/base/Archive.h"
#include "app/base/RegistryKey.h"

#include <bit>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::uint32_t kOk = 0;

std::int32_t int32At(const std::uint8_t* b)
{
    return static_cast<std::int32_t>(std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 |
                                     std::uint32_t(b[2]) << 16 | std::uint32_t(b[3]) << 24);
}

double doubleAt(const std::uint8_t* b)
{
    std::uint64_t u = 0;
    for (int i = 7; i >= 0; --i)
        u = (u << 8) | b[i];
    return std::bit_cast<double>(u);
}

void putInt32(std::uint8_t* b, std::int32_t value)
{
    const auto u = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        b[i] = static_cast<std::uint8_t>(u >> (8 * i));
}

void putDouble(std::uint8_t* b, double value)
{
    const auto u = std::bit_cast<std::uint64_t>(value);
    for (int i = 0; i < 8; ++i)
        b[i] = static_cast<std::uint8_t>(u >> (8 * i));
}

bool readIntPair(const CRegistryKey& key, const char* name, std::int32_t (&out)[2])
{
    std::uint8_t b[8];
    if (key.readBinary(name, b, sizeof b) != kOk) return false;
    out[0] = int32At(b);
    out[1] = int32At(b + 4);
    return true;
}

std::uint32_t writeIntPair(CRegistryKey& key, const char* name, const std::int32_t (&in)[2])
{
    std::uint8_t b[8];
    putInt32(b, in[0]);
    putInt32(b + 4, in[1]);
    return key.writeBinary(name, b, sizeof b);
}

std::string pointName(int curve, int index)
{
    char name[48];
    std::snprintf(name, sizeof name, "Curve %d Point %d", curve, index);
    return name;
}

void readCurve(const CRegistryKey& key, int number, std::vector<CurvePoint>& curve)
{
    std::int32_t count = 0;
    if (key.readInt("Points " + std::to_string(number), &count) != kOk) count = 0;
    // A count no curve could have is not trusted.
    if (count < 0 || count > SpecificationSettings::kMaxRegistryPoints) count = 0;
    curve.clear();
    curve.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        std::uint8_t b[16];
        CurvePoint point;
        if (key.readBinary(pointName(number, i), b, sizeof b) == kOk) {
            point.frequency = doubleAt(b);
            point.intensity = doubleAt(b + 8);
        }
        curve.push_back(point);
    }
}

std::uint32_t writeCurve(CRegistryKey& key, int number, const std::vector<CurvePoint>& curve)
{
    std::uint32_t rc =
        key.writeInt("Points " + std::to_string(number), static_cast<std::int32_t>(curve.size()));
    for (std::size_t i = 0; rc == kOk && i < curve.size(); ++i) {
        std::uint8_t b[16];
        putDouble(b, curve[i].frequency);
        putDouble(b + 8, curve[i].intensity);
        rc = key.writeBinary(pointName(number, static_cast<int>(i)), b, sizeof b);
    }
    return rc;
}

} // namespace

void StoreCurve(ArchiveWriter& archive, const std::vector<CurvePoint>& curve)
{
    archive.writeInt32(static_cast<std::int32_t>(curve.size()));
    for (const auto& p : curve) {
        archive.writeDouble(p.frequency);
        archive.writeDouble(p.intensity);
    }
}

std::vector<CurvePoint> LoadCurve(ArchiveReader& archive)
{
    const std::int32_t count = archive.readInt32();
    if (count < 0) throw ArchiveException(ArchiveException::Cause::BadFormat, "Negative curve point count");
    archive.requireAvailable(static_cast<std::uint64_t>(count), 16);
    std::vector<CurvePoint> curve(static_cast<std::size_t>(count));
    for (auto& p : curve) {
        p.frequency = archive.readDouble();
        p.intensity = archive.readDouble();
    }
    return curve;
}

bool SpecificationSettings::readFromRegistry(const std::string& scanConfigurationPath)
{
    CRegistryKey key;
    if (key.open(registryPath(scanConfigurationPath)) != kOk) return false;
    readIntPair(key, "Apply Time", applyTimeTest);
    readIntPair(key, "Apply Frequency", applyFrequencyTest);
    std::uint8_t excursion[16];
    if (key.readBinary("Excursion", excursion, sizeof excursion) == kOk) {
        maximumExcursion[0] = doubleAt(excursion);
        maximumExcursion[1] = doubleAt(excursion + 8);
    }
    readIntPair(key, "Passed Time", passedTime);
    readIntPair(key, "Passed Frequency", passedFrequency);
    key.readInt("Display", &displayCurves);
    readCurve(key, 1, curve[0]);
    readCurve(key, 2, curve[1]);
    key.readInt("AudioAlert", &audioAlert);
    key.close();
    return true;
}

std::uint32_t SpecificationSettings::writeToRegistry(const std::string& scanConfigurationPath) const
{
    CRegistryKey key;
    std::uint32_t rc = key.create(registryPath(scanConfigurationPath));
    if (rc != kOk) return rc;
    rc = writeIntPair(key, "Apply Time", applyTimeTest);
    if (rc == kOk) rc = writeIntPair(key, "Apply Frequency", applyFrequencyTest);
    if (rc == kOk) {
        std::uint8_t excursion[16];
        putDouble(excursion, maximumExcursion[0]);
        putDouble(excursion + 8, maximumExcursion[1]);
        rc = key.writeBinary("Excursion", excursion, sizeof excursion);
    }
    if (rc == kOk) rc = writeIntPair(key, "Passed Time", passedTime);
    if (rc == kOk) rc = writeIntPair(key, "Passed Frequency", passedFrequency);
    if (rc == kOk) rc = key.writeInt("Display", displayCurves);
    if (rc == kOk) rc = writeCurve(key, 1, curve[0]);
    if (rc == kOk) rc = writeCurve(key, 2, curve[1]);
    if (rc == kOk) rc = key.writeInt("AudioAlert", audioAlert);
    key.close();
    return rc;
}

void SpecificationSettings::store(ArchiveWriter& archive) const
{
    archive.writeInt32s(applyTimeTest);
    archive.writeInt32s(applyFrequencyTest);
    archive.writeDoubles(maximumExcursion);
    archive.writeInt32s(passedTime);
    archive.writeInt32s(passedFrequency);
    archive.writeInt32(displayCurves);
    archive.writeInt32(audioAlert);
    StoreCurve(archive, curve[0]);
    StoreCurve(archive, curve[1]);
}

void SpecificationSettings::load(ArchiveReader& archive, int version)
{
    SpecificationSettings s = *this;
    archive.readInt32s(s.applyTimeTest);
    archive.readInt32s(s.applyFrequencyTest);
    archive.readDoubles(s.maximumExcursion);
    archive.readInt32s(s.passedTime);
    archive.readInt32s(s.passedFrequency);
    s.displayCurves = archive.readInt32();
    s.audioAlert = version <= -8 ? archive.readInt32() : 0;
    s.curve[0] = LoadCurve(archive);
    s.curve[1] = LoadCurve(archive);
    *this = std::move(s);
}
