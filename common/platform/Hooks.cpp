#include "common/platform/Hooks.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <dlfcn.h>
#include <mutex>
#include <thread>
#include <vector>

namespace FenmarlCommonDLL::platform {

namespace {

std::mutex& hookMutex()
{
    static std::mutex m;
    return m;
}

MessageBoxHandler& messageBoxHandler()
{
    static MessageBoxHandler h;
    return h;
}

MessagePump& messagePump()
{
    static MessagePump p;
    return p;
}

ToneSink& toneSink()
{
    static ToneSink s;
    return s;
}

DebugOutputHandler& debugOutputHandler()
{
    static DebugOutputHandler h;
    return h;
}

int defaultMessageBox(const std::string& text, const std::string& caption, unsigned flags)
{
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
    const unsigned buttons = flags & 0xF;
    return (buttons == MB_YESNO_ || buttons == MB_YESNOCANCEL_) ? IDYES_ : IDOK_;
}

// libasound is opened at run time so that a machine without it still runs;
// only the handful of calls a plain tone needs are looked up.
struct Alsa
{
    using Open = int (*)(void**, const char*, int, int);
    using SetParams = int (*)(void*, int, int, unsigned, unsigned, int, unsigned);
    using Nonblock = int (*)(void*, int);
    using WriteI = long (*)(void*, const void*, unsigned long);
    using Recover = int (*)(void*, int, int);
    using Drain = int (*)(void*);
    using Close = int (*)(void*);

    void* library = nullptr;
    Open open = nullptr;
    SetParams setParams = nullptr;
    Nonblock nonblock = nullptr;
    WriteI writei = nullptr;
    Recover recover = nullptr;
    Drain drain = nullptr;
    Close close = nullptr;

    Alsa()
    {
        library = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
        if (!library) return;
        open = reinterpret_cast<Open>(dlsym(library, "snd_pcm_open"));
        setParams = reinterpret_cast<SetParams>(dlsym(library, "snd_pcm_set_params"));
        nonblock = reinterpret_cast<Nonblock>(dlsym(library, "snd_pcm_nonblock"));
        writei = reinterpret_cast<WriteI>(dlsym(library, "snd_pcm_writei"));
        recover = reinterpret_cast<Recover>(dlsym(library, "snd_pcm_recover"));
        drain = reinterpret_cast<Drain>(dlsym(library, "snd_pcm_drain"));
        close = reinterpret_cast<Close>(dlsym(library, "snd_pcm_close"));
    }
    // The library stays loaded for the process: ALSA keeps global state.
    bool usable() const { return open && setParams && nonblock && writei && recover && drain && close; }
};

// ALSA's numbers for the stream, format and access we use.
constexpr int kStreamPlayback = 0;
constexpr int kOpenNonblock = 1;
constexpr int kFormatS16Le = 2;
constexpr int kAccessRwInterleaved = 3;

bool playAlsaTone(unsigned frequencyHz, unsigned durationMs)
{
    static Alsa alsa;
    if (!alsa.usable()) return false;
    void* pcm = nullptr;
    // Non-blocking open: a device held by another program must not hang us.
    if (alsa.open(&pcm, "default", kStreamPlayback, kOpenNonblock) < 0 || !pcm) return false;
    constexpr unsigned rate = 48000;
    if (alsa.nonblock(pcm, 0) < 0 ||
        alsa.setParams(pcm, kFormatS16Le, kAccessRwInterleaved, 1, rate, 1, 100000) < 0) {
        alsa.close(pcm);
        return false;
    }
    const std::size_t frames = static_cast<std::size_t>(rate) * durationMs / 1000;
    std::vector<std::int16_t> samples(frames);
    const double step = 2.0 * 3.14159265358979323846 * frequencyHz / rate;
    for (std::size_t i = 0; i < frames; ++i)
        samples[i] = static_cast<std::int16_t>(std::sin(step * static_cast<double>(i)) * 8000.0);
    std::size_t done = 0;
    bool ok = true;
    while (done < frames) {
        long n = alsa.writei(pcm, samples.data() + done, frames - done);
        if (n < 0) n = alsa.recover(pcm, static_cast<int>(n), 1);
        if (n < 0) {
            ok = false;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (ok) alsa.drain(pcm);
    alsa.close(pcm);
    return ok;
}

} // namespace

void setMessageBoxHandler(MessageBoxHandler handler)
{
    std::lock_guard<std::mutex> guard(hookMutex());
    messageBoxHandler() = std::move(handler);
}

int showMessageBox(const std::string& text, const std::string& caption, unsigned flags)
{
    MessageBoxHandler handler;
    {
        std::lock_guard<std::mutex> guard(hookMutex());
        handler = messageBoxHandler();
    }
    // Called outside the lock: a handler may block on user input.
    if (handler) return handler(text, caption, flags);
    return defaultMessageBox(text, caption, flags);
}

void setMessagePump(MessagePump pump)
{
    std::lock_guard<std::mutex> guard(hookMutex());
    messagePump() = std::move(pump);
}

void pumpMessages()
{
    MessagePump pump;
    {
        std::lock_guard<std::mutex> guard(hookMutex());
        pump = messagePump();
    }
    if (pump) pump();
}

void setToneSink(ToneSink sink)
{
    std::lock_guard<std::mutex> guard(hookMutex());
    toneSink() = std::move(sink);
}

void defaultTone(unsigned frequencyHz, unsigned durationMs)
{
    if (frequencyHz > 0 && playAlsaTone(frequencyHz, durationMs)) return;
    std::fputc('\a', stderr);
    std::fflush(stderr);
    // Callers expect the call to last as long as the tone would.
    std::this_thread::sleep_for(std::chrono::milliseconds(durationMs));
}

void beep(unsigned frequencyHz, unsigned durationMs)
{
    ToneSink sink;
    {
        std::lock_guard<std::mutex> guard(hookMutex());
        sink = toneSink();
    }
    if (sink)
        sink(frequencyHz, durationMs);
    else
        defaultTone(frequencyHz, durationMs);
}

void setDebugOutputHandler(DebugOutputHandler handler)
{
    std::lock_guard<std::mutex> guard(hookMutex());
    debugOutputHandler() = std::move(handler);
}

void outputDebugString(const std::string& text)
{
    DebugOutputHandler handler;
    {
        std::lock_guard<std::mutex> guard(hookMutex());
        handler = debugOutputHandler();
    }
    if (handler) {
        handler(text);
        return;
    }
    // A debugger shows each message on its own line; so does the terminal.
    std::fputs(text.c_str(), stderr);
    if (text.empty() || text.back() != '\n') std::fputc('\n', stderr);
    std::fflush(stderr);
}

} // namespace FenmarlCommonDLL::platform
