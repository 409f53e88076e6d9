#include "common/platform/Hooks.h"
#include "common/platform/KnownFolders.h"
#include "common/tests/TestScratch.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace FenmarlCommonDLL;
using commontest::scratch;

TEST(Hooks, DefaultMessageBoxPrintsAndAnswersPositively)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(platform::showMessageBox("text", "Caption", platform::MB_OK_ | platform::MB_ICONERROR_),
              platform::IDOK_);
    EXPECT_EQ(platform::showMessageBox("q?", "Ask", platform::MB_YESNO_ | platform::MB_ICONQUESTION_),
              platform::IDYES_);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Caption: text\nAsk: q?\n");

    platform::setMessageBoxHandler(
        [](const std::string&, const std::string&, unsigned) { return platform::IDNO_; });
    EXPECT_EQ(platform::showMessageBox("q?", "Ask", platform::MB_YESNO_), platform::IDNO_);
    platform::setMessageBoxHandler(nullptr);
}

TEST(Hooks, PumpAndToneGoToTheInstalledHooks)
{
    platform::pumpMessages(); // no pump installed: nothing happens
    int pumped = 0;
    platform::setMessagePump([&] { ++pumped; });
    platform::pumpMessages();
    platform::pumpMessages();
    platform::setMessagePump(nullptr);
    platform::pumpMessages();
    EXPECT_EQ(pumped, 2);

    std::vector<std::pair<unsigned, unsigned>> tones;
    platform::setToneSink([&](unsigned f, unsigned ms) { tones.emplace_back(f, ms); });
    platform::beep(500, 500);
    platform::setToneSink(nullptr);
    ASSERT_EQ(tones.size(), 1u);
    EXPECT_EQ(tones[0], std::make_pair(500u, 500u));
}

TEST(KnownFolders, UserDirsTextIsReadAsXdgUserDirReadsIt)
{
    using platform::documentsFolderFromUserDirs;
    const std::filesystem::path home = "/home/u";
    EXPECT_EQ(documentsFolderFromUserDirs("XDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n", home), "/home/u/Docs");
    EXPECT_EQ(documentsFolderFromUserDirs("  XDG_DOCUMENTS_DIR=/srv/docs\r\n", home), "/srv/docs");
    EXPECT_EQ(documentsFolderFromUserDirs("XDG_DOCUMENTS_DIR=\"$HOME\"", home), "/home/u");
    // The first usable line counts; other folders and relative values do not.
    EXPECT_EQ(documentsFolderFromUserDirs("XDG_DOCUMENTS_DIR=relative\nXDG_DOCUMENTS_DIR=/b\n"
                                          "XDG_DOCUMENTS_DIR=/c\n",
                                          home),
              "/b");
    EXPECT_EQ(documentsFolderFromUserDirs("XDG_DESKTOP_DIR=/d\n# XDG_DOCUMENTS_DIR=/e\n", home), "");
    // "$HOMEX" is not the home folder followed by X.
    EXPECT_EQ(documentsFolderFromUserDirs("XDG_DOCUMENTS_DIR=\"$HOMEX\"", home), "");
    EXPECT_EQ(documentsFolderFromUserDirs("", home), "");
}

TEST(KnownFolders, FollowTheEnvironment)
{
    EXPECT_EQ(platform::applicationDataFolder(), scratch() / "data");
    EXPECT_EQ(platform::userConfigFolder(), scratch() / "config" / "Fenmarl");
    EXPECT_EQ(platform::machineConfigFolder(), scratch() / "machine");
    EXPECT_EQ(platform::temporaryFolder(), scratch() / "tmp");
    EXPECT_EQ(platform::documentsFolder(), scratch() / "home" / "Documents");

    commontest::writeFile(scratch() / "config" / "user-dirs.dirs",
                          "# comment\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n");
    EXPECT_EQ(platform::documentsFolder(), scratch() / "home" / "Docs");

    // Relative XDG values are ignored, as the XDG rules say.
    const std::string saved = std::getenv("XDG_DATA_HOME");
    setenv("XDG_DATA_HOME", "relative/path", 1);
    EXPECT_EQ(platform::applicationDataFolder(), scratch() / "home" / ".local" / "share");
    setenv("XDG_DATA_HOME", saved.c_str(), 1);
}
