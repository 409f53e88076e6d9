#include "app/graphs/gui/CImageSizeDlg.h"
#include "app/graphs/gui/CInputGroupDlg.h"
#include "app/graphs/gui/ChartExportDialog.h"
#include "app/graphs/gui/QcpChartControl.h"
#include "testsupport/QtTestApp.h"
#include "common/platform/MessageBoxCodes.h"

#include <QLineEdit>
#include <QMenu>

#include <string>
#include <vector>

namespace {

namespace hooks = FenmarlCommonDLL::platform;

using GraphDialogsTest = QtBoxTest;

TEST_F(GraphDialogsTest, ChooserWithOnlyInputOneOffersTwoGraphsAndTheSecondIsTopFrequency)
{
    CInputGroupDlg dialog(true, false);
    ASSERT_EQ(dialog.entryCount(), 2);
    EXPECT_EQ(dialog.entryText(0), "Input 1 Time Domain");
    EXPECT_EQ(dialog.entryText(1), "Input 1 Frequency Domain");
    EXPECT_EQ(dialog.chosenPane(), GraphTables::TopTime);
    dialog.selectRow(1);
    EXPECT_STREQ(GraphTables::paneName(dialog.chosenPane()), "Top Frequency");

    CInputGroupDlg second(false, true);
    second.selectRow(0);
    EXPECT_EQ(second.chosenPane(), GraphTables::BottomTime);
    CInputGroupDlg both(true, true);
    EXPECT_EQ(both.entryCount(), 4);
    both.selectRow(3);
    EXPECT_EQ(both.chosenPane(), GraphTables::BottomFrequency);
    // No input in use: nothing to choose, and choose() does not even ask.
    EXPECT_EQ(CInputGroupDlg::choose(nullptr, false, false), -1);
}

TEST_F(GraphDialogsTest, ImageSizeAcceptsZeroToTenThousandOnly)
{
    CImageSizeDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), "Image Size");
    EXPECT_EQ(dialog.heightEdit()->text(), "400");
    EXPECT_EQ(dialog.widthEdit()->text(), "600");
    EXPECT_TRUE(dialog.validate());
    EXPECT_EQ(dialog.imageHeight(), 400);
    EXPECT_EQ(dialog.imageWidth(), 600);

    dialog.heightEdit()->setText("10001");
    EXPECT_FALSE(dialog.validate());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Tesselon-6|Please enter an integer between 0 and 10000.");
    EXPECT_EQ(dialog.imageHeight(), 400); // the rejected value is not taken

    for (const char* bad : {"-1", "abc", "", "12.5"}) {
        dialog.heightEdit()->setText("10");
        dialog.widthEdit()->setText(bad);
        EXPECT_FALSE(dialog.validate()) << bad;
    }
    dialog.heightEdit()->setText("10000");
    dialog.widthEdit()->setText(" 0 ");
    EXPECT_TRUE(dialog.validate());
    EXPECT_EQ(dialog.imageHeight(), 10000);
    EXPECT_EQ(dialog.imageWidth(), 0);

    dialog.widthEdit()->setText("10001");
    dialog.accept();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
}

} // namespace

namespace {

TEST_F(GraphDialogsTest, DialogsKeepTheirPictures)
{
    CInputGroupDlg chooser(true, true);
    CImageSizeDlg size;
    ChartExportDialog exporter(600, 400);
    QcpChartControl chart;
    chart.setCustomMenu({"|", "X", "Y", "Z", "Total Field", "|", "Reset Graph Settings"});
    std::unique_ptr<QMenu> menu(chart.createPopupMenu(nullptr));
    expectEachRenders({&chooser, &size, &exporter, menu.get()});
}

} // namespace

namespace {

TEST_F(GraphDialogsTest, ExportDialogKeepsTheFileExtensionWithTheFormat)
{
    using F = ChartControl::ImageFormat;
    EXPECT_EQ(ChartExportDialog::withExtension("/tmp/graph.png", F::Pdf), "/tmp/graph.pdf");
    EXPECT_EQ(ChartExportDialog::withExtension("/tmp/graph", F::Jpeg), "/tmp/graph.jpg");
    EXPECT_EQ(ChartExportDialog::withExtension("/tmp/a.b/graph.BMP", F::Bmp), "/tmp/a.b/graph.BMP");
    ChartExportDialog dialog(0, 0);
    EXPECT_EQ(dialog.imageWidth(), 600);
    dialog.setFilePath("/tmp/out.png");
    dialog.setFormat(F::Pdf);
    EXPECT_EQ(dialog.format(), F::Pdf);
    EXPECT_EQ(dialog.filePath(), "/tmp/out.pdf");
}

} // namespace
