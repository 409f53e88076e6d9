#pragma once

#include "common/Export.h"

#include <string>

namespace FenmarlCommonDLL {

// Magnetic units and their scaling.
class FENMARL_COMMON_API DisplayUnits
{
public:
    enum TheUnit { pT = 0, nT = 1, uT = 2, mT = 3, T = 4 };
    virtual ~DisplayUnits();

    // Decimal exponent of a unit (pT -12 ... T 0); throws std::out_of_range outside 0..4.
    static int Exp(TheUnit unit);
    // "pT", "nT", "µT", "mT", "T"; "T" for any other value.
    static std::wstring ToString(TheUnit unit);
    // Also "μT" (Greek mu) and "uT"; exact first, then ignoring case.
    static bool TryGetUnit(const std::wstring& text, TheUnit& unit);
    // 10^(exp(from) - exp(to)).
    static double Scale(TheUnit from, TheUnit to);
    static double Convert(double value, TheUnit from, TheUnit to);

    static double MtToUt(double v);
    static double MtToNt(double v);
    static double NtToMt(double v);
    static double NtToPt(double v);
    static double NtToT(double v);
    static double NtToUt(double v);
    static double PtToNt(double v);
    static double PtToUt(double v);
    static double TToNt(double v);
    static double TToUt(double v);
    static double UtToMt(double v);
    static double UtToNt(double v);
    static double UtToPt(double v);
    static double UtToT(double v);

private:
    DisplayUnits();
};

} // namespace FenmarlCommonDLL
