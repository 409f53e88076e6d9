#include "app/acquisition/ScanFile.h"

#include "app/acquisition/ProgressPulse.h"
#include "app/acquisition/Spectrum.h"
#include "app/base/Archive.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace ScanFile {

namespace {

// Rows are moved through a buffer of this many rows at a time.
constexpr std::uint32_t kChunkRows = 8192;

void badFormat(const std::string& what)
{
    throw ArchiveException(ArchiveException::Cause::BadFormat, what);
}

void storeRows(ArchiveWriter& archive, const MappedSeries& axis, const std::vector<MappedSeries>& values,
               std::uint32_t rows, std::size_t axes)
{
    const std::size_t width = 1 + axes;
    std::vector<double> chunk(kChunkRows * width);
    for (std::uint32_t first = 0; first < rows; first += kChunkRows) {
        const std::uint32_t n = std::min(kChunkRows, rows - first);
        for (std::uint32_t r = 0; r < n; ++r) {
            double* row = &chunk[r * width];
            row[0] = axis.get(first + r);
            for (std::size_t a = 0; a < axes; ++a)
                row[1 + a] = a < values.size() ? values[a].get(first + r) : 0.0;
        }
        archive.writeDoubles(chunk.data(), n * width);
        ProgressPulse();
    }
}

// True when every value of a column of the chunk is +0.0 (all bits clear).
bool columnIsZero(const double* chunk, std::size_t width, std::size_t column, std::uint32_t rows)
{
    std::uint64_t bits = 0;
    for (std::uint32_t r = 0; r < rows; ++r) {
        std::uint64_t b;
        std::memcpy(&b, &chunk[r * width + column], sizeof b);
        bits |= b;
    }
    return bits == 0;
}

// The axis series may hold an earlier record and is always written; the value
// series are new (they read 0), so runs of zeros - the spectrum rows past the
// computed points - are left unwritten and cost neither time nor memory.
void loadRows(ArchiveReader& archive, MappedSeries& axis, std::vector<MappedSeries>& values,
              std::uint32_t rows, bool squareRoot)
{
    const std::size_t axes = values.size();
    const std::size_t width = 1 + axes;
    // No bigger than the rows: a short record needs no 256 KiB buffer.
    std::vector<double> chunk(std::min(kChunkRows, rows) * width);
    double* axisOut = axis.span(0, rows);
    std::vector<double*> out;
    for (MappedSeries& series : values)
        out.push_back(series.span(0, rows));
    for (std::uint32_t first = 0; first < rows; first += kChunkRows) {
        const std::uint32_t n = std::min(kChunkRows, rows - first);
        archive.readDoubles(chunk.data(), n * width);
        for (std::uint32_t r = 0; r < n; ++r)
            axisOut[first + r] = chunk[r * width];
        for (std::size_t a = 0; a < axes; ++a) {
            if (columnIsZero(chunk.data(), width, 1 + a, n)) continue;
            double* column = out[a] + first;
            for (std::uint32_t r = 0; r < n; ++r) {
                const double v = chunk[r * width + 1 + a];
                column[r] = squareRoot ? std::sqrt(v) : v;
            }
        }
    }
}

} // namespace

void storeTime(ArchiveWriter& archive, const SystemTime& t)
{
    for (std::uint16_t v :
         {t.wDay, t.wDayOfWeek, t.wHour, t.wMilliseconds, t.wMinute, t.wMonth, t.wSecond, t.wYear})
        archive.writeUInt16(v);
}

SystemTime loadTime(ArchiveReader& archive)
{
    const std::uint32_t word = archive.readUInt32();
    return loadTimeAfterWord(archive, static_cast<std::int32_t>(word));
}

SystemTime loadTimeAfterWord(ArchiveReader& archive, std::int32_t firstWord)
{
    const auto word = static_cast<std::uint32_t>(firstWord);
    SystemTime t;
    t.wDay = static_cast<std::uint16_t>(word & 0xFFFF);
    t.wDayOfWeek = static_cast<std::uint16_t>(word >> 16);
    t.wHour = archive.readUInt16();
    t.wMilliseconds = archive.readUInt16();
    t.wMinute = archive.readUInt16();
    t.wMonth = archive.readUInt16();
    t.wSecond = archive.readUInt16();
    t.wYear = archive.readUInt16();
    return t;
}

void storeScanData(ArchiveWriter& archive, const ScanData& data)
{
    const std::int32_t points = std::max(data.pointCount, 0);
    const std::int32_t axes = std::clamp(data.axisCount, 0, kMaxAxes);
    archive.writeInt32(points);
    archive.writeInt32(axes);
    archive.writeInt32(data.samplesAcquired);
    archive.writeInt32(data.spectrumPointCount);
    archive.writeInt32(data.averagesCompleted);
    archive.writeByte(data.reservedFlag);
    const auto rows = static_cast<std::uint32_t>(points);
    storeRows(archive, data.timeAxis, data.timeData, rows, static_cast<std::size_t>(axes));
    storeRows(archive, data.frequencyAxis, data.spectrum, rows, static_cast<std::size_t>(axes));
}

void loadScanData(ArchiveReader& archive, ScanData& data, std::int32_t version)
{
    const std::int32_t points = archive.readInt32();
    const std::int32_t axes = archive.readInt32();
    const std::int32_t samples = archive.readInt32();
    const std::int32_t spectrumPoints = archive.readInt32();
    const std::int32_t averages = archive.readInt32();
    // No writer produces other counts: a file that holds them was changed or
    // damaged, and everything after them would be misread.
    if (points < 0) badFormat("Negative point count " + std::to_string(points));
    if (axes != 0 && axes != kMaxAxes) badFormat("Unsupported axis count " + std::to_string(axes));
    if (samples < 0 || samples > points)
        badFormat("Acquired sample count " + std::to_string(samples) + " outside 0 ... " + std::to_string(points));
    if (spectrumPoints < 0 || spectrumPoints > SpectrumConstants::kSpectrumLength)
        badFormat("Spectrum point count " + std::to_string(spectrumPoints) + " outside 0 ... " +
                  std::to_string(SpectrumConstants::kSpectrumLength));
    const std::uint8_t reserved = version == 0 ? 1 : archive.readByte();
    // Both row sections must be in the file before anything is allocated.
    archive.requireAvailable(2 * static_cast<std::uint64_t>(points),
                             (1 + static_cast<std::uint64_t>(axes)) * 8);

    data.pointCount = points;
    data.axisCount = axes;
    // A loaded record has the file's size: memory, not temporary files.
    data.allocate(MappedSeries::Backing::Memory);
    const bool powers = version == 0 || version == -1 || version == -2;
    loadRows(archive, data.timeAxis, data.timeData, static_cast<std::uint32_t>(points), false);
    loadRows(archive, data.frequencyAxis, data.spectrum, static_cast<std::uint32_t>(points), powers);
    data.samplesAcquired = samples;
    data.spectrumPointCount = spectrumPoints;
    data.averagesCompleted = averages;
    data.reservedFlag = reserved;
}

} // namespace ScanFile
