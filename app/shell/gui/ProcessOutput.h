#pragma once

#include "common/Locker.h"
#include "common/Output.h"

#include <QPointer>
#include <QStringList>

#include <deque>

class QListWidget;

// The diagnostics output: time-stamped lines for the diagnostics window's
// list. Any thread may write; the list itself is only touched on its own
// thread, in the order the lines were written.
class ProcessOutput : public FenmarlCommonDLL::Output
{
public:
    static constexpr int maximumLines = 256;

    ProcessOutput();
    ~ProcessOutput() override;

    void writeOutput(const std::wstring& text) override;
    // Moves the queued lines into the list; later lines go straight to it.
    void attach(QListWidget* list);
    // Later lines are queued again.
    void detach();

    std::size_t queuedLineCount();
    // "%d/%m/%y %H:%M:%S.mmm   text" for the current local time.
    static QString formatLine(const QString& text);

private:
    void flush();
    void addLine(const QString& line);

    FenmarlCommonDLL::Locker lock_;
    QPointer<QListWidget> list_;
    // Lines not yet in the list: written while no list was attached, or
    // written on another thread and waiting for the list's thread.
    std::deque<QString> pending_;
    bool flushScheduled_ = false;
};
