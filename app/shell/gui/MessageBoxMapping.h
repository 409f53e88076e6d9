#pragma once

#include <QMessageBox>

#include <string>

class QWidget;

// Win32 message-box flags (common/platform/Hooks.h) in Qt terms, shared by the
// libraries' message-box hook and the application's QtUserInteraction.
namespace MessageBoxMapping {

// Button sets and results Hooks.h does not name, kept with their Win32 numbers.
inline constexpr unsigned MB_ABORTRETRYIGNORE_ = 0x2;
inline constexpr unsigned MB_RETRYCANCEL_ = 0x5;
inline constexpr unsigned MB_DEFBUTTON2_ = 0x100;
inline constexpr unsigned MB_DEFBUTTON3_ = 0x200;
inline constexpr int IDABORT_ = 3;
inline constexpr int IDRETRY_ = 4;
inline constexpr int IDIGNORE_ = 5;

QMessageBox::Icon icon(unsigned flags);
// The buttons in Win32 order (an unknown set falls back to OK alone).
QList<QMessageBox::StandardButton> buttons(unsigned flags);
// The button MB_DEFBUTTONn names, else the first one.
QMessageBox::StandardButton defaultButton(unsigned flags);
// IDOK_, IDCANCEL_, IDYES_, ... for a pressed button; IDCANCEL_ when the box
// was closed without one.
int result(QMessageBox::StandardButton button);

// The answer taken when nobody can press a button (no display). Questions go
// on (Yes, OK); a retry box gives up, since nobody could fix the cause.
int unattendedAnswer(unsigned flags);

// True on the offscreen platform, where no modal box could ever be answered.
bool nobodyToAnswer();

// Builds the box without showing it.
void configure(QMessageBox& box, const std::string& text, const std::string& caption, unsigned flags);
// Runs the box modally over parent and returns the Win32 result.
int exec(const std::string& text, const std::string& caption, unsigned flags, QWidget* parent);

} // namespace MessageBoxMapping
