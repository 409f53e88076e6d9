#pragma once

#include "common/Locker.h"
#include "common/SmartPointer.h"

#include <cstddef>
#include <string>
#include <vector>

namespace FenmarlCommonDLL {

// A growable byte buffer that several threads may share: every operation
// takes the buffer's own lock.
class FENMARL_COMMON_API RawData : public SmartPointerBase
{
public:
    static SmartPointer<RawData> create();
    static SmartPointer<RawData> create(const unsigned char* data, std::size_t size);
    static SmartPointer<RawData> create(const std::string& bytes);
    ~RawData() override;

    RawData& operator+=(unsigned char byte);
    void prepend(unsigned char byte);
    // Both throw std::out_of_range for an index not below size().
    unsigned char operator[](std::size_t index) const;
    unsigned char& operator[](std::size_t index);

    std::size_t size() const;
    void clear();
    bool empty() const;
    // The bytes themselves; valid until the buffer next changes.
    const unsigned char* data() const;
    std::string dataAsString() const;
    // The bytes read as UTF-16 code units; empty for an odd or zero count.
    std::wstring dataAsWideString() const;
    std::vector<unsigned char> asClonedVector() const;
    virtual bool needsProcessing() const;

protected:
    RawData();

private:
    mutable Locker lock_;
    std::vector<unsigned char> bytes_;
};

} // namespace FenmarlCommonDLL
