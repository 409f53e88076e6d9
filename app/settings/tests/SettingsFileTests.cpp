#include "app/settings/SettingsFile.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

std::filesystem::path writeIni(const std::string& name, const std::string& text)
{
    const auto path = std::filesystem::temp_directory_path() / name;
    std::ofstream(path) << text;
    return path;
}

} // namespace

TEST(SettingsFile, ValueKinds)
{
    using namespace SettingsFileValues;
    EXPECT_TRUE(toBool("True"));
    EXPECT_FALSE(toBool("true"));
    EXPECT_FALSE(toBool("TRUE"));
    EXPECT_FALSE(toBool("1"));
    EXPECT_FALSE(toBool(""));

    EXPECT_EQ(toInt("12abc"), 12);
    EXPECT_EQ(toInt("  -7"), -7);
    EXPECT_EQ(toInt("+3"), 3);
    EXPECT_EQ(toInt("abc"), 0);
    EXPECT_EQ(toInt(""), 0);
    EXPECT_EQ(toInt("99999999999999999999"), 2147483647);
    EXPECT_EQ(toInt("-99999999999999999999"), -2147483647 - 1);

    std::int32_t v = 5;
    EXPECT_TRUE(toStrictInt("2048", &v));
    EXPECT_EQ(v, 2048);
    EXPECT_TRUE(toStrictInt("-2147483648", &v));
    EXPECT_EQ(v, -2147483647 - 1);
    EXPECT_TRUE(toStrictInt("+12", &v));
    EXPECT_EQ(v, 12);
    for (const char* bad : {"", "12abc", "2147483648", "1.5", "abc", "+", "-", "++1", "1 2", "0x10"})
        EXPECT_FALSE(toStrictInt(bad, &v)) << bad;

    EXPECT_EQ(toDouble("0.0005"), 0.0005);
    EXPECT_EQ(toDouble("1e-3"), 0.001);
    EXPECT_EQ(toDouble("-2.5volts"), -2.5);
    EXPECT_EQ(toDouble(".5"), 0.5);
    EXPECT_EQ(toDouble("+4"), 4.0);
    for (const char* bad : {"", "x1", "inf", "nan", "-inf", "1e999"})
        EXPECT_EQ(toDouble(bad), 0.0) << bad;
}

TEST(SettingsFile, EveryKeyReachesItsField)
{
    const auto path = writeIni("all.ini", R"([Display]
DiffGrad=True
ShowFieldComponents=True
ShowTotalField=true
[Sensors]
UseInput1=true
UseInput2=True
[Input]
Input1AutoScale=True
Input2AutoScale=False
Coupling1=1
Coupling2=0
Input1Maximum=2.5
Input1Minimum=-2.5
Input2Maximum=7
Input2Minimum=-7
Mode1=Mean Zero
Input1DisplayType=Time Domain
Input1Mode=Magnetometer
Mode2=Offset To Zero
Input2DisplayType=Frequency Domain
Input2Mode=Microphone
[Acquisition]
NoOfAverages=12abc
NoOfSamples=4096
SampleInterval=0.0005
UseFrequency=True
ScanMode=2
NoOfRollingPoints=8
NumberofRuns=3
Oversample=True
[InstrumentSetup]
Input1SensorGain=100
Input2SensorGain=10
[DigitalFiltering]
Filter=1
[General]
ExportMultiASCII=True
AutoFileName=unattended.ts6
[Sensor]
UnitMagnetic=0
UnitVibration=2
MagneticScaling1=1.5
MagneticScaling2=4
[FFT]
FFTK=4
FFTWindowing=2
FFTOverlap=True
Input1Scaling=1
Input2Scaling=3
[Specification]
Apply1Time=True
Apply2Time=False
Apply1Frequency=False
Apply2Frequency=True
Excursion1=0.25
Excursion2=0.5
)");
    CScanConfiguration c;
    DefaultSettings d;
    d.Input1MicrophoneScaling = 50;
    d.Input2MicrophoneScaling = 20;
    ASSERT_TRUE(loadSettingsFile(path, c, d));
    EXPECT_EQ(c.DiffGrad, 1);
    EXPECT_EQ(c.ShowFieldComponents, 1);
    EXPECT_EQ(c.ShowTotalField, 0);
    EXPECT_EQ(c.UseInput1, 0); // "true" in lower case is not true
    EXPECT_EQ(c.UseInput2, 1);
    EXPECT_EQ(c.Input1AutoScale, 1);
    EXPECT_EQ(c.Input2AutoScale, 0);
    EXPECT_EQ(c.Input1HPFilter, 1);
    EXPECT_EQ(c.Input2HPFilter, 0);
    EXPECT_EQ(c.Input1Maximum, 2.5);
    EXPECT_EQ(c.Input1Minimum, -2.5);
    EXPECT_EQ(c.Input2Maximum, 7);
    EXPECT_EQ(c.Input2Minimum, -7);
    EXPECT_EQ(c.Input1DisplayMode, "Mean Zero");
    EXPECT_EQ(c.Input1DisplayType, "Time Domain");
    EXPECT_EQ(c.Input1Mode, "Magnetometer");
    EXPECT_EQ(c.Input2DisplayMode, "Offset To Zero");
    EXPECT_EQ(c.Input2DisplayType, "Frequency Domain");
    EXPECT_EQ(c.Input2Mode, "Microphone");
    EXPECT_EQ(c.NoOfAverages, 12);
    EXPECT_EQ(c.NoOfSamples, 4096);
    EXPECT_EQ(c.SampleInterval, 0.0005);
    EXPECT_EQ(c.UseFrequency, 1);
    EXPECT_EQ(c.ScanMode, ScanModes::Multiple);
    EXPECT_EQ(c.CutOffFrequency, 8);
    EXPECT_EQ(c.NumberofRuns, 3);
    EXPECT_EQ(c.Oversample, 1);
    EXPECT_EQ(c.Input1SensorGain, 100);
    EXPECT_EQ(c.Input2SensorGain, 10);
    EXPECT_EQ(c.Filter, 1);
    EXPECT_EQ(d.ExportMultiASCII, 1);
    EXPECT_EQ(d.autoFileName, "unattended.ts6");
    EXPECT_EQ(d.MagneticUnits, 0);
    EXPECT_EQ(d.VibrationUnits, 2);
    EXPECT_EQ(d.Input1CustomMagneticScaling, 1.5);
    EXPECT_DOUBLE_EQ(d.Input1MagneticScaling, 150.0);
    EXPECT_EQ(d.Input2CustomMagneticScaling, 4.0);
    EXPECT_DOUBLE_EQ(d.Input2MagneticScaling, 400.0);
    // No microphone keys: the stored sensitivities stay as they were.
    EXPECT_DOUBLE_EQ(d.Input1MicrophoneScaling, 50);
    EXPECT_DOUBLE_EQ(d.Input2MicrophoneScaling, 20);
    EXPECT_EQ(d.FFTK, 4);
    EXPECT_EQ(d.FFTWindowing, 2);
    EXPECT_EQ(d.FFTOverlap, 1);
    EXPECT_EQ(d.Input1Scaling, 1);
    EXPECT_EQ(d.Input2Scaling, 3);
    EXPECT_EQ(c.Specification.applyTimeTest[0], 1);
    EXPECT_EQ(c.Specification.applyTimeTest[1], 0);
    EXPECT_EQ(c.Specification.applyFrequencyTest[0], 0);
    EXPECT_EQ(c.Specification.applyFrequencyTest[1], 1);
    EXPECT_EQ(c.Specification.maximumExcursion[0], 0.25);
    EXPECT_EQ(c.Specification.maximumExcursion[1], 0.5);
}

TEST(SettingsFile, MagneticUnitsScaleTheDerivedScalings)
{
    const struct
    {
        int unit;
        double expected;
    } cases[] = {{0, 150.0}, {1, 0.15}, {2, 1.5}, {7, 0.15}};
    for (const auto& c : cases) {
        const auto path = writeIni("units.ini", "[Acquisition]\nNoOfSamples=1\n[Sensor]\nUnitMagnetic=" +
                                                    std::to_string(c.unit) + "\nMagneticScaling1=1.5\n");
        CScanConfiguration config;
        DefaultSettings d;
        ASSERT_TRUE(loadSettingsFile(path, config, d));
        EXPECT_DOUBLE_EQ(d.Input1MagneticScaling, c.expected) << c.unit;
        EXPECT_EQ(d.Input1CustomMagneticScaling, 1.5);
        EXPECT_EQ(d.Input2MagneticScaling, 0.0);
    }
}

TEST(SettingsFile, BadOrMissingSampleCountFailsAfterTheKeysBeforeIt)
{
    for (const char* samples : {"NoOfSamples=12abc\n", "NoOfSamples=4294967296\n", ""}) {
        SCOPED_TRACE(samples);
        const auto path =
            writeIni("bad.ini", std::string("[Display]\nDiffGrad=True\n[Input]\nInput1Mode=Microphone\n"
                                            "[Acquisition]\nNoOfAverages=9\n") +
                                    samples + "SampleInterval=0.5\n");
        CScanConfiguration c;
        c.ShowFieldComponents = 1;
        DefaultSettings d;
        EXPECT_FALSE(loadSettingsFile(path, c, d));
        EXPECT_EQ(c.DiffGrad, 1);
        EXPECT_EQ(c.ShowFieldComponents, 0); // missing: reset
        EXPECT_EQ(c.Input1Mode, "Microphone");
        EXPECT_EQ(c.Input2Mode, "");
        EXPECT_EQ(c.NoOfAverages, 9);
        EXPECT_EQ(c.NoOfSamples, 1000);     // untouched
        EXPECT_EQ(c.SampleInterval, 0.001); // not reached
    }

    CScanConfiguration c;
    DefaultSettings d;
    EXPECT_FALSE(loadSettingsFile(std::filesystem::temp_directory_path() / "absent.ini", c, d));
    EXPECT_EQ(c.UseInput1, 0);
    EXPECT_EQ(c.Input1Mode, "");
}

TEST(SettingsFile, LongAndBrokenTextsAreTamed)
{
    const std::string longName(12000, 'n');
    const auto path =
        writeIni("texts.ini", "[Acquisition]\nNoOfSamples=5\n[General]\nAutoFileName=" + longName +
                                  "\n[Input]\nInput1Mode=Mag\xFF\xFEtometer\n");
    CScanConfiguration c;
    DefaultSettings d;
    ASSERT_TRUE(loadSettingsFile(path, c, d));
    EXPECT_EQ(d.autoFileName, std::string(9999, 'n'));
    EXPECT_EQ(c.Input1Mode, "Mag\xEF\xBF\xBD\xEF\xBF\xBDtometer");
}

TEST(SettingsFile, ShippedExampleLoadsAsASensibleScan)
{
    const auto example =
        std::filesystem::path(TESSELON_SOURCE_DIR) / "examples/simulator-scan.ini";
    ASSERT_TRUE(std::filesystem::exists(example)) << example;
    CScanConfiguration c;
    DefaultSettings d;
    ASSERT_TRUE(loadSettingsFile(example, c, d));
    EXPECT_EQ(c.UseInput1, 1);
    EXPECT_EQ(c.UseInput2, 0);
    EXPECT_EQ(c.Input1Mode, "Accelerometer");
    EXPECT_EQ(c.Input1DisplayType, "Both");
    EXPECT_EQ(c.NoOfSamples, 2048);
    EXPECT_EQ(c.SampleInterval, 0.001);
    EXPECT_EQ(c.NoOfAverages, 1);
    EXPECT_EQ(c.Input1SensorGain, 1);
    EXPECT_EQ(c.ScanMode, ScanModes::Single);
    EXPECT_EQ(d.FFTWindowing, 3);
    EXPECT_EQ(d.FFTK, 2);
    EXPECT_DOUBLE_EQ(d.Input1MagneticScaling, 10.0);
}
