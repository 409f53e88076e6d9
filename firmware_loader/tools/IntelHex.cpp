#include "firmware_loader/tools/IntelHex.h"

#include <cstdio>

namespace AmbrelTools {

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

HexImage failure(std::size_t line, const std::string& what)
{
    HexImage image;
    image.error = "line " + std::to_string(line) + ": " + what;
    return image;
}

} // namespace

HexImage parseIntelHex(std::string_view text)
{
    HexImage image;
    std::size_t lineNumber = 0;
    bool ended = false;
    while (!text.empty() && !ended) {
        ++lineNumber;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        if (line.empty()) continue;
        if (line.front() != ':') return failure(lineNumber, "does not start with ':'");
        line.remove_prefix(1);
        if (line.size() % 2 != 0 || line.size() < 10) return failure(lineNumber, "malformed record");
        std::vector<std::uint8_t> bytes;
        for (std::size_t i = 0; i < line.size(); i += 2) {
            const int hi = hexDigit(line[i]);
            const int lo = hexDigit(line[i + 1]);
            if (hi < 0 || lo < 0) return failure(lineNumber, "not a hexadecimal digit");
            bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
        }
        const std::size_t count = bytes[0];
        if (bytes.size() != count + 5) return failure(lineNumber, "byte count does not match the record");
        unsigned sum = 0;
        for (std::uint8_t b : bytes)
            sum += b;
        if ((sum & 0xFF) != 0) return failure(lineNumber, "checksum mismatch");
        const unsigned address = (unsigned{bytes[1]} << 8) | bytes[2];
        const std::uint8_t type = bytes[3];
        const std::uint8_t* data = bytes.data() + 4;
        switch (type) {
        case 0x00:
            if (address + count > 0x10000) return failure(lineNumber, "data runs past address 0xFFFF");
            for (std::size_t offset = 0; offset < count; offset += 16) {
                const std::size_t n = count - offset < 16 ? count - offset : 16;
                image.records.push_back({static_cast<std::uint16_t>(address + offset),
                                         std::vector<std::uint8_t>(data + offset, data + offset + n)});
            }
            break;
        case 0x01:
            ended = true;
            break;
        case 0x02:
        case 0x04:
            // Segment or upper linear address: only 0 fits the 8051's 16-bit space.
            if (count != 2) return failure(lineNumber, "malformed extended address record");
            if (data[0] != 0 || data[1] != 0) return failure(lineNumber, "address beyond the 16-bit space");
            break;
        case 0x03:
        case 0x05:
            break; // start address: the 8051 always starts at 0
        default:
            return failure(lineNumber, "unknown record type");
        }
    }
    if (!ended) return failure(lineNumber, "no end-of-file record");
    image.ok = true;
    return image;
}

std::string imageInitialisers(const std::vector<HexRecord>& records)
{
    std::string out;
    char buffer[16];
    for (const HexRecord& record : records) {
        std::snprintf(buffer, sizeof buffer, "0x%04X", record.address);
        out += "{" + std::to_string(record.data.size()) + ", 0, " + buffer + ", 0, {";
        for (std::size_t i = 0; i < record.data.size(); ++i) {
            std::snprintf(buffer, sizeof buffer, "%s0x%02X", i ? ", " : "", record.data[i]);
            out += buffer;
        }
        out += "}},\n";
    }
    out += "{0, 0, 0x0000, 1, {}},\n";
    return out;
}

} // namespace AmbrelTools
