#include "app/settings/ScanConfiguration.h"

#include "app/base/Archive.h"

void CScanConfiguration::store(ArchiveWriter& archive) const
{
    archive.writeText(Input1Mode);
    archive.writeText(Input1DisplayType);
    archive.writeText(Input1DisplayMode);
    archive.writeText(Input2Mode);
    archive.writeText(Input2DisplayType);
    archive.writeText(Input2DisplayMode);
    archive.writeInt32(UseInput1);
    archive.writeInt32(UseInput2);
    archive.writeInt32(DiffGrad);
    archive.writeInt32(ShowFieldComponents);
    archive.writeInt32(ShowTotalField);
    archive.writeDouble(SampleInterval);
    archive.writeInt32(NoOfSamples);
    archive.writeInt32(NoOfAverages);
    archive.writeInt32(Input1AutoScale);
    archive.writeInt32(Input2AutoScale);
    archive.writeDouble(Input1Minimum);
    archive.writeDouble(Input1Maximum);
    archive.writeDouble(Input2Minimum);
    archive.writeDouble(Input2Maximum);
    archive.writeInt32(Input1SensorGain);
    archive.writeInt32(Input2SensorGain);
    archive.writeInt32(Input1HPFilter);
    archive.writeInt32(Input2HPFilter);
    archive.writeInt32(UseFrequency);
    archive.writeInt32(Filter);
    archive.writeInt32(CutOffFrequency);
    archive.writeInt32(ScanMode);
    archive.writeInt32(NumberofRuns);
    archive.writeInt32(Oversample);
    Specification.store(archive);
}

void CScanConfiguration::load(ArchiveReader& archive, int version)
{
    if (version > 0 || version < -9)
        throw ArchiveException(ArchiveException::Cause::BadFormat,
                               "Unknown scan configuration version " + std::to_string(version));
    CScanConfiguration c = *this;
    c.Input1Mode = archive.readText();
    c.Input1DisplayType = archive.readText();
    c.Input1DisplayMode = archive.readText();
    c.Input2Mode = archive.readText();
    c.Input2DisplayType = archive.readText();
    c.Input2DisplayMode = archive.readText();
    c.UseInput1 = archive.readInt32();
    c.UseInput2 = archive.readInt32();
    c.DiffGrad = archive.readInt32();
    c.ShowFieldComponents = archive.readInt32();
    c.ShowTotalField = archive.readInt32();
    c.SampleInterval = archive.readDouble();
    c.NoOfSamples = archive.readInt32();
    c.NoOfAverages = archive.readInt32();
    c.Input1AutoScale = archive.readInt32();
    c.Input2AutoScale = archive.readInt32();
    c.Input1Minimum = archive.readDouble();
    c.Input1Maximum = archive.readDouble();
    c.Input2Minimum = archive.readDouble();
    c.Input2Maximum = archive.readDouble();
    c.Input1SensorGain = archive.readInt32();
    c.Input2SensorGain = archive.readInt32();
    c.Input1HPFilter = archive.readInt32();
    c.Input2HPFilter = archive.readInt32();
    c.UseFrequency = archive.readInt32();

    if (version <= -5) {
        c.Filter = archive.readInt32();
        c.CutOffFrequency = archive.readInt32();
        if (version <= -8 && c.Filter == 2) c.Filter = 1;
    } else {
        c.Filter = archive.readInt32() != 0 ? 1 : 0;
        c.CutOffFrequency = 2;
    }

    if (version == 0) {
        // The oldest files end the record here.
        c.ScanMode = ScanModes::Single;
        c.NumberofRuns = 5;
        c.Oversample = 0;
        c.Specification.applyTimeTest[0] = c.Specification.applyTimeTest[1] = 0;
        c.Specification.applyFrequencyTest[0] = c.Specification.applyFrequencyTest[1] = 0;
        *this = std::move(c);
        return;
    }

    if (version <= -6) {
        c.ScanMode = archive.readInt32();
        c.NumberofRuns = archive.readInt32();
    } else {
        c.ScanMode = archive.readInt32() != 0 ? ScanModes::Continuous : ScanModes::Single;
        c.NumberofRuns = 5;
    }
    c.Oversample = version <= -8 ? archive.readInt32() : 0;
    c.Specification.load(archive, version);
    *this = std::move(c);
}
