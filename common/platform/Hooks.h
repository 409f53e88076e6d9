#pragma once

#include "common/Export.h"

#include <functional>
#include <string>

// Replaceable services that libraries below the application call: message
// boxes, "pump the calling thread's messages" inside waits, and the tone.
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

using MessageBoxHandler =
    std::function<int(const std::string& text, const std::string& caption, unsigned flags)>;
// Default handler prints "caption: text" to stderr and answers IDOK (IDYES for yes/no).
FENMARL_COMMON_API void setMessageBoxHandler(MessageBoxHandler handler);
FENMARL_COMMON_API int showMessageBox(const std::string& text, const std::string& caption, unsigned flags);

using MessagePump = std::function<void()>;
// Called by waits on a caller's thread; the application sets processEvents on its UI thread.
FENMARL_COMMON_API void setMessagePump(MessagePump pump);
FENMARL_COMMON_API void pumpMessages();

using ToneSink = std::function<void(unsigned frequencyHz, unsigned durationMs)>;
// Default: an ALSA tone when a sound device is present, else the terminal bell.
FENMARL_COMMON_API void setToneSink(ToneSink sink);
FENMARL_COMMON_API void beep(unsigned frequencyHz, unsigned durationMs);

// The debugger output (OutputDebugString). Default: the text on stderr.
using DebugOutputHandler = std::function<void(const std::string& text)>;
FENMARL_COMMON_API void setDebugOutputHandler(DebugOutputHandler handler);
FENMARL_COMMON_API void outputDebugString(const std::string& text);

// The default tone: ALSA when a sound device opens, else the terminal bell.
// Blocks for the tone's length, as Beep does. Exposed so the sink can be restored.
FENMARL_COMMON_API void defaultTone(unsigned frequencyHz, unsigned durationMs);

} // namespace FenmarlCommonDLL::platform
