#include "app/settings/DefaultSettings.h"

#include "app/base/Archive.h"

void DefaultSettings::store(ArchiveWriter& archive) const
{
    archive.writeText(FilePath);
    archive.writeInt32(ScanOnExit);
    archive.writeInt32(ExportMultiASCII);
    archive.writeText(Input1TTitle);
    archive.writeText(Input1FTitle);
    archive.writeText(Input2TTitle);
    archive.writeText(Input2FTitle);
    archive.writeText(Input2TDifGradTitle);
    archive.writeText(Input2FDifGradTitle);
    archive.writeInt32(MagneticUnits);
    archive.writeInt32(VibrationUnits);
    archive.writeInt32(MicrophoneUnits);
    archive.writeDouble(Input1MagneticScaling);
    archive.writeDouble(Input1VibrationScaling);
    archive.writeDouble(Input2MagneticScaling);
    archive.writeDouble(Input2VibrationScaling);
    archive.writeDouble(Input1MicrophoneScaling);
    archive.writeDouble(Input2MicrophoneScaling);
    archive.writeInt32(FFTWindowing);
    archive.writeInt32(FFTK);
    archive.writeInt32(FFTOverlap);
    archive.writeInt32(Input1Scaling);
    archive.writeInt32(Input2Scaling);
    archive.writeDouble(Input1CustomVibrationScaling);
    archive.writeDouble(Input2CustomVibrationScaling);
    archive.writeDouble(Input1CustomMagneticScaling);
    archive.writeDouble(Input2CustomMagneticScaling);
}

void DefaultSettings::load(ArchiveReader& archive, int version)
{
    DefaultSettings d = *this;
    d.FilePath = archive.readText();
    d.ScanOnExit = archive.readInt32();
    d.ExportMultiASCII = version <= -6 ? archive.readInt32() : 0;
    d.Input1TTitle = archive.readText();
    d.Input1FTitle = archive.readText();
    d.Input2TTitle = archive.readText();
    d.Input2FTitle = archive.readText();
    if (version <= -7) {
        d.Input2TDifGradTitle = archive.readText();
        d.Input2FDifGradTitle = archive.readText();
    }
    d.MagneticUnits = archive.readInt32();
    d.VibrationUnits = archive.readInt32();
    d.MicrophoneUnits = archive.readInt32();
    d.Input1MagneticScaling = archive.readDouble();
    d.Input1VibrationScaling = archive.readDouble();
    d.Input2MagneticScaling = archive.readDouble();
    d.Input2VibrationScaling = archive.readDouble();
    d.Input1MicrophoneScaling = archive.readDouble();
    d.Input2MicrophoneScaling = archive.readDouble();
    d.FFTWindowing = archive.readInt32();
    d.FFTK = archive.readInt32();
    d.FFTOverlap = archive.readInt32();
    if (version <= -2) {
        d.Input1Scaling = archive.readInt32();
        d.Input2Scaling = archive.readInt32();
    }
    if (version <= -4) {
        d.Input1CustomVibrationScaling = archive.readDouble();
        d.Input2CustomVibrationScaling = archive.readDouble();
    }
    if (version <= -6) {
        d.Input1CustomMagneticScaling = archive.readDouble();
        d.Input2CustomMagneticScaling = archive.readDouble();
    }
    *this = std::move(d);
}
