#include "app/acquisition/SpecificationEvaluation.h"

#include "app/acquisition/CCorvelDoc.h"
#include "app/acquisition/ScanDataLock.h"
#include "app/acquisition/Spectrum.h"
#include "app/settings/SensorUnits.h"
#include "app/specification/SpecificationTest.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

struct Displayed
{
    MappedSeries x;
    std::array<MappedSeries, 3> y;
    std::vector<MappedSeries*> axes() { return {&y[0], &y[1], &y[2]}; }
};

// Keeps the point with the smallest margin (the first one on a tie).
void consider(DomainVerdict& v, int axis, int index, double x, double value, double limit)
{
    const double margin = limit - value;
    if (v.worstAxis >= 0 && !(margin < v.margin)) return;
    v.worstAxis = axis;
    v.worstIndex = index;
    v.worstX = x;
    v.worstValue = value;
    v.worstLimit = limit;
    v.margin = margin;
}

// A domain with nothing converted fails unjudged; otherwise it is judged. False when there is nothing.
bool startJudging(DomainVerdict& v, int count, int axes)
{
    if (count <= 0 || axes == 0) {
        v.passed = false;
        return false;
    }
    v.judged = true;
    return true;
}

// Limits are set in the unit the input's graphs show.
double graphUnitFactor(const CCorvelDoc& document, const std::string& sensor)
{
    return SensorUnits::unitFactor(sensor, document.settings.MagneticUnits, document.settings.VibrationUnits);
}

void judgeTime(CCorvelDoc& document, int input, bool fresh, SpecificationVerdict& verdict)
{
    CScanConfiguration& c = document.scan.configuration;
    SpecificationSettings& limits = c.Specification;
    DomainVerdict& v = verdict.time[input];
    v = DomainVerdict{};
    const bool used = c.usesInput(input);
    if (limits.applyTimeTest[input] == 0 || !used) return;
    v.tested = true;
    if (fresh) {
        limits.passedTime[input] = 1;
        limits.takeReference[input] = 1;
    }
    const std::string& sensor = c.inputMode(input);
    const std::string& mode = c.displayMode(input);
    ScanData& data = document.scan.input(input);
    Displayed shown;
    int samples;
    int axes;
    {
        // The count and the conversion under one hold: the scan thread may add samples in between.
        FenmarlCommonDLL::ThreadLocker lock(&ScanDataLock(), true);
        samples = std::max(data.samplesAcquired, 0);
        axes = std::clamp(data.allocatedAxes(), 0, 3);
        if (samples > 0 && axes > 0)
            ConvertTimeForDisplay(data, mode, 0, SensorTypes::isMicrophone(sensor),
                                  document.inputScale(input), shown.x, shown.axes());
    }
    if (!startJudging(v, samples, axes)) return;
    const auto n = static_cast<std::uint32_t>(samples);
    const double f = graphUnitFactor(document, sensor);
    const double limit = limits.maximumExcursion[input] / f;
    if (limits.takeReference[input] == 1) {
        limits.referenceValue[input] = shown.y[0].get(0);
        limits.takeReference[input] = 0;
    }
    const double reference = limits.referenceValue[input];
    verdict.reference[input] = reference;
    const double* t = shown.x.span(0, n);
    bool failed = false;
    for (int a = 0; a < axes; ++a) {
        const double* y = shown.y[static_cast<std::size_t>(a)].span(0, n);
        for (std::uint32_t j = 0; j < n; ++j) {
            const double deviation = std::fabs(y[j] - reference);
            consider(v, a, static_cast<int>(j), t[j], deviation, limit);
            if (deviation > limit) failed = true;
        }
    }
    // A time failure stays until the scan (or the fresh judgement) starts again.
    if (failed) limits.passedTime[input] = 0;
    v.passed = limits.passedTime[input] == 1;
}

void judgeFrequency(CCorvelDoc& document, int input, SpecificationVerdict& verdict)
{
    CScanConfiguration& c = document.scan.configuration;
    SpecificationSettings& limits = c.Specification;
    DomainVerdict& v = verdict.frequency[input];
    const bool used = c.usesInput(input);
    if (limits.applyFrequencyTest[input] == 0 || !used) {
        v = DomainVerdict{};
        return;
    }
    // A multiple scan's run is being read: its spectra are not computed yet.
    if (document.scan.runAcquiring.load()) return;
    v = DomainVerdict{};
    v.tested = true;
    const std::string& sensor = c.inputMode(input);
    const std::string& mode = c.displayMode(input);
    const bool microphone = SensorTypes::isMicrophone(sensor);
    ScanData& data = document.scan.input(input);
    Displayed shown;
    int count = 0;
    int axes;
    {
        FenmarlCommonDLL::ThreadLocker lock(&ScanDataLock(), true);
        axes = std::clamp(data.allocatedAxes(), 0, 3);
        // The limits are pascals: a microphone is judged on its pascals, not on the decibels shown.
        ConvertSpectrumForDisplay(data, mode, false, microphone ? 1.0 : document.inputScale(input), shown.x,
                                  shown.axes(), count);
    }
    if (!startJudging(v, count, axes)) return;
    const auto n = static_cast<std::uint32_t>(count);
    const double f = graphUnitFactor(document, sensor);
    const double* frequency = shown.x.span(0, n);
    bool failed = false;
    for (int a = 0; a < axes; ++a) {
        const double* amplitude = shown.y[static_cast<std::size_t>(a)].span(0, n);
        for (std::uint32_t k = 0; k < n; ++k) {
            const CurveLimit limit = curveLimitAt(limits, input, frequency[k]);
            if (!limit.found) continue; // outside the curve nothing is tested
            consider(v, a, static_cast<int>(k), frequency[k], amplitude[k], limit.limit / f);
            if (amplitude[k] > limit.limit / f) failed = true;
        }
    }
    // Judged again on every update: a later passing spectrum clears a failure.
    limits.passedFrequency[input] = failed ? 0 : 1;
    v.passed = !failed;
}

} // namespace

SpecificationVerdict EvaluateSpecification(CCorvelDoc& document, bool fresh)
{
    SpecificationVerdict& verdict = document.specificationVerdict;
    // The scan thread is rewriting the records (averaging, spectra): judge them once they are
    // whole. A fresh judgement is asked for only where the thread has finished with them.
    if (!fresh && document.dataReady.load() == 0) return verdict;
    for (int input = 0; input < 2; ++input) {
        judgeTime(document, input, fresh, verdict);
        judgeFrequency(document, input, verdict);
    }
    return verdict;
}
