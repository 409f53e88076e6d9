#include "app/shell/gui/QtUserInteraction.h"
#include "app/shell/gui/CProgressDlg.h"
#include "app/shell/gui/MessageBoxMapping.h"
#include "testsupport/QtTestApp.h"
#include "common/platform/MessageBoxCodes.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QTest>
#include <QTimer>
#include <QtCore/qtestsupport_core.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace {

namespace hooks = FenmarlCommonDLL::platform;
namespace mapping = MessageBoxMapping;
using Buttons = QList<QMessageBox::StandardButton>;
using Paths = std::vector<std::filesystem::path>;

TEST(MessageBoxMappingTest, ButtonsIconsAndAnswersKeepTheirWin32Meaning)
{
    EXPECT_EQ(mapping::buttons(hooks::MB_OK_ | hooks::MB_ICONERROR_), Buttons{QMessageBox::Ok});
    EXPECT_EQ(mapping::buttons(hooks::MB_OKCANCEL_), (Buttons{QMessageBox::Ok, QMessageBox::Cancel}));
    EXPECT_EQ(mapping::buttons(mapping::MB_ABORTRETRYIGNORE_),
              (Buttons{QMessageBox::Abort, QMessageBox::Retry, QMessageBox::Ignore}));
    EXPECT_EQ(mapping::buttons(hooks::MB_YESNOCANCEL_),
              (Buttons{QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel}));
    EXPECT_EQ(mapping::buttons(hooks::MB_YESNO_ | hooks::MB_ICONQUESTION_),
              (Buttons{QMessageBox::Yes, QMessageBox::No}));
    EXPECT_EQ(mapping::buttons(mapping::MB_RETRYCANCEL_), (Buttons{QMessageBox::Retry, QMessageBox::Cancel}));
    EXPECT_EQ(mapping::icon(hooks::MB_YESNO_ | hooks::MB_ICONERROR_), QMessageBox::Critical);
    EXPECT_EQ(mapping::icon(hooks::MB_OKCANCEL_ | hooks::MB_ICONEXCLAMATION_), QMessageBox::Warning);
    EXPECT_EQ(mapping::icon(hooks::MB_ICONQUESTION_), QMessageBox::Question);
    EXPECT_EQ(mapping::icon(hooks::MB_ICONINFORMATION_), QMessageBox::Information);
    EXPECT_EQ(mapping::defaultButton(hooks::MB_YESNO_ | mapping::MB_DEFBUTTON2_), QMessageBox::No);
    EXPECT_EQ(mapping::defaultButton(hooks::MB_OK_ | mapping::MB_DEFBUTTON3_), QMessageBox::Ok);
    // Unattended: questions go on, a retry box gives up instead of looping.
    EXPECT_EQ(mapping::unattendedAnswer(hooks::MB_YESNOCANCEL_), hooks::IDYES_);
    EXPECT_EQ(mapping::unattendedAnswer(hooks::MB_OKCANCEL_), hooks::IDOK_);
    EXPECT_EQ(mapping::unattendedAnswer(mapping::MB_RETRYCANCEL_), hooks::IDCANCEL_);
}

class QtUserInteractionTest : public QtTest
{
};

// Presses a button of the message box that runs next; a box without that
// button is closed instead, so a wrong mapping fails rather than hangs.
void pressLater(QMessageBox::StandardButton which)
{
    QTimer::singleShot(0, [which] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        if (QAbstractButton* button = box->button(which))
            button->click();
        else
            box->done(-1);
    });
}

TEST_F(QtUserInteractionTest, BoxesAnswerWithThePressedButtonTheAnswererOrTheUnattendedAnswer)
{
    pressLater(QMessageBox::No);
    EXPECT_EQ(mapping::exec("Replace?", "Confirm Save As", hooks::MB_YESNO_, nullptr), hooks::IDNO_);
    pressLater(QMessageBox::Cancel);
    EXPECT_EQ(mapping::exec("Go on?", "Scan", hooks::MB_YESNOCANCEL_, nullptr), hooks::IDCANCEL_);
    pressLater(QMessageBox::Retry);
    EXPECT_EQ(mapping::exec("Again?", "USB", mapping::MB_RETRYCANCEL_, nullptr), mapping::IDRETRY_);
    pressLater(QMessageBox::Ignore);
    EXPECT_EQ(mapping::exec("Again?", "USB", mapping::MB_ABORTRETRYIGNORE_, nullptr), mapping::IDIGNORE_);

    QtUserInteraction ui(nullptr);
    // Offscreen nobody could press a button: the unattended answer comes at once.
    EXPECT_TRUE(ui.askYesNo("Stop Current Scan?", "Scan"));
    std::vector<std::string> asked;
    ui.setAnswerer([&](const std::string& text, const std::string& caption, unsigned flags) {
        asked.push_back(caption + "|" + text + "|" + std::to_string(flags));
        return hooks::IDNO_;
    });
    EXPECT_FALSE(ui.askYesNo("Replace?", "Confirm Save As", hooks::MB_ICONEXCLAMATION_));
    EXPECT_EQ(asked,
              (std::vector<std::string>{"Confirm Save As|Replace?|" +
                                        std::to_string(hooks::MB_YESNO_ | hooks::MB_ICONEXCLAMATION_)}));
}

TEST_F(QtUserInteractionTest, WindowsFiltersBecomeQtNameFilters)
{
    EXPECT_EQ(QtUserInteraction::translateFilter("Tesselon-6 Files (*.ts6)|*.ts6||"),
              QStringList{"Tesselon-6 Files (*.ts6)"});
    // Without the closing bars, as the Multiple-mode and export filters are built.
    EXPECT_EQ(QtUserInteraction::translateFilter("Data files (*.Dat)|*.Dat|"),
              QStringList{"Data files (*.Dat)"});
    EXPECT_EQ(QtUserInteraction::translateFilter("Pictures (*.png;*.bmp)|*.png;*.bmp|All Files (*.*)|*.*||"),
              (QStringList{"Pictures (*.png *.bmp)", "All Files (*)"}));
    // The patterns field decides, whatever the description's parentheses say.
    EXPECT_EQ(QtUserInteraction::translateFilter("Scans|*.ts6|Templates (*.txt)|*.tst"),
              (QStringList{"Scans (*.ts6)", "Templates (*.tst)"}));
    EXPECT_TRUE(QtUserInteraction::translateFilter("||").isEmpty());
}

TEST_F(QtUserInteractionTest, FileRequestsSetUpTheDialogTheyDescribe)
{
    QtUserInteraction ui(nullptr);
    const std::filesystem::path folder = std::filesystem::canonical(std::filesystem::temp_directory_path());
    UserInteraction::FileRequest save;
    save.save = true;
    save.defaultExtension = "ts6";
    save.filter = "Tesselon-6 Files (*.ts6)|*.ts6||";
    save.initialFolder = folder;
    save.overwritePrompt = true;
    std::vector<QFileDialog*> seen;
    QStringList modes;
    ui.setFileChooser([&](QFileDialog& d) {
        modes << QStringLiteral("%1 %2 %3 %4 %5")
                     .arg(d.acceptMode())
                     .arg(d.fileMode())
                     .arg(d.testOption(QFileDialog::DontConfirmOverwrite))
                     .arg(d.defaultSuffix(), d.nameFilters().join(QLatin1Char(',')));
        EXPECT_EQ(d.directory().absolutePath().toStdString(), folder.string());
        return d.acceptMode() == QFileDialog::AcceptSave ? Paths{folder / "probe.ts6"} : Paths{"/a", "/b"};
    });
    EXPECT_EQ(ui.chooseFile(save), folder / "probe.ts6");
    save.overwritePrompt = false;
    ui.chooseFile(save);
    UserInteraction::FileRequest open = save;
    open.save = false;
    open.fileMustExist = true;
    EXPECT_EQ(ui.chooseFiles(open).size(), 1u) << "one file unless several were asked for";
    open.multipleSelection = true;
    EXPECT_EQ(ui.chooseFiles(open).size(), 2u);
    EXPECT_EQ(modes,
              (QStringList{"1 0 0 ts6 Tesselon-6 Files (*.ts6)", "1 0 1 ts6 Tesselon-6 Files (*.ts6)",
                           "0 1 1 ts6 Tesselon-6 Files (*.ts6)", "0 3 1 ts6 Tesselon-6 Files (*.ts6)"}));

    ui.setFolderChooser([&](QFileDialog& d) {
        EXPECT_EQ(d.fileMode(), QFileDialog::Directory);
        EXPECT_EQ(d.directory().absolutePath().toStdString(), folder.string());
        return folder / "out";
    });
    EXPECT_EQ(ui.chooseFolder("Output Folder", folder), folder / "out");
    // Offscreen without a chooser nobody could pick: cancelled, not hung.
    ui.setFileChooser({});
    ui.setFolderChooser({});
    EXPECT_TRUE(ui.chooseFiles(open).empty());
    EXPECT_TRUE(ui.chooseFolder("Output Folder", folder).empty());
}

TEST_F(QtUserInteractionTest, ProgressWindowHoldsItsOwnerUntilClosed)
{
    QWidget frame;
    frame.show();
    QtUserInteraction ui(&frame);
    ui.showProgress("Zeroing Instrument", "Stabilising Input", "Please wait 10 seconds", false);
    CProgressDlg* progress = ui.progressDialog();
    ASSERT_NE(progress, nullptr);
    EXPECT_TRUE(progress->isVisible());
    EXPECT_EQ(progress->windowTitle(), "Zeroing Instrument");
    EXPECT_EQ(progress->secondLine(), "Please wait 10 seconds");
    EXPECT_FALSE(progress->barVisible());
    EXPECT_TRUE(progress->animation()->isVisible());
    EXPECT_EQ(progress->parentWidget(), &frame);
    EXPECT_EQ(QApplication::activeModalWidget(), progress) << "the owner takes no input";
    const char* shots = std::getenv("TESSELON_GUI_SHOTS");
    if (!shots) shots = std::getenv("TESSELON_SCREENSHOT_DIR");
    if (shots) progress->grab().save(QString::fromLocal8Bit(shots) + "/ZeroingProgress.png");

    ui.setProgressText("Aborting", "");
    EXPECT_FALSE(progress->secondLineVisible());
    ui.closeProgress();
    EXPECT_FALSE(progress->isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the owner takes input again";

    ui.showProgress("Stopping scan", "Stopping", "Please wait...", true);
    EXPECT_EQ(ui.progressDialog(), progress) << "one dialog, reused";
    EXPECT_TRUE(progress->barVisible());
    EXPECT_FALSE(progress->animation()->isVisible());

    ui.setOwner(nullptr);
    ui.showProgress("Zeroing Instrument", "Zeroing sensor", "", false);
    EXPECT_EQ(ui.progressDialog()->parentWidget(), nullptr) << "moved to the new owner";
    ui.closeProgress();
}

TEST_F(QtUserInteractionTest, ProgressWindowGoesWithItsOwnerAndServesOtherThreads)
{
    auto* frame = new QWidget;
    frame->show();
    QtUserInteraction ui(frame);
    ui.showProgress("Zeroing Instrument", "Zeroing sensor", "Please wait 2 seconds", false);
    delete frame; // takes its child windows with it
    EXPECT_EQ(ui.progressDialog(), nullptr);
    ui.closeProgress();

    std::atomic<bool> done{false};
    bool shownFromWorker = false;
    int answer = 0;
    std::thread worker([&] {
        ui.showProgress("Stopping scan", "Stopping", "Please wait...", true);
        shownFromWorker = ui.progressDialog() && ui.progressDialog()->isVisible();
        ui.closeProgress();
        answer = ui.messageBox("Abort Current Scan?", "Scan", hooks::MB_YESNO_);
        done = true;
    });
    const bool finished = QTest::qWaitFor([&] { return done.load(); }, 10000);
    worker.join();
    ASSERT_TRUE(finished);
    EXPECT_TRUE(shownFromWorker);
    EXPECT_EQ(ui.progressDialog()->thread(), QCoreApplication::instance()->thread())
        << "built on the GUI thread";
    EXPECT_EQ(answer, hooks::IDYES_);
}

} // namespace

// Windows matches "*.Dat" against "scan.dat"; the dialog must too, or the
// program's own exports could not be picked.
TEST(QtUserInteractionFiles, FilterPatternsIgnoreCase)
{
    ensureQtApp();
    const std::filesystem::path folder = std::filesystem::path(std::getenv("TMPDIR")) / "filters";
    std::filesystem::create_directories(folder);
    for (const char* name : {"scan.dat", "other.txt"})
        std::ofstream(folder / name) << "x";

    QtUserInteraction ui(nullptr);
    bool listed = false, otherListed = true;
    ui.setFileChooser([&](QFileDialog& dialog) {
        auto* model = dialog.findChild<QFileSystemModel*>();
        if (!model) return Paths{};
        // The rows the dialog lists for the folder, once it has been read.
        const QModelIndex root = model->index(QString::fromStdString(folder.string()));
        (void)QTest::qWaitFor([&] { return model->rowCount(root) > 0; }, 5000);
        QStringList names;
        for (int row = 0; row < model->rowCount(root); ++row) {
            const QModelIndex index = model->index(row, 0, root);
            if (model->flags(index) & Qt::ItemIsEnabled) names << index.data().toString();
        }
        listed = names.contains("scan.dat");
        otherListed = names.contains("other.txt");
        return Paths{};
    });
    UserInteraction::FileRequest request;
    request.filter = "Data files (*.Dat)|*.Dat|";
    request.initialFolder = folder;
    ui.chooseFile(request);
    EXPECT_TRUE(listed) << "scan.dat under the filter *.Dat";
    EXPECT_FALSE(otherListed);
}
