#include "app/specification/SpecificationTest.h"

#include "common/platform/Hooks.h"

#include <cmath>

namespace {

bool validInput(int input)
{
    return input == 0 || input == 1;
}

} // namespace

void ResetSpecificationResults(SpecificationSettings& limits)
{
    for (int i = 0; i < 2; ++i) {
        limits.passedTime[i] = 1;
        limits.passedFrequency[i] = 1;
        limits.takeReference[i] = 1;
    }
}

bool testTimeSpecification(SpecificationSettings& limits, int input, int n, const double* series, double f)
{
    if (!validInput(input)) return true;
    const double limit = limits.maximumExcursion[input] / f;
    if (limits.takeReference[input] == 1 && n > 0) {
        limits.referenceValue[input] = series[0];
        limits.takeReference[input] = 0;
    }
    for (int i = 0; i < n; ++i) {
        if (std::fabs(series[i] - limits.referenceValue[input]) > limit) {
            limits.passedTime[input] = 0;
            return false;
        }
    }
    return limits.passedTime[input] == 1;
}

CurveLimit curveLimitAt(const SpecificationSettings& limits, int input, double x)
{
    CurveLimit result;
    if (!validInput(input) || limits.applyFrequencyTest[input] == 0) return result;
    const std::vector<CurvePoint>& curve = limits.curve[input];
    if (curve.empty() || x < curve.front().frequency || x > curve.back().frequency) return result;
    for (std::size_t k = 0; k < curve.size(); ++k) {
        if (curve[k].frequency == x) {
            result = {true, curve[k].intensity};
            return result;
        }
        if (k + 1 < curve.size() && x > curve[k].frequency && x < curve[k + 1].frequency) {
            const CurvePoint& a = curve[k];
            const CurvePoint& b = curve[k + 1];
            result = {true, a.intensity + (x - a.frequency) / (b.frequency - a.frequency) *
                                              (b.intensity - a.intensity)};
            return result;
        }
    }
    if (x == curve.back().frequency) result = {true, curve.back().intensity};
    return result;
}

bool testFrequencySpecification(SpecificationSettings& limits, int input, int n, const double* frequency,
                                const double* amplitude, double f)
{
    if (!validInput(input)) return true;
    for (int k = 0; k < n; ++k) {
        const CurveLimit limit = curveLimitAt(limits, input, frequency[k]);
        if (limit.found && amplitude[k] > limit.limit / f) {
            limits.passedFrequency[input] = 0;
            return false;
        }
    }
    limits.passedFrequency[input] = 1;
    return true;
}

bool testTimeSpecificationAxes(SpecificationSettings& limits, int input, int n,
                               const std::vector<const double*>& axes, double f)
{
    bool passed = true;
    for (const double* series : axes) {
        passed = testTimeSpecification(limits, input, n, series, f);
        if (!passed) break;
    }
    return passed;
}

bool testFrequencySpecificationAxes(SpecificationSettings& limits, int input, int n, const double* frequency,
                                    const std::vector<const double*>& axes, double f)
{
    bool passed = true;
    for (const double* series : axes) {
        passed = testFrequencySpecification(limits, input, n, frequency, series, f);
        if (!passed) break;
    }
    return passed;
}

double SpecificationUnitFactor(const std::string& unit)
{
    if (unit == "nT") return 0.001;
    if (unit == "mG") return 0.1;
    if (unit == "ug") return 0.000001;
    if (unit == "mg") return 0.001;
    // One mm/s² is 1/9806.65 of a g.
    if (unit == "mms-2") return 1.0 / 9806.65;
    return 1.0; // uT, g, Pa
}

bool AllSpecificationsPassed(const SpecificationSettings& limits)
{
    return limits.passedTime[0] == 1 && limits.passedFrequency[0] == 1 && limits.passedTime[1] == 1 &&
           limits.passedFrequency[1] == 1;
}

std::string SpecificationDisplay::text() const
{
    std::string joined;
    for (const std::string& line : lines) {
        if (!joined.empty()) joined += '\n';
        joined += line;
    }
    return joined;
}

SpecificationDisplay SpecificationResultDisplay(const SpecificationSettings& limits)
{
    SpecificationDisplay display;
    if (AllSpecificationsPassed(limits)) {
        display.lines = {"Pass"};
        return display;
    }
    display.passed = false;
    display.colour = 255;
    display.lines = {"Fail"};
    if (limits.passedTime[0] == 0) display.lines.emplace_back("Input 1 Time");
    if (limits.passedFrequency[0] == 0) display.lines.emplace_back("Input 1 Frequency");
    if (limits.passedTime[1] == 0) display.lines.emplace_back("Input 2 Time");
    if (limits.passedFrequency[1] == 0) display.lines.emplace_back("Input 2 Frequency");
    return display;
}

bool ShouldSoundAlert(const SpecificationSettings& limits, bool muted)
{
    return !AllSpecificationsPassed(limits) && limits.audioAlert != 0 && !muted;
}

bool SoundSpecificationAlert(const SpecificationSettings& limits, bool muted)
{
    if (!ShouldSoundAlert(limits, muted)) return false;
    FenmarlCommonDLL::platform::beep(kAlertFrequencyHz, kAlertDurationMs);
    return true;
}
