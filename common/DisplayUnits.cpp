#include "common/DisplayUnits.h"

#include <cwctype>
#include <stdexcept>

namespace FenmarlCommonDLL {

namespace {

constexpr int kExponents[] = {-12, -9, -6, -3, 0};
// Exact powers of ten for exponent differences -12 ... 12 in steps of 3.
constexpr double kPowers[] = {1e-12, 1e-9, 1e-6, 1e-3, 1.0, 1e3, 1e6, 1e9, 1e12};

bool valid(int unit)
{
    return unit >= 0 && unit <= 4;
}

double powerOfTen(int exponent)
{
    if (exponent % 3 != 0 || exponent < -12 || exponent > 12) throw std::out_of_range("Unsupported unit");
    return kPowers[(exponent + 12) / 3];
}

// value in unit from expressed in unit to: a multiplication for a smaller
// unit, a division for a larger one, so the factors stay exact.
double between(double value, DisplayUnits::TheUnit from, DisplayUnits::TheUnit to)
{
    const int exponent = kExponents[from] - kExponents[to];
    return exponent >= 0 ? value * powerOfTen(exponent) : value / powerOfTen(-exponent);
}

bool equalIgnoringCase(const std::wstring& a, const std::wstring& b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i])))
            return false;
    }
    return true;
}

} // namespace

DisplayUnits::DisplayUnits() = default;
DisplayUnits::~DisplayUnits() = default;

int DisplayUnits::Exp(TheUnit unit)
{
    if (!valid(unit)) throw std::out_of_range("Unsupported unit");
    return kExponents[unit];
}

std::wstring DisplayUnits::ToString(TheUnit unit)
{
    switch (unit) {
    case pT:
        return L"pT";
    case nT:
        return L"nT";
    case uT:
        return L"\u00B5T";
    case mT:
        return L"mT";
    default:
        return L"T";
    }
}

bool DisplayUnits::TryGetUnit(const std::wstring& text, TheUnit& unit)
{
    struct Name
    {
        const wchar_t* text;
        TheUnit unit;
    };
    static const Name names[] = {{L"pT", pT}, {L"nT", nT}, {L"\u00B5T", uT}, {L"\u03BCT", uT},
                                 {L"uT", uT}, {L"mT", mT}, {L"T", T}};
    for (const Name& n : names) {
        if (text == n.text) {
            unit = n.unit;
            return true;
        }
    }
    for (const Name& n : names) {
        if (equalIgnoringCase(text, n.text)) {
            unit = n.unit;
            return true;
        }
    }
    return false;
}

double DisplayUnits::Scale(TheUnit from, TheUnit to)
{
    if (!valid(from)) throw std::out_of_range("fromUnit: Unsupported unit");
    if (!valid(to)) throw std::out_of_range("toUnit: Unsupported unit");
    return powerOfTen(kExponents[from] - kExponents[to]);
}

double DisplayUnits::Convert(double value, TheUnit from, TheUnit to)
{
    if (!valid(from)) throw std::out_of_range("fromUnit: Unsupported unit");
    if (!valid(to)) throw std::out_of_range("toUnit: Unsupported unit");
    return value * powerOfTen(kExponents[from]) / powerOfTen(kExponents[to]);
}

double DisplayUnits::MtToUt(double v)
{
    return between(v, mT, uT);
}
double DisplayUnits::MtToNt(double v)
{
    return between(v, mT, nT);
}
double DisplayUnits::NtToMt(double v)
{
    return between(v, nT, mT);
}
double DisplayUnits::NtToPt(double v)
{
    return between(v, nT, pT);
}
double DisplayUnits::NtToT(double v)
{
    return between(v, nT, T);
}
double DisplayUnits::NtToUt(double v)
{
    return between(v, nT, uT);
}
double DisplayUnits::PtToNt(double v)
{
    return between(v, pT, nT);
}
double DisplayUnits::PtToUt(double v)
{
    return between(v, pT, uT);
}
double DisplayUnits::TToNt(double v)
{
    return between(v, T, nT);
}
double DisplayUnits::TToUt(double v)
{
    return between(v, T, uT);
}
double DisplayUnits::UtToMt(double v)
{
    return between(v, uT, mT);
}
double DisplayUnits::UtToNt(double v)
{
    return between(v, uT, nT);
}
double DisplayUnits::UtToPt(double v)
{
    return between(v, uT, pT);
}
double DisplayUnits::UtToT(double v)
{
    return between(v, uT, T);
}

} // namespace FenmarlCommonDLL
