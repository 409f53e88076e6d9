#include "common/Logger.h"
#include "common/platform/Hooks.h"
#include "common/platform/Text.h"
#include "common/tests/TestScratch.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <map>
#include <thread>

using namespace FenmarlCommonDLL;
using commontest::lines;
using commontest::readFile;
using commontest::scratch;
using commontest::wide;

namespace {

const std::string kBanner = "--------------------------- Log File Started ---------------------------";
// "dd/mm/yy hh:mm:ss.mmm [LEVEL] source: message"
bool isLogLine(const std::string& line)
{
    const std::string digits = "dd/dd/dd dd:dd:dd.ddd [";
    if (line.size() < digits.size()) return false;
    for (size_t i = 0; i < digits.size(); ++i) {
        const bool ok = digits[i] == 'd' ? (line[i] >= '0' && line[i] <= '9') : line[i] == digits[i];
        if (!ok) return false;
    }
    const std::string rest = line.substr(digits.size());
    for (const char* level : {"NOTE] ", "WARNING] ", "ERROR] "}) {
        if (rest.rfind(level, 0) == 0) return rest.find(": ", std::string(level).size()) != std::string::npos;
    }
    return false;
}

} // namespace

TEST(Logger, FormatsTimeWithThreeDigitMillisecondsAndTwoDigitYear)
{
    std::tm tm{};
    tm.tm_year = 124; // 2024
    tm.tm_mon = 2;
    tm.tm_mday = 5;
    tm.tm_hour = 14;
    tm.tm_min = 7;
    tm.tm_sec = 9;
    tm.tm_isdst = -1;
    const auto when = std::chrono::system_clock::from_time_t(std::mktime(&tm)) + std::chrono::milliseconds(7);
    EXPECT_EQ(Logger::formatLine(when, "WARNING", "CUSBLib::OpenDevice", "failed"),
              "05/03/24 14:07:09.007 [WARNING] CUSBLib::OpenDevice: failed");
    EXPECT_EQ(Logger::formatLine(when + std::chrono::milliseconds(993), "NOTE", "a", "b"),
              "05/03/24 14:07:10.000 [NOTE] a: b");
}

TEST(Logger, CreatesMissingFolderWithParentsAndStartsWithBanner)
{
    const auto file = scratch() / "one" / "two" / "three" / "Tesselon.log";
    Logger log(wide(file), 40960, true, true);
    log.logNote("Tesselon", "Started");
    log.logWarning("W", "second");
    log.logError("E", "third");
    const auto got = lines(readFile(file));
    ASSERT_EQ(got.size(), 4u);
    for (const auto& l : got)
        EXPECT_TRUE(isLogLine(l)) << l;
    EXPECT_NE(got[0].find(" [NOTE] LogFile: " + kBanner), std::string::npos);
    EXPECT_EQ(got[0].size(), 21 + std::string(" [NOTE] LogFile: ").size() + 72);
    EXPECT_NE(got[1].find("[NOTE] Tesselon: Started"), std::string::npos);
    EXPECT_NE(got[2].find("[WARNING] W: second"), std::string::npos);
    EXPECT_NE(got[3].find("[ERROR] E: third"), std::string::npos);
    EXPECT_EQ(log.logFilePath(), wide(file));
    EXPECT_EQ(log.logFileDirectory(), wide(file.parent_path()));
}

TEST(Logger, DisabledLoggerWritesNothingUntilEnabled)
{
    const auto file = scratch() / "disabled" / "x.log";
    Logger log(wide(file), 40960, false, true);
    log.logNote("S", "dropped");
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_FALSE(log.isEnabled());
    log.setEnabled(true);
    log.logNote("S", "kept");
    const auto got = lines(readFile(file));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_NE(got[0].find("[NOTE] S: kept"), std::string::npos);
}

TEST(Logger, TrimsToTheCap)
{
    // Cap 0: every line goes again at once.
    const auto zero = scratch() / "cap0.log";
    {
        Logger log(wide(zero), 0, true, false);
        log.logNote("S", "gone");
    }
    EXPECT_TRUE(std::filesystem::exists(zero));
    EXPECT_EQ(std::filesystem::file_size(zero), 0u);

    // A single line longer than the cap is removed with everything before it.
    const auto longLine = scratch() / "long.log";
    Logger log(wide(longLine), 200, true, false);
    log.logNote("S", "short");
    log.logNote("S", std::string(300, 'x'));
    EXPECT_EQ(std::filesystem::file_size(longLine), 0u);

    // Oldest lines go first; the newest survives.
    for (int i = 0; i < 20; ++i)
        log.logNote("S", "entry " + std::to_string(i));
    const auto got = lines(readFile(longLine));
    EXPECT_LE(std::filesystem::file_size(longLine), 200u);
    ASSERT_FALSE(got.empty());
    EXPECT_NE(got.back().find("entry 19"), std::string::npos);
    // Adding the line before the first kept one would have passed the cap.
    EXPECT_GT(std::filesystem::file_size(longLine) + got.front().size() + 1, 200u);
}

TEST(Logger, ManyThreadsAtTheCapKeepWholeLinesAndTheNewest)
{
    const auto file = scratch() / "threads" / "t.log";
    Logger log(wide(file), 40960, true, false);
    constexpr int kThreads = 4;
    constexpr int kLines = 600;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&log, t] {
            for (int i = 0; i < kLines; ++i)
                log.logNote("T" + std::to_string(t),
                            "line " + std::to_string(i) + " " + std::string(40, 'a' + t));
        });
    }
    for (auto& th : threads)
        th.join();
    log.logNote("Main", "last");

    const std::string content = readFile(file);
    EXPECT_LE(content.size(), 40960u);
    EXPECT_GT(content.size(), 40960u - 200);
    const auto got = lines(content);
    ASSERT_FALSE(got.empty());
    EXPECT_NE(got.back().find("Main: last"), std::string::npos);
    // Only a prefix of the history is ever dropped: each thread's kept lines are
    // whole, in order, without gaps, and run to its last line.
    std::map<int, std::vector<int>> seen;
    for (size_t i = 0; i + 1 < got.size(); ++i) {
        ASSERT_TRUE(isLogLine(got[i])) << got[i];
        const size_t at = got[i].find("] T");
        ASSERT_NE(at, std::string::npos) << got[i];
        int thread = -1;
        int id = -1;
        char tail[64] = {};
        ASSERT_EQ(std::sscanf(got[i].c_str() + at, "] T%d: line %d %63s", &thread, &id, tail), 3) << got[i];
        ASSERT_EQ(std::string(tail), std::string(40, static_cast<char>('a' + thread))) << got[i];
        seen[thread].push_back(id);
    }
    for (const auto& [t, ids] : seen) {
        for (size_t i = 1; i < ids.size(); ++i)
            ASSERT_EQ(ids[i], ids[i - 1] + 1) << "thread " << t;
        EXPECT_EQ(ids.back(), kLines - 1) << "thread " << t;
    }
}

TEST(Logger, ReportsAFolderThatCannotBeCreatedOnceAndDropsEntries)
{
    const auto blocker = scratch() / "plainfile";
    commontest::writeFile(blocker, "x");
    const auto file = blocker / "sub" / "x.log";
    std::vector<std::tuple<std::string, std::string, unsigned>> boxes;
    platform::setMessageBoxHandler([&](const std::string& text, const std::string& caption, unsigned flags) {
        boxes.emplace_back(text, caption, flags);
        return platform::IDOK_;
    });
    {
        Logger log(wide(file), 40960, true, true);
        log.logError("S", "lost");
        Logger quiet(wide(file), 40960, true, false);
        quiet.logError("S", "lost");
    }
    platform::setMessageBoxHandler(nullptr);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(std::get<0>(boxes[0]), "Unable to create log directory for log file: " + file.string());
    EXPECT_EQ(std::get<1>(boxes[0]), "Logger::ensureLogFileDirectoryExists");
    EXPECT_EQ(std::get<2>(boxes[0]), platform::MB_ICONEXCLAMATION_);
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST(Logger, WindowsStylePathNamesTheSameFile)
{
    const std::wstring path = wide(scratch()) + L"\\Tesselon\\Logs\\Torvane.log";
    Logger log(path, 40960, true, false);
    EXPECT_TRUE(std::filesystem::exists(scratch() / "Tesselon" / "Logs" / "Torvane.log"));
}

TEST(Logger, AnEntryWithLineBreaksStaysOneLine)
{
    // A logged message box of two lines, in every line-end form.
    const auto path = scratch() / "breaks" / "Breaks.log";
    {
        Logger log(wide(path), 40960, true, false);
        log.logWarning("Configure", "Sample interval too short, the minimum is 5s.\nSetting sample interval to 5s");
        log.logError("Windows\r\nsource", "one\r\ntwo\rthree\n\nfour\n");
        log.logNote("Plain", "no break");
    }
    const auto all = lines(readFile(path));
    ASSERT_EQ(all.size(), 4u); // banner and the three entries
    for (const auto& line : all)
        EXPECT_TRUE(isLogLine(line)) << line;
    EXPECT_NE(all[1].find("[WARNING] Configure: Sample interval too short, the minimum is 5s. | Setting sample "
                          "interval to 5s"),
              std::string::npos)
        << all[1];
    EXPECT_NE(all[2].find("[ERROR] Windows | source: one | two | three |  | four"), std::string::npos) << all[2];
    EXPECT_EQ(all[2].back(), 'r');
    EXPECT_NE(all[3].find("[NOTE] Plain: no break"), std::string::npos);
}
