// Scan data file reader: any bytes must either load or fail with an archive
// error that leaves the document untouched; never crash, read out of bounds
// or allocate more than the input can describe.
#include "app/acquisition/CCorvelDoc.h"
#include "app/base/Archive.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

// Every data set's series is a temporary file with 640 KiB reserved on the
// disk; sixteen of them per document made file creation, block allocation and
// page zeroing most of each run (about a hundred runs a second). The loader's
// work is the same on the anonymous-memory series an unusable temporary folder
// gives, so the fuzzer points TMPDIR at one where no file can be created (a
// missing folder would fall back to /tmp).
const bool seriesInMemory = [] {
    setenv("TMPDIR", "/proc", 1);
    return true;
}();

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    (void)seriesInMemory;
    CCorvelDoc doc;
    doc.scan.configuration.NoOfSamples = 4321;
    doc.settings.FFTK = 9;
    try {
        ArchiveReader archive(data, size);
        doc.Serialize(archive);
    } catch (const ArchiveException&) {
        if (doc.scan.configuration.NoOfSamples != 4321 || doc.settings.FFTK != 9 ||
            doc.scan.input1.pointCount != 0 || doc.scan.input2.axisCount != 0)
            std::abort();
        return 0;
    }
    for (int i = 0; i < 2; ++i) {
        const ScanData& in = doc.scan.input(i);
        if (in.samplesAcquired < 0 || in.samplesAcquired > in.pointCount || in.spectrumPointCount < 0 ||
            in.spectrumPointCount > 1024 || (in.axisCount != 0 && in.axisCount != 3))
            std::abort();
    }
    if (doc.settings.FFTK < 1 || doc.settings.FFTK > 16) std::abort();
    // What loaded stores and loads back with the same counts.
    std::vector<std::uint8_t> again;
    {
        ArchiveWriter writer(again);
        doc.Serialize(writer);
    }
    CCorvelDoc back;
    ArchiveReader reader(again);
    back.Serialize(reader);
    for (int i = 0; i < 2; ++i) {
        const ScanData& a = doc.scan.input(i);
        const ScanData& b = back.scan.input(i);
        if (a.pointCount != b.pointCount || a.axisCount != b.axisCount ||
            a.samplesAcquired != b.samplesAcquired || a.spectrumPointCount != b.spectrumPointCount)
            std::abort();
    }
    return 0;
}
