#pragma once

#include <QDialog>

#include <string>

// The About box: program name, version and the instrument's USB protocol.
class CAboutDlg : public QDialog
{
    Q_OBJECT

public:
    // deviceOpen/usbTwo describe the open instrument, if any.
    CAboutDlg(bool deviceOpen, bool usbTwo, QWidget* parent = nullptr);

    // "Tesselon-6 Version: a.b.c.d" from a dotted version; missing parts are 0.
    static std::string versionLine(const std::string& version);
    // "Communication Protocol : USB2" / "USB1"; empty when no instrument is open.
    static std::string protocolLine(bool deviceOpen, bool usbTwo);

    QString versionText() const;
    QString protocolText() const;

private:
    class QLabel* version_ = nullptr;
    class QLabel* protocol_ = nullptr;
};
