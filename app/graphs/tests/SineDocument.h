#pragma once

#include "app/acquisition/CCorvelDoc.h"
#include "app/acquisition/tests/TestSignals.h"

#include <memory>

// A scan document as a finished scan leaves it: on each input three sines, one
// per axis (input 2 at half the amplitude), their spectra computed unless the
// test wants to compute them itself.
inline std::unique_ptr<CCorvelDoc> SineDocument(const CScanConfiguration& c, const DefaultSettings& d, int samples,
                                                double rate, bool spectra = true)
{
    auto doc = std::make_unique<CCorvelDoc>(c, d);
    for (int input = 0; input < 2; ++input) {
        const double amplitude = input == 0 ? 1.0 : 0.5;
        FillScanData(doc->scan.input(input), samples, rate, [amplitude](int axis, int i) {
            return Sine(amplitude * (axis + 1), 0.01 * (axis + 1), i);
        });
    }
    if (spectra) doc->RecomputeSpectra();
    return doc;
}
