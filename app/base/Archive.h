#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// The binary archive of scan data files (.ts6) and scan templates (.tst):
// little-endian integers, 8-byte IEEE doubles and length-prefixed texts held
// in code page 1252 on disk and in UTF-8 in memory.
//
// Text length prefix (length in characters):
//   < 255            one byte
//   < 0xFFFE         0xFF, 16-bit length
//   < 0xFFFFFFFF     0xFF, 0xFFFF, 32-bit length
//   otherwise        0xFF, 0xFFFF, 0xFFFFFFFF, 64-bit length
// A reader also accepts the UTF-16 form: 0xFF, 0xFFFE, then a prefix as above
// and that many UTF-16LE code units.
//
// Failures are exceptions (ArchiveException): a reader never reads past the
// end of its data and checks every count against the bytes left before it
// allocates. Callers catch at the command that started the load or save.

class ArchiveException : public std::runtime_error
{
public:
    enum class Cause {
        EndOfFile,   // fewer bytes left than the field needs
        BadFormat,   // a value that cannot be right (impossible length, count, version)
        ReadFailed,  // the operating system refused to read
        WriteFailed, // the operating system refused to write or rename
        OpenFailed,  // the file could not be opened or created
    };

    ArchiveException(Cause cause, const std::string& what) : std::runtime_error(what), cause_(cause) {}
    Cause cause() const { return cause_; }

private:
    Cause cause_;
};

class ArchiveWriter
{
public:
    // Writes into a temporary file beside `path`; commit() flushes it and
    // renames it over `path`, so a failed save never destroys the old file.
    // Destruction without commit() removes the temporary file.
    explicit ArchiveWriter(const std::filesystem::path& path, std::size_t bufferSize = 4096);
    // Appends to `memory` (kept by the caller for the writer's life).
    explicit ArchiveWriter(std::vector<std::uint8_t>& memory);
    ~ArchiveWriter();
    ArchiveWriter(const ArchiveWriter&) = delete;
    ArchiveWriter& operator=(const ArchiveWriter&) = delete;

    void writeBytes(const void* data, std::size_t size);
    void writeByte(std::uint8_t value) { writeBytes(&value, 1); }
    void writeInt16(std::int16_t value);
    void writeUInt16(std::uint16_t value);
    void writeInt32(std::int32_t value);
    void writeUInt32(std::uint32_t value);
    void writeUInt64(std::uint64_t value);
    void writeDouble(double value);
    void writeDoubles(const double* values, std::size_t count);
    // A value per input (or per curve), in index order.
    template <std::size_t N>
    void writeInt32s(const std::int32_t (&values)[N])
    {
        for (const std::int32_t v : values)
            writeInt32(v);
    }
    template <std::size_t N>
    void writeDoubles(const double (&values)[N])
    {
        writeDoubles(values, N);
    }
    // UTF-8 text, stored in code page 1252 (characters without a 1252 form become '?').
    void writeText(const std::string& utf8);

    // Pushes the buffer to the file (memory writers: no effect).
    void flush();
    // File writers: flush, sync and replace the target file.
    void commit();

    std::uint64_t bytesWritten() const { return written_; }

private:
    void writeLengthPrefix(std::uint64_t length);
    void spill();

    std::vector<std::uint8_t>* memory_ = nullptr;
    std::FILE* file_ = nullptr;
    std::filesystem::path target_;
    std::filesystem::path temporary_;
    std::vector<std::uint8_t> buffer_;
    std::size_t used_ = 0;
    std::uint64_t written_ = 0;
    bool committed_ = false;
};

class ArchiveReader
{
public:
    // Reads a whole file through a buffer; throws OpenFailed when it cannot be opened.
    explicit ArchiveReader(const std::filesystem::path& path, std::size_t bufferSize = 65536);
    // Reads from memory the caller keeps alive.
    ArchiveReader(const std::uint8_t* data, std::size_t size);
    explicit ArchiveReader(const std::vector<std::uint8_t>& data) : ArchiveReader(data.data(), data.size()) {}
    ~ArchiveReader();
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    void readBytes(void* data, std::size_t size);
    std::uint8_t readByte();
    std::int16_t readInt16();
    std::uint16_t readUInt16();
    std::int32_t readInt32();
    std::uint32_t readUInt32();
    std::uint64_t readUInt64();
    double readDouble();
    void readDoubles(double* values, std::size_t count);
    // A value per input (or per curve), in index order.
    template <std::size_t N>
    void readInt32s(std::int32_t (&values)[N])
    {
        for (std::int32_t& v : values)
            v = readInt32();
    }
    template <std::size_t N>
    void readDoubles(double (&values)[N])
    {
        readDoubles(values, N);
    }
    // Returns UTF-8.
    std::string readText();

    // Bytes not yet read.
    std::uint64_t remaining() const { return size_ - position_; }
    std::uint64_t position() const { return position_; }
    bool atEnd() const { return remaining() == 0; }
    // Throws EndOfFile unless `count` items of `itemSize` bytes are still there;
    // call it before allocating for a count read from the data.
    void requireAvailable(std::uint64_t count, std::uint64_t itemSize) const;

private:
    std::uint64_t readLength(bool* utf16Marker);
    void fill();

    const std::uint8_t* memory_ = nullptr;
    std::FILE* file_ = nullptr;
    std::vector<std::uint8_t> buffer_;
    std::size_t bufferBegin_ = 0; // next unread byte in buffer_
    std::size_t bufferEnd_ = 0;
    std::uint64_t size_ = 0;
    std::uint64_t position_ = 0;
};
