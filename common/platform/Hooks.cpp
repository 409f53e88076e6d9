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

// The installed hooks, replaced and read under one lock and called outside
// it: a handler may block on user input.
struct Installed
{
    std::mutex lock;
    MessageBoxHandler messageBox;
    MessagePump pump;
    ToneSink tone;
    DebugOutputHandler debugOutput;
};

Installed& installed()
{
    static Installed hooks;
    return hooks;
}

template <typename Hook> void install(Hook Installed::*slot, Hook hook)
{
    std::lock_guard<std::mutex> guard(installed().lock);
    installed().*slot = std::move(hook);
}

template <typename Hook> Hook current(Hook Installed::*slot)
{
    std::lock_guard<std::mutex> guard(installed().lock);
    return installed().*slot;
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
    install(&Installed::messageBox, std::move(handler));
}

int showMessageBox(const std::string& text, const std::string& caption, unsigned flags)
{
    if (const MessageBoxHandler handler = current(&Installed::messageBox))
        return handler(text, caption, flags);
    return defaultMessageBox(text, caption, flags);
}

void setMessagePump(MessagePump pump)
{
    install(&Installed::pump, std::move(pump));
}

void pumpMessages()
{
    if (const MessagePump pump = current(&Installed::pump)) pump();
}

void setToneSink(ToneSink sink)
{
    install(&Installed::tone, std::move(sink));
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
    if (const ToneSink sink = current(&Installed::tone))
        sink(frequencyHz, durationMs);
    else
        defaultTone(frequencyHz, durationMs);
}

void setDebugOutputHandler(DebugOutputHandler handler)
{
    install(&Installed::debugOutput, std::move(handler));
}

void outputDebugString(const std::string& text)
{
    if (const DebugOutputHandler handler = current(&Installed::debugOutput)) {
        handler(text);
        return;
    }
    // A debugger shows each message on its own line; so does the terminal.
    std::fputs(text.c_str(), stderr);
    if (text.empty() || text.back() != '\n') std::fputc('\n', stderr);
    std::fflush(stderr);
}

} // namespace FenmarlCommonDLL::platform
