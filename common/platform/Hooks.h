#pragma once

#include "common/Export.h"
#include "common/platform/MessageBoxCodes.h"

#include <functional>
#include <string>

// Replaceable services that libraries below the application call: message
// boxes, "pump the calling thread's messages" inside waits, and the tone.
namespace FenmarlCommonDLL::platform {

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
