// Scan template reader: any bytes must either load or fail with an archive
// error, never crash, read out of bounds or allocate without limit.
#include "app/base/Archive.h"
#include "app/settings/ScanTemplate.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::uint8_t> bytes(data, data + size);
    ScanTemplate t;
    const ScanTemplate before = t;
    try {
        t.load(bytes);
    } catch (const ArchiveException&) {
        // A failed load leaves the pages as they were.
        if (!(t == before)) std::abort();
        return 0;
    }
    // What loaded must store and load back to the same pages.
    std::vector<std::uint8_t> again;
    {
        ArchiveWriter writer(again);
        t.store(writer);
    }
    ScanTemplate reloaded;
    reloaded.load(again);
    // Texts may change once through the code page; compare the numbers.
    if (reloaded.configuration.NoOfSamples != t.configuration.NoOfSamples ||
        reloaded.curve[0].size() != t.curve[0].size() || reloaded.curve[1].size() != t.curve[1].size() ||
        reloaded.spectrumUnits[1] != t.spectrumUnits[1])
        std::abort();
    return 0;
}
