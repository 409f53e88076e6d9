#include "app/settings/ScanConfigurationStore.h"
#include "app/settings/gui/CConfigureDlg.h"
#include "app/settings/gui/CDefaultsFFT.h"
#include "app/settings/gui/CDefaultsGeneral.h"
#include "app/settings/gui/CDefaultsSensor.h"
#include "app/settings/gui/CDefaultsSheet.h"
#include "app/settings/gui/CInstrumentSetupDlg.h"
#include "app/settings/ConfigureRules.h"
#include "app/base/ScriptedUserInteraction.h"
#include "testsupport/QtTestApp.h"
#include "app/specification/gui/CSpecificationPage.h"
#include "common/platform/MessageBoxCodes.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

namespace hooks = FenmarlCommonDLL::platform;
namespace R = ConfigureRules;

class SettingsSheetTest : public QtBoxTest
{
protected:
    // Shows the sheet so that focus can be checked.
    static void showActive(QWidget& w)
    {
        w.show();
        w.activateWindow();
        QApplication::setActiveWindow(&w);
        QApplication::processEvents();
    }
};

TEST_F(SettingsSheetTest, IntervalTextsParseFormatAndRefuse)
{
    // The page: "1.5 ms" accepted, "1,5ms" refused with the focus on the list.
    CConfigureDlg page;
    showActive(page);
    page.intervalList->setEditText("1.5 ms");
    EXPECT_TRUE(page.validate());
    EXPECT_DOUBLE_EQ(page.finish().SampleInterval, 0.0015);
    page.intervalList->setEditText("1,5ms");
    EXPECT_FALSE(page.validate());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], std::string("Tesselon-6|") + R::kInvalidIntervalMessage);
    EXPECT_EQ(flagsShown[0], hooks::MB_OK_); // no icon
    EXPECT_TRUE(page.intervalList->hasFocus() || page.intervalList->lineEdit()->hasFocus());
}

TEST_F(SettingsSheetTest, SampleFrequencyTypesThePaddedIntervalAndDerivesTheCutOff)
{
    CConfigureDlg page;
    CScanConfiguration c;
    c.CutOffFrequency = 10;
    page.load(c, 0, 0);
    // Ten rolling points at 1 ms.
    EXPECT_EQ(page.cutOff->text().toStdString(), R::cutOffText(10, 0.001));
    EXPECT_NEAR(page.cutOff->text().toDouble(), 45.5, 0.05);
    EXPECT_EQ(page.maximumFrequency->text(), "500");
    EXPECT_TRUE(page.intervalList->isEnabled());
    EXPECT_FALSE(page.maximumFrequency->isEnabled());

    page.useSampleFrequency->setChecked(true);
    EXPECT_FALSE(page.intervalList->isEnabled());
    EXPECT_TRUE(page.maximumFrequency->isEnabled());
    page.maximumFrequency->setText("2000");
    emit page.maximumFrequency->textEdited("2000");
    EXPECT_EQ(page.intervalList->currentText(), "  250us");
    EXPECT_EQ(page.intervalList->findText("  250us"), -1); // typed in, not an entry
    EXPECT_DOUBLE_EQ(page.interval(), 0.00025);
    EXPECT_EQ(page.maximumFrequency->text(), "2000"); // not rewritten while typing
    EXPECT_NEAR(page.cutOff->text().toDouble(), 0.4776 * std::pow(10.0, -1.0206) / 0.00025, 0.01);
    const CScanConfiguration out = page.finish();
    EXPECT_DOUBLE_EQ(out.SampleInterval, 0.00025);
    EXPECT_EQ(out.UseFrequency, 1);

    // 250 Hz gives "    2ms": padded, so not the entry "2ms" either.
    page.maximumFrequency->setText("250");
    emit page.maximumFrequency->textEdited("250");
    EXPECT_EQ(page.intervalList->currentText(), "    2ms");
    EXPECT_EQ(page.intervalList->findText("    2ms"), -1);
    EXPECT_DOUBLE_EQ(page.interval(), 0.002);

    // Back to intervals: choosing one rewrites the maximum frequency.
    page.useSampleFrequency->setChecked(false);
    page.intervalList->setCurrentIndex(page.intervalList->findText("100us"));
    EXPECT_EQ(page.maximumFrequency->text(), "5000");
    page.rollingPoints->setValue(2);
    EXPECT_EQ(page.cutOff->text().toStdString(), R::cutOffText(2, 0.0001));
}

TEST_F(SettingsSheetTest, ScanPageChecksInOrderPerMode)
{
    // On the page: continuous with "2s" refused, "5s" passes.
    CConfigureDlg page;
    showActive(page);
    page.scanMode->button(1)->setChecked(true);
    EXPECT_FALSE(page.samples->isEnabled());
    page.intervalList->setEditText("2s");
    EXPECT_FALSE(page.validate());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Tesselon-6|Sample interval must be 5s or greater for continuous acquisition");
    page.intervalList->setCurrentIndex(page.intervalList->findText("5s"));
    EXPECT_TRUE(page.validate());
    page.averages->setValue(4);
    EXPECT_FALSE(page.validate());
    EXPECT_TRUE(page.averages->hasFocus());
    page.scanMode->button(2)->setChecked(true);
    EXPECT_TRUE(page.runs->isEnabled());
    EXPECT_FALSE(page.averages->isEnabled());
    EXPECT_TRUE(page.samples->isEnabled());
}

TEST_F(SettingsSheetTest, InputEnablingRulesAndOneInputAlwaysInUse)
{
    CDefaultsSheet sheet;
    CConfigureDlg& page = *sheet.configurePage();
    CSpecificationPage& limitsPage = *sheet.specificationPage();
    CScanConfiguration c; // input 1 only, accelerometers
    page.load(c, 1, 1);
    EXPECT_FALSE(page.sensorTypeList[1]->isEnabled());
    EXPECT_FALSE(page.couplingList[0]->isEnabled()); // not a magnetometer
    EXPECT_FALSE(limitsPage.applyTime[1]->isEnabled());

    page.useInput[0]->setChecked(false); // the only input: ticked again
    EXPECT_TRUE(page.useInput[0]->isChecked());
    page.useInput[1]->setChecked(true);
    page.useInput[0]->setChecked(false);
    EXPECT_FALSE(page.useInput[0]->isChecked());
    EXPECT_FALSE(limitsPage.applyTime[0]->isEnabled());
    EXPECT_TRUE(limitsPage.applyTime[1]->isEnabled());
    page.useInput[1]->setChecked(false);
    EXPECT_TRUE(page.useInput[1]->isChecked());
    page.useInput[0]->setChecked(true);

    EXPECT_FALSE(page.differential->isEnabled());
    page.sensorTypeList[0]->setCurrentIndex(1);
    EXPECT_TRUE(page.couplingList[0]->isEnabled());
    EXPECT_FALSE(page.differential->isEnabled());
    page.sensorTypeList[1]->setCurrentIndex(1);
    EXPECT_TRUE(page.differential->isEnabled());
    EXPECT_EQ(limitsPage.excursionUnit[1]->text(), "Maximum Excursion / uT");
    page.sensorTypeList[1]->setCurrentIndex(2);
    EXPECT_EQ(limitsPage.intensityUnit[1]->text(), "Intensity / Pa");
    EXPECT_EQ(limitsPage.excursionUnit[0]->text(), "Maximum Excursion / uT");

    EXPECT_FALSE(page.yMinimum[0]->isEnabled()); // auto scale
    page.autoScale[0]->setChecked(false);
    EXPECT_TRUE(page.yMinimum[0]->isEnabled());
    EXPECT_TRUE(page.yMaximum[0]->isEnabled());

    // OK forces DC for a non-magnetometer: input 2 is a microphone now.
    const SettingsSheetValues v = sheet.values();
    EXPECT_EQ(v.coupling1, 1);
    EXPECT_EQ(v.coupling2, 0);
    EXPECT_EQ(v.scanConfiguration.Input2Mode, "Microphone");
    EXPECT_EQ(v.scanConfiguration.UseInput2, 1);
}

TEST_F(SettingsSheetTest, GainsCustomScalingAndFolderChecks)
{
    CInstrumentSetupDlg gains;
    showActive(gains);
    for (int g : {1, 10, 100, 1000}) {
        gains.load(g, g);
        EXPECT_TRUE(gains.validate()) << g;
    }
    gains.load(5, 1);
    EXPECT_FALSE(gains.validate());
    gains.load(1, 1001);
    EXPECT_FALSE(gains.validate());
    EXPECT_TRUE(gains.gainEdit[1]->hasFocus());
    gains.gainEdit[1]->setText("ten");
    EXPECT_FALSE(gains.validate());
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0], "Tesselon-6|Input 1 sensor gain must be 1, 10, 100 or 1000");
    EXPECT_EQ(boxes[1], "Tesselon-6|Input 2 sensor gain must be 1, 10, 100 or 1000");
    EXPECT_EQ(boxes[2], "Tesselon-6|Please enter an integer.");

    CDefaultsSensor sensor;
    sensor.customVibration[1]->setText("0");
    EXPECT_FALSE(sensor.validate());
    EXPECT_EQ(boxes.back(), "Tesselon-6|Custom scaling cannot be zero");
    sensor.customVibration[1]->setText("0.5");
    sensor.customMagnetic[0]->setText("0"); // not checked
    EXPECT_TRUE(sensor.validate());
    // A zero microphone sensitivity would divide every sample by zero.
    sensor.microphoneSensitivity[1]->setText("0");
    EXPECT_FALSE(sensor.validate());
    EXPECT_EQ(boxes.back(), "Tesselon-6|Microphone sensitivity cannot be zero");
    sensor.microphoneSensitivity[1]->setText("50");
    EXPECT_TRUE(sensor.validate());

    // Stored forms: 500 uT/10V in nT is 50000; 0.5 V/g in mg is 2000; 20 mV/Pa is 0.02 V/Pa.
    sensor.magneticUnits->setCurrentIndex(0);
    sensor.vibrationUnits->setCurrentIndex(1);
    sensor.magneticChoice[0]->setCurrentIndex(2);
    EXPECT_FALSE(sensor.customMagnetic[0]->isEnabled());
    sensor.magneticChoice[1]->setCurrentIndex(4);
    EXPECT_TRUE(sensor.customMagnetic[1]->isEnabled());
    sensor.customMagnetic[1]->setText("120");
    sensor.microphoneSensitivity[0]->setText("20");
    DefaultSettings d;
    sensor.store(d);
    EXPECT_DOUBLE_EQ(d.Input1MagneticScaling, 50000.0);
    EXPECT_DOUBLE_EQ(d.Input2MagneticScaling, 12000.0);
    EXPECT_DOUBLE_EQ(d.Input2CustomMagneticScaling, 120.0);
    EXPECT_DOUBLE_EQ(d.Input2VibrationScaling, 2000.0);
    EXPECT_DOUBLE_EQ(d.Input1MicrophoneScaling, 0.02);
    // Loading the stored forms shows the same choices again.
    CDefaultsSensor again;
    again.load(d);
    EXPECT_EQ(again.magneticChoice[0]->currentIndex(), 2);
    EXPECT_EQ(again.magneticChoice[1]->currentIndex(), 4);
    EXPECT_EQ(again.customMagnetic[1]->text(), "120");
    EXPECT_EQ(again.customVibration[1]->text(), "0.5");
    EXPECT_EQ(again.microphoneSensitivity[0]->text(), "20");

    CDefaultsGeneral general;
    std::string offered;
    general.setFolderChooser([&](const std::string& initial) {
        offered = initial;
        return std::string("/data/scans");
    });
    general.folder->setText("/old/");
    general.browse();
    EXPECT_EQ(offered, "/old/");
    EXPECT_EQ(general.folder->text(), "/data/scans/");
    general.setFolderChooser([](const std::string&) { return std::string("/data/other/"); });
    general.browse();
    EXPECT_EQ(general.folder->text(), "/data/other/");
    general.setFolderChooser([](const std::string&) { return std::string(); }); // cancelled
    general.browse();
    EXPECT_EQ(general.folder->text(), "/data/other/");
}

TEST_F(SettingsSheetTest, FftWindowButtonsMapToCodes)
{
    CDefaultsFFT fft;
    const char* order[] = {"None", "Bartlett", "Blackman", "Flat Top", "Hamming", "Hann", "Welch"};
    const int codes[] = {0, 1, 6, 5, 3, 2, 4};
    for (int b = 0; b < 7; ++b) {
        QAbstractButton* button = fft.windowButtons->button(b);
        EXPECT_EQ(button->text(), order[b]);
        EXPECT_EQ(button->isVisibleTo(&fft), b != 2 && b != 3) << order[b];
        EXPECT_EQ(button->isEnabled(), b != 2 && b != 3) << order[b];
        button->setChecked(true);
        DefaultSettings d;
        fft.store(d);
        EXPECT_EQ(d.FFTWindowing, codes[b]) << order[b];
        d.FFTWindowing = codes[b];
        CDefaultsFFT other;
        other.load(d);
        EXPECT_EQ(other.windowButtons->checkedId(), b) << order[b];
    }
    DefaultSettings d; // default Hamming
    fft.load(d);
    EXPECT_EQ(fft.windowButtons->checkedButton()->text(), "Hamming");
    EXPECT_EQ(fft.discreteFrequencies->minimum(), 1);
    EXPECT_EQ(fft.discreteFrequencies->maximum(), 16);
}

TEST_F(SettingsSheetTest, RefusedPageStaysOpenAndOkTakesEveryPage)
{
    CDefaultsSheet sheet;
    showActive(sheet);
    SettingsSheetValues v;
    v.defaults.FilePath = "/scans/";
    sheet.load(v);
    sheet.instrumentPage()->gainEdit[0]->setText("7");
    // Leaving the Instrument Setup page with a bad gain keeps it open.
    sheet.tabs()->setCurrentWidget(sheet.instrumentPage());
    sheet.tabs()->setCurrentWidget(sheet.fftPage());
    EXPECT_EQ(sheet.tabs()->currentWidget(), sheet.instrumentPage());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Tesselon-6|Input 1 sensor gain must be 1, 10, 100 or 1000");
    EXPECT_TRUE(sheet.instrumentPage()->gainEdit[0]->hasFocus());

    // OK from another page also finds it.
    sheet.instrumentPage()->gainEdit[0]->setText("10");
    sheet.tabs()->setCurrentWidget(sheet.generalPage());
    sheet.instrumentPage()->gainEdit[1]->setText("3");
    sheet.accept();
    EXPECT_NE(sheet.result(), QDialog::Accepted);
    EXPECT_EQ(sheet.tabs()->currentWidget(), sheet.instrumentPage());
    sheet.instrumentPage()->gainEdit[1]->setText("100");
    sheet.generalPage()->scanOnExit->setChecked(true);
    sheet.fftPage()->discreteFrequencies->setValue(5);
    sheet.specificationPage()->applyTime[0]->setChecked(true);
    sheet.specificationPage()->excursion[0]->setText("0.25");
    sheet.accept();
    EXPECT_EQ(sheet.result(), QDialog::Accepted);
    const SettingsSheetValues out = sheet.values();
    EXPECT_EQ(out.gain1, 10);
    EXPECT_EQ(out.gain2, 100);
    EXPECT_EQ(out.defaults.ScanOnExit, 1);
    EXPECT_EQ(out.defaults.FFTK, 5);
    EXPECT_EQ(out.defaults.FilePath, "/scans/");
    EXPECT_EQ(out.specification.applyTimeTest[0], 1);
    EXPECT_DOUBLE_EQ(out.specification.maximumExcursion[0], 0.25);
}

TEST_F(SettingsSheetTest, RunShowsTheSheetAndHandsBackTheEditedPagesOnlyOnOk)
{
    CDefaultsSheet sheet;
    SettingsSheetValues v;
    v.scanConfiguration.NoOfSamples = 2000;
    v.scanConfiguration.Input1Mode = "Magnetometer";
    v.coupling1 = 1;
    // The modal loop is running when the edits and the button press arrive.
    QTimer::singleShot(0, &sheet, [&] {
        EXPECT_TRUE(sheet.isVisible());
        EXPECT_EQ(sheet.configurePage()->samples->value(), 2000);
        sheet.configurePage()->samples->setValue(3000);
        sheet.reject();
    });
    EXPECT_FALSE(sheet.run(v));
    EXPECT_EQ(v.scanConfiguration.NoOfSamples, 2000);

    QTimer::singleShot(0, &sheet, [&] {
        sheet.configurePage()->samples->setValue(3000);
        sheet.configurePage()->intervalList->setEditText("2ms");
        sheet.instrumentPage()->gainEdit[1]->setText("1000");
        sheet.accept();
    });
    ASSERT_TRUE(sheet.run(v));
    EXPECT_EQ(v.scanConfiguration.NoOfSamples, 3000);
    EXPECT_DOUBLE_EQ(v.scanConfiguration.SampleInterval, 0.002);
    EXPECT_EQ(v.gain2, 1000);
    EXPECT_EQ(v.coupling1, 1);
}

TEST_F(SettingsSheetTest, TemplateSavedFromTheSheetRestoresEveryPage)
{
    ScriptedUserInteraction ui;
    CommandLineSwitches switches;
    ScanConfigurationStore store(ui, switches);
    CDefaultsSheet sheet(&store);

    SettingsSheetValues v;
    CScanConfiguration& c = v.scanConfiguration;
    c.Input1Mode = "Magnetometer";
    c.Input2Mode = "Magnetometer";
    c.UseInput2 = 1;
    c.DiffGrad = 1;
    c.Input2DisplayType = "Time Domain";
    c.Input1DisplayMode = "Mean Zero";
    c.ScanMode = ScanModes::Multiple;
    c.NumberofRuns = 12;
    c.SampleInterval = 0.0005;
    c.NoOfSamples = 4000;
    c.Filter = 1;
    c.CutOffFrequency = 7;
    c.Input1AutoScale = 0;
    c.Input1Minimum = -3.5;
    c.Input1Maximum = 4.25;
    v.coupling1 = 1;
    v.gain1 = 100;
    v.gain2 = 10;
    v.specification.applyFrequencyTest[1] = 1;
    v.specification.curve[1] = {{10.0, 1.5}, {20.0, 2.5}, {400.0, 0.125}};
    v.specification.applyTimeTest[0] = 1;
    v.specification.maximumExcursion[0] = 0.75;
    v.specification.audioAlert = 1;
    v.specification.displayCurves = 0;
    v.defaults.FilePath = "/data/scans/";
    v.defaults.ExportMultiASCII = 1;
    v.defaults.MagneticUnits = 1;
    v.defaults.VibrationUnits = 2;
    v.defaults.Input1MagneticScaling = 25.0; // 250 uT/10V in uT
    v.defaults.Input2MagneticScaling = 33.0; // custom 330
    v.defaults.Input1VibrationScaling = 0.5; // 2 V/g in g
    v.defaults.Input2MicrophoneScaling = 0.012;
    v.defaults.FFTWindowing = 2;
    v.defaults.FFTK = 9;
    v.defaults.FFTOverlap = 0;
    v.defaults.Input1Scaling = 3;
    v.defaults.Input2Scaling = 1;
    sheet.load(v);
    const SettingsSheetValues before = sheet.values();
    const std::string intervalText = sheet.configurePage()->intervalText();
    EXPECT_EQ(intervalText, "500us");

    const std::filesystem::path file = std::filesystem::path(std::getenv("TMPDIR")) / "pages.tst";
    ui.queueFile(file);
    ASSERT_TRUE(sheet.saveTemplate());
    ASSERT_TRUE(std::filesystem::exists(file));

    // Every page back to its defaults, then the template.
    sheet.load(SettingsSheetValues());
    ASSERT_NE(sheet.values().scanConfiguration, before.scanConfiguration);
    ui.queueFile(file);
    ASSERT_TRUE(sheet.loadTemplate());
    const SettingsSheetValues after = sheet.values();

    CScanConfiguration expected = before.scanConfiguration;
    CScanConfiguration got = after.scanConfiguration;
    // The record's own specification and gains are what the other pages hold.
    expected.Specification = got.Specification = SpecificationSettings();
    expected.Input1SensorGain = got.Input1SensorGain = 0;
    expected.Input2SensorGain = got.Input2SensorGain = 0;
    expected.Input1HPFilter = got.Input1HPFilter = 0;
    expected.Input2HPFilter = got.Input2HPFilter = 0;
    EXPECT_EQ(got, expected);
    EXPECT_EQ(after.specification.applyTimeTest[0], 1);
    EXPECT_EQ(after.specification.applyFrequencyTest[1], 1);
    EXPECT_EQ(after.specification.curve[1], before.specification.curve[1]);
    EXPECT_DOUBLE_EQ(after.specification.maximumExcursion[0], 0.75);
    EXPECT_EQ(after.specification.audioAlert, 1);
    EXPECT_EQ(after.specification.displayCurves, 0);
    EXPECT_EQ(after.gain1, 100);
    EXPECT_EQ(after.gain2, 10);
    EXPECT_EQ(after.coupling1, 1);
    EXPECT_EQ(after.coupling2, 0);
    EXPECT_EQ(sheet.configurePage()->intervalText(), intervalText);
    EXPECT_EQ(sheet.configurePage()->couplingList[0]->currentIndex(), 1);
    const DefaultSettings& d = after.defaults;
    const DefaultSettings& e = before.defaults;
    EXPECT_EQ(d.FilePath, e.FilePath);
    EXPECT_EQ(d.ExportMultiASCII, 1);
    EXPECT_EQ(d.MagneticUnits, 1);
    EXPECT_EQ(d.VibrationUnits, 2);
    EXPECT_DOUBLE_EQ(d.Input1MagneticScaling, 25.0);
    EXPECT_DOUBLE_EQ(d.Input2MagneticScaling, 33.0);
    EXPECT_DOUBLE_EQ(d.Input1VibrationScaling, 0.5);
    EXPECT_DOUBLE_EQ(d.Input2MicrophoneScaling, 0.012);
    EXPECT_EQ(sheet.sensorPage()->magneticChoice[0]->currentText(), "250");
    EXPECT_EQ(sheet.sensorPage()->magneticChoice[1]->currentText(), "Custom");
    EXPECT_EQ(d.FFTWindowing, 2);
    EXPECT_EQ(d.FFTK, 9);
    EXPECT_EQ(d.FFTOverlap, 0);
    EXPECT_EQ(d.Input1Scaling, 3);
    EXPECT_EQ(d.Input2Scaling, 1);

    // A refused page stops the save before any file dialog.
    sheet.instrumentPage()->gainEdit[0]->setText("3");
    const auto requests = ui.fileRequests().size();
    EXPECT_FALSE(sheet.saveTemplate());
    EXPECT_EQ(ui.fileRequests().size(), requests);
}

} // namespace

TEST_F(SettingsSheetTest, FieldsTheUserLeavesAloneKeepTheirStoredValuesExactly)
{
    // Values whose display and conversion back would not give them again.
    DefaultSettings s;
    s.MagneticUnits = 0;
    s.VibrationUnits = 1;
    s.Input1VibrationScaling = 1.5;
    s.Input2VibrationScaling = 0.1;
    s.Input1CustomVibrationScaling = 3.0;
    s.Input1MagneticScaling = 12345.678901234567; // a custom sensitivity
    s.Input1CustomMagneticScaling = 7.25;
    s.Input2MicrophoneScaling = 0.012345678901234567;
    CDefaultsSensor sensor;
    sensor.load(s);
    ASSERT_TRUE(sensor.validate());
    DefaultSettings out;
    sensor.store(out);
    EXPECT_EQ(out.Input1VibrationScaling, 1.5);
    EXPECT_EQ(out.Input2VibrationScaling, 0.1);
    EXPECT_EQ(out.Input1CustomVibrationScaling, 3.0);
    EXPECT_EQ(out.Input1MagneticScaling, 12345.678901234567);
    EXPECT_EQ(out.Input1CustomMagneticScaling, 7.25);
    EXPECT_EQ(out.Input2MicrophoneScaling, 0.012345678901234567);
    EXPECT_EQ(out.Input2MagneticScaling, s.Input2MagneticScaling);

    // What the user edits is converted from the text; the rest stays exact.
    sensor.customVibration[0]->setText("0.5");
    sensor.microphoneSensitivity[1]->setText("20");
    sensor.store(out);
    EXPECT_DOUBLE_EQ(out.Input1VibrationScaling, 2000.0);
    EXPECT_EQ(out.Input1CustomVibrationScaling, 0.5);
    EXPECT_DOUBLE_EQ(out.Input2MicrophoneScaling, 0.02);
    EXPECT_EQ(out.Input2VibrationScaling, 0.1);
    EXPECT_EQ(out.Input1MagneticScaling, 12345.678901234567);
    // Other units convert every scaling of that kind anew.
    sensor.vibrationUnits->setCurrentIndex(0);
    sensor.store(out);
    EXPECT_NE(out.Input2VibrationScaling, 0.1);

    // The scan page's limits are shown so that they read back unchanged.
    CScanConfiguration c;
    c.Input1Minimum = 0.1 + 0.2;
    c.Input2Maximum = 1.0 / 3.0;
    CConfigureDlg scan;
    scan.load(c, 0, 0);
    const CScanConfiguration back = scan.current();
    EXPECT_EQ(back.Input1Minimum, 0.1 + 0.2);
    EXPECT_EQ(back.Input2Maximum, 1.0 / 3.0);

    // An interval its six-digit text cannot give back (1/2048 s shows as
    // "488.281us") stays exact until the text is edited.
    c.SampleInterval = 1.0 / 2048.0;
    scan.load(c, 0, 0);
    EXPECT_EQ(scan.intervalText(), "488.281us");
    EXPECT_EQ(scan.finish().SampleInterval, 1.0 / 2048.0);
    scan.intervalList->setEditText("500us");
    EXPECT_DOUBLE_EQ(scan.finish().SampleInterval, 0.0005);
}
namespace {

TEST_F(SettingsSheetTest, RefusalsOfTheScanPageStateWhatIsAccepted)
{
    CConfigureDlg page;
    CScanConfiguration c;
    c.UseInput1 = 1;
    c.Input1AutoScale = 0;
    c.Input1Minimum = -1.0;
    c.Input1Maximum = 1.0;
    c.NoOfSamples = 1000;
    page.load(c, 0, 0);
    showActive(page);
    ASSERT_TRUE(page.validate());

    // A manual range upside down would draw an empty graph.
    page.yMinimum[0]->setText("5");
    page.yMaximum[0]->setText("2");
    EXPECT_FALSE(page.validate());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Tesselon-6|Input 1 Y Maximum must be greater than Y Minimum (5).");
    EXPECT_TRUE(page.yMaximum[0]->hasFocus());
    // With automatic scaling the fields are not used and not checked.
    page.autoScale[0]->setChecked(true);
    EXPECT_TRUE(page.validate());
    page.autoScale[0]->setChecked(false);
    page.yMaximum[0]->setText("6");
    EXPECT_TRUE(page.validate());

    // 0 samples is refused with the range instead of quietly becoming the previous value.
    page.samples->setFocus();
    page.samples->findChild<QLineEdit*>()->selectAll();
    QTest::keyClicks(page.samples, "0");
    page.intervalList->setFocus(); // leaving the field, as a click on OK does
    QApplication::processEvents();
    EXPECT_FALSE(page.validate());
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1], "Tesselon-6|Please enter an integer between 5 and 700000.");
    EXPECT_EQ(page.samples->text(), "0") << "what was typed stays for the user to correct";
    EXPECT_TRUE(page.samples->hasFocus());
    page.samples->findChild<QLineEdit*>()->selectAll();
    QTest::keyClicks(page.samples, "2000");
    page.intervalList->setFocus();
    EXPECT_TRUE(page.validate());
    EXPECT_EQ(page.finish().NoOfSamples, 2000);

    // An interval without a number, or of 0, is refused with what an interval looks like;
    // the cut-off shows nothing rather than "inf".
    for (const char* text : {"ms", "0ms", "0"}) {
        page.intervalList->setEditText(text);
        EXPECT_TRUE(page.cutOff->text().isEmpty()) << text;
        EXPECT_FALSE(page.validate()) << text;
        EXPECT_EQ(boxes.back(), std::string("Tesselon-6|") + R::kInvalidIntervalMessage) << text;
    }
    page.intervalList->setEditText("2ms");
    EXPECT_FALSE(page.cutOff->text().isEmpty());
    EXPECT_TRUE(page.validate());
}

} // namespace
