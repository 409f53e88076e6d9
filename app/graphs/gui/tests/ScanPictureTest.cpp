#include "app/graphs/gui/ScanPicture.h"
#include "app/acquisition/CCorvelDoc.h"
#include "app/acquisition/tests/TestSignals.h"
#include "app/graphs/tests/SineDocument.h"
#include "app/graphs/GraphTables.h"
#include "app/graphs/gui/QcpChartControl.h"
#include "testsupport/QtTestApp.h"

#include <QImage>
#include <qcustomplot.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

namespace fs = std::filesystem;
using namespace GraphTables;

namespace {

constexpr int kSamples = 2048;
constexpr double kRate = 1000.0;

std::unique_ptr<CCorvelDoc> makeDocument(const CScanConfiguration& c, const DefaultSettings& d = {})
{
    return SineDocument(c, d, kSamples, kRate);
}

bool reddish(QRgb p)
{
    return qRed(p) > 180 && qRed(p) - qGreen(p) > 80 && qRed(p) - qBlue(p) > 80;
}

// Pixels in the colour of series x inside one quarter of the picture (0 top left … 3 bottom right).
int redPixelsInQuarter(const QImage& image, int quarter)
{
    const int w = image.width() / 2;
    const int h = image.height() / 2;
    const int x0 = (quarter % 2) * w;
    const int y0 = (quarter / 2) * h;
    int count = 0;
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x)
            count += reddish(image.pixel(x, y)) ? 1 : 0;
    return count;
}

class ScanPictureTest : public QtTest
{
protected:
    fs::path folder;
    void SetUp() override
    {
        folder = fs::temp_directory_path() / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::create_directories(folder);
    }
};

TEST_F(ScanPictureTest, BothInputsFillFourPanesWithTitlesAndData)
{
    CScanConfiguration c;
    c.UseInput1 = 1;
    c.UseInput2 = 1;
    c.Input2Mode = "Magnetometer";
    DefaultSettings d;
    d.MagneticUnits = 1;
    d.Input2Scaling = 1;
    auto doc = makeDocument(c, d);
    ScanPicture picture(*doc, 800, 500);

    const char* titles[] = {"Input 1 Time Domain", "Input 1 Frequency Domain", "Input 2 Time Domain",
                            "Input 2 Frequency Domain"};
    const char* yTitles[] = {"Vibration (ug)", "Vibration (ugrms)", "Magnetic Strength (uT)",
                             "Magnetic Strength (uTrms / sqrt(Hz))"};
    for (int kind = 0; kind < paneCount; ++kind) {
        SCOPED_TRACE(kind);
        const QcpChartControl& chart = picture.chart(kind);
        EXPECT_TRUE(picture.isPaneShown(kind));
        EXPECT_EQ(chart.title(), titles[kind]);
        EXPECT_EQ(chart.xAxisTitle(), isSpectrum(kind) ? "Frequency (Hz)" : "Time (s)");
        EXPECT_EQ(chart.yAxisTitle(), yTitles[kind]);
        ASSERT_EQ(chart.seriesCount(), 3);
        EXPECT_EQ(chart.seriesLabel(0), "x");
        EXPECT_EQ(chart.seriesLabel(2), "z");
        // Spectra leave out the DC and lowest points.
        const std::size_t expected = isSpectrum(kind) ? std::size_t{1022} : std::size_t{kSamples};
        for (int s = 0; s < 3; ++s)
            EXPECT_EQ(chart.seriesPointCount(s), expected);
    }
    // Time graphs are in display units (vibration scaling 1 here): z peaks at 3.
    EXPECT_NEAR(picture.chart(TopTime).yRange().upper, 3.0, 0.5);

    const fs::path png = folder / "both.png";
    std::string error;
    ASSERT_TRUE(picture.savePng(png, &error)) << error;
    QImage image(QString::fromStdString(png.string()));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(800, 500));
    // Every quarter holds one graph with a visible x curve.
    for (int quarter = 0; quarter < 4; ++quarter)
        EXPECT_GT(redPixelsInQuarter(image, quarter), 50) << quarter;
}

TEST_F(ScanPictureTest, PanesFollowTheConfiguration)
{
    CScanConfiguration c;
    c.UseInput1 = 1;
    c.UseInput2 = 0;
    c.Input1DisplayType = "Time Domain";
    auto doc = makeDocument(c);
    ScanPicture picture(*doc, 600, 400);
    EXPECT_TRUE(picture.isPaneShown(TopTime));
    EXPECT_FALSE(picture.isPaneShown(TopFrequency));
    EXPECT_FALSE(picture.isPaneShown(BottomTime));
    EXPECT_FALSE(picture.isPaneShown(BottomFrequency));

    // The one graph takes the whole picture: its curve reaches every quarter.
    const QImage image = picture.image();
    EXPECT_EQ(image.size(), QSize(600, 400));
    for (int quarter = 0; quarter < 4; ++quarter)
        EXPECT_GT(redPixelsInQuarter(image, quarter), 20) << quarter;

    // Frequency only on input 2: only the bottom right graph is drawn.
    c.UseInput1 = 0;
    c.UseInput2 = 1;
    c.Input2DisplayType = "Frequency Domain";
    auto second = makeDocument(c);
    ScanPicture spectrumOnly(*second, 600, 400);
    for (int kind = 0; kind < paneCount; ++kind)
        EXPECT_EQ(spectrumOnly.isPaneShown(kind), kind == BottomFrequency) << kind;
    EXPECT_EQ(spectrumOnly.chart(BottomFrequency).seriesPointCount(0), 1022u);
}

TEST_F(ScanPictureTest, MicrophoneWithTotalFieldOnly)
{
    CScanConfiguration c;
    c.Input1Mode = "Microphone";
    c.ShowTotalField = 1;
    c.ShowFieldComponents = 0;
    DefaultSettings d;
    d.VibrationUnits = 0;
    d.Input1Scaling = 3;
    d.Input1MicrophoneScaling = 0.5;
    auto doc = makeDocument(c, d);
    ScanPicture picture(*doc, 600, 400);

    const QcpChartControl& time = picture.chart(TopTime);
    EXPECT_EQ(time.yAxisTitle(), "Pressure (Pa)");
    EXPECT_EQ(picture.chart(TopFrequency).yAxisTitle(), "Pressure (PaPkPK / sqrt(Hz))");
    for (const QcpChartControl* chart : {&picture.chart(TopTime), &picture.chart(TopFrequency)}) {
        ASSERT_EQ(chart->seriesCount(), 4);
        EXPECT_EQ(chart->seriesLabel(3), "Total");
        EXPECT_FALSE(chart->isSeriesVisible(0));
        EXPECT_FALSE(chart->isSeriesVisible(2));
        EXPECT_TRUE(chart->isSeriesVisible(3));
    }
    // Pascals are volts divided by the sensitivity; the total is the length of (x, y, z).
    const ScanData& data = doc->scan.input1;
    for (int i : {7, 1500}) {
        double sum = 0.0;
        for (int a = 0; a < 3; ++a) {
            const double pascals =
                data.timeData[static_cast<std::size_t>(a)].get(static_cast<std::uint32_t>(i)) / 0.5;
            sum += pascals * pascals;
        }
        EXPECT_NEAR(time.plot()->graph(3)->data()->at(i)->value, std::sqrt(sum), 1e-9) << i;
    }
    // Spectra of a microphone are sound pressure levels: well above the pascal values.
    EXPECT_GT(picture.chart(TopFrequency).yRange().upper, 90.0);
}

TEST_F(ScanPictureTest, ManualScaleOfTheTimeGraph)
{
    CScanConfiguration c;
    c.UseInput2 = 1;
    c.Input1AutoScale = 0;
    c.Input1Minimum = -5.0;
    c.Input1Maximum = 5.0;
    c.Input2Minimum = -5.0;
    c.Input2Maximum = 5.0;
    auto doc = makeDocument(c);
    ScanPicture picture(*doc, 400, 300);
    EXPECT_TRUE(picture.chart(TopTime).isYRangeManual());
    EXPECT_EQ(picture.chart(TopTime).yRange(), (ChartControl::Range{-5.0, 5.0}));
    // Input 2 keeps automatic scaling; spectra always have it.
    EXPECT_FALSE(picture.chart(BottomTime).isYRangeManual());
    EXPECT_NEAR(picture.chart(BottomTime).yRange().upper, 1.5, 0.2);
    EXPECT_FALSE(picture.chart(TopFrequency).isYRangeManual());
}

TEST_F(ScanPictureTest, PictureOfASavedScanFile)
{
    CScanConfiguration c;
    c.UseInput2 = 1;
    auto doc = makeDocument(c);
    const fs::path scan = folder / "Data_20261208_074500.ts6";
    ASSERT_TRUE(doc->OnSaveDocument(scan)) << doc->lastError();

    const fs::path png = folder / "saved.png";
    std::string error;
    ASSERT_TRUE(ScanPicture::saveScanFile(scan, png, &error)) << error;
    QImage image(QString::fromStdString(png.string()));
    EXPECT_EQ(image.size(), QSize(ScanPicture::defaultWidth, ScanPicture::defaultHeight));
    for (int quarter = 0; quarter < 4; ++quarter)
        EXPECT_GT(redPixelsInQuarter(image, quarter), 50) << quarter;

    // A damaged file gives a reason and no picture.
    const fs::path damaged = folder / "damaged.ts6";
    {
        std::ifstream in(scan, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), {});
        std::ofstream(damaged, std::ios::binary).write(bytes.data(), 200);
    }
    const fs::path none = folder / "none.png";
    error.clear();
    EXPECT_FALSE(ScanPicture::saveScanFile(damaged, none, &error));
    EXPECT_NE(error.find("damaged.ts6"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(none));

    // An unwritable picture path is reported, not taken for success.
    EXPECT_FALSE(ScanPicture::saveScanFile(scan, folder / "missing" / "x.png", &error));
}

// ---- pictures for review ----

TEST_F(ScanPictureTest, PicturesForReview)
{
    const char* shots = std::getenv("TESSELON_GUI_SHOTS");
    if (!shots) GTEST_SKIP() << "TESSELON_GUI_SHOTS names the folder for pictures";
    // Both inputs with totals, and a microphone with the total alone on one input.
    CScanConfiguration c;
    c.UseInput2 = 1;
    c.Input2Mode = SensorTypes::Magnetometer;
    c.ShowTotalField = 1;
    c.Input1AutoScale = 0;
    c.Input1Minimum = -4.0;
    c.Input1Maximum = 4.0;
    DefaultSettings d;
    d.MagneticUnits = 1;
    auto doc = makeDocument(c, d);
    ScanPicture both(*doc);
    std::string error;
    EXPECT_TRUE(both.savePng(fs::path(shots) / "picture-both.png", &error)) << error;

    CScanConfiguration m;
    m.Input1Mode = SensorTypes::Microphone;
    m.ShowTotalField = 1;
    m.ShowFieldComponents = 0;
    auto microphone = makeDocument(m);
    ScanPicture single(*microphone);
    EXPECT_TRUE(single.savePng(fs::path(shots) / "picture-microphone.png", &error)) << error;
}

TEST_F(ScanPictureTest, NewestScanFileOfARun)
{
    const auto now = fs::file_time_type::clock::now();
    const fs::path older = folder / "Data_1.ts6";
    const fs::path newer = folder / "Data_2.ts6";
    std::ofstream(older) << "a";
    std::ofstream(newer) << "b";
    std::ofstream(folder / "Data_2.dat") << "c";
    fs::last_write_time(older, now - std::chrono::hours(2));
    fs::last_write_time(newer, now - std::chrono::minutes(1));
    fs::last_write_time(folder / "Data_2.dat", now);

    EXPECT_EQ(ScanPicture::newestScanFile(folder, now - std::chrono::hours(3)), newer);
    // Files from before the run do not count.
    EXPECT_TRUE(ScanPicture::newestScanFile(folder, now - std::chrono::seconds(10)).empty());
    EXPECT_TRUE(ScanPicture::newestScanFile(folder / "absent", now - std::chrono::hours(3)).empty());
}

} // namespace
