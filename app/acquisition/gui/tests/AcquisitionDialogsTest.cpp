#include "app/acquisition/CCorvelDoc.h"
#include "app/acquisition/gui/CDataSetDlg.h"
#include "app/acquisition/gui/CDataSettings.h"
#include "app/acquisition/gui/CDisplaySettings.h"
#include "app/acquisition/gui/CPostProcessDlg.h"
#include "app/acquisition/gui/CPropertiesDlg.h"
#include "app/acquisition/gui/DataCommands.h"
#include "app/acquisition/tests/TestSignals.h"
#include "app/settings/gui/CDefaultsFFT.h"
#include "app/settings/gui/CDefaultsSensor.h"
#include "app/base/ScriptedUserInteraction.h"
#include "testsupport/QtTestApp.h"
#include "common/platform/MessageBoxCodes.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;
namespace hooks = FenmarlCommonDLL::platform;

using AcquisitionDialogsTest = QtBoxTest;

TEST_F(AcquisitionDialogsTest, PropertiesListTheScanAsTaken)
{
    ScanProperties scan;
    scan.acquisitionTime = {.wYear = 2026, .wMonth = 12, .wDay = 6, .wHour = 9, .wMinute = 5, .wSecond = 7};
    CScanConfiguration& c = scan.configuration;
    c.UseInput2 = 1;
    c.Input2Mode = "Magnetometer";
    c.Input2HPFilter = 1;
    c.Input2SensorGain = 100;
    c.ScanMode = ScanModes::Multiple;
    c.NumberofRuns = 7;
    c.SampleInterval = 0.0005;
    FillScanData(scan.input1, 40, 2000.0, [](int, int i) { return i; });
    scan.input1.averagesCompleted = 3;

    CPropertiesDlg dialog(scan);
    const QStringList expected{"Date: 06/12/2026",
                               "Time: 09:05:07",
                               "",
                               "Input 1",
                               " Sensor Mode: Accelerometer",
                               " Sensor Gain: 1",
                               "Input 2",
                               " Sensor Mode: Magnetometer",
                               " Sensor Coupling: AC",
                               " Sensor Gain: 100",
                               "",
                               "Sample Interval: 0.0005 / s",
                               "Number of Samples: 40",
                               "Number of Runs: 7",
                               "Digital Filtering: No"};
    EXPECT_EQ(dialog.lines(), expected);

    // A single scan lists the averages completed; an unused input shows N/A.
    scan.configuration.ScanMode = ScanModes::Single;
    scan.configuration.UseInput2 = 0;
    scan.configuration.Filter = 1;
    CPropertiesDlg single(scan);
    EXPECT_TRUE(single.lines().contains("Number of Averages: 3"));
    EXPECT_EQ(single.lines().at(7), " N/A");
    EXPECT_EQ(single.lines().last(), "Digital Filtering: Yes");
    // The dialog keeps its own copy.
    scan.input1.samplesAcquired = 5;
    EXPECT_TRUE(single.lines().contains("Number of Samples: 40"));
}

TEST_F(AcquisitionDialogsTest, DataSettingsChangeTheDocumentAndItsSpectra)
{
    CScanConfiguration c;
    c.SampleInterval = 1.0 / 2048.0;
    DefaultSettings d;
    CCorvelDoc doc(c, d);
    // A sine of amplitude 1 on bin 64.
    FillScanData(doc.scan.input1, 8192, 2048.0,
                 [](int axis, int i) { return Sine(axis + 1.0, 64.0 / 2048.0, i); });
    doc.RecomputeSpectra();
    const double hammingRms = doc.scan.input1.spectrum[0].get(64);

    CDataSettings sheet(doc.scan.configuration, doc.settings);
    EXPECT_EQ(sheet.windowTitle(), "Settings");
    EXPECT_FALSE(sheet.displayPage()->displayMode[1]->isEnabled()); // input 2 not in use
    EXPECT_TRUE(sheet.displayPage()->displayMode[0]->isEnabled());
    sheet.fftPage()->windowButtons->button(0)->setChecked(true); // None
    sheet.fftPage()->spectrumUnits[0]->setCurrentIndex(2);       // PkPk
    sheet.displayPage()->displayMode[0]->setCurrentIndex(1);
    sheet.sensorPage()->customVibration[0]->setText("0");
    sheet.accept(); // refused: the document must not change
    EXPECT_NE(sheet.result(), QDialog::Accepted);
    EXPECT_EQ(boxes.back(), "Tesselon-6|Custom scaling cannot be zero");
    EXPECT_EQ(doc.settings.FFTWindowing, 3);

    sheet.sensorPage()->customVibration[0]->setText("2");
    sheet.accept();
    ASSERT_EQ(sheet.result(), QDialog::Accepted);
    sheet.applyTo(doc);
    EXPECT_EQ(doc.settings.FFTWindowing, 0);
    EXPECT_EQ(doc.settings.Input1Scaling, 2);
    EXPECT_DOUBLE_EQ(doc.settings.Input1VibrationScaling, 1000000.0 / 2.0);
    EXPECT_EQ(doc.scan.configuration.Input1DisplayMode, "Mean Zero");
    EXPECT_EQ(doc.scan.input1.spectrumPointCount, 1024);
    // Window None, PkPk: 2√2 × rms = 2 × amplitude.
    EXPECT_NEAR(doc.scan.input1.spectrum[0].get(64), 2.0, 1e-6);
    EXPECT_NEAR(doc.scan.input1.spectrum[2].get(64), 6.0, 1e-6);
    EXPECT_NE(doc.scan.input1.spectrum[0].get(64), hammingRms);
    EXPECT_TRUE(doc.isModified());
}

TEST_F(AcquisitionDialogsTest, PostProcessDialogShowsTheCutOffForLowPassOnly)
{
    PostProcessOptions o;
    o.sampleInterval = 0.001;
    o.finalOnly = 0;
    CPostProcessDlg dialog(o);
    EXPECT_EQ(dialog.windowTitle(), "Post Processing");
    EXPECT_EQ(dialog.cutOff->text(), "235.414");
    EXPECT_FALSE(dialog.rollingPoints->isEnabled());
    EXPECT_FALSE(dialog.filterPasses->isEnabled());
    EXPECT_FALSE(dialog.cutOff->isEnabled());
    EXPECT_EQ(dialog.rollingPoints->minimum(), 2);
    EXPECT_EQ(dialog.rollingPoints->maximum(), 60);
    EXPECT_EQ(dialog.filterPasses->minimum(), 1);
    EXPECT_EQ(dialog.filterPasses->maximum(), 10);
    EXPECT_TRUE(dialog.averageSpectra->isChecked());
    EXPECT_FALSE(dialog.finalOnly->isChecked());
    dialog.filter->button(1)->setChecked(true);
    EXPECT_TRUE(dialog.rollingPoints->isEnabled());
    EXPECT_TRUE(dialog.cutOff->isEnabled());
    dialog.rollingPoints->setValue(10);
    EXPECT_NEAR(dialog.cutOff->text().toDouble(), 45.5, 0.05);
    dialog.filterPasses->setValue(3);
    const PostProcessOptions out = dialog.options();
    EXPECT_EQ(out.filterChoice, 1);
    EXPECT_EQ(out.rollingPoints, 10);
    EXPECT_EQ(out.filterPasses, 3);
    EXPECT_EQ(out.finalOnly, 0);
    EXPECT_DOUBLE_EQ(out.sampleInterval, 0.001);
}

TEST_F(AcquisitionDialogsTest, ExportCopyAndMeansUseTheChosenInput)
{
    ScriptedUserInteraction ui;
    CScanConfiguration c;
    c.UseInput2 = 1;
    c.Input2Mode = "Microphone";
    CCorvelDoc doc(c, DefaultSettings());
    FillScanData(doc.scan.input1, 100, 1000.0, [](int, int i) { return i * 0.5; });
    FillScanData(doc.scan.input2, 100, 1000.0, [](int axis, int i) { return Sine(1.0 + axis, 0.1, i); });
    doc.RecomputeSpectra();

    int asked = 0;
    int answer = 1;
    const CDataSetDlg::Chooser chooser = [&](bool use1, bool use2) {
        ++asked;
        EXPECT_TRUE(use1 && use2);
        return answer;
    };
    std::string clipboard;
    ASSERT_TRUE(DataCommands::copyData(doc, chooser, [&](const std::string& t) { clipboard = t; }));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(clipboard.rfind("Time (s)\tx (Pa)\ty (Pa)\tz (Pa)\t", 0), 0u) << clipboard.substr(0, 60);
    answer = -1; // cancelled: nothing happens
    clipboard.clear();
    EXPECT_FALSE(DataCommands::copyData(doc, chooser, [&](const std::string& t) { clipboard = t; }));
    EXPECT_TRUE(clipboard.empty());
    EXPECT_FALSE(DataCommands::exportData(doc, ui, chooser));
    EXPECT_TRUE(ui.fileRequests().empty());

    answer = 0;
    const fs::path file = fs::path(std::getenv("TMPDIR")) / "scan.Dat";
    ui.queueFile(file);
    ASSERT_TRUE(DataCommands::exportData(doc, ui, chooser));
    ASSERT_EQ(ui.fileRequests().size(), 1u);
    const auto request = ui.fileRequests()[0];
    EXPECT_TRUE(request.save);
    EXPECT_EQ(request.defaultExtension, "Dat");
    EXPECT_EQ(request.filter, "Data files (*.Dat)|*.Dat|");
    EXPECT_TRUE(request.overwritePrompt);
    std::ifstream in(file);
    std::string header, columns;
    std::getline(in, header);
    std::getline(in, columns);
    EXPECT_EQ(header.rfind("Scan started at ", 0), 0u);
    EXPECT_EQ(columns.rfind("Time (s)\tx (ug)", 0), 0u);

    ui.queueFile(fs::path(std::getenv("TMPDIR")) / "missing-folder" / "scan.Dat");
    EXPECT_FALSE(DataCommands::exportData(doc, ui, chooser));
    ASSERT_FALSE(ui.messages().empty());
    EXPECT_EQ(ui.messages().back().text.rfind("Cannot open data file\n", 0), 0u);
    EXPECT_EQ(ui.messages().back().caption, "Export data");

    // Only input 1 in use: no chooser.
    doc.scan.configuration.UseInput2 = 0;
    asked = 0;
    EXPECT_TRUE(DataCommands::copyData(doc, chooser, [&](const std::string& t) { clipboard = t; }));
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(clipboard.rfind("Time (s)\tx (ug)", 0), 0u);

    // Means: only for a microphone input in use.
    ui.clear();
    EXPECT_FALSE(DataCommands::showInputMeans(doc, 0, ui));
    EXPECT_FALSE(DataCommands::showInputMeans(doc, 1, ui)); // not in use now
    EXPECT_TRUE(ui.messages().empty());
    doc.scan.configuration.UseInput2 = 1;
    ASSERT_TRUE(DataCommands::showInputMeans(doc, 1, ui));
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].caption, "Input2 Frequency Averages");
    EXPECT_EQ(ui.messages()[0].text.rfind("X = ", 0), 0u);
    EXPECT_NE(ui.messages()[0].text.find(" dB\nY = "), std::string::npos);
}

TEST_F(AcquisitionDialogsTest, DataSetChooserAsksOnlyWhenBothInputsAreUsed)
{
    CDataSetDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), "Data Set");
    ASSERT_EQ(dialog.list->count(), 2);
    EXPECT_EQ(dialog.list->item(0)->text(), "Input 1");
    EXPECT_EQ(dialog.list->item(1)->text(), "Input 2");
    EXPECT_EQ(dialog.chosenInput(), 0);
    dialog.list->setCurrentRow(1);
    EXPECT_EQ(dialog.chosenInput(), 1);
    EXPECT_EQ(CDataSetDlg::choose(true, false, nullptr), 0);
    EXPECT_EQ(CDataSetDlg::choose(false, true, nullptr), 1);
    EXPECT_EQ(CDataSetDlg::choose(false, false, nullptr), -1);
}

} // namespace
