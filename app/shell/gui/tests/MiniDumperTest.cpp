#include "app/shell/gui/MiniDumper.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// The presenter runs inside the signal handler: plain write() only.
int presenterLog = -1;
bool answerOk = true;

bool recordingPresenter(const char* caption, const char* text, bool askOk)
{
    const char* kind = askOk ? "ASK " : "TELL ";
    (void)!::write(presenterLog, kind, std::strlen(kind));
    (void)!::write(presenterLog, caption, std::strlen(caption));
    (void)!::write(presenterLog, "|", 1);
    (void)!::write(presenterLog, text, std::strlen(text));
    (void)!::write(presenterLog, "\n--\n", 4);
    return answerOk;
}

std::string readText(const fs::path& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct CrashResult
{
    int status = 0;
    std::string messages;
};

// Crashes a child process with the handler installed and collects what it showed.
CrashResult crashChild(const fs::path& dumpDir, bool ok, int sig)
{
    const fs::path log = fs::path(std::getenv("TESSELON_TEST_SCRATCH")) / "presenter.log";
    fs::remove(log);
    const pid_t child = ::fork();
    if (child == 0) {
        const rlimit noCore{0, 0}; // the faults here are on purpose
        ::setrlimit(RLIMIT_CORE, &noCore);
        presenterLog = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        answerOk = ok;
        static MiniDumper dumper("Tesselon-6");
        dumper.setDumpDirectory(dumpDir.string());
        MiniDumper::setPresenter(recordingPresenter);
        ::raise(sig);
        ::_exit(0);
    }
    CrashResult r;
    ::waitpid(child, &r.status, 0);
    r.messages = readText(log);
    return r;
}

// "Tesselon-6_" six digits "_" six digits ".dmp"
bool isDumpName(const std::string& name)
{
    const std::string prefix = "Tesselon-6_";
    if (name.size() != prefix.size() + 6 + 1 + 6 + 4 || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - 4, 4, ".dmp") != 0 || name[prefix.size() + 6] != '_')
        return false;
    for (std::size_t i = prefix.size(); i < name.size() - 4; ++i)
        if (i != prefix.size() + 6 && (name[i] < '0' || name[i] > '9')) return false;
    return true;
}

std::vector<fs::path> dumps(const fs::path& dir)
{
    std::vector<fs::path> found;
    if (fs::exists(dir))
        for (const auto& e : fs::directory_iterator(dir))
            if (e.path().extension() == ".dmp") found.push_back(e.path());
    return found;
}

TEST(MiniDumper, DumpFileNameIsNameDateAndTime)
{
    std::tm t{};
    t.tm_year = 2024 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 7;
    t.tm_hour = 23;
    t.tm_min = 5;
    t.tm_sec = 9;
    EXPECT_EQ(MiniDumper::dumpFileName("Tesselon-6", t), "Tesselon-6_070324_230509.dmp");
}

TEST(MiniDumper, FaultWritesTheDumpThenTellsWhereItIs)
{
    const fs::path dir = fs::path(std::getenv("TESSELON_TEST_SCRATCH")) / "app";
    fs::create_directories(dir);
    const CrashResult r = crashChild(dir, true, SIGSEGV);
    ASSERT_TRUE(WIFEXITED(r.status));
    EXPECT_EQ(WEXITSTATUS(r.status), 128 + SIGSEGV);

    const auto files = dumps(dir);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(isDumpName(files[0].filename().string())) << files[0];
    const std::string dump = readText(files[0]);
    EXPECT_NE(dump.find("Signal: 11 SIGSEGV"), std::string::npos) << dump;
    EXPECT_NE(dump.find("Address: 0x"), std::string::npos);
    EXPECT_NE(dump.find("Backtrace:\n"), std::string::npos);
    EXPECT_GT(dump.size() - dump.find("Backtrace:\n"), 40u); // at least one frame

    const std::string expected = std::string("ASK Tesselon-6|") + MiniDumper::problemMessage +
                                 "\n--\nTELL Tesselon-6|Saved dump file to '" + files[0].string() + "'\n--\n";
    EXPECT_EQ(r.messages, expected);
}

TEST(MiniDumper, MissingFolderIsReportedAndTheFaultGoesOnToTheSystem)
{
    const fs::path dir = fs::path(std::getenv("TESSELON_TEST_SCRATCH")) / "no" / "such";
    const CrashResult r = crashChild(dir, true, SIGABRT);
    ASSERT_TRUE(WIFSIGNALED(r.status));
    EXPECT_EQ(WTERMSIG(r.status), SIGABRT);
    EXPECT_NE(r.messages.find("TELL Tesselon-6|Failed to create dump file '" + dir.string() + "/Tesselon-6_"),
              std::string::npos)
        << r.messages;
    EXPECT_NE(r.messages.find(".dmp' (error 2)"), std::string::npos);
}

TEST(MiniDumper, RefusedFirstMessageWritesNothing)
{
    const fs::path dir = fs::path(std::getenv("TESSELON_TEST_SCRATCH")) / "refused";
    fs::create_directories(dir);
    const CrashResult r = crashChild(dir, false, SIGFPE);
    ASSERT_TRUE(WIFSIGNALED(r.status));
    EXPECT_EQ(WTERMSIG(r.status), SIGFPE);
    EXPECT_TRUE(dumps(dir).empty());
    EXPECT_EQ(r.messages.find("TELL"), std::string::npos);
}

} // namespace
