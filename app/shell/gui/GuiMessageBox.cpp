#include "app/shell/gui/GuiMessageBox.h"

#include "common/platform/Hooks.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>

#include <cstdio>

namespace hooks = FenmarlCommonDLL::platform;

namespace {

int showBox(const std::string& text, const std::string& caption, unsigned flags)
{
    const unsigned buttons = flags & 0xF;
    const bool yesNo = buttons == hooks::MB_YESNO_ || buttons == hooks::MB_YESNOCANCEL_;
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        return yesNo ? hooks::IDYES_ : hooks::IDOK_;
    }
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (flags & 0xF0) {
    case hooks::MB_ICONERROR_:
        icon = QMessageBox::Critical;
        break;
    case hooks::MB_ICONQUESTION_:
        icon = QMessageBox::Question;
        break;
    case hooks::MB_ICONEXCLAMATION_:
        icon = QMessageBox::Warning;
        break;
    case hooks::MB_ICONINFORMATION_:
        icon = QMessageBox::Information;
        break;
    default:
        break;
    }
    QMessageBox::StandardButtons standard = QMessageBox::Ok;
    if (buttons == hooks::MB_OKCANCEL_)
        standard = QMessageBox::Ok | QMessageBox::Cancel;
    else if (buttons == hooks::MB_YESNO_)
        standard = QMessageBox::Yes | QMessageBox::No;
    else if (buttons == hooks::MB_YESNOCANCEL_)
        standard = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    QMessageBox box(icon, QString::fromStdString(caption), QString::fromStdString(text), standard,
                    QApplication::activeWindow());
    switch (box.exec()) {
    case QMessageBox::Yes:
        return hooks::IDYES_;
    case QMessageBox::No:
        return hooks::IDNO_;
    case QMessageBox::Cancel:
        return hooks::IDCANCEL_;
    default:
        return hooks::IDOK_;
    }
}

} // namespace

void installGuiMessageBoxHandler()
{
    hooks::setMessageBoxHandler(showBox);
}
