#include "app/acquisition/CCorvelDoc.h"
#include "app/base/ScriptedUserInteraction.h"
#include "common/platform/Hooks.h"

#include "TestSignals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

namespace {

class RecordingView : public DocumentView
{
public:
    explicit RecordingView(std::vector<int>& order, int id) : order_(order), id_(id) {}
    void onDocumentUpdate(CCorvelDoc&) override { order_.push_back(id_); }

private:
    std::vector<int>& order_;
    int id_;
};

struct ToneRecorder
{
    ToneRecorder()
    {
        FenmarlCommonDLL::platform::setToneSink(
            [this](unsigned f, unsigned ms) { tones.emplace_back(f, ms); });
    }
    ~ToneRecorder() { FenmarlCommonDLL::platform::setToneSink(FenmarlCommonDLL::platform::defaultTone); }
    std::vector<std::pair<unsigned, unsigned>> tones;
};

} // namespace

TEST(Document, UpdateViewsThenAlertOnlyWhenFailedAlertOnAndNotMuted)
{
    ToneRecorder recorder;
    CCorvelDoc doc;
    std::vector<int> order;
    RecordingView a(order, 1);
    RecordingView b(order, 2);
    doc.addView(&a);
    doc.addView(&b);
    doc.addView(&a); // listed once
    SpecificationSettings& limits = doc.scan.configuration.Specification;

    limits.audioAlert = 1;
    EXPECT_FALSE(doc.UpdateViewsAndAlert()); // all passed
    limits.passedFrequency[1] = 0;
    EXPECT_TRUE(doc.UpdateViewsAndAlert());
    limits.audioAlert = 0;
    EXPECT_FALSE(doc.UpdateViewsAndAlert());
    limits.audioAlert = 1;
    doc.MuteAlert();
    EXPECT_FALSE(doc.UpdateViewsAndAlert());
    EXPECT_EQ(recorder.tones, (std::vector<std::pair<unsigned, unsigned>>{{500u, 500u}}));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 1, 2, 1, 2, 1, 2}));
    doc.removeView(&a);
    doc.UpdateAllViews();
    EXPECT_EQ(order.back(), 2);
    EXPECT_EQ(doc.views().size(), 1u);
}

TEST(Document, InputMeansOnlyForMicrophonesInUse)
{
    CCorvelDoc doc;
    doc.scan.configuration.Input1Mode = "Microphone";
    doc.scan.configuration.UseInput2 = 0;
    doc.scan.configuration.Input2Mode = "Microphone";
    EXPECT_TRUE(doc.InputMeansEnabled(0));
    EXPECT_FALSE(doc.InputMeansEnabled(1));
    doc.scan.configuration.Input1Mode = "Accelerometer";
    EXPECT_FALSE(doc.InputMeansEnabled(0));

    ScanData& d = doc.scan.input1;
    d.axisCount = 3;
    d.allocate();
    d.spectrumPointCount = 1024;
    for (std::uint32_t k = 0; k < 1024; ++k)
        d.spectrum[1][k] = 0.1; // 74 dB
    ScriptedUserInteraction ui;
    doc.ShowInputMeans(0, ui);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, "X = 0 dB\nY = 74 dB\nZ = 0 dB");
    EXPECT_EQ(ui.messages()[0].caption, "Input1 Frequency Averages");
}

TEST(Document, RecomputeUsesTheDocumentsOwnSettingsAndMicrophoneScaling)
{
    CCorvelDoc doc;
    doc.scan.configuration.Input2Mode = "Microphone";
    doc.settings.Input2MicrophoneScaling = 0.5;
    doc.settings.FFTWindowing = 0;
    doc.settings.FFTK = 1;
    doc.settings.Input2Scaling = 2; // PkPk
    // A sine of 1 V on bin 64 at 2048 samples per second: 2 Pa amplitude.
    FillScanData(doc.scan.input2, 4096, 2048.0, [](int, int i) { return Sine(1.0, 64.0 / 2048.0, i); });
    doc.RecomputeSpectra();
    EXPECT_EQ(doc.scan.input1.spectrumPointCount, 0);
    EXPECT_EQ(doc.scan.input2.spectrumPointCount, 1024);
    EXPECT_NEAR(doc.scan.input2.spectrum[0].get(64), 4.0, 1e-9);
    EXPECT_NEAR(doc.scan.input2.frequencyAxis.get(64), 64.0, 1e-9);

    // Changed data settings take effect at once: RMS instead of PkPk.
    DefaultSettings rms = doc.settings;
    rms.Input2Scaling = 0;
    doc.ApplyDataSettings(doc.scan.configuration, rms);
    EXPECT_NEAR(doc.scan.input2.spectrum[0].get(64), 2.0 / std::sqrt(2.0), 1e-9);
    EXPECT_TRUE(doc.isModified());
}

TEST(Document, PropertiesLines)
{
    ScanProperties scan;
    scan.acquisitionTime = SystemTime{2026, 12, 0, 6, 8, 5, 9, 0};
    CScanConfiguration& c = scan.configuration;
    c.UseInput1 = 1;
    c.Input1Mode = "Magnetometer";
    c.Input1HPFilter = 1;
    c.Input1SensorGain = 10;
    c.UseInput2 = 1;
    c.Input2Mode = "Accelerometer";
    c.Input2SensorGain = 100;
    c.SampleInterval = 0.0005;
    c.Filter = 1;
    scan.input1.samplesAcquired = 4000;
    scan.input1.averagesCompleted = 3;
    const std::vector<std::string> expected = {"Date: 06/12/2026",
                                               "Time: 08:05:09",
                                               "",
                                               "Input 1",
                                               " Sensor Mode: Magnetometer",
                                               " Sensor Coupling: AC",
                                               " Sensor Gain: 10",
                                               "Input 2",
                                               " Sensor Mode: Accelerometer",
                                               " Sensor Gain: 100",
                                               "",
                                               "Sample Interval: 0.0005 / s",
                                               "Number of Samples: 4000",
                                               "Number of Averages: 3",
                                               "Digital Filtering: Yes"};
    EXPECT_EQ(ScanPropertiesLines(scan), expected);
    c.ScanMode = ScanModes::Multiple;
    c.NumberofRuns = 7;
    c.UseInput2 = 0;
    c.Input1HPFilter = 0;
    c.Filter = 0;
    const auto lines = ScanPropertiesLines(scan);
    EXPECT_EQ(lines[5], " Sensor Coupling: DC");
    EXPECT_EQ(lines[8], " N/A");
    EXPECT_EQ(lines[12], "Number of Runs: 7");
    EXPECT_EQ(lines[13], "Digital Filtering: No");

    // The dialog's own copy.
    scan.input1.pointCount = 4;
    scan.input1.axisCount = 3;
    scan.input1.allocate();
    scan.input1.timeData[1][3] = 9.0;
    scan.input1.spectrumPointCount = 1024;
    ScanProperties copy;
    copy.copyFrom(scan);
    EXPECT_EQ(copy.input1.timeData[1].get(3), 9.0);
    EXPECT_EQ(copy.input1.samplesAcquired, 4000);
    EXPECT_EQ(copy.input1.spectrumPointCount, 0);
    EXPECT_EQ(ScanPropertiesLines(copy), lines);
}
