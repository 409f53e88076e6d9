#include "common/RawData.h"

#include "common/platform/Text.h"

#include <stdexcept>

namespace FenmarlCommonDLL {

RawData::RawData() = default;
RawData::~RawData() = default;

SmartPointer<RawData> RawData::create()
{
    return SmartPointer<RawData>(new RawData());
}

SmartPointer<RawData> RawData::create(const unsigned char* data, std::size_t size)
{
    SmartPointer<RawData> raw(new RawData());
    if (data) raw->bytes_.assign(data, data + size);
    return raw;
}

SmartPointer<RawData> RawData::create(const std::string& bytes)
{
    return create(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

RawData& RawData::operator+=(unsigned char byte)
{
    ThreadLocker guard(&lock_, true);
    bytes_.push_back(byte);
    return *this;
}

void RawData::prepend(unsigned char byte)
{
    ThreadLocker guard(&lock_, true);
    bytes_.insert(bytes_.begin(), byte);
}

unsigned char RawData::operator[](std::size_t index) const
{
    ThreadLocker guard(&lock_, true);
    if (index >= bytes_.size())
        throw std::out_of_range("RawData::operator[] const index requested is out of range");
    return bytes_[index];
}

unsigned char& RawData::operator[](std::size_t index)
{
    ThreadLocker guard(&lock_, true);
    if (index >= bytes_.size())
        throw std::out_of_range("RawData::operator[] index requested is out of range");
    return bytes_[index];
}

std::size_t RawData::size() const
{
    ThreadLocker guard(&lock_, true);
    return bytes_.size();
}

void RawData::clear()
{
    ThreadLocker guard(&lock_, true);
    bytes_.clear();
}

bool RawData::empty() const
{
    ThreadLocker guard(&lock_, true);
    return bytes_.empty();
}

const unsigned char* RawData::data() const
{
    ThreadLocker guard(&lock_, true);
    return bytes_.data();
}

std::string RawData::dataAsString() const
{
    ThreadLocker guard(&lock_, true);
    return std::string(bytes_.begin(), bytes_.end());
}

std::wstring RawData::dataAsWideString() const
{
    ThreadLocker guard(&lock_, true);
    if (bytes_.empty() || bytes_.size() % 2 != 0) return {};
    std::u16string units;
    units.reserve(bytes_.size() / 2);
    for (std::size_t i = 0; i < bytes_.size(); i += 2)
        units.push_back(static_cast<char16_t>(bytes_[i] | (bytes_[i + 1] << 8)));
    return platform::utf8ToWide(platform::utf16ToUtf8(units));
}

std::vector<unsigned char> RawData::asClonedVector() const
{
    ThreadLocker guard(&lock_, true);
    return bytes_;
}

bool RawData::needsProcessing() const
{
    return false;
}

} // namespace FenmarlCommonDLL
