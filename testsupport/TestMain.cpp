// gtest main shared by every test binary. Each process gets its own scratch
// HOME so tests never read or write the real user's registry store, logs or
// documents, and tests running in parallel never share files. Under CTest the
// launcher testsupport/run-test.sh has already made one (before the libraries
// loaded); a binary started by hand makes its own here.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

std::string makeScratch()
{
    std::string base = std::filesystem::temp_directory_path().string() + "/tesselon-test-XXXXXX";
    if (const char* keep = std::getenv("TESSELON_TEST_SCRATCH_BASE"))
        base = std::string(keep) + "/tesselon-test-XXXXXX";
    std::string buf = base;
    if (!mkdtemp(buf.data()))
        return {};
    return buf;
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (std::getenv("TESSELON_TEST_SCRATCH"))
        return RUN_ALL_TESTS();
    const std::string scratch = makeScratch();
    if (!scratch.empty()) {
        for (const char* sub : {"/home", "/config", "/data", "/tmp", "/machine", "/home/Documents"})
            std::filesystem::create_directories(scratch + sub);
        setenv("HOME", (scratch + "/home").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (scratch + "/config").c_str(), 1);
        setenv("XDG_DATA_HOME", (scratch + "/data").c_str(), 1);
        setenv("TMPDIR", (scratch + "/tmp").c_str(), 1);
        setenv("FENMARL_MACHINE_CONFIG_DIR", (scratch + "/machine").c_str(), 1);
        setenv("TESSELON_TEST_SCRATCH", scratch.c_str(), 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    }
    const int rc = RUN_ALL_TESTS();
    if (!scratch.empty() && !std::getenv("TESSELON_KEEP_SCRATCH")) {
        std::error_code ec;
        std::filesystem::remove_all(scratch, ec);
    }
    return rc;
}
