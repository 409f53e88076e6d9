#include "app/shell/gui/QtUserInteraction.h"

#include "app/shell/gui/CProgressDlg.h"
#include "app/shell/gui/MessageBoxMapping.h"

#include <QApplication>
#include <QFileDialog>
#include <QRegularExpression>
#include <QThread>

#include <cstdio>
#include <type_traits>

namespace {

QString qtext(const std::string& text)
{
    return QString::fromStdString(text);
}

QString qpath(const std::filesystem::path& path)
{
    return QString::fromStdString(path.string());
}

// Windows lists patterns with ';', Qt with spaces; "*.*" means every file there.
QString qtPatterns(const QString& windowsPatterns)
{
    QStringList patterns;
    for (QString p : windowsPatterns.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        p = p.trimmed();
        if (p.isEmpty()) continue;
        patterns << (p == QLatin1String("*.*") ? QStringLiteral("*") : p);
    }
    return patterns.join(QLatin1Char(' '));
}

bool onGuiThread()
{
    return QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
}

bool offGuiThread()
{
    return QCoreApplication::instance() && QThread::currentThread() != QCoreApplication::instance()->thread();
}

// Widgets live on the GUI thread: a call from another thread runs there and
// waits for its result, as a Win32 box shown from a worker would.
template <typename Call> auto runOnGuiThread(Call call) -> decltype(call())
{
    using Result = decltype(call());
    if constexpr (std::is_void_v<Result>) {
        QMetaObject::invokeMethod(QCoreApplication::instance(), call, Qt::BlockingQueuedConnection);
    } else {
        Result result{};
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [&] { result = call(); }, Qt::BlockingQueuedConnection);
        return result;
    }
}

} // namespace

QtUserInteraction::QtUserInteraction(QWidget* owner) : owner_(owner) {}

QtUserInteraction::~QtUserInteraction()
{
    delete progress_.data();
}

void QtUserInteraction::setOwner(QWidget* owner)
{
    owner_ = owner;
}

int QtUserInteraction::messageBox(const std::string& text, const std::string& caption, unsigned flags)
{
    if (answerer_) return answerer_(text, caption, flags);
    if (offGuiThread()) return runOnGuiThread([&] { return messageBox(text, caption, flags); });
    if (MessageBoxMapping::nobodyToAnswer()) {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        return MessageBoxMapping::unattendedAnswer(flags);
    }
    // A modal dialog in front (the instrument list, a settings sheet) owns the box
    // rather than the frame behind it.
    QWidget* parent = QApplication::activeModalWidget() ? QApplication::activeModalWidget() : owner_.data();
    return MessageBoxMapping::exec(text, caption, flags, parent);
}

QStringList QtUserInteraction::translateFilter(const std::string& windowsFilter)
{
    QStringList parts = qtext(windowsFilter).split(QLatin1Char('|'));
    while (!parts.isEmpty() && parts.back().isEmpty())
        parts.pop_back();
    // Text in the last parentheses of a Qt filter is taken as its patterns.
    static const QRegularExpression trailingPatterns(QStringLiteral(R"(\s*\(([^()]*)\)\s*$)"));
    QStringList filters;
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        const QString patterns = i + 1 < parts.size() ? qtPatterns(parts[i + 1]) : QStringLiteral("*");
        if (patterns.isEmpty()) continue;
        const auto match = trailingPatterns.match(description);
        if (match.hasMatch()) {
            if (match.captured(1).trimmed() == patterns) {
                filters << description;
                continue;
            }
            description.truncate(match.capturedStart());
        }
        if (description.isEmpty()) description = patterns;
        filters << description + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return filters;
}

void QtUserInteraction::configureFileDialog(QFileDialog& dialog, const FileRequest& request)
{
    if (!request.title.empty()) dialog.setWindowTitle(qtext(request.title));
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    if (request.save)
        dialog.setFileMode(QFileDialog::AnyFile);
    else if (request.multipleSelection)
        dialog.setFileMode(QFileDialog::ExistingFiles);
    else
        dialog.setFileMode(request.fileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !(request.save && request.overwritePrompt));
    const QStringList filters = translateFilter(request.filter);
    if (!filters.isEmpty()) dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(qtext(request.defaultExtension));
    if (!request.initialFolder.empty()) dialog.setDirectory(qpath(request.initialFolder));
    if (!request.initialFileName.empty()) dialog.selectFile(qtext(request.initialFileName));
}

std::vector<std::filesystem::path> QtUserInteraction::chooseFiles(const FileRequest& request)
{
    if (offGuiThread()) return runOnGuiThread([&] { return chooseFiles(request); });
    QFileDialog dialog(QApplication::activeModalWidget() ? QApplication::activeModalWidget() : owner_.data());
    configureFileDialog(dialog, request);
    std::vector<std::filesystem::path> chosen;
    if (fileChooser_) {
        chosen = fileChooser_(dialog);
    } else if (!MessageBoxMapping::nobodyToAnswer() && dialog.exec() == QDialog::Accepted) {
        for (const QString& file : dialog.selectedFiles())
            chosen.emplace_back(file.toStdString());
    }
    if (!request.multipleSelection && chosen.size() > 1) chosen.resize(1);
    return chosen;
}

std::filesystem::path QtUserInteraction::chooseFolder(const std::string& title,
                                                      const std::filesystem::path& initialFolder)
{
    if (offGuiThread()) return runOnGuiThread([&] { return chooseFolder(title, initialFolder); });
    QFileDialog dialog(QApplication::activeModalWidget() ? QApplication::activeModalWidget() : owner_.data());
    if (!title.empty()) dialog.setWindowTitle(qtext(title));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (!initialFolder.empty()) dialog.setDirectory(qpath(initialFolder));
    if (folderChooser_) return folderChooser_(dialog);
    if (MessageBoxMapping::nobodyToAnswer()) return {};
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().front().toStdString();
}

void QtUserInteraction::showProgress(const std::string& title, const std::string& line1,
                                     const std::string& line2, bool showBar)
{
    if (offGuiThread()) return runOnGuiThread([&] { showProgress(title, line1, line2, showBar); });
    // Over the modal dialog in front when there is one (zeroing from the instrument
    // list), else over the owner; window modality keeps that window from input.
    QWidget* parent = QApplication::activeModalWidget();
    if (parent == progress_.data() || !parent) parent = owner_.data();
    if (progress_ && progress_->parentWidget() != parent) {
        progress_->hide();
        delete progress_.data();
    }
    if (!progress_) progress_ = new CProgressDlg(parent);
    if (!progress_->isVisible()) focusBeforeProgress_ = QApplication::focusWidget();
    progress_->setTitle(qtext(title));
    progress_->setLines(qtext(line1), qtext(line2));
    progress_->setProgress(0);
    progress_->showAnimation(!showBar);
    progress_->show();
    progress_->raise();
    paintNow();
}

void QtUserInteraction::setProgressText(const std::string& line1, const std::string& line2)
{
    if (offGuiThread()) return runOnGuiThread([&] { setProgressText(line1, line2); });
    if (!progress_) return;
    progress_->setLines(qtext(line1), qtext(line2));
    paintNow();
}

void QtUserInteraction::closeProgress()
{
    if (offGuiThread()) return runOnGuiThread([&] { closeProgress(); });
    if (!progress_ || !progress_->isVisible()) return;
    progress_->hide();
    // Hiding the active window leaves no window active under some window
    // managers, and then no shortcut works until a click: give focus back.
    if (QWidget* focus = focusBeforeProgress_.data()) {
        focus->window()->activateWindow();
        focus->setFocus(Qt::OtherFocusReason);
    } else if (QWidget* back = progress_->parentWidget()) {
        back->window()->activateWindow();
    }
    focusBeforeProgress_.clear();
}

void QtUserInteraction::paintNow()
{
    // The caller blocks next (the driver's Reset), so the window paints now or not at all.
    if (!onGuiThread() || !progress_) return;
    progress_->repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}
