#pragma once

#include "common/Export.h"

#include <string>

namespace FenmarlCommonDLL {

// Names a data series, its unit and whether it is to be processed.
class FENMARL_COMMON_API DataDescriptor
{
public:
    enum Unit { None = 0, Volt, Tesla, MetrePerSecondSquared, Pascal, Second, Hertz };

    DataDescriptor(const std::wstring& name, const std::wstring& shortName, Unit unit, bool processThisData);
    virtual ~DataDescriptor();

    std::wstring name() const;
    std::wstring shortName() const;
    Unit unit() const;
    bool processThisData() const;
    void processThisData(bool process);

private:
    bool processThisData_;
    Unit unit_;
    std::wstring name_;
    std::wstring shortName_;
};

} // namespace FenmarlCommonDLL
