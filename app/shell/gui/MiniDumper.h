#pragma once

#include <ctime>
#include <string>

// The crash handler: on a fatal signal (SIGSEGV, SIGBUS, SIGFPE, SIGILL,
// SIGABRT) it tells the user, writes a diagnostic ".dmp" file with the
// signal details and a backtrace into the application folder, and reports
// where it went. Everything on the signal path is async-signal-safe; the
// messages are shown by a fresh copy of the program.
class MiniDumper
{
public:
    // Shows text; with askOk the user may refuse. Returns true for OK.
    // Must be async-signal-safe.
    using Presenter = bool (*)(const char* caption, const char* text, bool askOk);

    static constexpr const char* problemMessage = "A problem has occured and the application needs to be "
                                                  "shut down.\nA diagnostic file has been created.";

    explicit MiniDumper(const char* applicationName);
    ~MiniDumper();
    MiniDumper(const MiniDumper&) = delete;
    MiniDumper& operator=(const MiniDumper&) = delete;

    // Where the dump goes (the application folder); set once the configuration is known.
    void setDumpDirectory(const std::string& directory);
    static void setPresenter(Presenter presenter);

    // "<name>_ddMMyy_hhmmss.dmp" for a local time.
    static std::string dumpFileName(const char* applicationName, const std::tm& localTime);

    // The default presenter runs the program again with this first argument
    // followed by caption, text and "ok" or "okcancel"; main answers it.
    static constexpr const char* messageSwitch = "--tesselon-crash-message";
    static int runMessageProcess(int argc, char** argv);
};
