// The library as the application uses it: loaded by name, never linked.
#include "firmware_loader/tests/LoaderTestSupport.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <dlfcn.h>

namespace {

using namespace LoaderTest;

std::size_t threadCount()
{
    std::size_t count = 0;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.') ++count;
        closedir(dir);
    }
    return count;
}

TEST(Library, LoadAndUnloadInALoopLeavesNoThreadBehind)
{
    emptyBus(); // the bus's own thread exists before counting
    const std::size_t baseline = threadCount();
    constexpr int kRounds = 5;
    for (int round = 0; round < kRounds; ++round) {
        void* library = dlopen(besideProgram("libAmbrel.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
        auto init = reinterpret_cast<int (*)()>(dlsym(library, "Ambrel_Init"));
        ASSERT_NE(init, nullptr);
        EXPECT_EQ(init(), 0);
        EXPECT_EQ(threadCount(), baseline + 1) << "one background thread per load";
        ASSERT_EQ(dlclose(library), 0);
        EXPECT_EQ(dlopen(besideProgram("libAmbrel.so").c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr)
            << "the library must really unload";
        EXPECT_EQ(threadCount(), baseline);
    }
    const std::string text = readFile(libraryLogPath());
    EXPECT_EQ(countOccurrences(text, "[NOTE] Firmware Driver: Loaded."), std::size_t{kRounds});
    EXPECT_EQ(countOccurrences(text, "[NOTE] Firmware Driver: Unloaded."), std::size_t{kRounds});
}

TEST(Library, LoadedLibraryUploadsToAnArrivingDevice)
{
    auto& bus = emptyBus();
    void* library = dlopen(besideProgram("libAmbrel.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    auto device = makeBareDevice();
    bus.plug(device);
    EXPECT_TRUE(waitFor([&] { return device->reenumerated(); }));
    EXPECT_TRUE(waitFor([&] { return !bus.enumerate(FenmarlUsb::DeviceClassId::Instrument).empty(); }));
    ASSERT_EQ(dlclose(library), 0);
    const std::string text = readFile(libraryLogPath());
    EXPECT_NE(text.find("Tesselon's firmware update complete."), std::string::npos) << text;
    bus.reset();
}

} // namespace
