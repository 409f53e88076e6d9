#include "app/shell/gui/ProcessOutput.h"

#include <QDateTime>
#include <QListWidget>
#include <QThread>

ProcessOutput::ProcessOutput() = default;
ProcessOutput::~ProcessOutput() = default;

QString ProcessOutput::formatLine(const QString& text)
{
    const QDateTime now = QDateTime::currentDateTime();
    return now.toString(QStringLiteral("dd/MM/yy HH:mm:ss")) + QLatin1Char('.') +
           QStringLiteral("%1").arg(now.time().msec(), 3, 10, QLatin1Char('0')) + QStringLiteral("   ") +
           text;
}

void ProcessOutput::writeOutput(const std::wstring& text)
{
    const QString line = formatLine(QString::fromStdWString(text));
    FenmarlCommonDLL::ThreadLocker hold(&lock_, true);
    pending_.push_back(line);
    // Only the newest lines can ever be shown; an unattached output must not grow without bound.
    while (pending_.size() > static_cast<std::size_t>(maximumLines))
        pending_.pop_front();
    if (!list_) return;
    if (QThread::currentThread() == list_->thread()) {
        flush();
    } else if (!flushScheduled_) {
        flushScheduled_ = true;
        QMetaObject::invokeMethod(
            list_.data(), [this] { flush(); }, Qt::QueuedConnection);
    }
}

void ProcessOutput::attach(QListWidget* list)
{
    FenmarlCommonDLL::ThreadLocker hold(&lock_, true);
    list_ = list;
    flush();
}

void ProcessOutput::detach()
{
    FenmarlCommonDLL::ThreadLocker hold(&lock_, true);
    list_ = nullptr;
}

std::size_t ProcessOutput::queuedLineCount()
{
    FenmarlCommonDLL::ThreadLocker hold(&lock_, true);
    return pending_.size();
}

void ProcessOutput::flush()
{
    FenmarlCommonDLL::ThreadLocker hold(&lock_, true);
    flushScheduled_ = false;
    if (!list_) return;
    while (!pending_.empty()) {
        addLine(pending_.front());
        pending_.pop_front();
    }
}

void ProcessOutput::addLine(const QString& line)
{
    list_->addItem(line);
    list_->setCurrentRow(list_->count() - 1);
    while (list_->count() > maximumLines)
        delete list_->takeItem(0);
}
