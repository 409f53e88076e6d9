#include "app/shell/gui/MiniDumper.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <execinfo.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int fatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr std::size_t pathCapacity = 4096;

// Everything the handler needs is prepared here, so it never allocates.
struct CrashState
{
    char applicationName[128] = "Tesselon-6";
    char directory[pathCapacity] = ".";
    char selfPath[pathCapacity] = "";
    long utcOffsetSeconds = 0;
    bool canShowWindows = false;
    MiniDumper::Presenter presenter = nullptr;
    struct sigaction previous[std::size(fatalSignals)] = {};
    bool installed = false;
};

CrashState state;
std::atomic<bool> handling{false};
alignas(16) char alternateStack[64 * 1024];

// Small async-signal-safe text builder.
class Text
{
public:
    Text(char* buffer, std::size_t size) : buffer_(buffer), size_(size) { buffer_[0] = 0; }
    Text& add(const char* s)
    {
        while (s && *s && used_ + 1 < size_)
            buffer_[used_++] = *s++;
        buffer_[used_] = 0;
        return *this;
    }
    Text& number(long long value, int width = 0, int base = 10)
    {
        char digits[32];
        int n = 0;
        const bool negative = value < 0;
        unsigned long long v = negative ? 0ull - static_cast<unsigned long long>(value) : value;
        do {
            const int d = static_cast<int>(v % static_cast<unsigned>(base));
            digits[n++] = static_cast<char>(d < 10 ? '0' + d : 'a' + d - 10);
            v /= static_cast<unsigned>(base);
        } while (v && n < 30);
        while (n < width && n < 30)
            digits[n++] = '0';
        if (negative) add("-");
        while (n > 0) {
            const char c[2] = {digits[--n], 0};
            add(c);
        }
        return *this;
    }
    const char* c_str() const { return buffer_; }
    std::size_t size() const { return used_; }

private:
    char* buffer_;
    std::size_t size_;
    std::size_t used_ = 0;
};

const char* signalName(int sig)
{
    switch (sig) {
    case SIGSEGV:
        return "SIGSEGV (invalid memory access)";
    case SIGBUS:
        return "SIGBUS (bus error)";
    case SIGFPE:
        return "SIGFPE (arithmetic error)";
    case SIGILL:
        return "SIGILL (illegal instruction)";
    case SIGABRT:
        return "SIGABRT (abort)";
    default:
        return "signal";
    }
}

// Civil date from a day count (days since 1970-01-01), without the C library.
void civilFromDays(long long z, int* year, int* month, int* day)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    *day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    *year = static_cast<int>(yoe + era * 400 + (*month <= 2 ? 1 : 0));
}

std::tm localTimeNow()
{
    std::tm t{};
    const long long now = static_cast<long long>(::time(nullptr)) + state.utcOffsetSeconds;
    long long days = now / 86400;
    long long seconds = now % 86400;
    if (seconds < 0) {
        seconds += 86400;
        --days;
    }
    int y, m, d;
    civilFromDays(days, &y, &m, &d);
    t.tm_year = y - 1900;
    t.tm_mon = m - 1;
    t.tm_mday = d;
    t.tm_hour = static_cast<int>(seconds / 3600);
    t.tm_min = static_cast<int>(seconds % 3600 / 60);
    t.tm_sec = static_cast<int>(seconds % 60);
    return t;
}

void buildDumpName(Text& out, const char* applicationName, const std::tm& t)
{
    out.add(applicationName).add("_");
    out.number(t.tm_mday, 2).number(t.tm_mon + 1, 2).number((t.tm_year + 1900) % 100, 2).add("_");
    out.number(t.tm_hour, 2).number(t.tm_min, 2).number(t.tm_sec, 2).add(".dmp");
}

bool writeAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Default presenter: a new copy of the program shows the box, so no toolkit
// code runs inside the crashed process. Without a display it writes to stderr.
bool presentInNewProcess(const char* caption, const char* text, bool askOk)
{
    if (!state.canShowWindows || !state.selfPath[0]) {
        writeAll(2, caption, std::strlen(caption));
        writeAll(2, ": ", 2);
        writeAll(2, text, std::strlen(text));
        writeAll(2, "\n", 1);
        return true;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        const char* argv[] = {state.selfPath, MiniDumper::messageSwitch, caption,
                              text,           askOk ? "okcancel" : "ok", nullptr};
        ::execv(state.selfPath, const_cast<char* const*>(argv));
        ::_exit(127);
    }
    if (child < 0) return true;
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    // A helper that could not show anything does not stop the dump.
    return !(WIFEXITED(status) && WEXITSTATUS(status) == 1);
}

void endProcess(int sig, bool dumped)
{
    if (dumped) ::_exit(128 + sig);
    // Not written: let the system handle the fault as it would have.
    struct sigaction dfl
    {
    };
    dfl.sa_handler = SIG_DFL;
    ::sigaction(sig, &dfl, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, sig);
    ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(sig);
    ::_exit(128 + sig);
}

void crashHandler(int sig, siginfo_t* info, void*)
{
    if (handling.exchange(true)) endProcess(sig, false);
    MiniDumper::Presenter present = state.presenter ? state.presenter : presentInNewProcess;

    static char pathBuffer[pathCapacity];
    Text path(pathBuffer, sizeof pathBuffer);
    path.add(state.directory);
    if (path.size() > 0 && pathBuffer[path.size() - 1] != '/') path.add("/");
    buildDumpName(path, state.applicationName, localTimeNow());

    if (!present(state.applicationName, MiniDumper::problemMessage, true)) endProcess(sig, false);

    static char messageBuffer[pathCapacity + 128];
    Text message(messageBuffer, sizeof messageBuffer);
    bool dumped = false;
    const int fd = ::open(pathBuffer, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        message.add("Failed to create dump file '").add(pathBuffer).add("' (error ").number(errno).add(")");
    } else {
        static char headerBuffer[1024];
        Text header(headerBuffer, sizeof headerBuffer);
        header.add(state.applicationName).add(" crash report\n");
        header.add("Signal: ").number(sig).add(" ").add(signalName(sig)).add("\n");
        header.add("Code: ").number(info ? info->si_code : 0).add("\n");
        header.add("Address: 0x")
            .number(info ? reinterpret_cast<long long>(info->si_addr) : 0, 1, 16)
            .add("\n");
        header.add("Process: ").number(::getpid()).add("\n");
        header.add("Thread: ").number(static_cast<long long>(::syscall(SYS_gettid))).add("\n");
        header.add("Backtrace:\n");
        bool ok = writeAll(fd, header.c_str(), header.size());
        void* frames[128];
        const int count = ::backtrace(frames, 128);
        ::backtrace_symbols_fd(frames, count, fd);
        ok = ::fsync(fd) == 0 && ok;
        const int error = errno;
        ::close(fd);
        if (ok) {
            message.add("Saved dump file to '").add(pathBuffer).add("'");
            dumped = true;
        } else {
            message.add("Failed to save dump file to '")
                .add(pathBuffer)
                .add("' (error ")
                .number(error)
                .add(")");
        }
    }
    present(state.applicationName, message.c_str(), false);
    endProcess(sig, dumped);
}

void copyText(char* target, std::size_t capacity, const char* source)
{
    std::snprintf(target, capacity, "%s", source ? source : "");
}

} // namespace

MiniDumper::MiniDumper(const char* applicationName)
{
    copyText(state.applicationName, sizeof state.applicationName, applicationName);
    const ssize_t n = ::readlink("/proc/self/exe", state.selfPath, sizeof state.selfPath - 1);
    state.selfPath[n > 0 ? n : 0] = 0;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    state.utcOffsetSeconds = local.tm_gmtoff;
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const bool offscreen = platform && std::strcmp(platform, "offscreen") == 0;
    state.canShowWindows = !offscreen && (std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY"));

    // backtrace() loads its unwinder on first use; do that now rather than in the handler.
    void* warm[2];
    ::backtrace(warm, 2);

    stack_t stack{};
    stack.ss_sp = alternateStack;
    stack.ss_size = sizeof alternateStack;
    ::sigaltstack(&stack, nullptr);

    struct sigaction action
    {
    };
    action.sa_sigaction = crashHandler;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < std::size(fatalSignals); ++i)
        ::sigaction(fatalSignals[i], &action, &state.previous[i]);
    state.installed = true;
}

MiniDumper::~MiniDumper()
{
    if (!state.installed) return;
    for (std::size_t i = 0; i < std::size(fatalSignals); ++i)
        ::sigaction(fatalSignals[i], &state.previous[i], nullptr);
    state.installed = false;
}

void MiniDumper::setDumpDirectory(const std::string& directory)
{
    copyText(state.directory, sizeof state.directory, directory.c_str());
}

void MiniDumper::setPresenter(Presenter presenter)
{
    state.presenter = presenter;
}

std::string MiniDumper::dumpFileName(const char* applicationName, const std::tm& localTime)
{
    char buffer[256];
    Text name(buffer, sizeof buffer);
    buildDumpName(name, applicationName, localTime);
    return name.c_str();
}

int MiniDumper::runMessageProcess(int argc, char** argv)
{
    if (argc < 5) return 2;
    QApplication app(argc, argv);
    const QString caption = QString::fromLocal8Bit(argv[2]);
    const QString text = QString::fromLocal8Bit(argv[3]);
    const bool first = std::strcmp(argv[4], "okcancel") == 0;
    QMessageBox box(first ? QMessageBox::Critical : QMessageBox::Information, caption, text, QMessageBox::Ok);
    return box.exec() == QMessageBox::Ok ? 0 : 1;
}
