#include "app/shell/gui/MainProcessDiagDlg.h"

#include "app/shell/gui/ProcessOutput.h"
#include "common/Logger.h"
#include "common/platform/Hooks.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

MainProcessDiagDlg::MainProcessDiagDlg(FenmarlCommonDLL::Logger* logger, ProcessOutput* output,
                                       QWidget* parent)
    : QDialog(parent), logger_(logger), output_(output)
{
    setWindowTitle(QStringLiteral("Tesselon Diagnostics Window"));
    setModal(false);
    list_ = new QListWidget(this);
    list_->setFont(QFont(QStringLiteral("Monospace"), 9));
    list_->setUniformItemSizes(true);
    auto* hide = new QPushButton(QStringLiteral("Hide"), this);
    auto* showLog = new QPushButton(QStringLiteral("Show Process Logfile"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(showLog);
    buttons->addStretch();
    buttons->addWidget(hide);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addLayout(buttons);
    resize(720, 360);
    connect(hide, &QPushButton::clicked, this, &QWidget::hide);
    connect(showLog, &QPushButton::clicked, this, [this] { showProcessLogfile(); });

    opener_ = [](const QString& path) {
        return QFileInfo::exists(path) && QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    };
    if (output_) {
        output_->attach(list_);
        if (!logger_) output_->writeOutput(L"MainProcessDiagDlg::OnInitDialog, m_pLogger is NULL.");
    }
}

MainProcessDiagDlg::~MainProcessDiagDlg()
{
    if (output_) output_->detach();
}

bool MainProcessDiagDlg::showProcessLogfile()
{
    const QString path = logger_ ? QString::fromStdWString(logger_->logFilePath()) : QString();
    if (!path.isEmpty() && opener_ && opener_(path)) return true;
    if (log_)
        log_("DisplayLogFile", "Failed to display the log file.", 2);
    else if (logger_)
        logger_->logError("DisplayLogFile", "Failed to display the log file.");
    FenmarlCommonDLL::platform::showMessageBox("Unable to display the log file.", "Tesselon",
                                               FenmarlCommonDLL::platform::MB_ICONEXCLAMATION_);
    return false;
}
