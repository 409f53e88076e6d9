#pragma once

#include <QDialog>

#include <memory>

class InstrumentDetection;
class QDialogButtonBox;
class QLabel;
class QListWidget;
class QPushButton;

// "Available Instruments": lists the instruments found, refreshes the list
// by itself when one is plugged in or removed, and opens the chosen one.
class CDetectInstruments : public QDialog
{
    Q_OBJECT

public:
    CDetectInstruments(InstrumentDetection& detection, QWidget* parent);
    ~CDetectInstruments() override;

    // Runs the dialog modally; true when an instrument was opened.
    static bool run(InstrumentDetection& detection, QWidget* parent);

    // True once OK has opened an instrument.
    bool connected() const { return connected_; }

    QListWidget* list() const { return list_; }
    QLabel* status() const { return status_; }
    QPushButton* okButton() const;

    // OK pressed (also a double-click on an entry).
    void accept() override;
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    struct PostGuard;

    void runDetection();
    void refresh();
    void stopWatching();

    InstrumentDetection& detection_;
    QLabel* status_ = nullptr;
    QListWidget* list_ = nullptr;
    QDialogButtonBox* buttons_ = nullptr;
    std::shared_ptr<PostGuard> guard_;
    bool watching_ = false;
    bool connected_ = false;
    bool refreshing_ = false;
    bool connecting_ = false;
};
