#include "markers.h"

#include "figures.h"

#include <algorithm>
#include <cmath>

float SpectrumMedian(const float* spectrum, int n) {
    const int last = n / 2 - 1;
    if (!spectrum || last < 1) return 0.0f;
    std::vector<float> v(spectrum + 1, spectrum + last + 1);
    auto mid = v.begin() + static_cast<long>(v.size() / 2);
    std::nth_element(v.begin(), mid, v.end());
    return *mid;
}

int NextPeakBin(const float* spectrum, int n, int from, int dir, float floor, float marginDb) {
    const int last = n / 2 - 1;
    if (!spectrum || last < 1) return from;
    const float threshold = floor * std::pow(10.0f, marginDb / 20.0f);
    dir = dir >= 0 ? 1 : -1;
    auto value = [&](int k) { return (k < 1 || k > last) ? -1.0f : spectrum[k]; };
    for (int k = std::clamp(from, 0, last + 1) + dir; k >= 1 && k <= last; k += dir) {
        const float v = spectrum[k];
        if (v <= threshold) continue;
        // A plateau counts at its first bin, seen from the left.
        if (v > value(k - 1) && v >= value(k + 1)) return k;
        if (dir < 0 && v >= value(k - 1) && v > value(k + 1)) {
            int first = k;
            while (first > 1 && spectrum[first - 1] == v)
                --first;
            if (value(first - 1) < v) return first;
        }
    }
    return from;
}

int NextLineBin(const float* spectrum, int n, int from, int dir, float floor, float marginDb,
                float dipDb) {
    const int last = n / 2 - 1;
    if (!spectrum || last < 1) return from;
    dir = dir >= 0 ? 1 : -1;
    const float dipFactor = std::pow(10.0f, dipDb / 20.0f);
    // On one side of k the spectrum falls dipDb below it before anything rises above it (or
    // nothing does).
    const auto sideClear = [&](int k, int step) {
        const float need = spectrum[k] / dipFactor;
        for (int j = k + step; j >= 1 && j <= last; j += step) {
            if (spectrum[j] <= need) return true;
            if (spectrum[j] > spectrum[k]) return false;
        }
        return true;
    };
    int at = std::clamp(from, 0, last + 1);
    while (true) {
        const int k = NextPeakBin(spectrum, n, at, dir, floor, marginDb);
        if (k == at) return from;
        if (sideClear(k, -1) && sideClear(k, +1)) return k;
        at = k;
    }
}

int SnapToPeak(const float* spectrum, int n, int bin, int radius) {
    const int last = n / 2 - 1;
    if (!spectrum || last < 1) return -1;
    const int lo = std::clamp(bin - std::max(radius, 0), 1, last);
    const int hi = std::clamp(bin + std::max(radius, 0), 1, last);
    int best = lo;
    for (int k = lo + 1; k <= hi; ++k)
        if (spectrum[k] > spectrum[best]) best = k;
    return best;
}

std::vector<int> HarmonicBins(double f, int n, int last) {
    std::vector<int> bins;
    if (n < 4 || !(f > 0.0)) return bins;
    for (int h = 2; h <= last; ++h) {
        const int k = static_cast<int>(std::lround(FoldBin(h * f, n)));
        if (k >= 1 && k < n / 2) bins.push_back(k);
    }
    return bins;
}
