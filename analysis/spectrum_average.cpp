#include "spectrum_average.h"

#include <algorithm>
#include <cmath>

void TSpectrumAverager::Setup(TAverageMode mode, int n) {
    ModeSel = mode;
    Target = std::clamp(n, 1, MAX_BLOCKS);
    Reset();
}

void TSpectrumAverager::Clear(TTrack& t) const {
    t.Acc.assign(static_cast<size_t>(BinCount), 0.0);
    t.Ring.clear();
    t.RingNext = 0;
    t.Out.assign(static_cast<size_t>(BinCount), 0.0f);
}

void TSpectrumAverager::Reset() {
    BinCount = 0;
    Seen = 0;
    Clear(Amp);
    Clear(Power);
    PowerValid = true;
    PowerOut.clear();
}

template <class F> void TSpectrumAverager::AddTo(TTrack& t, F value) {
    const size_t nb = static_cast<size_t>(BinCount);
    switch (ModeSel) {
    case TAverageMode::Off:
        for (size_t k = 0; k < nb; ++k)
            t.Out[k] = static_cast<float>(std::sqrt(value(k)));
        return;
    case TAverageMode::PeakHold:
        for (size_t k = 0; k < nb; ++k) {
            t.Acc[k] = std::max(t.Acc[k], value(k));
            t.Out[k] = static_cast<float>(std::sqrt(t.Acc[k]));
        }
        return;
    case TAverageMode::Exponential: {
        // The first blocks weigh 1/1, 1/2, ... until the weight 1/N is reached, so the start
        // is a plain mean rather than a slow climb from zero.
        const double w = 1.0 / std::min(Seen, Target);
        for (size_t k = 0; k < nb; ++k) {
            t.Acc[k] += w * (value(k) - t.Acc[k]);
            t.Out[k] = static_cast<float>(std::sqrt(t.Acc[k]));
        }
        return;
    }
    case TAverageMode::Linear: {
        // The ring keeps each block as float amplitudes (a displayed spectrum exactly as it
        // came); the sum adds and later takes off the square of that same value.
        if (static_cast<int>(t.Ring.size()) < Target) {
            std::vector<float>& slot = t.Ring.emplace_back(nb);
            for (size_t k = 0; k < nb; ++k) {
                slot[k] = static_cast<float>(std::sqrt(value(k)));
                t.Acc[k] += static_cast<double>(slot[k]) * slot[k];
            }
        } else {
            std::vector<float>& old = t.Ring[static_cast<size_t>(t.RingNext)];
            for (size_t k = 0; k < nb; ++k) {
                const float a = static_cast<float>(std::sqrt(value(k)));
                t.Acc[k] += static_cast<double>(a) * a - static_cast<double>(old[k]) * old[k];
                if (t.Acc[k] < 0.0) t.Acc[k] = 0.0; // rounding, never a negative power
                old[k] = a;
            }
            t.RingNext = (t.RingNext + 1) % Target;
        }
        const double n = static_cast<double>(t.Ring.size());
        for (size_t k = 0; k < nb; ++k)
            t.Out[k] = static_cast<float>(std::sqrt(t.Acc[k] / n));
        return;
    }
    }
}

void TSpectrumAverager::Add(const float* spectrum, int bins, const double* power) {
    if (!spectrum || bins <= 0) return;
    if (bins != BinCount) {
        Reset();
        BinCount = bins;
        Clear(Amp);
        Clear(Power);
    }
    ++Seen;
    AddTo(Amp, [&](size_t k) { return static_cast<double>(spectrum[k]) * spectrum[k]; });
    PowerValid = PowerValid && power;
    if (!PowerValid) {
        PowerOut.clear();
        return;
    }
    AddTo(Power, [&](size_t k) { return std::max(0.0, power[k]); });
    PowerOut.resize(static_cast<size_t>(bins));
    for (size_t k = 0; k < PowerOut.size(); ++k)
        PowerOut[k] = static_cast<double>(Power.Out[k]) * Power.Out[k];
}
