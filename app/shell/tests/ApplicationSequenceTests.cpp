#include "app/acquisition/tests/ScanThreadTestSupport.h"

#include "app/base/AppLog.h"
#include "app/shell/ApplicationSequence.h"
#include "app/base/ScriptedUserInteraction.h"
#include "app/shell/SilentUserInteraction.h"
#include "common/Logger.h"
#include "common/platform/Text.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace FenmarlCommonDLL::platform;

namespace {

std::string readText(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::shared_ptr<FenmarlCommonDLL::Logger> scratchLogger(const std::string& path)
{
    return std::make_shared<FenmarlCommonDLL::Logger>(utf8ToWide(path), 40960, true, true);
}

} // namespace

TEST(ApplicationLog, TypesPickTheLevelAndTheDiagnosticsSeeEveryMessage)
{
    const std::string path = ScanTest::scratchFolder() + "/log/app.log";
    std::vector<std::string> lines;
    ApplicationLog log(scratchLogger(path), [&](const std::string& line) { lines.push_back(line); });
    log.logToLogFile("Main Frame", "one", LogInformation);
    log.logToLogFile("Main Frame", "two", LogWarning);
    log.logToLogFile("Tesselon", "three", LogError);
    log.logToLogFile("Tesselon", "", LogInformation);
    log.logToLogFile("Tesselon", "four", 7);

    const std::string text = readText(path);
    EXPECT_NE(text.find("[NOTE] Main Frame: one"), std::string::npos);
    EXPECT_NE(text.find("[WARNING] Main Frame: two"), std::string::npos);
    EXPECT_NE(text.find("[ERROR] Tesselon: three"), std::string::npos);
    EXPECT_NE(text.find("CCorvelApp::logToLogFile, unknown LogFileMessageType"), std::string::npos);
    EXPECT_EQ(text.find("four"), std::string::npos) << "an unknown type writes the complaint instead";
    EXPECT_EQ(lines,
              (std::vector<std::string>{"Main Frame: one", "Main Frame: two", "Tesselon: three",
                                        "Tesselon: CCorvelApp::logToLogFile, unknown LogFileMessageType"}))
        << "empty messages never reach the diagnostics window";
}

TEST(ApplicationSequence, StartedAndExitFrameTheLogAndBadSwitchesAreReported)
{
    const std::string path = ScanTest::scratchFolder() + "/log/seq.log";
    ScriptedUserInteraction ui;
    {
        ApplicationSequence application(scratchLogger(path), {}, false);
        EXPECT_EQ(GetApplicationLog(), &application.log());
        EXPECT_FALSE(
            application.parseCommandLine(RawCommandLineFromArguments({"-n3", "-x", "abc", "-s"}), ui));
        EXPECT_EQ(application.switches().inputCount, 2);
        EXPECT_TRUE(application.switches().silentMode) << "parsing goes on after an error";
    }
    EXPECT_EQ(GetApplicationLog(), nullptr);
    const auto messages = ui.messages();
    ASSERT_EQ(messages.size(), 2u) << "two errors, two message boxes";
    EXPECT_EQ(messages[0].text, kBadInputCountMessage);
    EXPECT_EQ(messages[1].text, kUnknownParameterMessage);
    for (const auto& m : messages) {
        EXPECT_EQ(m.caption, "Tesselon-6");
        EXPECT_EQ(m.icon(), MB_ICONERROR_);
    }
    const std::string text = readText(path);
    const auto started = text.find("[NOTE] Tesselon: Started");
    const auto commandLine =
        text.find("Tesselon: Application started with command line: \"-n3\" \"-x\" \"abc\" \"-s\"");
    const auto error = text.find(std::string("[ERROR] Tesselon: ") + kUnknownParameterMessage);
    const auto exit = text.find("[NOTE] Tesselon: Exit");
    ASSERT_NE(started, std::string::npos);
    ASSERT_NE(commandLine, std::string::npos);
    ASSERT_NE(error, std::string::npos);
    ASSERT_NE(exit, std::string::npos);
    EXPECT_LT(started, commandLine);
    EXPECT_LT(error, exit);
}

TEST(ApplicationSequence, AGoodCommandLineParsesWithoutMessages)
{
    const std::string path = ScanTest::scratchFolder() + "/log/ok.log";
    ScriptedUserInteraction ui;
    ApplicationSequence application(scratchLogger(path), {}, false);
    EXPECT_TRUE(
        application.parseCommandLine(RawCommandLineFromArguments({"-S", "-r", "-o/x/out", "-n1"}), ui));
    EXPECT_TRUE(ui.messages().empty());
    EXPECT_TRUE(application.switches().silentMode);
    EXPECT_TRUE(application.switches().writeResultFile);
    EXPECT_EQ(application.switches().outputFolder, "/x/out");
    EXPECT_EQ(application.switches().inputCount, 1);
}

TEST(SilentUserInteraction, AnswersSoThatAnUnattendedRunGoesOn)
{
    std::vector<std::string> lines;
    SilentUserInteraction ui([&](const std::string& line) { lines.push_back(line); });
    EXPECT_EQ(ui.messageBox("The data maybe aliased.\nWould you like to continue?", "Acquisition",
                            MB_YESNO_ | MB_ICONEXCLAMATION_),
              IDYES_);
    EXPECT_EQ(ui.messageBox("Error - No Tesselon-6 found", "Error", MB_OK_ | MB_ICONERROR_), IDOK_);
    EXPECT_TRUE(ui.chooseFile({}).empty());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "Error: Error - No Tesselon-6 found");
}
