#include "app/settings/ScanTemplate.h"

#include "app/base/Archive.h"

ScanTemplate ScanTemplate::fromSettings(const CScanConfiguration& c, const DefaultSettings& d,
                                        const std::string& intervalText)
{
    ScanTemplate t;
    t.configuration = c;
    t.sampleIntervalText = intervalText;
    const auto& s = c.Specification;
    for (int i = 0; i < 2; ++i) {
        t.applyTime[i] = s.applyTimeTest[i];
        t.applyFrequency[i] = s.applyFrequencyTest[i];
        t.maximumExcursion[i] = s.maximumExcursion[i];
        t.curve[i] = s.curve[i];
        t.sensorGain[i] = c.sensorGain(i);
        t.magneticScaling[i] = d.magneticScaling(i);
        t.microphoneScaling[i] = d.microphoneScaling(i);
        t.vibrationScaling[i] = d.vibrationScaling(i);
        t.spectrumUnits[i] = d.spectrumUnit(i);
    }
    t.displayCurves = s.displayCurves;
    t.audioAlert = s.audioAlert;
    t.dataFolder = d.FilePath;
    t.scanOnExit = d.ScanOnExit;
    t.exportAscii = d.ExportMultiASCII;
    t.magneticUnits = d.MagneticUnits;
    t.microphoneUnits = d.MicrophoneUnits;
    t.vibrationUnits = d.VibrationUnits;
    t.window = d.FFTWindowing;
    t.discreteFrequencies = d.FFTK;
    t.overlap = d.FFTOverlap;
    return t;
}

void ScanTemplate::applyTo(CScanConfiguration& c, DefaultSettings& d) const
{
    // The record's own specification results (pass flags) are not page values.
    const SpecificationSettings kept = c.Specification;
    const std::string fileName = c.FileName;
    c = configuration;
    c.FileName = fileName;
    c.Specification.passedTime[0] = kept.passedTime[0];
    c.Specification.passedTime[1] = kept.passedTime[1];
    c.Specification.passedFrequency[0] = kept.passedFrequency[0];
    c.Specification.passedFrequency[1] = kept.passedFrequency[1];
    auto& s = c.Specification;
    for (int i = 0; i < 2; ++i) {
        s.applyTimeTest[i] = applyTime[i];
        s.applyFrequencyTest[i] = applyFrequency[i];
        s.maximumExcursion[i] = maximumExcursion[i];
        s.curve[i] = curve[i];
    }
    s.displayCurves = displayCurves;
    s.audioAlert = audioAlert;
    c.Input1SensorGain = sensorGain[0];
    c.Input2SensorGain = sensorGain[1];
    c.Input1HPFilter = coupling(0);
    c.Input2HPFilter = coupling(1);
    d.FilePath = dataFolder;
    d.ScanOnExit = scanOnExit;
    d.ExportMultiASCII = exportAscii;
    d.Input1MagneticScaling = magneticScaling[0];
    d.Input2MagneticScaling = magneticScaling[1];
    d.Input1MicrophoneScaling = microphoneScaling[0];
    d.Input2MicrophoneScaling = microphoneScaling[1];
    d.Input1VibrationScaling = vibrationScaling[0];
    d.Input2VibrationScaling = vibrationScaling[1];
    d.MagneticUnits = magneticUnits;
    d.MicrophoneUnits = microphoneUnits;
    d.VibrationUnits = vibrationUnits;
    d.FFTWindowing = window;
    d.FFTK = discreteFrequencies;
    d.FFTOverlap = overlap;
    d.Input1Scaling = spectrumUnits[0];
    d.Input2Scaling = spectrumUnits[1];
}

void ScanTemplate::store(ArchiveWriter& a) const
{
    a.writeInt32(kVersion);
    configuration.store(a);
    a.writeInt32s(reserved);
    a.writeText(sampleIntervalText);
    a.writeInt32s(applyTime);
    a.writeInt32s(applyFrequency);
    a.writeInt32(displayCurves);
    a.writeInt32(audioAlert);
    a.writeDoubles(maximumExcursion);
    StoreCurve(a, curve[0]);
    StoreCurve(a, curve[1]);
    a.writeInt32s(sensorGain);
    a.writeText(dataFolder);
    a.writeInt32(scanOnExit);
    a.writeInt32(exportAscii);
    a.writeDouble(magneticScaling[0]);
    a.writeDouble(microphoneScaling[0]);
    a.writeDouble(vibrationScaling[0]);
    a.writeDouble(magneticScaling[1]);
    a.writeDouble(microphoneScaling[1]);
    a.writeDouble(vibrationScaling[1]);
    a.writeInt32(magneticUnits);
    a.writeInt32(microphoneUnits);
    a.writeInt32(vibrationUnits);
    a.writeInt32(window);
    a.writeInt32(discreteFrequencies);
    a.writeInt32(overlap);
    a.writeInt32s(spectrumUnits);
}

void ScanTemplate::loadBody(ArchiveReader& a, int version)
{
    if (version > -1 || version < kVersion)
        throw ArchiveException(ArchiveException::Cause::BadFormat,
                               "Unknown scan template version " + std::to_string(version));

    ScanTemplate t = *this;
    // Templates of version −4 already hold the record in its −5 layout.
    t.configuration.load(a, version == -4 ? -5 : version);
    a.readInt32s(t.reserved);
    t.sampleIntervalText = a.readText();
    a.readInt32s(t.applyTime);
    a.readInt32s(t.applyFrequency);
    t.displayCurves = a.readInt32();
    t.audioAlert = version <= -8 ? a.readInt32() : 0;
    a.readDoubles(t.maximumExcursion);
    t.curve[0] = LoadCurve(a);
    t.curve[1] = LoadCurve(a);
    a.readInt32s(t.sensorGain);
    t.dataFolder = a.readText();
    if (version <= -6) {
        t.scanOnExit = a.readInt32();
        t.exportAscii = a.readInt32();
    } else {
        t.scanOnExit = 0;
        t.exportAscii = 0;
    }
    t.magneticScaling[0] = a.readDouble();
    t.microphoneScaling[0] = a.readDouble();
    t.vibrationScaling[0] = a.readDouble();
    t.magneticScaling[1] = a.readDouble();
    t.microphoneScaling[1] = a.readDouble();
    t.vibrationScaling[1] = a.readDouble();
    t.magneticUnits = a.readInt32();
    t.microphoneUnits = a.readInt32();
    t.vibrationUnits = a.readInt32();
    t.window = a.readInt32();
    t.discreteFrequencies = a.readInt32();
    t.overlap = a.readInt32();
    if (version < -1) {
        a.readInt32s(t.spectrumUnits);
    }
    *this = std::move(t);
}

void ScanTemplate::load(const std::vector<std::uint8_t>& bytes)
{
    // A negative first word is the version; otherwise the file has none and
    // its record starts at the first byte.
    int version = -1;
    std::size_t start = 0;
    if (bytes.size() >= 4) {
        ArchiveReader peek(bytes);
        const std::int32_t first = peek.readInt32();
        if (first < 0) {
            version = first;
            start = 4;
        }
    }
    ArchiveReader r(bytes.data() + start, bytes.size() - start);
    loadBody(r, version);
}

void ScanTemplate::save(const std::filesystem::path& path) const
{
    ArchiveWriter writer(path, 4096);
    store(writer);
    writer.commit();
}

void ScanTemplate::load(const std::filesystem::path& path)
{
    std::vector<std::uint8_t> bytes;
    {
        ArchiveReader file(path);
        // Templates are small; a very large file is not one.
        constexpr std::uint64_t kMaxTemplateBytes = 256u << 20;
        if (file.remaining() > kMaxTemplateBytes)
            throw ArchiveException(ArchiveException::Cause::BadFormat, "File too large for a scan template");
        bytes.resize(static_cast<std::size_t>(file.remaining()));
        file.readBytes(bytes.data(), bytes.size());
    }
    load(bytes);
}
