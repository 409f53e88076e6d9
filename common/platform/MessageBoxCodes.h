#pragma once

// Apart from the hooks, so code that only names a button or an icon does not
// pull in the hook functions.
namespace FenmarlCommonDLL::platform {

// Win32 message-box flags and results, kept with their numbers.
inline constexpr unsigned MB_OK_ = 0x0;
inline constexpr unsigned MB_OKCANCEL_ = 0x1;
inline constexpr unsigned MB_YESNOCANCEL_ = 0x3;
inline constexpr unsigned MB_YESNO_ = 0x4;
inline constexpr unsigned MB_ICONERROR_ = 0x10; // MB_ICONSTOP, MB_ICONHAND
inline constexpr unsigned MB_ICONQUESTION_ = 0x20;
inline constexpr unsigned MB_ICONEXCLAMATION_ = 0x30; // MB_ICONWARNING
inline constexpr unsigned MB_ICONINFORMATION_ = 0x40; // MB_ICONASTERISK
inline constexpr int IDOK_ = 1;
inline constexpr int IDCANCEL_ = 2;
inline constexpr int IDYES_ = 6;
inline constexpr int IDNO_ = 7;

} // namespace FenmarlCommonDLL::platform
