#pragma once

#include "app/settings/DefaultSettings.h"
#include "app/settings/tests/ByteBuilder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

// The values of one stored data-settings record; what a test does not set is
// the same distinctive value everywhere.
struct DataSettingsRecord
{
    std::string filePath = "D:\\Data\\";
    std::array<std::int32_t, 3> units{2, 3, 1}; // magnetic, vibration, microphone
    // Magnetic 1, vibration 1, magnetic 2, vibration 2, microphone 1, microphone 2.
    std::array<double, 6> scalings{10, 11, 12, 13, 0.14, 0.15};
    std::array<std::int32_t, 3> fft{6, 4, 0}; // window, FFTK, overlap
    std::array<std::int32_t, 2> inputScalings{1, 2};
};

// Adds the record as a file of the given format version holds it: the older
// the version, the fewer of the later fields.
inline void addDataSettings(ByteBuilder& b, int version, const DataSettingsRecord& r = {})
{
    b.text(r.filePath).i32(1);   // ScanOnExit
    if (version <= -6) b.i32(1); // ExportMultiASCII
    b.text("T1").text("F1").text("T2").text("F2");
    if (version <= -7) b.text("DT").text("DF");
    for (auto unit : r.units)
        b.i32(unit);
    for (double scaling : r.scalings)
        b.f64(scaling);
    for (auto value : r.fft)
        b.i32(value);
    if (version <= -2) b.i32(r.inputScalings[0]).i32(r.inputScalings[1]);
    if (version <= -4) b.f64(21).f64(22); // custom vibration scalings
    if (version <= -6) b.f64(23).f64(24); // custom magnetic scalings
}

// What a reader of that version took from the record; a field the version
// does not hold keeps its built-in value.
inline void expectDataSettings(const DefaultSettings& d, int version, const DataSettingsRecord& r = {})
{
    EXPECT_EQ(d.FilePath, r.filePath);
    EXPECT_EQ(d.ScanOnExit, 1);
    EXPECT_EQ(d.ExportMultiASCII, version <= -6 ? 1 : 0);
    EXPECT_EQ(d.Input2FTitle, "F2");
    EXPECT_EQ(d.Input2TDifGradTitle, version <= -7 ? "DT" : "Input 2 - Input 1 Time");
    EXPECT_EQ(d.VibrationUnits, r.units[1]);
    EXPECT_EQ(d.MicrophoneUnits, r.units[2]);
    EXPECT_EQ(d.Input2MicrophoneScaling, r.scalings[5]);
    EXPECT_EQ(d.FFTWindowing, r.fft[0]);
    EXPECT_EQ(d.FFTK, r.fft[1]);
    EXPECT_EQ(d.Input2Scaling, version <= -2 ? r.inputScalings[1] : 0);
    EXPECT_EQ(d.Input1CustomVibrationScaling, version <= -4 ? 21.0 : 1.0);
    EXPECT_EQ(d.Input2CustomVibrationScaling, version <= -4 ? 22.0 : 1.0);
    EXPECT_EQ(d.Input2CustomMagneticScaling, version <= -6 ? 24.0 : 1.0);
}
