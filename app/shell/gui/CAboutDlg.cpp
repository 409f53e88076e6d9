#include "app/shell/gui/CAboutDlg.h"

#include "app/shell/gui/GuiResources.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <cstdio>

#ifndef TESSELON_VERSION
#define TESSELON_VERSION "0.0.0"
#endif

std::string CAboutDlg::versionLine(const std::string& version)
{
    if (version.empty()) return "Tesselon-6 Version: 0.0.0";
    // Every field starts at 0 so a three-part version reads as a.b.c.0.
    int a = 0, b = 0, c = 0, d = 0;
    std::sscanf(version.c_str(), "%d.%d.%d.%d", &a, &b, &c, &d);
    char line[96];
    std::snprintf(line, sizeof line, "Tesselon-6 Version: %d.%d.%d.%d", a, b, c, d);
    return line;
}

std::string CAboutDlg::protocolLine(bool deviceOpen, bool usbTwo)
{
    if (!deviceOpen) return {};
    char line[48];
    std::snprintf(line, sizeof line, "Communication Protocol : USB%d", usbTwo ? 2 : 1);
    return line;
}

CAboutDlg::CAboutDlg(bool deviceOpen, bool usbTwo, QWidget* parent) : QDialog(parent)
{
    initGuiResources();
    setWindowTitle(tr("About Tesselon-6"));
    auto* icon = new QLabel(this);
    icon->setPixmap(QPixmap(QStringLiteral(":/tesselon/tesselon-6.png"))
                        .scaled(64, 64, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    version_ = new QLabel(QString::fromStdString(versionLine(TESSELON_VERSION)), this);
    protocol_ = new QLabel(QString::fromStdString(protocolLine(deviceOpen, usbTwo)), this);
    protocol_->setVisible(!protocol_->text().isEmpty());

    auto* text = new QVBoxLayout;
    text->addWidget(version_);
    text->addWidget(protocol_);
    text->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(text, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    setMinimumWidth(320);
}

QString CAboutDlg::versionText() const
{
    return version_->text();
}
QString CAboutDlg::protocolText() const
{
    return protocol_->text();
}
