#include "app/base/Archive.h"
#include "app/settings/DefaultSettings.h"
#include "app/settings/ScanConfiguration.h"
#include "app/settings/tests/ByteBuilder.h"

#include <gtest/gtest.h>

#include <type_traits>

namespace {

// The record's fields up to and including UseFrequency, with distinctive values.
void commonHead(ByteBuilder& b)
{
    b.text("Magnetometer").text("Time Domain").text("Mean Zero");
    b.text("Microphone").text("Frequency Domain").text("Offset To Zero");
    b.i32(0).i32(1).i32(1).i32(0).i32(
        1); // UseInput1, UseInput2, DiffGrad, ShowFieldComponents, ShowTotalField
    b.f64(0.0005).i32(4096).i32(3).i32(0).i32(1); // SampleInterval, NoOfSamples, NoOfAverages, AutoScale 1, 2
    b.f64(-1.5).f64(2.5).f64(-3.5).f64(4.5); // Input1Minimum, Input1Maximum, Input2Minimum, Input2Maximum
    b.i32(10).i32(100).i32(1).i32(0).i32(1); // gains, HP filters, UseFrequency
}

void specification(ByteBuilder& b, bool withAudioAlert)
{
    b.i32(1).i32(0);       // apply time
    b.i32(0).i32(1);       // apply frequency
    b.f64(0.25).f64(0.75); // excursions
    b.i32(0).i32(1);       // passed time
    b.i32(1).i32(0);       // passed frequency
    b.i32(0);              // display curves
    if (withAudioAlert) b.i32(1);
    b.i32(2).f64(10).f64(1).f64(20).f64(3); // curve 1
    b.i32(0);                               // curve 2
}

void expectHead(const CScanConfiguration& c)
{
    EXPECT_EQ(c.Input1Mode, "Magnetometer");
    EXPECT_EQ(c.Input1DisplayType, "Time Domain");
    EXPECT_EQ(c.Input1DisplayMode, "Mean Zero");
    EXPECT_EQ(c.Input2Mode, "Microphone");
    EXPECT_EQ(c.Input2DisplayType, "Frequency Domain");
    EXPECT_EQ(c.Input2DisplayMode, "Offset To Zero");
    EXPECT_EQ(c.UseInput1, 0);
    EXPECT_EQ(c.UseInput2, 1);
    EXPECT_EQ(c.DiffGrad, 1);
    EXPECT_EQ(c.ShowFieldComponents, 0);
    EXPECT_EQ(c.ShowTotalField, 1);
    EXPECT_EQ(c.SampleInterval, 0.0005);
    EXPECT_EQ(c.NoOfSamples, 4096);
    EXPECT_EQ(c.NoOfAverages, 3);
    EXPECT_EQ(c.Input1AutoScale, 0);
    EXPECT_EQ(c.Input2AutoScale, 1);
    EXPECT_EQ(c.Input1Minimum, -1.5);
    EXPECT_EQ(c.Input1Maximum, 2.5);
    EXPECT_EQ(c.Input2Minimum, -3.5);
    EXPECT_EQ(c.Input2Maximum, 4.5);
    EXPECT_EQ(c.Input1SensorGain, 10);
    EXPECT_EQ(c.Input2SensorGain, 100);
    EXPECT_EQ(c.Input1HPFilter, 1);
    EXPECT_EQ(c.Input2HPFilter, 0);
    EXPECT_EQ(c.UseFrequency, 1);
}

// The filter and scan-mode fields that follow the head, as a version stores them.
struct ModeFields
{
    int filter;
    int cutOffFrequency;
    int scanMode;
    int runs;
    int oversample;
};

void expectModeFields(const CScanConfiguration& c, const ModeFields& m)
{
    EXPECT_EQ(c.Filter, m.filter);
    EXPECT_EQ(c.CutOffFrequency, m.cutOffFrequency);
    EXPECT_EQ(c.ScanMode, m.scanMode);
    EXPECT_EQ(c.NumberofRuns, m.runs);
    EXPECT_EQ(c.Oversample, m.oversample);
}

void expectSpecification(const SpecificationSettings& s, int audioAlert)
{
    EXPECT_EQ(s.applyTimeTest[0], 1);
    EXPECT_EQ(s.applyTimeTest[1], 0);
    EXPECT_EQ(s.applyFrequencyTest[0], 0);
    EXPECT_EQ(s.applyFrequencyTest[1], 1);
    EXPECT_EQ(s.maximumExcursion[0], 0.25);
    EXPECT_EQ(s.maximumExcursion[1], 0.75);
    EXPECT_EQ(s.passedTime[0], 0);
    EXPECT_EQ(s.passedTime[1], 1);
    EXPECT_EQ(s.passedFrequency[0], 1);
    EXPECT_EQ(s.passedFrequency[1], 0);
    EXPECT_EQ(s.displayCurves, 0);
    EXPECT_EQ(s.audioAlert, audioAlert);
    EXPECT_EQ(s.curve[0], (std::vector<CurvePoint>{{10, 1}, {20, 3}}));
    EXPECT_TRUE(s.curve[1].empty());
}

// `c` loaded from the whole of `bytes`: what the record leaves out keeps its value in `c`.
CScanConfiguration loaded(const std::vector<std::uint8_t>& bytes, int version, CScanConfiguration c = {})
{
    ArchiveReader r(bytes);
    c.load(r, version);
    EXPECT_TRUE(r.atEnd());
    return c;
}

} // namespace

TEST(ScanConfiguration, DefaultsAreTheDocumentedOnes)
{
    const CScanConfiguration c;
    EXPECT_EQ(c.Input1Mode, "Accelerometer");
    EXPECT_EQ(c.Input2DisplayType, "Both");
    EXPECT_EQ(c.Input2DisplayMode, "Normal");
    EXPECT_EQ(c.UseInput1, 1);
    EXPECT_EQ(c.UseInput2, 0);
    EXPECT_EQ(c.ShowFieldComponents, 1);
    EXPECT_EQ(c.CutOffFrequency, 2);
    EXPECT_EQ(c.SampleInterval, 0.001);
    EXPECT_EQ(c.NoOfSamples, 1000);
    EXPECT_EQ(c.NumberofRuns, 5);
    EXPECT_EQ(c.Specification.passedTime[1], 1);
    EXPECT_EQ(c.Specification.displayCurves, 1);
    EXPECT_TRUE(c.FileName.empty());
}

TEST(ScanConfiguration, StoresTheNewestLayoutFieldByField)
{
    CScanConfiguration c = loaded(
        [] {
            ByteBuilder b;
            commonHead(b);
            b.i32(1).i32(7).i32(2).i32(9).i32(1);
            specification(b, true);
            return b.bytes;
        }(),
        -9);
    c.FileName = "not stored";

    ByteBuilder expected;
    commonHead(expected);
    expected.i32(1).i32(7); // Filter, CutOffFrequency
    expected.i32(2).i32(9); // ScanMode, NumberofRuns
    expected.i32(1);        // Oversample
    specification(expected, true);

    std::vector<std::uint8_t> out;
    ArchiveWriter w(out);
    c.store(w);
    EXPECT_EQ(out, expected.bytes);

    CScanConfiguration back;
    ArchiveReader r(out);
    back.load(r, CScanConfiguration::kCurrentVersion);
    back.FileName = c.FileName;
    EXPECT_EQ(back, c);
}

TEST(ScanConfiguration, VersionEightAndNineReadTheirOwnFilterBackAndMapTheOldLowPassCode)
{
    for (int version : {-8, -9}) {
        for (auto [stored, expected] : {std::pair{0, 0}, {1, 1}, {2, 1}}) {
            ByteBuilder b;
            commonHead(b);
            b.i32(stored).i32(4).i32(0).i32(5).i32(0);
            specification(b, true);
            const auto c = loaded(b.bytes, version);
            EXPECT_EQ(c.Filter, expected) << version << " " << stored;
            EXPECT_EQ(c.CutOffFrequency, 4);
        }
    }
}

TEST(ScanConfiguration, VersionsSixAndSevenHaveNoOversampleNorAudioAlert)
{
    for (int version : {-6, -7}) {
        ByteBuilder b;
        commonHead(b);
        b.i32(1).i32(6).i32(2).i32(12);
        specification(b, false);
        CScanConfiguration before;
        before.Oversample = 1;
        before.Specification.audioAlert = 1;
        const auto c = loaded(b.bytes, version, before);
        expectHead(c);
        expectModeFields(c, {.filter = 1,
                             .cutOffFrequency = 6,
                             .scanMode = ScanModes::Multiple,
                             .runs = 12,
                             .oversample = 0});
        expectSpecification(c.Specification, 0);
    }
}

TEST(ScanConfiguration, VersionFiveHasOneScanModeFlag)
{
    ByteBuilder b;
    commonHead(b);
    b.i32(0).i32(8).i32(3); // Filter, CutOffFrequency, continuous flag (non-zero)
    specification(b, false);
    const auto c = loaded(b.bytes, -5);
    EXPECT_EQ(c.Filter, 0);
    EXPECT_EQ(c.CutOffFrequency, 8);
    EXPECT_EQ(c.ScanMode, ScanModes::Continuous);
    EXPECT_EQ(c.NumberofRuns, 5);
}

TEST(ScanConfiguration, VersionsOneToFourHaveSingleFilterAndScanModeFlags)
{
    for (int version : {-1, -2, -3, -4}) {
        for (int flag : {0, 5}) {
            ByteBuilder b;
            commonHead(b);
            b.i32(flag).i32(flag);
            specification(b, false);
            CScanConfiguration before;
            before.CutOffFrequency = 9;
            before.NumberofRuns = 9;
            before.ScanMode = ScanModes::Multiple;
            const auto c = loaded(b.bytes, version, before);
            expectHead(c);
            expectModeFields(c, {.filter = flag ? 1 : 0,
                                 .cutOffFrequency = 2,
                                 .scanMode = flag ? 1 : 0,
                                 .runs = 5,
                                 .oversample = 0});
            expectSpecification(c.Specification, 0);
        }
    }
}

TEST(ScanConfiguration, VersionZeroEndsAfterTheFilterFlag)
{
    ByteBuilder b;
    commonHead(b);
    b.i32(1);
    CScanConfiguration before;
    before.Specification.applyTimeTest[0] = before.Specification.applyTimeTest[1] = 1;
    before.Specification.applyFrequencyTest[0] = before.Specification.applyFrequencyTest[1] = 1;
    const auto c = loaded(b.bytes, 0, before);
    expectHead(c);
    EXPECT_EQ(c.Filter, 1);
    EXPECT_EQ(c.CutOffFrequency, 2);
    EXPECT_EQ(c.ScanMode, ScanModes::Single);
    EXPECT_EQ(c.Specification.applyTimeTest[0], 0);
    EXPECT_EQ(c.Specification.applyTimeTest[1], 0);
    EXPECT_EQ(c.Specification.applyFrequencyTest[0], 0);
    EXPECT_EQ(c.Specification.applyFrequencyTest[1], 0);
}

TEST(ScanConfiguration, DamagedRecordsLeaveTheRecordUntouched)
{
    ByteBuilder b;
    commonHead(b);
    b.i32(1).i32(7).i32(2).i32(9).i32(1);
    specification(b, true);
    const CScanConfiguration original;
    for (std::size_t n = 0; n < b.bytes.size(); ++n) {
        CScanConfiguration c = original;
        ArchiveReader r(b.bytes.data(), n);
        EXPECT_THROW(c.load(r, -9), ArchiveException) << n;
        ASSERT_EQ(c, original) << n;
    }

    // A curve count that is negative or larger than the data.
    for (std::int32_t count : {-1, 0x7FFFFFFF}) {
        ByteBuilder bad;
        commonHead(bad);
        bad.i32(1).i32(7).i32(2).i32(9).i32(1);
        bad.i32(0).i32(0).i32(0).i32(0).f64(0).f64(0).i32(1).i32(1).i32(1).i32(1).i32(1).i32(0);
        bad.i32(count).f64(1).f64(2);
        CScanConfiguration c;
        ArchiveReader r(bad.bytes);
        EXPECT_THROW(c.load(r, -9), ArchiveException) << count;
        EXPECT_EQ(c, original);
    }

    CScanConfiguration c;
    ArchiveReader r(b.bytes);
    EXPECT_THROW(c.load(r, -10), ArchiveException);
    EXPECT_THROW(c.load(r, 1), ArchiveException);
}

namespace {

// Sets one member pair apart and checks that the accessor returns each input's own value.
template <typename Record, typename Value, typename Getter>
void expectPerInput(Value Record::*input1, Value Record::*input2, Getter get,
                    std::type_identity_t<Value> first, std::type_identity_t<Value> second)
{
    Record r;
    r.*input1 = first;
    r.*input2 = second;
    EXPECT_EQ((r.*get)(0), first);
    EXPECT_EQ((r.*get)(1), second);
}

} // namespace

TEST(ScanConfiguration, PerInputAccessorsReadTheirInputsMembers)
{
    using C = CScanConfiguration;
    expectPerInput(&C::Input1Mode, &C::Input2Mode, &C::inputMode, SensorTypes::Magnetometer,
                   SensorTypes::Microphone);
    expectPerInput(&C::Input1DisplayType, &C::Input2DisplayType, &C::displayType, "Time Domain",
                   "Frequency Domain");
    expectPerInput(&C::Input1DisplayMode, &C::Input2DisplayMode, &C::displayMode, "Mean Zero",
                   "Offset To Zero");
    expectPerInput(&C::UseInput1, &C::UseInput2, &C::usesInput, 0, 1);
    expectPerInput(&C::UseInput1, &C::UseInput2, &C::usesInput, 1, 0);
    expectPerInput(&C::Input1AutoScale, &C::Input2AutoScale, &C::autoScale, 0, 1);
    expectPerInput(&C::Input1Minimum, &C::Input2Minimum, &C::minimum, -1.5, -3.5);
    expectPerInput(&C::Input1Maximum, &C::Input2Maximum, &C::maximum, 2.5, 4.5);
    expectPerInput(&C::Input1SensorGain, &C::Input2SensorGain, &C::sensorGain, 3, 4);
    expectPerInput(&C::Input1HPFilter, &C::Input2HPFilter, &C::hpFilter, 1, 0);

    using D = DefaultSettings;
    expectPerInput(&D::Input1Scaling, &D::Input2Scaling, &D::spectrumUnit, 2, 5);
    expectPerInput(&D::Input1VibrationScaling, &D::Input2VibrationScaling, &D::vibrationScaling, 0.1, 0.2);
    expectPerInput(&D::Input1MagneticScaling, &D::Input2MagneticScaling, &D::magneticScaling, 0.3, 0.4);
    expectPerInput(&D::Input1MicrophoneScaling, &D::Input2MicrophoneScaling, &D::microphoneScaling, 0.5, 0.6);
}
