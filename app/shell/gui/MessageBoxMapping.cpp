#include "app/shell/gui/MessageBoxMapping.h"

#include "common/platform/MessageBoxCodes.h"

#include <QAbstractButton>
#include <QGuiApplication>

namespace hooks = FenmarlCommonDLL::platform;

namespace MessageBoxMapping {

QMessageBox::Icon icon(unsigned flags)
{
    switch (flags & 0xF0u) {
    case hooks::MB_ICONERROR_:
        return QMessageBox::Critical;
    case hooks::MB_ICONQUESTION_:
        return QMessageBox::Question;
    case hooks::MB_ICONEXCLAMATION_:
        return QMessageBox::Warning;
    case hooks::MB_ICONINFORMATION_:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

QList<QMessageBox::StandardButton> buttons(unsigned flags)
{
    switch (flags & 0xFu) {
    case hooks::MB_OKCANCEL_:
        return {QMessageBox::Ok, QMessageBox::Cancel};
    case MB_ABORTRETRYIGNORE_:
        return {QMessageBox::Abort, QMessageBox::Retry, QMessageBox::Ignore};
    case hooks::MB_YESNOCANCEL_:
        return {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel};
    case hooks::MB_YESNO_:
        return {QMessageBox::Yes, QMessageBox::No};
    case MB_RETRYCANCEL_:
        return {QMessageBox::Retry, QMessageBox::Cancel};
    default:
        return {QMessageBox::Ok};
    }
}

QMessageBox::StandardButton defaultButton(unsigned flags)
{
    const auto set = buttons(flags);
    qsizetype index = 0;
    if ((flags & 0xF00u) == MB_DEFBUTTON2_) index = 1;
    if ((flags & 0xF00u) == MB_DEFBUTTON3_) index = 2;
    return index < set.size() ? set[index] : set.front();
}

int result(QMessageBox::StandardButton button)
{
    switch (button) {
    case QMessageBox::Ok:
        return hooks::IDOK_;
    case QMessageBox::Yes:
        return hooks::IDYES_;
    case QMessageBox::No:
        return hooks::IDNO_;
    case QMessageBox::Abort:
        return IDABORT_;
    case QMessageBox::Retry:
        return IDRETRY_;
    case QMessageBox::Ignore:
        return IDIGNORE_;
    default:
        return hooks::IDCANCEL_;
    }
}

int unattendedAnswer(unsigned flags)
{
    switch (flags & 0xFu) {
    case hooks::MB_YESNO_:
    case hooks::MB_YESNOCANCEL_:
        return hooks::IDYES_;
    case MB_RETRYCANCEL_:
        return hooks::IDCANCEL_;
    case MB_ABORTRETRYIGNORE_:
        return IDABORT_;
    default:
        return hooks::IDOK_;
    }
}

bool nobodyToAnswer()
{
    return QGuiApplication::platformName() == QLatin1String("offscreen");
}

void configure(QMessageBox& box, const std::string& text, const std::string& caption, unsigned flags)
{
    box.setIcon(icon(flags));
    box.setWindowTitle(QString::fromStdString(caption));
    box.setText(QString::fromStdString(text));
    QMessageBox::StandardButtons standard;
    for (const auto button : buttons(flags))
        standard |= button;
    box.setStandardButtons(standard);
    box.setDefaultButton(defaultButton(flags));
    // Escape and the title bar's close answer Cancel only where a Cancel button exists,
    // as a Win32 box does; a plain box closes as OK.
    const auto set = buttons(flags);
    if (set.contains(QMessageBox::Cancel))
        box.setEscapeButton(QMessageBox::Cancel);
    else if (set.size() == 1)
        box.setEscapeButton(QMessageBox::Ok);
}

int exec(const std::string& text, const std::string& caption, unsigned flags, QWidget* parent)
{
    QMessageBox box(parent);
    configure(box, text, caption, flags);
    box.exec();
    QAbstractButton* pressed = box.clickedButton();
    if (!pressed) return hooks::IDCANCEL_;
    return result(box.standardButton(pressed));
}

} // namespace MessageBoxMapping
