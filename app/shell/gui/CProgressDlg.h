#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;
class QTimer;

// A turning wheel shown instead of the progress bar while the length of a wait is unknown.
class BusyAnimation : public QWidget
{
    Q_OBJECT

public:
    explicit BusyAnimation(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {40, 40}; }
    bool isRunning() const;
    int step() const { return step_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QTimer* timer_ = nullptr;
    int step_ = 0;
};

// Modeless progress window: a title, two lines of text and a bar or the animation.
// While it is shown no other window takes input.
class CProgressDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CProgressDlg(QWidget* owner = nullptr);

    void setTitle(const QString& title) { setWindowTitle(title); }
    // An empty text hides its line.
    void setLines(const QString& first, const QString& second);
    void setProgress(int percent);
    // Hides the bar and runs the animation in its place; the text lines take the bar's width.
    void showAnimation(bool on);

    QString firstLine() const;
    QString secondLine() const;
    bool firstLineVisible() const;
    bool secondLineVisible() const;
    bool barVisible() const;
    BusyAnimation* animation() const { return animation_; }

private:
    QLabel* first_ = nullptr;
    QLabel* second_ = nullptr;
    QProgressBar* bar_ = nullptr;
    BusyAnimation* animation_ = nullptr;
};
