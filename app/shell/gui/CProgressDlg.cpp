#include "app/shell/gui/CProgressDlg.h"

#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QTimer>

BusyAnimation::BusyAnimation(QWidget* parent) : QWidget(parent)
{
    timer_ = new QTimer(this);
    timer_->setInterval(80);
    connect(timer_, &QTimer::timeout, this, [this] {
        step_ = (step_ + 1) % 12;
        update();
    });
    setFixedSize(sizeHint());
}

bool BusyAnimation::isRunning() const
{
    return timer_->isActive();
}

void BusyAnimation::showEvent(QShowEvent* event)
{
    timer_->start();
    QWidget::showEvent(event);
}

void BusyAnimation::hideEvent(QHideEvent* event)
{
    timer_->stop();
    QWidget::hideEvent(event);
}

void BusyAnimation::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(width() / 2.0, height() / 2.0);
    const double radius = std::min(width(), height()) / 2.0;
    const QColor base = palette().color(QPalette::Highlight);
    for (int i = 0; i < 12; ++i) {
        // The spoke at the current step is darkest; the others fade behind it.
        const int age = (step_ - i + 12) % 12;
        QColor c = base;
        c.setAlphaF(1.0 - age / 13.0);
        p.save();
        p.rotate(i * 30.0);
        p.setPen(QPen(c, radius / 5.0, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(0, -radius * 0.45), QPointF(0, -radius * 0.85));
        p.restore();
    }
}

CProgressDlg::CProgressDlg(QWidget* owner) : QDialog(owner)
{
    // Every other window waits: input meant for them while the driver works is
    // dropped, not queued until the wait ends.
    setWindowModality(Qt::ApplicationModal);
    setWindowFlag(Qt::WindowCloseButtonHint, false);
    first_ = new QLabel(this);
    second_ = new QLabel(this);
    bar_ = new QProgressBar(this);
    bar_->setRange(0, 100);
    animation_ = new BusyAnimation(this);
    animation_->hide();

    auto* grid = new QGridLayout(this);
    grid->addWidget(animation_, 0, 0, 2, 1, Qt::AlignCenter);
    grid->addWidget(first_, 0, 1);
    grid->addWidget(second_, 1, 1);
    grid->addWidget(bar_, 2, 0, 1, 2);
    grid->setColumnMinimumWidth(1, 260);
    grid->setHorizontalSpacing(14);
}

void CProgressDlg::setLines(const QString& first, const QString& second)
{
    first_->setText(first);
    second_->setText(second);
    first_->setVisible(!first.isEmpty());
    second_->setVisible(!second.isEmpty());
}

void CProgressDlg::setProgress(int percent)
{
    bar_->setValue(std::clamp(percent, 0, 100));
}

void CProgressDlg::showAnimation(bool on)
{
    bar_->setVisible(!on);
    animation_->setVisible(on);
    adjustSize();
}

QString CProgressDlg::firstLine() const
{
    return first_->text();
}
QString CProgressDlg::secondLine() const
{
    return second_->text();
}
bool CProgressDlg::firstLineVisible() const
{
    return !first_->isHidden();
}
bool CProgressDlg::secondLineVisible() const
{
    return !second_->isHidden();
}
bool CProgressDlg::barVisible() const
{
    return !bar_->isHidden();
}
