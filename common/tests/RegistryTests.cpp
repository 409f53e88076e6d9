#include "common/platform/KnownFolders.h"
#include "common/platform/Registry.h"
#include "common/platform/Win32Error.h"
#include "common/tests/TestScratch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace FenmarlCommonDLL::platform;
using commontest::readFile;
using commontest::writeFile;

namespace {

const std::string kKey = "Software\\Fenmarl\\Tesselon-6\\Defaults";

std::filesystem::path userFile()
{
    return userConfigFolder() / "registry.reg";
}

// Whether a fresh process could take the store's lock right now.
bool lockFreeForAnotherProcess()
{
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = ::open((userConfigFolder() / "registry.reg.lock").c_str(), O_RDWR | O_CREAT, 0666);
        _exit(fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : 1);
    }
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string utf16File(const std::u16string& text)
{
    std::string bytes = "\xFF\xFE";
    for (char16_t u : text) {
        bytes.push_back(static_cast<char>(u & 0xFF));
        bytes.push_back(static_cast<char>(u >> 8));
    }
    return bytes;
}

} // namespace

TEST(Registry, EveryTypeRoundTripsAndIsWrittenAsRegeditText)
{
    RegistryKey key;
    ASSERT_EQ(key.open(RegistryRoot::CurrentUser, kKey, false), kErrorFileNotFound);
    ASSERT_EQ(key.create(RegistryRoot::CurrentUser, kKey), kErrorSuccess);
    const double scaling = 1.5;
    const std::uint32_t samples = 1000;
    ASSERT_EQ(key.setString("DataDirectory", "C:\\Data \"x\""), kErrorSuccess);
    ASSERT_EQ(key.setDword("Flag", 0x12ab), kErrorSuccess);
    ASSERT_EQ(key.setBinary("Samples", &samples, 4), kErrorSuccess);
    ASSERT_EQ(key.setBinary("Scaling", &scaling, 8), kErrorSuccess);
    ASSERT_EQ(key.setString("Lines", "one\r\ntwo"), kErrorSuccess);

    const std::string expected = "Windows Registry Editor Version 5.00\n\n"
                                 "[HKEY_CURRENT_USER\\Software]\n\n"
                                 "[HKEY_CURRENT_USER\\Software\\Fenmarl]\n\n"
                                 "[HKEY_CURRENT_USER\\Software\\Fenmarl\\Tesselon-6]\n\n"
                                 "[HKEY_CURRENT_USER\\Software\\Fenmarl\\Tesselon-6\\Defaults]\n"
                                 "\"DataDirectory\"=\"C:\\\\Data \\\"x\\\"\"\n"
                                 "\"Flag\"=dword:000012ab\n"
                                 "\"Samples\"=hex:e8,03,00,00\n"
                                 "\"Scaling\"=hex:00,00,00,00,00,00,f8,3f\n"
                                 "\"Lines\"=hex(1):6f,00,6e,00,65,00,0d,00,0a,00,74,00,77,00,6f,00,00,00\n\n";
    EXPECT_EQ(readFile(userFile()), expected);

    RegistryKey reader;
    ASSERT_EQ(reader.open(RegistryRoot::CurrentUser, "software\\FENMARL\\tesselon-6\\defaults", false),
              kErrorSuccess);
    std::string text;
    std::uint32_t dword = 0;
    std::uint32_t binary4 = 0;
    double binary8 = 0;
    EXPECT_EQ(reader.queryString("datadirectory", &text), kErrorSuccess);
    EXPECT_EQ(text, "C:\\Data \"x\"");
    EXPECT_EQ(reader.queryString("Lines", &text), kErrorSuccess);
    EXPECT_EQ(text, "one\r\ntwo");
    EXPECT_EQ(reader.queryDword("Flag", &dword), kErrorSuccess);
    EXPECT_EQ(dword, 0x12abu);
    EXPECT_EQ(reader.queryBinary("Samples", &binary4, 4), kErrorSuccess);
    EXPECT_EQ(binary4, 1000u);
    EXPECT_EQ(reader.queryBinary("Scaling", &binary8, 8), kErrorSuccess);
    EXPECT_EQ(binary8, 1.5);

    // Overwriting keeps one value of that name.
    ASSERT_EQ(key.setDword("FLAG", 7), kErrorSuccess);
    EXPECT_EQ(reader.queryDword("Flag", &dword), kErrorSuccess);
    EXPECT_EQ(dword, 7u);
    EXPECT_EQ(key.deleteValue("Flag"), kErrorSuccess);
    EXPECT_EQ(key.deleteValue("Flag"), kErrorFileNotFound);
    EXPECT_EQ(reader.queryDword("Flag", &dword), kErrorFileNotFound);
}

TEST(Registry, WrongTypeSizeAccessAndHandleAreRejected)
{
    RegistryKey key;
    ASSERT_EQ(key.create(RegistryRoot::CurrentUser, kKey), kErrorSuccess);
    const double d = 2.0;
    ASSERT_EQ(key.setBinary("Double", &d, 8), kErrorSuccess);
    ASSERT_EQ(key.setString("Text", "abc"), kErrorSuccess);
    std::uint32_t dword = 0;
    std::uint32_t four = 0;
    std::string text;
    EXPECT_EQ(key.queryBinary("Double", &four, 4), kErrorInvalidData);
    EXPECT_EQ(key.queryDword("Double", &dword), kErrorInvalidData);
    EXPECT_EQ(key.queryString("Double", &text), kErrorInvalidData);
    EXPECT_EQ(key.queryDword("Text", &dword), kErrorInvalidData);
    EXPECT_EQ(key.queryString("Missing", &text), kErrorFileNotFound);
    EXPECT_EQ(key.setValue("Bad", REG_DWORD_, &d, 8), kErrorInvalidParameter);
    EXPECT_EQ(key.setValue("Bad", REG_BINARY_, nullptr, 4), kErrorInvalidParameter);

    RegistryKey readOnly;
    ASSERT_EQ(readOnly.open(RegistryRoot::CurrentUser, kKey, false), kErrorSuccess);
    EXPECT_EQ(readOnly.setDword("X", 1), kErrorAccessDenied);
    EXPECT_EQ(readOnly.deleteValue("Text"), kErrorAccessDenied);

    RegistryKey machine;
    EXPECT_EQ(machine.create(RegistryRoot::LocalMachine, kKey), kErrorAccessDenied);
    EXPECT_EQ(machine.open(RegistryRoot::LocalMachine, kKey, true), kErrorAccessDenied);
    EXPECT_EQ(machine.open(RegistryRoot::LocalMachine, kKey, false), kErrorFileNotFound);

    RegistryKey closed;
    EXPECT_EQ(closed.queryString("Text", &text), kErrorInvalidHandle);
    EXPECT_EQ(closed.setDword("X", 1), kErrorInvalidHandle);
    RegistryKey moved(std::move(key));
    EXPECT_FALSE(key.isOpen());
    EXPECT_EQ(moved.queryString("Text", &text), kErrorSuccess);
}

TEST(Registry, ReadsHandWrittenFilesInBothEncodings)
{
    // UTF-16 with byte-order mark and CR LF, as regedit exports on Windows.
    writeFile(machineConfigFolder() / "registry.reg",
              utf16File(u"Windows Registry Editor Version 5.00\r\n\r\n"
                        u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Fenmarl\\Tesselon-6]\r\n"
                        u"\"InstallDir\"=\"C:\\\\Program Files\\\\Fenmarl\\\\\"\r\n"
                        u"\"Unit\"=\"\u00B5T\"\r\n\r\n"));
    RegistryKey machine;
    ASSERT_EQ(machine.open(RegistryRoot::LocalMachine, "Software\\Fenmarl\\Tesselon-6", false),
              kErrorSuccess);
    std::string text;
    EXPECT_EQ(machine.queryString("InstallDir", &text), kErrorSuccess);
    EXPECT_EQ(text, "C:\\Program Files\\Fenmarl\\");
    EXPECT_EQ(machine.queryString("Unit", &text), kErrorSuccess);
    EXPECT_EQ(text, "\xC2\xB5T");

    // UTF-8 by hand: comments, a default value, a wrapped hex list, a UTF-16 text
    // with its terminator, regedit's deletion lines and an unknown type kept as is.
    std::filesystem::create_directories(userConfigFolder());
    writeFile(userFile(), "Windows Registry Editor Version 5.00\n"
                          "; written by hand\n"
                          "[HKEY_CURRENT_USER\\Software\\Test]\n"
                          "@=\"default\"\n"
                          "\"Wrapped\"=hex:01,02,03,\\\n"
                          "  04,05\n"
                          "\"Hex1\"=hex(1):41,00,42,00,00,00\n"
                          "\"Gone\"=dword:1\n"
                          "\"Gone\"=-\n"
                          "\"Multi\"=hex(7):41,00,00,00,00,00\n"
                          "[-HKEY_CURRENT_USER\\Software\\Removed]\n");
    RegistryKey user;
    ASSERT_EQ(user.open(RegistryRoot::CurrentUser, "Software\\Test", true), kErrorSuccess);
    EXPECT_EQ(user.queryString("", &text), kErrorSuccess);
    EXPECT_EQ(text, "default");
    unsigned char wrapped[5] = {};
    EXPECT_EQ(user.queryBinary("Wrapped", wrapped, 5), kErrorSuccess);
    EXPECT_EQ(std::memcmp(wrapped, "\x01\x02\x03\x04\x05", 5), 0);
    EXPECT_EQ(user.queryString("Hex1", &text), kErrorSuccess);
    EXPECT_EQ(text, "AB");
    std::uint32_t dword = 0;
    EXPECT_EQ(user.queryDword("Gone", &dword), kErrorFileNotFound);

    // A write keeps values of types we do not interpret.
    ASSERT_EQ(user.setDword("New", 1), kErrorSuccess);
    const std::string after = readFile(userFile());
    EXPECT_NE(after.find("\"Multi\"=hex(7):41,00,00,00,00,00\n"), std::string::npos);
    EXPECT_NE(after.find("@=\"default\"\n"), std::string::npos);
    EXPECT_EQ(after.find("Removed"), std::string::npos);
}

TEST(Registry, LongBinaryValuesWrapAndSurviveARoundTrip)
{
    RegistryKey key;
    ASSERT_EQ(key.create(RegistryRoot::CurrentUser, "Software\\Wrap"), kErrorSuccess);
    std::vector<std::uint8_t> big(300);
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<std::uint8_t>(i * 7);
    ASSERT_EQ(key.setBinary("Big", big.data(), big.size()), kErrorSuccess);
    for (const auto& line : commontest::lines(readFile(userFile())))
        EXPECT_LE(line.size(), 80u) << line;
    std::vector<std::uint8_t> back(300);
    EXPECT_EQ(key.queryBinary("Big", back.data(), back.size()), kErrorSuccess);
    EXPECT_EQ(back, big);
}

TEST(Registry, AnUnreadableFileIsKeptAsideNotOverwritten)
{
    std::filesystem::create_directories(userConfigFolder());
    const std::string garbage = "this is not a registry file\n[broken\n";
    writeFile(userFile(), garbage);
    RegistryKey key;
    EXPECT_EQ(key.open(RegistryRoot::CurrentUser, "Software", false), kErrorFileNotFound);
    EXPECT_EQ(readFile(userFile()), garbage); // reading alone changes nothing
    ASSERT_EQ(key.create(RegistryRoot::CurrentUser, "Software\\X"), kErrorSuccess);
    int kept = 0;
    for (const auto& entry : std::filesystem::directory_iterator(userConfigFolder())) {
        if (entry.path().filename().string().rfind("registry.reg.unreadable-", 0) == 0) {
            ++kept;
            EXPECT_EQ(readFile(entry.path()), garbage);
        }
    }
    EXPECT_EQ(kept, 1);
    EXPECT_NE(readFile(userFile()).find("[HKEY_CURRENT_USER\\Software\\X]"), std::string::npos);
    const std::string log = readFile(applicationDataFolder() / "Tesselon" / "Logs" / "FenmarlCommon.log");
    EXPECT_NE(log.find("[WARNING] RegistryStore: Unreadable registry file"), std::string::npos);
}

TEST(Registry, SeesChangesMadeByAnotherProgram)
{
    RegistryKey key;
    ASSERT_EQ(key.create(RegistryRoot::CurrentUser, "Software\\Shared"), kErrorSuccess);
    ASSERT_EQ(key.setDword("A", 1), kErrorSuccess);
    writeFile(userFile(), "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Shared]\n"
                          "\"A\"=dword:00000002\n\"B\"=dword:00000003\n");
    std::uint32_t v = 0;
    EXPECT_EQ(key.queryDword("A", &v), kErrorSuccess);
    EXPECT_EQ(v, 2u);
    ASSERT_EQ(key.setDword("C", 4), kErrorSuccess);
    EXPECT_EQ(key.queryDword("B", &v), kErrorSuccess);
    EXPECT_EQ(v, 3u);
}

TEST(Registry, ConcurrentProcessesDoNotLoseEachOthersValues)
{
    constexpr int kChildren = 4;
    constexpr int kValues = 15;
    std::vector<pid_t> children;
    for (int c = 0; c < kChildren; ++c) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int failures = 0;
            RegistryKey own;
            RegistryKey shared;
            failures += own.create(RegistryRoot::CurrentUser, "Software\\Child" + std::to_string(c)) != 0;
            failures += shared.create(RegistryRoot::CurrentUser, "Software\\Common") != 0;
            for (int i = 0; i < kValues; ++i) {
                failures += own.setDword("V" + std::to_string(i), static_cast<std::uint32_t>(i)) != 0;
                failures += shared.setDword("C" + std::to_string(c) + "_" + std::to_string(i), 1) != 0;
            }
            _exit(failures == 0 ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    RegistryKey shared;
    ASSERT_EQ(shared.open(RegistryRoot::CurrentUser, "Software\\Common", false), kErrorSuccess);
    for (int c = 0; c < kChildren; ++c) {
        RegistryKey own;
        ASSERT_EQ(own.open(RegistryRoot::CurrentUser, "Software\\Child" + std::to_string(c), false),
                  kErrorSuccess);
        for (int i = 0; i < kValues; ++i) {
            std::uint32_t v = 99;
            EXPECT_EQ(own.queryDword("V" + std::to_string(i), &v), kErrorSuccess);
            EXPECT_EQ(v, static_cast<std::uint32_t>(i));
            EXPECT_EQ(shared.queryDword("C" + std::to_string(c) + "_" + std::to_string(i), &v),
                      kErrorSuccess);
        }
    }
}

TEST(Registry, DamagedFilesNeverCrashTheReader)
{
    // Cuts and byte flips of a valid file, plus raw noise: every read either
    // finds the value or reports it missing, and nothing else happens.
    const std::string valid =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\T]\r\n"
        "\"S\"=\"a\\\\b\"\r\n\"D\"=dword:0000002a\r\n\"B\"=hex:01,02,\\\r\n  03\r\n"
        "\"W\"=hex(1):41,00,00,00\r\n";
    std::filesystem::create_directories(userConfigFolder());
    std::mt19937 rng(7);
    for (int round = 0; round < 400; ++round) {
        std::string bytes = valid;
        if (round % 4 == 0) {
            bytes.resize(rng() % (valid.size() + 1));
        } else if (round % 4 == 3) {
            bytes.assign(rng() % 200, '\0');
            for (char& c : bytes)
                c = static_cast<char>(rng());
        } else {
            for (int flips = 0; flips < 3; ++flips)
                bytes[rng() % bytes.size()] = static_cast<char>(rng());
        }
        if (round % 8 == 5) bytes = "\xFF\xFE" + bytes; // as UTF-16, odd length included
        writeFile(userFile(), bytes);
        RegistryKey key;
        const std::uint32_t rc = key.open(RegistryRoot::CurrentUser, "Software\\T", false);
        ASSERT_TRUE(rc == kErrorSuccess || rc == kErrorFileNotFound);
        if (rc != kErrorSuccess) continue;
        std::string text;
        std::uint32_t dword = 0;
        unsigned char three[3];
        for (std::uint32_t r : {key.queryString("S", &text), key.queryDword("D", &dword),
                                key.queryBinary("B", three, 3), key.queryString("W", &text)})
            ASSERT_TRUE(r == kErrorSuccess || r == kErrorFileNotFound || r == kErrorInvalidData);
    }
}

TEST(Registry, ABatchWritesTheFileOnceAndHoldsTheLockUntilThen)
{
    RegistryKey key;
    ASSERT_EQ(key.create(RegistryRoot::CurrentUser, kKey), kErrorSuccess);
    ASSERT_EQ(key.setDword("Before", 1), kErrorSuccess);
    const std::string before = readFile(userFile());
    {
        RegistryBatch outer;
        {
            RegistryBatch inner;
            for (int i = 0; i < 50; ++i)
                ASSERT_EQ(key.setDword("V" + std::to_string(i), static_cast<std::uint32_t>(i)),
                          kErrorSuccess);
            EXPECT_EQ(inner.commit(), kErrorSuccess);
        }
        // Readable at once, on disk only when the outer batch ends.
        std::uint32_t v = 0;
        RegistryKey reader;
        ASSERT_EQ(reader.open(RegistryRoot::CurrentUser, kKey, false), kErrorSuccess);
        EXPECT_EQ(reader.queryDword("V49", &v), kErrorSuccess);
        EXPECT_EQ(v, 49u);
        EXPECT_EQ(readFile(userFile()), before) << "nothing written while a batch is open";

        // Other processes wait for the batch: its store lock is taken.
        EXPECT_FALSE(lockFreeForAnotherProcess());
        EXPECT_EQ(key.deleteValue("Before"), kErrorSuccess);
        EXPECT_EQ(outer.commit(), kErrorSuccess);
        EXPECT_TRUE(lockFreeForAnotherProcess());
    }
    const std::string after = readFile(userFile());
    EXPECT_NE(after.find("\"V0\"=dword:00000000"), std::string::npos);
    EXPECT_NE(after.find("\"V49\"=dword:00000031"), std::string::npos);
    EXPECT_EQ(after.find("\"Before\""), std::string::npos);
}

namespace {

std::vector<std::filesystem::path> filesStartingWith(const std::string& prefix)
{
    std::vector<std::filesystem::path> found;
    for (const auto& entry : std::filesystem::directory_iterator(userConfigFolder()))
        if (entry.path().filename().string().rfind(prefix, 0) == 0) found.push_back(entry.path());
    return found;
}

std::string commonLog()
{
    return readFile(applicationDataFolder() / "Tesselon" / "Logs" / "FenmarlCommon.log");
}

} // namespace

TEST(Registry, AMalformedLineIsLeftOutAndLoggedWhileTheRestIsKept)
{
    std::filesystem::create_directories(userConfigFolder());
    const std::string damaged = "Windows Registry Editor Version 5.00\n\n"
                                "[HKEY_CURRENT_USER\\Software\\A]\n"
                                "\"Kept\"=dword:00000001\n"
                                "\"Bad\"=dword:xyz\n"
                                "\"AlsoKept\"=\"yes\"\n\n"
                                "[HKEY_CURRENT_USER\\Software\\Broken\n"
                                "\"Orphan\"=dword:00000002\n\n"
                                "[HKEY_CURRENT_USER\\Software\\B]\n"
                                "garbage\n"
                                "\"Last\"=hex:01,02\n";
    writeFile(userFile(), damaged);
    RegistryKey a;
    ASSERT_EQ(a.open(RegistryRoot::CurrentUser, "Software\\A", true), kErrorSuccess);
    std::uint32_t v = 0;
    EXPECT_EQ(a.queryDword("Kept", &v), kErrorSuccess);
    EXPECT_EQ(v, 1u);
    std::string text;
    EXPECT_EQ(a.queryString("AlsoKept", &text), kErrorSuccess);
    EXPECT_EQ(a.queryDword("Bad", &v), kErrorFileNotFound);
    RegistryKey b;
    ASSERT_EQ(b.open(RegistryRoot::CurrentUser, "Software\\B", false), kErrorSuccess);
    unsigned char two[2] = {};
    EXPECT_EQ(b.queryBinary("Last", two, 2), kErrorSuccess);
    RegistryKey broken;
    EXPECT_EQ(broken.open(RegistryRoot::CurrentUser, "Software\\Broken", false), kErrorFileNotFound);
    const std::string log = commonLog();
    EXPECT_NE(log.find("4 malformed line(s) left out"), std::string::npos) << log;
    EXPECT_NE(log.find("line 5: unreadable value data"), std::string::npos) << log;
    EXPECT_NE(log.find("line 8: broken key line"), std::string::npos) << log;
    EXPECT_EQ(readFile(userFile()), damaged); // reading alone changes nothing

    // A write keeps every good value and the damaged file beside, never as the backup.
    ASSERT_EQ(a.setDword("New", 3), kErrorSuccess);
    const std::string after = readFile(userFile());
    for (const char* expected : {"\"Kept\"=dword:00000001", "\"AlsoKept\"=\"yes\"", "\"Last\"=hex:01,02",
                                 "\"New\"=dword:00000003"})
        EXPECT_NE(after.find(expected), std::string::npos) << expected;
    EXPECT_EQ(after.find("Bad"), std::string::npos);
    const auto kept = filesStartingWith("registry.reg.damaged-");
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(readFile(kept[0]), damaged);
    EXPECT_FALSE(std::filesystem::exists(userFile().string() + ".bak"));
}

TEST(Registry, TheLastGoodStoreIsKeptAsBackupAndReadWhenTheFileIsUnreadable)
{
    RegistryKey key;
    ASSERT_EQ(key.create(RegistryRoot::CurrentUser, kKey), kErrorSuccess);
    ASSERT_EQ(key.setDword("Value", 1), kErrorSuccess);
    const std::string good = readFile(userFile());
    ASSERT_EQ(key.setDword("Value", 2), kErrorSuccess);
    const std::filesystem::path backup = userFile().string() + ".bak";
    EXPECT_EQ(readFile(backup), good);

    // The file is destroyed: reads fall back to the backup, the next write
    // sets the wreck aside and starts from the backup.
    const std::string wreck = std::string(300, '\0') + "\x01\x02";
    writeFile(userFile(), wreck);
    std::uint32_t v = 0;
    RegistryKey reader;
    ASSERT_EQ(reader.open(RegistryRoot::CurrentUser, kKey, false), kErrorSuccess);
    EXPECT_EQ(reader.queryDword("Value", &v), kErrorSuccess);
    EXPECT_EQ(v, 1u);
    ASSERT_EQ(key.setDword("Other", 5), kErrorSuccess);
    EXPECT_EQ(reader.queryDword("Value", &v), kErrorSuccess);
    EXPECT_EQ(v, 1u);
    const auto aside = filesStartingWith("registry.reg.unreadable-");
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(readFile(aside[0]), wreck);
    EXPECT_NE(commonLog().find("starting from the backup"), std::string::npos);
    EXPECT_NE(readFile(userFile()).find("\"Other\"=dword:00000005"), std::string::npos);
}

TEST(Registry, KeyNamesAndDepthAreBoundedAsWindowsDoes)
{
    RegistryKey key;
    EXPECT_EQ(key.create(RegistryRoot::CurrentUser, "Software\\" + std::string(255, 'n')), kErrorSuccess);
    EXPECT_EQ(key.create(RegistryRoot::CurrentUser, "Software\\" + std::string(256, 'n')),
              kErrorInvalidParameter);
    EXPECT_EQ(key.create(RegistryRoot::CurrentUser, "Software\\\\Empty"), kErrorInvalidParameter);
    std::string deep = "D";
    for (int level = 1; level < 512; ++level)
        deep += "\\D";
    EXPECT_EQ(key.create(RegistryRoot::CurrentUser, deep), kErrorSuccess);
    EXPECT_EQ(key.create(RegistryRoot::CurrentUser, deep + "\\D"), kErrorInvalidParameter);
    EXPECT_EQ(key.open(RegistryRoot::CurrentUser, deep + "\\D", false), kErrorFileNotFound);

    // A 43 KB key path in a file is left out; the file does not grow from it.
    std::string hostile;
    for (int level = 0; level < 4300; ++level)
        hostile += "\\abcdefghi";
    writeFile(userFile(), "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER" + hostile +
                              "]\n\"X\"=dword:1\n\n[HKEY_CURRENT_USER\\Software\\Fine]\n\"Y\"=dword:2\n");
    RegistryKey fine;
    ASSERT_EQ(fine.open(RegistryRoot::CurrentUser, "Software\\Fine", true), kErrorSuccess);
    ASSERT_EQ(fine.setDword("Z", 3), kErrorSuccess);
    EXPECT_LT(std::filesystem::file_size(userFile()), 1000u);
    // A deep path within the bounds lists only itself, not every parent.
    writeFile(userFile(), "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\" + deep + "]\n");
    ASSERT_EQ(fine.create(RegistryRoot::CurrentUser, "Software\\Fine"), kErrorSuccess);
    EXPECT_LT(std::filesystem::file_size(userFile()), 2 * deep.size());
    EXPECT_EQ(key.open(RegistryRoot::CurrentUser, deep.substr(0, 9), false), kErrorSuccess);
}

TEST(Registry, ThousandsOfKeysFromAnotherProgramReadAndWriteBackInTheirOrder)
{
    // Another program's keys in the same file, with ours in the middle.
    constexpr int kKeys = 20000;
    std::string text = "Windows Registry Editor Version 5.00\n\n";
    for (int k = 0; k < kKeys; ++k) {
        text += "[HKEY_CURRENT_USER\\Software\\Other\\Key" + std::to_string(k) + "]\n\"V\"=dword:" +
                std::to_string(k % 10) + "\n\n";
        if (k == kKeys / 2) text += "[HKEY_CURRENT_USER\\" + kKey + "]\n\"Mine\"=dword:00000007\n\n";
    }
    std::filesystem::create_directories(userConfigFolder());
    writeFile(userFile(), text);
    RegistryKey key;
    ASSERT_EQ(key.open(RegistryRoot::CurrentUser, kKey, true), kErrorSuccess);
    std::uint32_t v = 0;
    EXPECT_EQ(key.queryDword("Mine", &v), kErrorSuccess);
    EXPECT_EQ(v, 7u);
    RegistryKey last;
    ASSERT_EQ(last.open(RegistryRoot::CurrentUser, "software\\other\\KEY19999", false), kErrorSuccess);
    ASSERT_EQ(key.setDword("Mine", 8), kErrorSuccess);
    const std::string after = readFile(userFile());
    std::size_t keys = 0;
    std::size_t previous = 0;
    for (int k = 0; k < kKeys; k += 997) {
        const std::size_t at = after.find("[HKEY_CURRENT_USER\\Software\\Other\\Key" + std::to_string(k) + "]");
        ASSERT_NE(at, std::string::npos) << k;
        EXPECT_GT(at, previous) << k;
        previous = at;
    }
    for (std::size_t at = after.find("\n[HKEY"); at != std::string::npos; at = after.find("\n[HKEY", at + 1))
        ++keys;
    // Ours and, once written through the API, its three parents, as regedit lists them.
    EXPECT_EQ(keys, static_cast<std::size_t>(kKeys) + 4);
    EXPECT_NE(after.find("\"Mine\"=dword:00000008"), std::string::npos);
}

TEST(Registry, ValuesDeletedInTheFileLeaveTheRestInTheirOrder)
{
    std::string text = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Many]\n";
    for (int v = 0; v < 100; ++v)
        text += "\"V" + std::to_string(v) + "\"=dword:" + std::to_string(v % 10) + "\n";
    for (int v = 0; v < 100; v += 2)
        text += "\"v" + std::to_string(v) + "\"=-\n"; // names compare without case
    text += "\"V4\"=dword:00000009\n";                // deleted, then set again: last in the key
    std::filesystem::create_directories(userConfigFolder());
    writeFile(userFile(), text);
    RegistryKey key;
    ASSERT_EQ(key.open(RegistryRoot::CurrentUser, "Software\\Many", true), kErrorSuccess);
    std::uint32_t value = 0;
    EXPECT_EQ(key.queryDword("V2", &value), kErrorFileNotFound);
    EXPECT_EQ(key.queryDword("V3", &value), kErrorSuccess);
    EXPECT_EQ(key.deleteValue("V3"), kErrorSuccess);
    EXPECT_EQ(key.deleteValue("V3"), kErrorFileNotFound);
    ASSERT_EQ(key.setDword("New", 1), kErrorSuccess);
    std::vector<std::string> names;
    for (const auto& line : commontest::lines(readFile(userFile())))
        if (line.rfind("\"", 0) == 0) names.push_back(line.substr(0, line.find('=')));
    std::vector<std::string> expected;
    for (int v = 1; v < 100; v += 2)
        if (v != 3) expected.push_back("\"V" + std::to_string(v) + "\"");
    expected.push_back("\"V4\"");
    expected.push_back("\"New\"");
    EXPECT_EQ(names, expected);
}
