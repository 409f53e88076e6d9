#include "app/specification/ExcursionReport.h"

#include "app/specification/SpecificationVerdict.h"

#include <cmath>
#include <cstdio>

namespace {

std::string number(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.4g", v);
    return text;
}

std::string withUnit(double v, const std::string& unit)
{
    return unit.empty() ? number(v) : number(v) + " " + unit;
}

} // namespace

std::string ExcursionSummary(int input, const DomainVerdict& v, const std::string& unit)
{
    if (!v.tested || !v.judged || v.worstAxis < 0) return {};
    static const char* const axes[] = {"x", "y", "z"};
    std::string text =
        "Input " + std::to_string(input + 1) + ": worst excursion " + withUnit(v.worstValue, unit);
    if (v.worstAxis < 3) text += std::string(" (") + axes[v.worstAxis] + ")";
    text += ", limit " + withUnit(v.worstLimit, unit) + ", ";
    if (v.margin < 0)
        text += withUnit(-v.margin, unit) + " over";
    else
        text += withUnit(v.margin, unit) + " within the limit";
    return text;
}

std::vector<std::size_t> ExceedingSamples(const double* values, std::size_t n, double reference, double limit,
                                          std::size_t maximum)
{
    std::vector<std::size_t> all;
    for (std::size_t i = 0; i < n; ++i)
        if (std::fabs(values[i] - reference) > limit) all.push_back(i);
    if (all.size() <= maximum || maximum == 0) return maximum == 0 ? std::vector<std::size_t>{} : all;
    std::vector<std::size_t> spread;
    spread.reserve(maximum);
    for (std::size_t k = 0; k < maximum; ++k)
        spread.push_back(all[k * (all.size() - 1) / (maximum - 1 > 0 ? maximum - 1 : 1)]);
    return spread;
}

std::string UnitOfAxisTitle(const std::string& title)
{
    // The last bracketed part, brackets inside it included: "(nTrms / sqrt(Hz))".
    const std::size_t close = title.rfind(')');
    if (close == std::string::npos) return {};
    int depth = 0;
    for (std::size_t i = close + 1; i-- > 0;) {
        if (title[i] == ')') ++depth;
        if (title[i] == '(' && --depth == 0) return title.substr(i + 1, close - i - 1);
    }
    return {};
}
