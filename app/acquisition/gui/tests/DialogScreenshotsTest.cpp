#include "app/acquisition/gui/CDataSetDlg.h"
#include "app/acquisition/gui/CDataSettings.h"
#include "app/acquisition/gui/CPostProcessDlg.h"
#include "app/acquisition/gui/CPropertiesDlg.h"
#include "app/settings/gui/CDefaultsSheet.h"
#include "app/base/gui/CSettingsPage.h"
#include "testsupport/QtTestApp.h"

#include <QPixmap>
#include <QTabWidget>

#include <cstdlib>
#include <string>

namespace {

// Every dialog laid out at its natural size shows all of its controls:
// no page needs more room than its sheet gives it. With
// TESSELON_DIALOG_SHOTS set, each is also saved as a PNG for a look.
class DialogScreenshotsTest : public QtTest
{
protected:
    void check(QWidget& w, const std::string& name)
    {
        w.adjustSize();
        w.show();
        QApplication::processEvents();
        const QPixmap shot = w.grab();
        EXPECT_FALSE(shot.isNull()) << name;
        EXPECT_GE(w.width(), w.minimumSizeHint().width()) << name;
        EXPECT_GE(w.height(), w.minimumSizeHint().height()) << name;
        if (const char* dir = std::getenv("TESSELON_DIALOG_SHOTS"))
            shot.save(QString::fromStdString(std::string(dir) + "/" + name + ".png"));
    }

    void checkSheet(CPropertySheet& sheet, const std::string& name)
    {
        sheet.adjustSize();
        sheet.show();
        for (int i = 0; i < sheet.tabs()->count(); ++i) {
            sheet.tabs()->setCurrentIndex(i);
            QApplication::processEvents();
            QWidget* page = sheet.tabs()->widget(i);
            EXPECT_GE(page->width(), page->minimumSizeHint().width()) << name << " page " << i;
            EXPECT_GE(page->height(), page->minimumSizeHint().height()) << name << " page " << i;
            check(sheet, name + "_" + std::to_string(i + 1) + "_" +
                             sheet.pages()[static_cast<std::size_t>(i)]->title().toStdString());
        }
    }
};

TEST_F(DialogScreenshotsTest, EveryPageAndDialogFitsItsControls)
{
    CDefaultsSheet sheet;
    SettingsSheetValues v;
    v.scanConfiguration.UseInput2 = 1;
    v.scanConfiguration.Input1Mode = "Magnetometer";
    v.specification.curve[0] = {{10.0, 1.0}, {20.0, 3.0}};
    v.defaults.FilePath = "/home/user/Documents/Tesselon-6/";
    sheet.load(v);
    ASSERT_EQ(sheet.tabs()->count(), 6);
    const char* titles[] = {
        "Scan Configuration", "Specification", "Instrument Setup", "General", "Sensor", "FFT"};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(sheet.tabs()->tabText(i), titles[i]);
    EXPECT_EQ(sheet.windowTitle(), "Settings");
    checkSheet(sheet, "settings");

    CDataSettings data(v.scanConfiguration, v.defaults);
    ASSERT_EQ(data.tabs()->count(), 3);
    EXPECT_EQ(data.tabs()->tabText(2), "Display");
    checkSheet(data, "data_settings");

    PostProcessOptions o;
    CPostProcessDlg post(o);
    check(post, "post_process");

    ScanProperties scan;
    scan.acquisitionTime.wYear = 2026;
    scan.acquisitionTime.wMonth = 12;
    scan.acquisitionTime.wDay = 6;
    CPropertiesDlg properties(scan);
    check(properties, "properties");

    CDataSetDlg chooser;
    check(chooser, "data_set");
}

} // namespace
