#include "app/shell/gui/QtUserInteraction.h"
#include "app/shell/gui/CProgressDlg.h"
#include "app/shell/gui/MessageBoxMapping.h"
#include "app/shell/gui/tests/QtTestApp.h"
#include "common/platform/Hooks.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QPushButton>
#include <QTimer>

#include <cstdlib>

namespace {

namespace hooks = FenmarlCommonDLL::platform;
namespace mapping = MessageBoxMapping;

using Buttons = QList<QMessageBox::StandardButton>;

TEST(MessageBoxMappingTest, EveryButtonSetIconAndResultHasItsWin32Meaning)
{
    EXPECT_EQ(mapping::buttons(hooks::MB_OK_), Buttons{QMessageBox::Ok});
    EXPECT_EQ(mapping::buttons(hooks::MB_OKCANCEL_), (Buttons{QMessageBox::Ok, QMessageBox::Cancel}));
    EXPECT_EQ(mapping::buttons(mapping::MB_ABORTRETRYIGNORE_),
              (Buttons{QMessageBox::Abort, QMessageBox::Retry, QMessageBox::Ignore}));
    EXPECT_EQ(mapping::buttons(hooks::MB_YESNOCANCEL_ | hooks::MB_ICONQUESTION_),
              (Buttons{QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel}));
    EXPECT_EQ(mapping::buttons(hooks::MB_YESNO_ | hooks::MB_ICONEXCLAMATION_),
              (Buttons{QMessageBox::Yes, QMessageBox::No}));
    EXPECT_EQ(mapping::buttons(mapping::MB_RETRYCANCEL_), (Buttons{QMessageBox::Retry, QMessageBox::Cancel}));

    EXPECT_EQ(mapping::icon(hooks::MB_OK_), QMessageBox::NoIcon);
    EXPECT_EQ(mapping::icon(hooks::MB_YESNO_ | hooks::MB_ICONERROR_), QMessageBox::Critical);
    EXPECT_EQ(mapping::icon(hooks::MB_ICONQUESTION_), QMessageBox::Question);
    EXPECT_EQ(mapping::icon(hooks::MB_OKCANCEL_ | hooks::MB_ICONEXCLAMATION_), QMessageBox::Warning);
    EXPECT_EQ(mapping::icon(hooks::MB_ICONINFORMATION_), QMessageBox::Information);

    EXPECT_EQ(mapping::defaultButton(hooks::MB_YESNO_), QMessageBox::Yes);
    EXPECT_EQ(mapping::defaultButton(hooks::MB_YESNO_ | mapping::MB_DEFBUTTON2_), QMessageBox::No);
    EXPECT_EQ(mapping::defaultButton(hooks::MB_YESNOCANCEL_ | mapping::MB_DEFBUTTON3_), QMessageBox::Cancel);
    EXPECT_EQ(mapping::defaultButton(hooks::MB_OK_ | mapping::MB_DEFBUTTON3_), QMessageBox::Ok);

    EXPECT_EQ(mapping::result(QMessageBox::Ok), hooks::IDOK_);
    EXPECT_EQ(mapping::result(QMessageBox::Cancel), hooks::IDCANCEL_);
    EXPECT_EQ(mapping::result(QMessageBox::Yes), hooks::IDYES_);
    EXPECT_EQ(mapping::result(QMessageBox::No), hooks::IDNO_);
    EXPECT_EQ(mapping::result(QMessageBox::Abort), 3);
    EXPECT_EQ(mapping::result(QMessageBox::Retry), 4);
    EXPECT_EQ(mapping::result(QMessageBox::Ignore), 5);

    // Unattended: questions go on, a retry box gives up instead of looping.
    EXPECT_EQ(mapping::unattendedAnswer(hooks::MB_OK_ | hooks::MB_ICONERROR_), hooks::IDOK_);
    EXPECT_EQ(mapping::unattendedAnswer(hooks::MB_YESNO_), hooks::IDYES_);
    EXPECT_EQ(mapping::unattendedAnswer(hooks::MB_YESNOCANCEL_), hooks::IDYES_);
    EXPECT_EQ(mapping::unattendedAnswer(hooks::MB_OKCANCEL_), hooks::IDOK_);
    EXPECT_EQ(mapping::unattendedAnswer(mapping::MB_RETRYCANCEL_), hooks::IDCANCEL_);
}

class QtUserInteractionTest : public QtTest
{
};

// Presses a button of the next message box once it runs.
void pressLater(QMessageBox::StandardButton which)
{
    QTimer::singleShot(0, [which] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box && box->button(which)) box->button(which)->click();
    });
}

TEST_F(QtUserInteractionTest, ModalBoxAnswersWithThePressedButton)
{
    pressLater(QMessageBox::No);
    EXPECT_EQ(
        mapping::exec("Replace?", "Confirm Save As", hooks::MB_YESNO_ | hooks::MB_ICONEXCLAMATION_, nullptr),
        hooks::IDNO_);
    pressLater(QMessageBox::Cancel);
    EXPECT_EQ(mapping::exec("Go on?", "Scan", hooks::MB_YESNOCANCEL_, nullptr), hooks::IDCANCEL_);
    pressLater(QMessageBox::Retry);
    EXPECT_EQ(mapping::exec("Again?", "USB", mapping::MB_RETRYCANCEL_, nullptr), mapping::IDRETRY_);

    QMessageBox box;
    mapping::configure(box, "The data maybe aliased.\nWould you like to continue?", "Acquisition",
                       hooks::MB_YESNO_ | hooks::MB_ICONEXCLAMATION_);
    EXPECT_EQ(box.windowTitle(), "Acquisition");
    EXPECT_EQ(box.text(), "The data maybe aliased.\nWould you like to continue?");
    EXPECT_EQ(box.icon(), QMessageBox::Warning);
    EXPECT_EQ(box.standardButtons(), QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(static_cast<QAbstractButton*>(box.defaultButton()), box.button(QMessageBox::Yes));
}

TEST_F(QtUserInteractionTest, AnswererOrTheUnattendedAnswerReplacesTheModalBox)
{
    QtUserInteraction ui(nullptr);
    // Offscreen, nobody could press a button: the unattended answer comes back at once.
    EXPECT_EQ(ui.messageBox("Stop Current Scan?", "Scan", hooks::MB_YESNO_ | hooks::MB_ICONQUESTION_),
              hooks::IDYES_);
    EXPECT_EQ(ui.messageBox("Unable to open device", "Tesselon", hooks::MB_OK_), hooks::IDOK_);
    EXPECT_TRUE(ui.askYesNo("Replace?", "Confirm Save As"));

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
    EXPECT_EQ(QtUserInteraction::translateFilter("Tesselon-6 files (*.ts6)|*.ts6"),
              QStringList{"Tesselon-6 files (*.ts6)"});
    EXPECT_EQ(QtUserInteraction::translateFilter("Data files (*.Dat)|*.Dat|"),
              QStringList{"Data files (*.Dat)"});
    EXPECT_EQ(QtUserInteraction::translateFilter("Pictures (*.png;*.bmp)|*.png;*.bmp|All Files (*.*)|*.*||"),
              (QStringList{"Pictures (*.png *.bmp)", "All Files (*)"}));
    // The patterns field decides, whatever the description's parentheses say.
    EXPECT_EQ(QtUserInteraction::translateFilter("Scans|*.ts6|Templates (*.txt)|*.tst||"),
              (QStringList{"Scans (*.ts6)", "Templates (*.tst)"}));
    EXPECT_TRUE(QtUserInteraction::translateFilter("").isEmpty());
    EXPECT_TRUE(QtUserInteraction::translateFilter("||").isEmpty());
}

TEST_F(QtUserInteractionTest, FileRequestsSetUpTheDialogTheyDescribe)
{
    QtUserInteraction ui(nullptr);
    const std::filesystem::path folder = std::filesystem::temp_directory_path();
    UserInteraction::FileRequest save;
    save.save = true;
    save.title = "Save Scan";
    save.defaultExtension = "ts6";
    save.filter = "Tesselon-6 Files (*.ts6)|*.ts6||";
    save.initialFolder = folder;
    save.initialFileName = "probe.ts6";
    save.overwritePrompt = true;

    int calls = 0;
    ui.setFileChooser([&](QFileDialog& dialog) {
        ++calls;
        EXPECT_EQ(dialog.windowTitle(), "Save Scan");
        EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
        EXPECT_EQ(dialog.fileMode(), QFileDialog::AnyFile);
        EXPECT_FALSE(dialog.testOption(QFileDialog::DontConfirmOverwrite));
        EXPECT_EQ(dialog.nameFilters(), QStringList{"Tesselon-6 Files (*.ts6)"});
        EXPECT_EQ(dialog.defaultSuffix(), "ts6");
        EXPECT_EQ(std::filesystem::path(dialog.directory().absolutePath().toStdString()),
                  std::filesystem::canonical(folder));
        return std::vector<std::filesystem::path>{folder / "probe.ts6"};
    });
    EXPECT_EQ(ui.chooseFile(save), folder / "probe.ts6");

    UserInteraction::FileRequest open;
    open.filter = "Tesselon-6 Files (*.ts6)|*.ts6||";
    open.multipleSelection = true;
    open.fileMustExist = true;
    ui.setFileChooser([&](QFileDialog& dialog) {
        ++calls;
        EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptOpen);
        EXPECT_EQ(dialog.fileMode(), QFileDialog::ExistingFiles);
        return std::vector<std::filesystem::path>{"/a.ts6", "/b.ts6"};
    });
    EXPECT_EQ(ui.chooseFiles(open).size(), 2u);

    open.multipleSelection = false;
    UserInteraction::FileRequest plainSave = save;
    plainSave.overwritePrompt = false;
    ui.setFileChooser([&](QFileDialog& dialog) {
        ++calls;
        EXPECT_TRUE(dialog.acceptMode() == QFileDialog::AcceptOpen
                        ? dialog.fileMode() == QFileDialog::ExistingFile
                        : dialog.testOption(QFileDialog::DontConfirmOverwrite));
        return std::vector<std::filesystem::path>{};
    });
    EXPECT_TRUE(ui.chooseFiles(open).empty()) << "cancel";
    EXPECT_TRUE(ui.chooseFile(plainSave).empty());

    ui.setFolderChooser([&](QFileDialog& dialog) {
        ++calls;
        EXPECT_EQ(dialog.fileMode(), QFileDialog::Directory);
        EXPECT_TRUE(dialog.testOption(QFileDialog::ShowDirsOnly));
        EXPECT_EQ(dialog.windowTitle(), "Output Folder");
        return folder;
    });
    EXPECT_EQ(ui.chooseFolder("Output Folder", folder), folder);
    EXPECT_EQ(calls, 5);

    // Offscreen without a chooser nobody could pick: the request is cancelled, not hung.
    ui.setFileChooser({});
    ui.setFolderChooser({});
    EXPECT_TRUE(ui.chooseFiles(open).empty());
    EXPECT_TRUE(ui.chooseFolder("Output Folder", folder).empty());
}

TEST_F(QtUserInteractionTest, ProgressWindowHoldsTheOwnerWhileShown)
{
    QWidget frame;
    frame.show();
    QtUserInteraction ui(&frame);
    EXPECT_EQ(ui.progressDialog(), nullptr);

    ui.showProgress("Zeroing Instrument", "Stabilising Input", "Please wait 10 seconds", false);
    CProgressDlg* progress = ui.progressDialog();
    ASSERT_NE(progress, nullptr);
    EXPECT_TRUE(progress->isVisible());
    EXPECT_EQ(progress->parentWidget(), &frame);
    EXPECT_EQ(progress->windowTitle(), "Zeroing Instrument");
    EXPECT_EQ(progress->firstLine(), "Stabilising Input");
    EXPECT_EQ(progress->secondLine(), "Please wait 10 seconds");
    EXPECT_FALSE(progress->barVisible());
    EXPECT_TRUE(progress->animation()->isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), progress) << "the owner takes no input";

    if (const char* dir = std::getenv("TESSELON_GUI_SHOTS") ? std::getenv("TESSELON_GUI_SHOTS")
                                                            : std::getenv("TESSELON_SCREENSHOT_DIR"))
        progress->grab().save(QString::fromLocal8Bit(dir) + "/ZeroingProgress.png");

    ui.setProgressText("Aborting", "");
    EXPECT_EQ(progress->firstLine(), "Aborting");
    EXPECT_FALSE(progress->secondLineVisible());

    ui.closeProgress();
    EXPECT_FALSE(progress->isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the owner takes input again";
    ui.setProgressText("late", "text"); // after closing: no effect, no crash
    EXPECT_FALSE(progress->isVisible());

    ui.showProgress("Stopping scan", "Stopping", "Please wait...", true);
    EXPECT_EQ(ui.progressDialog(), progress) << "one dialog, reused";
    EXPECT_TRUE(progress->barVisible());
    EXPECT_FALSE(progress->animation()->isVisible());
    ui.closeProgress();
}

TEST_F(QtUserInteractionTest, ProgressWindowSurvivesItsOwner)
{
    auto* frame = new QWidget;
    frame->show();
    QtUserInteraction ui(frame);
    ui.showProgress("Zeroing Instrument", "Zeroing sensor", "Please wait 2 seconds", false);
    delete frame; // takes its child windows with it
    EXPECT_EQ(ui.progressDialog(), nullptr);
    EXPECT_EQ(ui.owner(), nullptr);
    ui.setProgressText("Zeroing sensor", "");
    ui.closeProgress();
    ui.showProgress("Zeroing Instrument", "Zeroing sensor", "Please wait 2 seconds", false);
    ASSERT_NE(ui.progressDialog(), nullptr);
    EXPECT_EQ(ui.progressDialog()->parentWidget(), nullptr);
    ui.closeProgress();
}

} // namespace
