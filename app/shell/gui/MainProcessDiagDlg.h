#pragma once

#include <QDialog>

#include <functional>
#include <string>

namespace FenmarlCommonDLL {
class Logger;
}
class ProcessOutput;
class QListWidget;

// "Tesselon Diagnostics Window": the diagnostics output's lines, kept hidden until asked for.
class MainProcessDiagDlg : public QDialog
{
    Q_OBJECT

public:
    // Logs through the application's log function (source, message, type).
    using LogFunction = std::function<void(const std::string&, const std::string&, int)>;

    MainProcessDiagDlg(FenmarlCommonDLL::Logger* logger, ProcessOutput* output, QWidget* parent = nullptr);
    ~MainProcessDiagDlg() override;

    void setLogFunction(LogFunction log) { log_ = std::move(log); }
    // Opens the log file in the desktop's text viewer. Opening is replaceable for tests.
    using Opener = std::function<bool(const QString& path)>;
    void setOpener(Opener opener) { opener_ = std::move(opener); }
    bool showProcessLogfile();

    QListWidget* list() const { return list_; }

private:
    FenmarlCommonDLL::Logger* logger_;
    ProcessOutput* output_;
    QListWidget* list_ = nullptr;
    LogFunction log_;
    Opener opener_;
};
