#include "app/base/Archive.h"

#include "common/platform/Text.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

using Cause = ArchiveException::Cause;
namespace text = FenmarlCommonDLL::platform;

constexpr bool kLittleEndianHost = std::endian::native == std::endian::little;

template <typename T> void storeLittle(std::uint8_t* out, T value)
{
    using U = std::make_unsigned_t<T>;
    U u = static_cast<U>(value);
    for (std::size_t i = 0; i < sizeof(T); ++i)
        out[i] = static_cast<std::uint8_t>(u >> (8 * i));
}

template <typename T> T loadLittle(const std::uint8_t* in)
{
    using U = std::make_unsigned_t<T>;
    U u = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        u = static_cast<U>(u | (static_cast<U>(in[i]) << (8 * i)));
    return static_cast<T>(u);
}

// Every fixed-size value goes through these, so the byte order is decided once.
template <typename T> void writeLittle(ArchiveWriter& archive, T value)
{
    std::uint8_t b[sizeof(T)];
    storeLittle(b, value);
    archive.writeBytes(b, sizeof b);
}

template <typename T> T readLittle(ArchiveReader& archive)
{
    std::uint8_t b[sizeof(T)];
    archive.readBytes(b, sizeof b);
    return loadLittle<T>(b);
}

std::string errnoText(const std::string& what, const std::filesystem::path& path)
{
    return what + " " + path.string() + ": " + std::strerror(errno);
}

} // namespace

// ---------------------------------------------------------------- writer

ArchiveWriter::ArchiveWriter(const std::filesystem::path& path, std::size_t bufferSize)
    : target_(path), buffer_(std::max<std::size_t>(bufferSize, 64))
{
    temporary_ = path;
    temporary_ += ".partial";
    file_ = std::fopen(temporary_.c_str(), "wb");
    if (!file_) throw ArchiveException(Cause::OpenFailed, errnoText("Cannot create", temporary_));
}

ArchiveWriter::ArchiveWriter(std::vector<std::uint8_t>& memory) : memory_(&memory) {}

ArchiveWriter::~ArchiveWriter()
{
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!memory_ && !committed_) {
        std::error_code ec;
        std::filesystem::remove(temporary_, ec);
    }
}

void ArchiveWriter::spill()
{
    if (used_ == 0) return;
    if (!file_ || std::fwrite(buffer_.data(), 1, used_, file_) != used_)
        throw ArchiveException(Cause::WriteFailed, errnoText("Cannot write", temporary_));
    used_ = 0;
}

void ArchiveWriter::writeBytes(const void* data, std::size_t size)
{
    if (size == 0) return;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    written_ += size;
    if (memory_) {
        memory_->insert(memory_->end(), bytes, bytes + size);
        return;
    }
    if (used_ + size > buffer_.size()) {
        spill();
        if (size >= buffer_.size()) {
            if (std::fwrite(bytes, 1, size, file_) != size)
                throw ArchiveException(Cause::WriteFailed, errnoText("Cannot write", temporary_));
            return;
        }
    }
    std::memcpy(buffer_.data() + used_, bytes, size);
    used_ += size;
}

void ArchiveWriter::writeInt16(std::int16_t value)
{
    writeLittle(*this, value);
}

void ArchiveWriter::writeUInt16(std::uint16_t value)
{
    writeLittle(*this, value);
}

void ArchiveWriter::writeInt32(std::int32_t value)
{
    writeLittle(*this, value);
}

void ArchiveWriter::writeUInt32(std::uint32_t value)
{
    writeLittle(*this, value);
}

void ArchiveWriter::writeUInt64(std::uint64_t value)
{
    writeLittle(*this, value);
}

void ArchiveWriter::writeDouble(double value)
{
    writeUInt64(std::bit_cast<std::uint64_t>(value));
}

void ArchiveWriter::writeDoubles(const double* values, std::size_t count)
{
    if constexpr (kLittleEndianHost) {
        writeBytes(values, count * sizeof(double));
    } else {
        for (std::size_t i = 0; i < count; ++i)
            writeDouble(values[i]);
    }
}

void ArchiveWriter::writeLengthPrefix(std::uint64_t length)
{
    if (length < 0xFF) {
        writeByte(static_cast<std::uint8_t>(length));
        return;
    }
    writeByte(0xFF);
    if (length < 0xFFFE) {
        writeUInt16(static_cast<std::uint16_t>(length));
        return;
    }
    writeUInt16(0xFFFF);
    if (length < 0xFFFFFFFFull) {
        writeUInt32(static_cast<std::uint32_t>(length));
        return;
    }
    writeUInt32(0xFFFFFFFFu);
    writeUInt64(length);
}

void ArchiveWriter::writeText(const std::string& utf8)
{
    const std::string narrow = text::utf8ToCp1252(utf8);
    writeLengthPrefix(narrow.size());
    writeBytes(narrow.data(), narrow.size());
}

void ArchiveWriter::flush()
{
    if (memory_) return;
    spill();
    if (std::fflush(file_) != 0)
        throw ArchiveException(Cause::WriteFailed, errnoText("Cannot write", temporary_));
}

void ArchiveWriter::commit()
{
    if (memory_ || committed_) return;
    flush();
    const bool synced = ::fsync(fileno(file_)) == 0;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!synced || !closed) throw ArchiveException(Cause::WriteFailed, errnoText("Cannot write", temporary_));
    std::error_code ec;
    std::filesystem::rename(temporary_, target_, ec);
    if (ec)
        throw ArchiveException(Cause::WriteFailed,
                               "Cannot replace " + target_.string() + ": " + ec.message());
    committed_ = true;
}

// ---------------------------------------------------------------- reader

ArchiveReader::ArchiveReader(const std::filesystem::path& path, std::size_t bufferSize)
    : buffer_(std::max<std::size_t>(bufferSize, 64))
{
    file_ = std::fopen(path.c_str(), "rb");
    if (!file_) throw ArchiveException(Cause::OpenFailed, errnoText("Cannot open", path));
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) {
        std::fclose(file_);
        file_ = nullptr;
        throw ArchiveException(Cause::OpenFailed, "Cannot open " + path.string() + ": " + ec.message());
    }
    size_ = size;
}

ArchiveReader::ArchiveReader(const std::uint8_t* data, std::size_t size) : memory_(data), size_(size) {}

ArchiveReader::~ArchiveReader()
{
    if (file_) std::fclose(file_);
}

void ArchiveReader::requireAvailable(std::uint64_t count, std::uint64_t itemSize) const
{
    if (itemSize != 0 && count > remaining() / itemSize)
        throw ArchiveException(Cause::EndOfFile, "Unexpected end of archive");
}

void ArchiveReader::fill()
{
    // Only called when the buffer is empty.
    const std::size_t got = std::fread(buffer_.data(), 1, buffer_.size(), file_);
    if (got == 0) {
        if (std::ferror(file_)) throw ArchiveException(Cause::ReadFailed, "Cannot read archive");
        // The file shrank since it was opened.
        throw ArchiveException(Cause::EndOfFile, "Unexpected end of archive");
    }
    bufferBegin_ = 0;
    bufferEnd_ = got;
}

void ArchiveReader::readBytes(void* data, std::size_t size)
{
    // An empty text hands in the null data() of an empty buffer; memcpy must not see it.
    if (size == 0) return;
    requireAvailable(size, 1);
    auto* out = static_cast<std::uint8_t*>(data);
    if (memory_) {
        std::memcpy(out, memory_ + position_, size);
        position_ += size;
        return;
    }
    while (size > 0) {
        if (bufferBegin_ == bufferEnd_) {
            if (size >= buffer_.size()) {
                // Large blocks go straight into the caller's memory.
                const std::size_t got = std::fread(out, 1, size, file_);
                position_ += got;
                if (got != size)
                    throw ArchiveException(std::ferror(file_) ? Cause::ReadFailed : Cause::EndOfFile,
                                           "Unexpected end of archive");
                return;
            }
            fill();
        }
        const std::size_t n = std::min(size, bufferEnd_ - bufferBegin_);
        std::memcpy(out, buffer_.data() + bufferBegin_, n);
        bufferBegin_ += n;
        position_ += n;
        out += n;
        size -= n;
    }
}

std::uint8_t ArchiveReader::readByte()
{
    std::uint8_t b;
    readBytes(&b, 1);
    return b;
}

std::int16_t ArchiveReader::readInt16()
{
    return readLittle<std::int16_t>(*this);
}

std::uint16_t ArchiveReader::readUInt16()
{
    return readLittle<std::uint16_t>(*this);
}

std::int32_t ArchiveReader::readInt32()
{
    return readLittle<std::int32_t>(*this);
}

std::uint32_t ArchiveReader::readUInt32()
{
    return readLittle<std::uint32_t>(*this);
}

std::uint64_t ArchiveReader::readUInt64()
{
    return readLittle<std::uint64_t>(*this);
}

double ArchiveReader::readDouble()
{
    return std::bit_cast<double>(readUInt64());
}

void ArchiveReader::readDoubles(double* values, std::size_t count)
{
    requireAvailable(count, sizeof(double));
    readBytes(values, count * sizeof(double));
    if constexpr (!kLittleEndianHost) {
        for (std::size_t i = 0; i < count; ++i) {
            std::uint8_t b[8];
            std::memcpy(b, &values[i], 8);
            values[i] = std::bit_cast<double>(loadLittle<std::uint64_t>(b));
        }
    }
}

std::uint64_t ArchiveReader::readLength(bool* utf16Marker)
{
    *utf16Marker = false;
    const std::uint8_t b = readByte();
    if (b < 0xFF) return b;
    const std::uint16_t w = readUInt16();
    if (w == 0xFFFE) {
        *utf16Marker = true;
        return 0;
    }
    if (w < 0xFFFF) return w;
    const std::uint32_t d = readUInt32();
    if (d < 0xFFFFFFFFu) return d;
    return readUInt64();
}

std::string ArchiveReader::readText()
{
    bool utf16 = false;
    std::uint64_t length = readLength(&utf16);
    if (utf16) {
        // UTF-16 marker: the real length follows.
        bool again = false;
        length = readLength(&again);
        if (again) throw ArchiveException(Cause::BadFormat, "Malformed text in archive");
        requireAvailable(length, 2);
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(length) * 2);
        readBytes(bytes.data(), bytes.size());
        std::u16string units(static_cast<std::size_t>(length), u'\0');
        for (std::size_t i = 0; i < units.size(); ++i)
            units[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        return text::utf16ToUtf8(units);
    }
    requireAvailable(length, 1);
    std::string narrow(static_cast<std::size_t>(length), '\0');
    readBytes(narrow.data(), narrow.size());
    return text::cp1252ToUtf8(narrow);
}
