#pragma once

#include "app/base/UserInteraction.h"

#include <QPointer>
#include <QStringList>

#include <functional>

class CProgressDlg;
class QFileDialog;
class QWidget;

// The application's UserInteraction: Qt message boxes, file dialogs and the
// modeless progress dialog, all over the owner window. With nobody to answer
// (offscreen platform) boxes take their unattended answer and choosers cancel,
// so an unattended run never waits on a window nobody sees.
class QtUserInteraction : public UserInteraction
{
public:
    using Answerer = std::function<int(const std::string& text, const std::string& caption, unsigned flags)>;
    // Given the fully set-up dialog instead of running it; returns the choice.
    using FileChooser = std::function<std::vector<std::filesystem::path>(QFileDialog& dialog)>;
    using FolderChooser = std::function<std::filesystem::path(QFileDialog& dialog)>;

    explicit QtUserInteraction(QWidget* owner);
    ~QtUserInteraction() override;
    QtUserInteraction(const QtUserInteraction&) = delete;
    QtUserInteraction& operator=(const QtUserInteraction&) = delete;

    void setOwner(QWidget* owner);
    QWidget* owner() const { return owner_; }

    // Replace the modal windows (tests, scripted runs); empty restores them.
    void setAnswerer(Answerer answerer) { answerer_ = std::move(answerer); }
    void setFileChooser(FileChooser chooser) { fileChooser_ = std::move(chooser); }
    void setFolderChooser(FolderChooser chooser) { folderChooser_ = std::move(chooser); }

    int messageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    std::vector<std::filesystem::path> chooseFiles(const FileRequest& request) override;
    std::filesystem::path chooseFolder(const std::string& title,
                                       const std::filesystem::path& initialFolder) override;
    void showProgress(const std::string& title, const std::string& line1, const std::string& line2,
                      bool showBar) override;
    void setProgressText(const std::string& line1, const std::string& line2) override;
    void closeProgress() override;

    // The one progress dialog (none before the first showProgress).
    CProgressDlg* progressDialog() const { return progress_; }

    // "Name (*.a;*.b)|*.a;*.b|Other|*.c||" -> {"Name (*.a *.b)", "Other (*.c)"}.
    static QStringList translateFilter(const std::string& windowsFilter);
    // Sets up the open/save dialog a request describes.
    static void configureFileDialog(QFileDialog& dialog, const FileRequest& request);

private:
    void paintNow();

    QPointer<QWidget> owner_;
    QPointer<CProgressDlg> progress_;
    // Where the keyboard was when the progress window came up; it goes back there.
    QPointer<QWidget> focusBeforeProgress_;
    Answerer answerer_;
    FileChooser fileChooser_;
    FolderChooser folderChooser_;
};
