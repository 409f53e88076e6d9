#include "common/DataDescriptor.h"

namespace FenmarlCommonDLL {

DataDescriptor::DataDescriptor(const std::wstring& name, const std::wstring& shortName, Unit unit,
                               bool processThisData)
    : processThisData_(processThisData), unit_(unit), name_(name), shortName_(shortName)
{
}

DataDescriptor::~DataDescriptor() = default;

std::wstring DataDescriptor::name() const
{
    return name_;
}
std::wstring DataDescriptor::shortName() const
{
    return shortName_;
}
DataDescriptor::Unit DataDescriptor::unit() const
{
    return unit_;
}
bool DataDescriptor::processThisData() const
{
    return processThisData_;
}
void DataDescriptor::processThisData(bool process)
{
    processThisData_ = process;
}

} // namespace FenmarlCommonDLL
