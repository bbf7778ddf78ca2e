#include "spectrum_average.h"

#include <algorithm>
#include <cmath>

void TSpectrumAverager::Setup(TAverageMode mode, int n) {
    ModeSel = mode;
    Target = std::clamp(n, 1, MAX_BLOCKS);
    Reset();
}

void TSpectrumAverager::Reset() {
    BinCount = 0;
    Seen = 0;
    Acc.clear();
    Ring.clear();
    RingNext = 0;
    Out.clear();
}

void TSpectrumAverager::Add(const float* spectrum, int bins) {
    if (!spectrum || bins <= 0) return;
    if (bins != BinCount) {
        Reset();
        BinCount = bins;
        Acc.assign(static_cast<size_t>(bins), 0.0);
        Out.assign(static_cast<size_t>(bins), 0.0f);
    }
    const size_t nb = static_cast<size_t>(bins);
    ++Seen;
    switch (ModeSel) {
    case TAverageMode::Off:
        for (size_t k = 0; k < nb; ++k)
            Out[k] = spectrum[k];
        return;
    case TAverageMode::PeakHold:
        for (size_t k = 0; k < nb; ++k)
            Out[k] = std::max(Out[k], spectrum[k]);
        return;
    case TAverageMode::Exponential: {
        // The first blocks weigh 1/1, 1/2, ... until the weight 1/N is reached, so the start
        // is a plain mean rather than a slow climb from zero.
        const double w = 1.0 / std::min(Seen, Target);
        for (size_t k = 0; k < nb; ++k) {
            const double p = static_cast<double>(spectrum[k]) * spectrum[k];
            Acc[k] += w * (p - Acc[k]);
            Out[k] = static_cast<float>(std::sqrt(Acc[k]));
        }
        return;
    }
    case TAverageMode::Linear: {
        if (static_cast<int>(Ring.size()) < Target) {
            Ring.emplace_back(spectrum, spectrum + bins);
            for (size_t k = 0; k < nb; ++k)
                Acc[k] += static_cast<double>(spectrum[k]) * spectrum[k];
        } else {
            std::vector<float>& old = Ring[static_cast<size_t>(RingNext)];
            for (size_t k = 0; k < nb; ++k) {
                Acc[k] += static_cast<double>(spectrum[k]) * spectrum[k] -
                          static_cast<double>(old[k]) * old[k];
                if (Acc[k] < 0.0) Acc[k] = 0.0; // rounding, never a negative power
                old[k] = spectrum[k];
            }
            RingNext = (RingNext + 1) % Target;
        }
        const double n = static_cast<double>(Ring.size());
        for (size_t k = 0; k < nb; ++k)
            Out[k] = static_cast<float>(std::sqrt(Acc[k] / n));
        return;
    }
    }
}
