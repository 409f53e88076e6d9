// The registry store's .reg reader: any file content must read or be set
// aside cleanly, and a write after it must leave a file the reader accepts.
#include "fuzz/FuzzSupport.h"

#include "common/platform/KnownFolders.h"
#include "common/platform/Registry.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

using namespace FenmarlCommonDLL::platform;

namespace {

std::filesystem::path storeFile()
{
    // In memory where there is /dev/shm: each run replaces the store (with a
    // sync) and may log, and on a disk those syncs were nearly all of a run's
    // time (about 240 runs a second).
    static const std::filesystem::path folder = [] {
        const auto base = fuzzsupport::scratchPath("registry_fuzz_");
        std::filesystem::create_directories(base / "machine");
        setenv("XDG_CONFIG_HOME", base.c_str(), 1);
        setenv("XDG_DATA_HOME", (base / "data").c_str(), 1);
        setenv("FENMARL_MACHINE_CONFIG_DIR", (base / "machine").c_str(), 1);
        return userConfigFolder();
    }();
    std::filesystem::create_directories(folder);
    return folder / "registry.reg";
}

void readEverything(RegistryRoot root)
{
    for (const char* path : {"Software\\Fenmarl\\Tesselon-6", "Software\\Fenmarl\\Tesselon-6\\ScanConfiguration",
                             "Software\\Fenmarl\\Tesselon-6\\Defaults"}) {
        RegistryKey key;
        if (key.open(root, path, false) != 0)
            continue;
        for (const char* name : {"InstallDir", "Version", "NoOfSamples", "SampleInterval", "", "A"}) {
            std::uint32_t type = 0;
            std::vector<std::uint8_t> data;
            key.queryValue(name, &type, &data);
            std::string text;
            key.queryString(name, &text);
            std::uint32_t dword = 0;
            key.queryDword(name, &dword);
            double d = 0;
            key.queryBinary(name, &d, sizeof d);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto file = storeFile();
    std::error_code ec;
    std::filesystem::remove_all(file.parent_path(), ec);
    std::filesystem::create_directories(file.parent_path(), ec);
    fuzzsupport::writeInput(file, data, size);
    readEverything(RegistryRoot::CurrentUser);

    RegistryKey key;
    if (key.create(RegistryRoot::CurrentUser, "Software\\Fenmarl\\Tesselon-6\\Defaults") == 0) {
        {
            // One replacement of the file for both values, as the program saves a key.
            RegistryBatch batch;
            key.setDword("Fuzz", static_cast<std::uint32_t>(size));
            key.setString("FuzzText", std::string(reinterpret_cast<const char*>(data), size < 64 ? size : 64));
            if (batch.commit() != 0) __builtin_trap();
        }
        key.close();
        // What we wrote must read back.
        RegistryKey again;
        std::uint32_t value = 0;
        if (again.open(RegistryRoot::CurrentUser, "Software\\Fenmarl\\Tesselon-6\\Defaults", false) != 0 ||
            again.queryDword("Fuzz", &value) != 0 || value != static_cast<std::uint32_t>(size))
            __builtin_trap();
    }
    return 0;
}
