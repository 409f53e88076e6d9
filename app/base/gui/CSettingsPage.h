#pragma once

#include <QWidget>

#include <string>

// A page of the Settings sheets. The sheet asks the current page to check
// its input before it changes page or closes with OK; a refusal shows its
// message, puts the focus on the field and keeps the page open.
class CSettingsPage : public QWidget
{
    Q_OBJECT

public:
    explicit CSettingsPage(const QString& title, QWidget* parent = nullptr);
    QString title() const { return title_; }

    // True when every field holds an acceptable value; otherwise one
    // message was shown and the focus is on the offending field.
    virtual bool validate() = 0;

protected:
    // Shows `message` (caption "Tesselon-6", no icon) and focuses `field`.
    bool refuse(QWidget* field, const std::string& message);
    // The same with its own caption and icon.
    bool refuse(QWidget* field, const std::string& message, const std::string& caption, unsigned flags);

private:
    QString title_;
};
